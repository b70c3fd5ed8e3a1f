#include <Message.h>

#include "MessagePrivate.h"
#include "Wire.h"

#include <algorithm>
#include <bit>
#include <string.h>
#include <string_view>
#include <unordered_set>

using namespace BPrivate;


// #pragma mark - ReplyRoute


status_t
ReplyRoute::Reply(const BMessage& reply, bigtime_t timeout)
{
	if (!fSourceWaits)
		return B_BAD_REPLY;
	if (fAnswered.exchange(true))
		return B_DUPLICATE_REPLY;
	return Deliver(reply, timeout);
}


void
ReplyRoute::Abandon()
{
	if (!fSourceWaits || fAnswered.exchange(true))
		return;
	Deliver(BMessage(B_NO_REPLY), B_INFINITE_TIMEOUT);
}


// #pragma mark - Byte order of the flat form


namespace {

// Numbers travel in little-endian byte order, whatever the machine's.
template<typename T>
void
PutLittle(char* out, T value)
{
	for (size_t i = 0; i < sizeof(T); i++)
		out[i] = char((uint64(value) >> (8 * i)) & 0xff);
}


template<typename T>
T
GetLittle(const char* in)
{
	uint64 value = 0;
	for (size_t i = 0; i < sizeof(T); i++)
		value |= uint64(uint8(in[i])) << (8 * i);
	return T(value);
}


// The fixed size of a value of the type, or -1 when any size goes.
ssize_t
FixedSize(type_code type)
{
	switch (type) {
		case B_INT32_TYPE:	return 4;
		case B_INT64_TYPE:	return 8;
		case B_BOOL_TYPE:	return 1;
	}
	return -1;
}


bool
IsValidValue(type_code type, const char* data, size_t size)
{
	ssize_t fixedSize = FixedSize(type);
	if (fixedSize >= 0 && size != size_t(fixedSize))
		return false;
	if (type == B_BOOL_TYPE)
		return data[0] == 0 || data[0] == 1;
	if (type == B_STRING_TYPE) {
		// A string carries its terminating NUL and no other.
		return size > 0 && memchr(data, '\0', size) == data + size - 1;
	}
	return true;
}


bool
IsValidName(const char* name, size_t length)
{
	return length > 0 && length <= wire::kMaxNameLength
		&& memchr(name, '\0', length) == NULL;
}


// Numbers are kept in the machine's order in memory and turned around for
// the wire only where the machine is big-endian.
void
ToWireOrder(type_code type, char* value)
{
	if constexpr (std::endian::native == std::endian::big) {
		ssize_t size = FixedSize(type);
		if (size > 1)
			std::reverse(value, value + size);
	} else {
		(void)type;
		(void)value;
	}
}

// Reads one value of a fixed-size type; values are stored unaligned, so
// they are copied out rather than read in place.
template<typename Value>
status_t
FindFixed(const BMessage& message, const char* name, type_code type,
	int32 index, Value* value)
{
	const void* data;
	status_t status = message.FindData(name, type, index, &data, NULL);
	if (status == B_OK && value != NULL)
		memcpy(value, data, sizeof(*value));
	return status;
}

}	// namespace


// #pragma mark - BMessage


BMessage::BMessage()
{
}


BMessage::BMessage(uint32 what)
	:
	what(what)
{
}


BMessage::BMessage(const BMessage& other)
	:
	what(other.what),
	fFields(other.fFields)
{
}


BMessage::~BMessage()
{
	if (fReplyRoute != nullptr)
		fReplyRoute->Abandon();
}


BMessage&
BMessage::operator=(const BMessage& other)
{
	// The reply route stays with the message that was delivered.
	if (this != &other) {
		what = other.what;
		fFields = other.fFields;
	}
	return *this;
}


status_t
BMessage::AddData(const char* name, type_code type, const void* data,
	ssize_t size)
{
	if (name == NULL || size < 0 || (data == NULL && size > 0)
		|| type == B_ANY_TYPE)
		return B_BAD_VALUE;
	size_t nameLength = strlen(name);
	if (!IsValidName(name, nameLength))
		return B_BAD_VALUE;
	const char* bytes = static_cast<const char*>(data);
	if (!IsValidValue(type, bytes, size))
		return B_BAD_VALUE;

	Field* field = const_cast<Field*>(_FindField(name));
	if (field == NULL) {
		fFields.push_back(Field{BString(name), type, {}});
		field = &fFields.back();
	} else if (field->type != type)
		return B_BAD_TYPE;
	field->values.emplace_back(bytes, bytes + size);
	return B_OK;
}


