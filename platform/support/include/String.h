#pragma once

#include <SupportDefs.h>

#include <string>

// A string of bytes with value semantics: copies are independent, and a
// BString handed across a library boundary by value belongs to its callee.
// The bytes end at the first NUL, as the C string that String() returns.
class B_EXPORT BString {
public:
								BString();
								BString(const char* string);
								BString(const char* string, int32 maxLength);
								BString(const BString& other);
								BString(BString&& other) noexcept;
								~BString();

			BString&			operator=(const BString& other);
			BString&			operator=(BString&& other) noexcept;
			BString&			operator=(const char* string);
			BString&			operator=(char c);

	// Access
			const char*			String() const;
			int32				Length() const;
			char				ByteAt(int32 index) const;
			char				operator[](int32 index) const;

	// Changing
			BString&			SetTo(const char* string);
			BString&			SetTo(const char* string, int32 maxLength);
			BString&			Append(const char* string, int32 length);
			BString&			Truncate(int32 newLength);
			BString&			operator+=(const BString& string);
			BString&			operator+=(const char* string);
			BString&			operator+=(char c);

	// Appending values: numbers in plain decimal, a minus sign for negatives
			BString&			operator<<(const char* string);
			BString&			operator<<(const BString& string);
			BString&			operator<<(char c);
			BString&			operator<<(int32 value);
			BString&			operator<<(uint32 value);
			BString&			operator<<(int64 value);

	// Comparing, byte by byte as strcmp does
			int					Compare(const BString& other) const;
			int					Compare(const char* other) const;
			bool				operator==(const BString& other) const;
			bool				operator!=(const BString& other) const;
			bool				operator<(const BString& other) const;
			bool				operator==(const char* other) const;
			bool				operator!=(const char* other) const;

private:
			std::string			fData;
};

B_EXPORT BString operator+(const BString& left, const BString& right);
