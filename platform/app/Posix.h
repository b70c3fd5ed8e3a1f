#pragma once

#include <String.h>
#include <SupportDefs.h>

#include <sys/types.h>

namespace BPrivate {

// The Linux mechanics under the application kit: descriptors, Unix-domain
// sockets and file locks (the storage kit makes and connects the sockets in
// the runtime folder). The kit's own files speak of applications,
// connections and frames; only this file and EventPoller know the system
// calls.
namespace posix {

// Microseconds on a clock that never jumps, for deadlines.
bigtime_t MonotonicTime();

// Owns one descriptor and closes it when it goes.
class B_EXPORT Descriptor {
public:
								Descriptor() = default;
	explicit					Descriptor(int fd) : fFD(fd) {}
								Descriptor(Descriptor&& other) noexcept
									: fFD(other.Release()) {}
			Descriptor&			operator=(Descriptor&& other) noexcept;
								Descriptor(const Descriptor&) = delete;
			Descriptor&			operator=(const Descriptor&) = delete;
								~Descriptor() { Close(); }

			int					Get() const { return fFD; }
			bool				IsValid() const { return fFD >= 0; }
			int					Release();
			void				Close();

private:
			int					fFD = -1;
};

// Takes an exclusive lock on the file (made when missing) in the folder,
// without waiting: B_NAME_IN_USE when another holder has it. The lock lives
// as long as the descriptor, and dies with its process.
status_t LockFile(int folder, const char* name, Descriptor* lock);

// A folder opened only to name files in it (O_PATH).
status_t OpenFolder(const char* path, Descriptor* folder);

// Accepts one waiting connection as a non-blocking socket; B_WOULD_BLOCK
// when none waits.
status_t Accept(int listener, Descriptor* socket);

// A descriptor that only holds a place (of /dev/null).
status_t OpenSpare(Descriptor* spare);

// Writes all bytes, waiting while the socket is full, but not past the
// timeout (B_INFINITE_TIMEOUT for none). Never raises SIGPIPE.
status_t SendAll(int socket, const char* data, size_t size, bigtime_t timeout);

// Sends what a non-blocking socket takes now, without waiting; sent says
// how much. B_BAD_PORT_ID when the peer has gone. Never raises SIGPIPE.
status_t SendSome(int socket, const char* data, size_t size, size_t* sent);

// Reads what is there, waiting up to the timeout for something to arrive on
// a blocking socket; B_WOULD_BLOCK when a non-blocking one has nothing,
// B_BAD_PORT_ID when the peer has closed.
status_t Receive(int socket, char* buffer, size_t size, bigtime_t timeout,
	size_t* received);

// Stops both directions of a socket that another thread may be waiting on,
// without closing its descriptor.
void Shutdown(int socket);

// True when the peer of a connected socket has closed its end.
bool IsHungUp(int socket);

// The process at the other end of a connected Unix socket, or -1.
pid_t PeerProcess(int socket);

}	// namespace posix

}	// namespace BPrivate