status_t
BMessage::AddString(const char* name, const char* string)
{
	if (string == NULL)
		return B_BAD_VALUE;
	return AddData(name, B_STRING_TYPE, string, strlen(string) + 1);
}


status_t
BMessage::AddString(const char* name, const BString& string)
{
	return AddData(name, B_STRING_TYPE, string.String(), string.Length() + 1);
}


status_t
BMessage::AddInt32(const char* name, int32 value)
{
	return AddData(name, B_INT32_TYPE, &value, sizeof(value));
}


status_t
BMessage::AddInt64(const char* name, int64 value)
{
	return AddData(name, B_INT64_TYPE, &value, sizeof(value));
}


status_t
BMessage::AddBool(const char* name, bool value)
{
	uint8 byte = value ? 1 : 0;
	return AddData(name, B_BOOL_TYPE, &byte, sizeof(byte));
}


status_t
BMessage::FindData(const char* name, type_code type, int32 index,
	const void** data, ssize_t* size) const
{
	if (name == NULL || data == NULL)
		return B_BAD_VALUE;
	const Field* field = _FindField(name);
	if (field == NULL || (type != B_ANY_TYPE && field->type != type))
		return B_NAME_NOT_FOUND;
	if (index < 0 || size_t(index) >= field->values.size())
		return B_BAD_INDEX;
	const std::vector<char>& value = field->values[index];
	*data = value.data();
	if (size != NULL)
		*size = value.size();
	return B_OK;
}


status_t
BMessage::FindString(const char* name, const char** string) const
{
	return FindString(name, 0, string);
}


status_t
BMessage::FindString(const char* name, int32 index, const char** string) const
{
	const void* data;
	status_t status = FindData(name, B_STRING_TYPE, index, &data, NULL);
	if (status == B_OK && string != NULL)
		*string = static_cast<const char*>(data);
	return status;
}


status_t
BMessage::FindString(const char* name, BString* string) const
{
	return FindString(name, 0, string);
}


status_t
BMessage::FindString(const char* name, int32 index, BString* string) const
{
	const char* value;
	status_t status = FindString(name, index, &value);
	if (status == B_OK && string != NULL)
		string->SetTo(value);
	return status;
}


status_t
BMessage::FindInt32(const char* name, int32* value) const
{
	return FindInt32(name, 0, value);
}


status_t
BMessage::FindInt32(const char* name, int32 index, int32* value) const
{
	return FindFixed(*this, name, B_INT32_TYPE, index, value);
}


status_t
BMessage::FindInt64(const char* name, int32 index, int64* value) const
{
	return FindFixed(*this, name, B_INT64_TYPE, index, value);
}


status_t
BMessage::FindBool(const char* name, int32 index, bool* value) const
{
	uint8 byte;
	status_t status = FindFixed(*this, name, B_BOOL_TYPE, index, &byte);
	if (status == B_OK && value != NULL)
		*value = byte != 0;
	return status;
}


int32
BMessage::CountNames(type_code type) const
{
	if (type == B_ANY_TYPE)
		return int32(fFields.size());
	return int32(std::count_if(fFields.begin(), fFields.end(),
		[type](const Field& field) { return field.type == type; }));
}


status_t
BMessage::GetInfo(type_code type, int32 index, const char** nameFound,
	type_code* typeFound, int32* countFound) const
{
	if (index < 0)
		return B_BAD_INDEX;
	int32 seen = 0;
	for (const Field& field : fFields) {
		if (type != B_ANY_TYPE && field.type != type)
			continue;
		if (seen++ != index)
			continue;
		if (nameFound != NULL)
			*nameFound = field.name.String();
		if (typeFound != NULL)
			*typeFound = field.type;
		if (countFound != NULL)
			*countFound = int32(field.values.size());
		return B_OK;
	}
	return seen == 0 ? B_BAD_TYPE : B_BAD_INDEX;
}


status_t
BMessage::GetInfo(const char* name, type_code* typeFound,
	int32* countFound) const
{
	if (name == NULL)
		return B_BAD_VALUE;
	const Field* field = _FindField(name);
	if (field == NULL)
		return B_NAME_NOT_FOUND;
	if (typeFound != NULL)
		*typeFound = field->type;
	if (countFound != NULL)
		*countFound = int32(field->values.size());
	return B_OK;
}


bool
BMessage::IsEmpty() const
{
	return fFields.empty();
}


void
BMessage::MakeEmpty()
{
	fFields.clear();
}


status_t
BMessage::SendReply(uint32 command, BHandler* replyTo)
{
	BMessage reply(command);
	return SendReply(&reply, replyTo, B_INFINITE_TIMEOUT);
}


