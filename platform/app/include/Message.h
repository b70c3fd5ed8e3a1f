#pragma once

#include <AppDefs.h>
#include <OS.h>
#include <String.h>
#include <TypeConstants.h>

#include <memory>
#include <vector>

class BHandler;
namespace BPrivate {
	class MessagePrivate;
	class ReplyRoute;
}

// A command code and named, typed fields, in the order they were added.
// Copies are independent values; only the message that was delivered can
// answer its sender. A delivered message whose sender waits for a reply and
// that is deleted unanswered releases the sender with B_NO_REPLY.
class B_EXPORT BMessage {
public:
								BMessage();
	explicit					BMessage(uint32 what);
								BMessage(const BMessage& other);
	virtual						~BMessage();

			BMessage&			operator=(const BMessage& other);

	// Adding fields. A name holds values of one type only.
			status_t			AddData(const char* name, type_code type,
									const void* data, ssize_t size);
			status_t			AddString(const char* name, const char* string);
			status_t			AddString(const char* name, const BString& string);
			status_t			AddInt32(const char* name, int32 value);
			status_t			AddInt64(const char* name, int64 value);
			status_t			AddBool(const char* name, bool value);

	// Finding fields. A field of another type than asked reads as missing
	// (B_NAME_NOT_FOUND), an index past its values as B_BAD_INDEX.
			status_t			FindData(const char* name, type_code type,
									int32 index, const void** data,
									ssize_t* size) const;
			status_t			FindString(const char* name,
									const char** string) const;
			status_t			FindString(const char* name, int32 index,
									const char** string) const;
			status_t			FindString(const char* name, BString* string) const;
			status_t			FindString(const char* name, int32 index,
									BString* string) const;
			status_t			FindInt32(const char* name, int32* value) const;
			status_t			FindInt32(const char* name, int32 index,
									int32* value) const;
			status_t			FindInt64(const char* name, int32 index,
									int64* value) const;
			status_t			FindBool(const char* name, int32 index,
									bool* value) const;

	// Looking at the fields, in the order they were added
			int32				CountNames(type_code type) const;
			status_t			GetInfo(type_code type, int32 index,
									const char** nameFound, type_code* typeFound,
									int32* countFound = NULL) const;
			status_t			GetInfo(const char* name, type_code* typeFound,
									int32* countFound = NULL) const;
			bool				IsEmpty() const;
			void				MakeEmpty();

	// Replying to the sender of a delivered message. A message is answered
	// once; a second reply fails with B_DUPLICATE_REPLY.
			status_t			SendReply(uint32 command,
									BHandler* replyTo = NULL);
			status_t			SendReply(BMessage* reply,
									BHandler* replyTo = NULL,
									bigtime_t timeout = B_INFINITE_TIMEOUT);
			bool				IsSourceWaiting() const;
			// A delivered message that came from another process, over a
			// connection to the looper; false for one posted in this team
			// and for a message that was not delivered.
			bool				IsSourceRemote() const;
			bool				WasDelivered() const;

	// The flat form that travels between applications
			ssize_t				FlattenedSize() const;
			status_t			Flatten(char* buffer, ssize_t size) const;
			status_t			Unflatten(const char* buffer, ssize_t size);

public:
			uint32				what = 0;

private:
	friend class BLooper;
	friend class BMessenger;
	friend class BPrivate::MessagePrivate;

	struct Field {
		BString				name;
		type_code			type;
		std::vector<std::vector<char>> values;
	};

			const Field*		_FindField(const char* name) const;

			std::vector<Field>	fFields;
			// Set on a delivered message whose sender may be answered.
			std::shared_ptr<BPrivate::ReplyRoute> fReplyRoute;
};
