#pragma once

// The sysop's subcommands of zenbo ("zenbo players", "zenbo bulletin"):
// each reads its own arguments (argument 0 is the subcommand's name) and
// returns the program's exit status.
bool IsSysopCommand(const char* name);
int RunSysopCommand(int argumentCount, char** arguments);
// "who, kick, ...": the subcommands' names, for messages.
extern const char* const kSysopCommandList;