status_t
BMessage::SendReply(BMessage* reply, BHandler* replyTo, bigtime_t timeout)
{
	// NOTE: a reply cannot itself be answered, so replyTo is not used.
	(void)replyTo;
	if (reply == NULL)
		return B_BAD_VALUE;
	if (fReplyRoute == nullptr)
		return B_BAD_REPLY;
	return fReplyRoute->Reply(*reply, timeout);
}


bool
BMessage::IsSourceWaiting() const
{
	return fReplyRoute != nullptr && fReplyRoute->IsSourceWaiting();
}


bool
BMessage::IsSourceRemote() const
{
	return fReplyRoute != nullptr && fReplyRoute->IsSourceRemote();
}


bool
BMessage::WasDelivered() const
{
	return fReplyRoute != nullptr;
}


// #pragma mark - Flat form


ssize_t
BMessage::FlattenedSize() const
{
	// what and the field count, then per field its name length, name, type
	// and value count, and per value its length and bytes.
	size_t size = 8;
	for (const Field& field : fFields) {
		size += 2 + field.name.Length() + 4 + 4;
		for (const std::vector<char>& value : field.values)
			size += 4 + value.size();
	}
	return ssize_t(size);
}


status_t
BMessage::Flatten(char* buffer, ssize_t size) const
{
	if (buffer == NULL || size < FlattenedSize())
		return B_BAD_VALUE;

	char* out = buffer;
	PutLittle<uint32>(out, what);
	PutLittle<uint32>(out + 4, uint32(fFields.size()));
	out += 8;
	for (const Field& field : fFields) {
		uint16 nameLength = uint16(field.name.Length());
		PutLittle<uint16>(out, nameLength);
		memcpy(out + 2, field.name.String(), nameLength);
		out += 2 + nameLength;
		PutLittle<uint32>(out, field.type);
		PutLittle<uint32>(out + 4, uint32(field.values.size()));
		out += 8;
		for (const std::vector<char>& value : field.values) {
			PutLittle<uint32>(out, uint32(value.size()));
			// An empty value may have no storage at all to copy from.
			if (!value.empty())
				memcpy(out + 4, value.data(), value.size());
			ToWireOrder(field.type, out + 4);
			out += 4 + value.size();
		}
	}
	return B_OK;
}


status_t
BMessage::Unflatten(const char* buffer, ssize_t size)
{
	if (buffer == NULL || size < 8)
		return B_BAD_DATA;

	// Every count is checked against the bytes that remain before anything
	// is allocated, so that a lying count cannot make us reserve memory.
	const char* in = buffer;
	const char* end = buffer + size;
	uint32 newWhat = GetLittle<uint32>(in);
	uint32 fieldCount = GetLittle<uint32>(in + 4);
	in += 8;
	constexpr size_t kSmallestField = 2 + 1 + 4 + 4 + 4;
	if (fieldCount > size_t(end - in) / kSmallestField)
		return B_BAD_DATA;

	std::vector<Field> fields;
	fields.reserve(fieldCount);
	std::unordered_set<std::string_view> names;
	for (uint32 i = 0; i < fieldCount; i++) {
		if (end - in < 2)
			return B_BAD_DATA;
		uint16 nameLength = GetLittle<uint16>(in);
		in += 2;
		if (size_t(end - in) < size_t(nameLength) + 8
			|| !IsValidName(in, nameLength))
			return B_BAD_DATA;
		std::string_view name(in, nameLength);
		in += nameLength;
		type_code type = GetLittle<uint32>(in);
		uint32 valueCount = GetLittle<uint32>(in + 4);
		in += 8;
		if (type == B_ANY_TYPE || valueCount == 0
			|| valueCount > size_t(end - in) / 4)
			return B_BAD_DATA;
		if (!names.insert(name).second)
			return B_BAD_DATA;

		Field field{BString(name.data(), nameLength), type, {}};
		field.values.reserve(valueCount);
		for (uint32 j = 0; j < valueCount; j++) {
			if (end - in < 4)
				return B_BAD_DATA;
			uint32 valueSize = GetLittle<uint32>(in);
			in += 4;
			if (valueSize > size_t(end - in) || !IsValidValue(type, in, valueSize))
				return B_BAD_DATA;
			field.values.emplace_back(in, in + valueSize);
			ToWireOrder(type, field.values.back().data());
			in += valueSize;
		}
		fields.push_back(std::move(field));
	}
	if (in != end)
		return B_BAD_DATA;

	what = newWhat;
	fFields = std::move(fields);
	return B_OK;
}


const BMessage::Field*
BMessage::_FindField(const char* name) const
{
	for (const Field& field : fFields) {
		if (field.name == name)
			return &field;
	}
	return NULL;
}
