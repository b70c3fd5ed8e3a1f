#include "SshCaller.h"

#include "Board.h"
#include "SshConnection.h"


static const char* const kPasswordPrompt = "Password: ";
static const char* const kNewPasswordPrompt
	= "Choose a password (at least 8 characters): ";
static const char* const kSamePasswordPrompt = "The same password again: ";


SshCaller::SshCaller(Board& board, SshConnection* connection)
	:
	fBoard(board),
	fConnection(connection),
	fAddress(connection->Address())
{
}


void
SshCaller::PasswordOffered(const BString& userName, const BString& password)
{
	fUserName = userName;
	fAsked = Asked::kNothing;
	fBoard.PasswordGiven(this, userName,
		std::string(password.String(), (size_t)password.Length()));
}


void
SshCaller::QuestionsRequested(const BString& userName)
{
	fUserName = userName;
	fAsked = Asked::kNothing;
	switch (fBoard.QuestionsFor(this, userName)) {
		case LoginQuestions::kPassword:
			fAsked = Asked::kPassword;
			fConnection->AskQuestions("", {{kPasswordPrompt, false}});
			break;
		case LoginQuestions::kNewPassword:
		{
			BString instruction("There is no account ");
			instruction << fUserName << " yet: it is yours to register.";
			_AskForNewPassword(instruction.String());
			break;
		}
		case LoginQuestions::kNoneNeeded:
			fConnection->AnswerAuthentication(true);
			break;
		case LoginQuestions::kNone:
			if (fConnection != nullptr)
				fConnection->AnswerAuthentication(false);
			break;
	}
}


void
SshCaller::QuestionsAnswered(const std::vector<BString>& answers)
{
	Asked asked = fAsked;
	fAsked = Asked::kNothing;
	if (asked == Asked::kPassword && answers.size() == 1) {
		fBoard.PasswordGiven(this, fUserName, answers[0].String());
		return;
	}
	if (asked == Asked::kNewPassword && answers.size() == 2) {
		fBoard.RegistrationGiven(this, answers[0].String(),
			answers[1].String());
		return;
	}
	fConnection->AnswerAuthentication(false);
}


void
SshCaller::TerminalOpened()
{
	fTerminalOpen = true;
	fTerminalType = fConnection->TerminalType();
	// Nearly every SSH client runs in a terminal that speaks UTF-8; only a
	// type known for CP437 (SyncTERM's "ansi") takes the door's bytes as
	// they are.
	fDiscipline.SetCharacterSet(CharacterSet(fBoard.Settings().charset,
		CharacterSet::EncodingForTerminalType(fTerminalType.String(),
			TerminalEncoding::kUtf8)));
	WindowResized();
	fBoard.TerminalOpened(this);
}


void
SshCaller::ChooseEncoding(TerminalEncoding encoding)
{
	fDiscipline.SetCharacterSet(CharacterSet(fBoard.Settings().charset,
		encoding));
}


void
SshCaller::WindowResized()
{
	fColumns = fConnection->Columns();
	fRows = fConnection->Rows();
}


void
SshCaller::BytesReceived(const char* data, size_t size)
{
	std::string keys;
	fDiscipline.TranslateKeysAsTyped(data, size, keys);
	if (!keys.empty())
		fBoard.Typed(this, keys);
}


void
SshCaller::OutputDrained()
{
	fBoard.Drained(this);
}


void
SshCaller::ConnectionClosed()
{
	fConnection = nullptr;
	fBoard.HungUp(this);
}


void
SshCaller::Show(const std::string& text)
{
	// Before the terminal opens there is nowhere to show a text.
	if (fConnection == nullptr || !fTerminalOpen)
		return;
	std::string output;
	fDiscipline.TranslateText(text, output);
	fConnection->Send(output.data(), output.size());
}


size_t
SshCaller::Backlog() const
{
	return fConnection != nullptr ? fConnection->QueuedBytes() : 0;
}


void
SshCaller::Finish(CallEnd, const char* notice)
{
	if (fConnection == nullptr)
		return;
	if (notice != NULL)
		Show(notice);
	fConnection->Close();
}


void
SshCaller::LoginAnswered(LoginAnswer answer, const char* reason)
{
	if (fConnection == nullptr)
		return;
	switch (answer) {
		case LoginAnswer::kAdmitted:
			fConnection->AnswerAuthentication(true);
			break;
		case LoginAnswer::kRefused:
			if (reason != NULL)
				_ShowRefusal(reason);
			else
				fConnection->AnswerAuthentication(false);
			break;
		case LoginAnswer::kAskAgain:
			_AskForNewPassword(reason != NULL ? reason : "");
			break;
	}
}


BString
SshCaller::TerminalType() const
{
	if (!fTerminalOpen)
		return BString();
	BString type = fTerminalType.Length() > 0 ? fTerminalType
		: BString("unknown");
	type << " " << fColumns << "x" << fRows;
	return type;
}


void
SshCaller::_AskForNewPassword(const char* instruction)
{
	fAsked = Asked::kNewPassword;
	fConnection->AskQuestions(instruction,
		{{kNewPasswordPrompt, false}, {kSamePasswordPrompt, false}});
}


// A client that asks questions shows their instruction before the terminal
// opens: the reason goes as the instruction of a round with no question,
// and the client's empty answer is refused. A try by password is refused
// plainly. The reasons are the board's own words, never the caller's bytes.
void
SshCaller::_ShowRefusal(const char* reason)
{
	fAsked = Asked::kNothing;
	fConnection->AskQuestions(reason, {});
}


void
SshCaller::LoggedIn()
{
	if (fConnection != nullptr)
		fConnection->ReleasePass();
}
