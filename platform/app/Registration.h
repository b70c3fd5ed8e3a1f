#pragma once

#include "Posix.h"

#include <String.h>

namespace BPrivate {

// An application's claim on its signature in the boot volume's runtime
// folder: an exclusive lock on "<name>.lock", held as long as the
// application runs and released by the kernel when its process dies, and a
// listening socket "<name>.sock" that other applications connect to. Since
// the socket is only made while the lock is held, a socket file without a
// lock holder is a leftover of a crashed application and reads as not
// running (nobody accepts on it).
class Registration {
public:
								Registration() = default;
								Registration(const Registration&) = delete;
			Registration&		operator=(const Registration&) = delete;
								~Registration();

			// B_NAME_IN_USE when a running application holds the signature.
			status_t			Register(const char* signature);
			void				Unregister();

			int					Listener() const { return fListener.Get(); }

	// The file name, without extension, that stands for a signature: a
	// readable prefix and a hash of the whole signature.
	static B_EXPORT BString		FileName(const char* signature);

	// Connects to the application that holds the signature:
	// B_NAME_NOT_FOUND or B_BAD_PORT_ID when none is running.
	static	status_t			Connect(const char* signature,
									posix::Descriptor* socket);

private:
			posix::Descriptor	fFolder;
			posix::Descriptor	fLock;
			posix::Descriptor	fListener;
			BString				fSocketName;
};

}	// namespace BPrivate
