#include "SshCallers.h"

#include "Board.h"
#include "TerminalKeeper.h"
#include "SshCaller.h"
#include "SshConnection.h"


SshCallers::SshCallers(BLooper& looper, Board& board,
	const SshHostKey& hostKey, TerminalKeeper& keeper)
	:
	fBoard(board),
	fKeeper(keeper),
	fListener(looper, *this, hostKey)
{
}


SshCallers::~SshCallers()
{
	// The listener goes with its connections, telling nobody; the callers
	// go with the keeper.
}


status_t
SshCallers::Listen(const char* address, uint16 port, BString* error)
{
	return fListener.Listen(address, port, error);
}


void
SshCallers::ConnectionOpened(SshConnection* connection)
{
	if (fRefusing) {
		connection->Close(SshConnection::CloseMode::kAtOnce);
		return;
	}
	auto caller = std::make_unique<SshCaller>(fBoard, connection);
	SshCaller* added = caller.get();
	fCallers[connection] = added;
	fKeeper.KeepTerminal(std::move(caller));
	// A board that is full lets the connection go, which reports it closed
	// before this returns.
	fBoard.Arrived(added);
}


void
SshCallers::PasswordOffered(SshConnection* connection,
	const BString& userName, const BString& password)
{
	SshCaller* caller = _CallerFor(connection);
	if (caller != nullptr)
		caller->PasswordOffered(userName, password);
	else
		connection->AnswerAuthentication(false);
}


void
SshCallers::QuestionsRequested(SshConnection* connection,
	const BString& userName)
{
	SshCaller* caller = _CallerFor(connection);
	if (caller != nullptr)
		caller->QuestionsRequested(userName);
	else
		connection->AnswerAuthentication(false);
}


void
SshCallers::QuestionsAnswered(SshConnection* connection,
	const std::vector<BString>& answers)
{
	SshCaller* caller = _CallerFor(connection);
	if (caller != nullptr)
		caller->QuestionsAnswered(answers);
	else
		connection->AnswerAuthentication(false);
}


void
SshCallers::TerminalOpened(SshConnection* connection)
{
	if (SshCaller* caller = _CallerFor(connection))
		caller->TerminalOpened();
}


void
SshCallers::WindowResized(SshConnection* connection, int32, int32)
{
	if (SshCaller* caller = _CallerFor(connection))
		caller->WindowResized();
}


void
SshCallers::BytesReceived(SshConnection* connection, const char* data,
	size_t size)
{
	if (SshCaller* caller = _CallerFor(connection))
		caller->BytesReceived(data, size);
}


void
SshCallers::OutputDrained(SshConnection* connection)
{
	if (SshCaller* caller = _CallerFor(connection))
		caller->OutputDrained();
}


void
SshCallers::ConnectionClosed(SshConnection* connection)
{
	auto found = fCallers.find(connection);
	if (found == fCallers.end())
		return;
	SshCaller* caller = found->second;
	fCallers.erase(found);
	caller->ConnectionClosed();
	fKeeper.TerminalEnded(caller);
}


SshCaller*
SshCallers::_CallerFor(SshConnection* connection) const
{
	auto found = fCallers.find(connection);
	return found != fCallers.end() ? found->second : nullptr;
}
