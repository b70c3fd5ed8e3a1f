#include "SshEvents.h"

#include "SshConnection.h"


// An owner that registers nobody this way refuses the questions, and the
// caller's client offers a password instead.
void
SshEvents::QuestionsRequested(SshConnection* connection, const BString&)
{
	connection->AnswerAuthentication(false);
}


void
SshEvents::QuestionsAnswered(SshConnection* connection,
	const std::vector<BString>&)
{
	connection->AnswerAuthentication(false);
}
