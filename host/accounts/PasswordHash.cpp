#include "PasswordHash.h"

#include <sodium.h>


static bool
InitSodium()
{
	// Safe to call from several threads and more than once.
	return sodium_init() >= 0;
}


status_t
HashPassword(const std::string& password, std::string* hash)
{
	if (!InitSodium())
		return B_ERROR;
	char text[crypto_pwhash_STRBYTES];
	if (crypto_pwhash_str_alg(text, password.data(), password.size(),
			crypto_pwhash_OPSLIMIT_INTERACTIVE,
			crypto_pwhash_MEMLIMIT_INTERACTIVE,
			crypto_pwhash_ALG_ARGON2ID13) != 0) {
		return B_NO_MEMORY;
	}
	hash->assign(text);
	return B_OK;
}


bool
CheckPassword(const std::string& hash, const std::string& password)
{
	if (!InitSodium())
		return false;
	return crypto_pwhash_str_verify(hash.c_str(), password.data(),
		password.size()) == 0;
}


status_t
MakeRandomPassword(size_t length, std::string* password)
{
	// No letters and digits that read alike (0 and O, 1, l and I).
	static const char kAlphabet[]
		= "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
	if (!InitSodium())
		return B_ERROR;
	password->clear();
	for (size_t i = 0; i < length; i++)
		*password += kAlphabet[randombytes_uniform(sizeof(kAlphabet) - 1)];
	return B_OK;
}
