#pragma once

// zenbo board add|list|remove: the boards whose callers play here over
// RLogin, kept in the host's folder of the volume. Argument 0 is "board";
// returns the program's exit status.
int RunBoardCommand(int argumentCount, char** arguments);
