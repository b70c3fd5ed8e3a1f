#pragma once

#include <SupportDefs.h>

class BMessage;
class Board;
class DoorLauncher;

// What the host's workers (HostWorkers) post to the looper, handed to the
// board: a seat entered the door or its session ended, a password hashed
// or checked. Runs on the host's looper.
class WorkerReports {
public:
								WorkerReports(Board& board,
									DoorLauncher& launcher);
								WorkerReports(const WorkerReports&) = delete;
			WorkerReports&		operator=(const WorkerReports&) = delete;

	// False when the message is no report of the workers.
	[[nodiscard]] bool			Handle(const BMessage* message);

private:
			void				_Entered(const BMessage* message);
			void				_SessionEnded(const BMessage* message);
			void				_PasswordHashed(const BMessage* message);
			void				_PasswordChecked(const BMessage* message);

			Board&				fBoard;
			DoorLauncher&		fLauncher;
};
