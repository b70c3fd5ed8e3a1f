#pragma once

#include <SupportDefs.h>

// Message codes that the platform itself sends or understands.
enum {
	B_NO_REPLY = '_NRP',		// the reply a sender gets when its message
								// was deleted unanswered
	B_QUIT_REQUESTED = '_QRQ',
	B_READY_TO_RUN = '_RTR',
	B_REPLY = '_RPY',
};

// Events of a watched descriptor (BLooper::WatchDescriptor)
enum {
	B_DESCRIPTOR_READABLE = 0x1,
	B_DESCRIPTOR_WRITABLE = 0x2,
	B_DESCRIPTOR_HANGUP = 0x4,
};
