#include <String.h>

#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include <utility>


// A BString holds the bytes up to the first NUL only, so that Length() and
// String() always agree with strlen(); every way in with a length cuts there.
static size_t
BoundedLength(const char* string, int32 maxLength)
{
	if (string == nullptr || maxLength <= 0)
		return 0;
	const void* nul = memchr(string, '\0', (size_t)maxLength);
	return nul != nullptr ? (size_t)((const char*)nul - string) : (size_t)maxLength;
}


BString::BString()
{
}


BString::BString(const char* string)
{
	SetTo(string);
}


BString::BString(const char* string, int32 maxLength)
{
	SetTo(string, maxLength);
}


BString::BString(const BString& other)
	:
	fData(other.fData)
{
}


BString::BString(BString&& other) noexcept
	:
	fData(std::move(other.fData))
{
	other.fData.clear();
}


BString::~BString()
{
}


BString&
BString::operator=(const BString& other)
{
	if (this != &other)
		fData = other.fData;
	return *this;
}


BString&
BString::operator=(BString&& other) noexcept
{
	if (this != &other) {
		fData = std::move(other.fData);
		other.fData.clear();
	}
	return *this;
}


BString&
BString::operator=(const char* string)
{
	return SetTo(string);
}


BString&
BString::operator=(char c)
{
	fData.clear();
	if (c != '\0')
		fData.push_back(c);
	return *this;
}


const char*
BString::String() const
{
	return fData.c_str();
}


int32
BString::Length() const
{
	return (int32)fData.size();
}


char
BString::ByteAt(int32 index) const
{
	if (index < 0 || index >= Length())
		return '\0';
	return fData[(size_t)index];
}


char
BString::operator[](int32 index) const
{
	return ByteAt(index);
}


BString&
BString::SetTo(const char* string)
{
	if (string == nullptr) {
		fData.clear();
		return *this;
	}
	// The source may be our own buffer; assign copies before it releases.
	fData.assign(string, strlen(string));
	return *this;
}


BString&
BString::SetTo(const char* string, int32 maxLength)
{
	fData.assign(string != nullptr ? string : "", BoundedLength(string, maxLength));
	return *this;
}


BString&
BString::Append(const char* string, int32 length)
{
	size_t count = BoundedLength(string, length);
	if (count > 0) {
		// Appending a part of ourselves: copy first, since growing may move
		// the bytes that the source points into.
		std::string part(string, count);
		fData.append(part);
	}
	return *this;
}


BString&
BString::Truncate(int32 newLength)
{
	if (newLength < 0)
		newLength = 0;
	if (newLength < Length())
		fData.resize((size_t)newLength);
	return *this;
}


BString&
BString::operator+=(const BString& string)
{
	fData.append(string.fData);
	return *this;
}


BString&
BString::operator+=(const char* string)
{
	if (string != nullptr)
		Append(string, (int32)strnlen(string, INT32_MAX));
	return *this;
}


BString&
BString::operator+=(char c)
{
	if (c != '\0')
		fData.push_back(c);
	return *this;
}


BString&
BString::operator<<(const char* string)
{
	return *this += string;
}


BString&
BString::operator<<(const BString& string)
{
	return *this += string;
}


BString&
BString::operator<<(char c)
{
	return *this += c;
}


BString&
BString::operator<<(int32 value)
{
	return *this << (int64)value;
}


BString&
BString::operator<<(uint32 value)
{
	char buffer[16];
	snprintf(buffer, sizeof(buffer), "%" PRIu32, value);
	fData.append(buffer);
	return *this;
}


BString&
BString::operator<<(int64 value)
{
	// Formatted by the C library, which handles the most negative value
	// without negating it.
	char buffer[24];
	snprintf(buffer, sizeof(buffer), "%" PRId64, value);
	fData.append(buffer);
	return *this;
}


int
BString::Compare(const BString& other) const
{
	return strcmp(String(), other.String());
}


int
BString::Compare(const char* other) const
{
	return strcmp(String(), other != nullptr ? other : "");
}


bool
BString::operator==(const BString& other) const
{
	return fData == other.fData;
}


bool
BString::operator!=(const BString& other) const
{
	return !(*this == other);
}


bool
BString::operator<(const BString& other) const
{
	return Compare(other) < 0;
}


bool
BString::operator==(const char* other) const
{
	return Compare(other) == 0;
}


bool
BString::operator!=(const char* other) const
{
	return Compare(other) != 0;
}


BString
operator+(const BString& left, const BString& right)
{
	BString result(left);
	result += right;
	return result;
}
