#pragma once

#include "CallLog.h"

#include <map>
#include <string>
#include <vector>

// The sysop's commands that read the board's records (zenbo calls, zenbo
// account NAME --show), from the database itself: the host need not run,
// and one that runs goes on writing meanwhile.
int RunCallsCommand(int argumentCount, char** arguments);
// The volume that --volume names (NULL: the default), for what follows.
void UseVolumeFolder(const char* volume);
int ShowAccountRecord(const char* command, const std::string& name);

// The table of zenbo calls, the newest first, within 80 columns: the
// addresses go on lines of their own when a column would not hold them.
std::string FormatCallTable(const std::vector<CallRecord>& calls);

// The start of each name's last call (by the name's key), for zenbo
// players; empty when the board has no records to read.
bool ReadLastCallsByName(std::map<std::string, time_t>* last);
