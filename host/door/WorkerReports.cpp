#include "WorkerReports.h"

#include "Board.h"
#include "DoorLauncher.h"
#include "HostWorkers.h"

#include <Message.h>


WorkerReports::WorkerReports(Board& board, DoorLauncher& launcher)
	:
	fBoard(board),
	fLauncher(launcher)
{
}


bool
WorkerReports::Handle(const BMessage* message)
{
	switch (message->what) {
		case kMsgSeatEntered:
			_Entered(message);
			return true;
		case kMsgSeatEnded:
			_SessionEnded(message);
			return true;
		case kMsgPasswordHashed:
			_PasswordHashed(message);
			return true;
		case kMsgPasswordChecked:
			_PasswordChecked(message);
			return true;
	}
	return false;
}


void
WorkerReports::_Entered(const BMessage* message)
{
	int32 seat = -1;
	int32 status = B_ERROR;
	BString error;
	BString threadName;
	int32 team = -1;
	message->FindInt32("seat", &seat);
	message->FindInt32("status", &status);
	message->FindString("error", &error);
	message->FindString("thread", &threadName);
	message->FindInt32("team", &team);

	BString detail;
	if (status == B_OK)
		detail << "session " << threadName << ", team " << team;
	fBoard.Entered(seat, status, error, detail);
}


void
WorkerReports::_SessionEnded(const BMessage* message)
{
	int32 seat = -1;
	int32 team = -1;
	message->FindInt32("seat", &seat);
	message->FindInt32("team", &team);
	fBoard.SessionEnded(seat, team >= 0 && fLauncher.DiedAbnormally(team));
}


void
WorkerReports::_PasswordHashed(const BMessage* message)
{
	int32 caller = 0;
	BString hash;
	message->FindInt32("caller", &caller);
	message->FindString("hash", &hash);
	fBoard.PasswordHashed(caller, hash.String());
}


void
WorkerReports::_PasswordChecked(const BMessage* message)
{
	int32 caller = 0;
	bool matches = false;
	message->FindInt32("caller", &caller);
	message->FindBool("matches", 0, &matches);
	fBoard.PasswordChecked(caller, matches);
}
