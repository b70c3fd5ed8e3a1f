#pragma once

#include "Terminal.h"
#include "LineDiscipline.h"

#include <String.h>

#include <string>
#include <vector>

class Board;
class SshConnection;

// One SSH caller as the board sees it: the caller's name and password,
// given before the terminal opens, go to the board's login (with the
// questions of keyboard-interactive for a new name's registration), and
// the terminal's keys and texts pass through the caller's LineDiscipline
// as a telnet caller's do. The window size of the PTY request and of every
// change is the caller's. Runs on the host's looper; made by SshCallers,
// kept by the host, and told when its SshConnection has gone, after which
// it never touches it.
class SshCaller : public Terminal {
public:
								SshCaller(Board& board,
									SshConnection* connection);
								SshCaller(const SshCaller&) = delete;
			SshCaller&			operator=(const SshCaller&) = delete;

	// The connection's events
			void				PasswordOffered(const BString& userName,
									const BString& password);
			void				QuestionsRequested(const BString& userName);
			void				QuestionsAnswered(
									const std::vector<BString>& answers);
			void				TerminalOpened();
			void				WindowResized();
			void				BytesReceived(const char* data, size_t size);
			void				OutputDrained();
			void				ConnectionClosed();

	virtual	void				Show(const std::string& text) override;
	virtual	size_t				Backlog() const override;
	virtual	void				Finish(CallEnd end, const char* notice)
									override;
	virtual	void				LoginAnswered(LoginAnswer answer,
									const char* reason) override;
	virtual	const BString&		Address() const override { return fAddress; }
	virtual	BString				TerminalType() const override;
	virtual	const char*			Kind() const override { return "ssh"; }
	virtual	int32				Columns() const override
									{ return fTerminalOpen ? fColumns : 0; }
	virtual	bool				OffersEncodingChoice() const override
									{ return true; }
	virtual	TerminalEncoding	Encoding() const override
									{ return fDiscipline.Characters().Edge(); }
	virtual	void				ChooseEncoding(TerminalEncoding encoding)
									override;
	virtual	std::string			DoorKeys(const std::string& typed) override
									{ return fDiscipline.DoorKeys(typed); }
	virtual	void				LoggedIn() override;

private:
	// What the questions of keyboard-interactive asked for.
	enum class Asked {
		kNothing,
		kPassword,
		kNewPassword,
	};

			void				_AskForNewPassword(const char* instruction);
			void				_ShowRefusal(const char* reason);

			Board&				fBoard;
			SshConnection*		fConnection;
			LineDiscipline		fDiscipline;
			BString				fAddress;
			BString				fUserName;
			Asked				fAsked = Asked::kNothing;
			bool				fTerminalOpen = false;
			BString				fTerminalType;
			int32				fColumns = 80;
			int32				fRows = 24;
};
