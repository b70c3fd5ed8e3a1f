// drelmoor_load: many telnet callers at once against one host and its door,
// each logging in, entering the door and typing game keys at a set rate,
// from one process on one event loop so that the generator is never what
// limits the figures. It reports keys and commands per second, key-to-echo
// and whole-command latency (p50, p99, max), replies that were lost or wrong,
// and the CPU time and resident memory of the host and the door.
//
// The callers' accounts are written into the volume before the host starts,
// with the cheapest password hash the host accepts, so that a thousand
// logins measure the board and not Argon2id; the host hashes new
// registrations at its own cost. Before the load, the raw limit of a
// request and reply on this machine is measured (RawLimit.h), and every
// figure is printed beside it.

#include "Clock.h"
#include "LoadPlay.h"
#include "RawLimit.h"

#include <stddef.h>

#include <libtelnet.h>
#include <sodium.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <queue>
#include <random>
#include <string>
#include <vector>


namespace {

const char* const kUsage =
	"Usage: drelmoor_load [OPTIONS]\n"
	"Plays many telnet callers at once against a Drelmoor host.\n"
	"\n"
	"  --callers N        callers at once (default 100)\n"
	"  --rate KEYS        keys per second per caller (default 1)\n"
	"  --seconds S        how long to measure once all are in (default 20)\n"
	"  --sweep LIST       run once per caller count, e.g. 100,500,1000;\n"
	"                     writes load.md, load.dat and load.png to --out\n"
	"  --out DIR          where the sweep's files go (default .)\n"
	"  --zenbo PATH       the host program (default: zenbo beside this one)\n"
	"  --volume DIR       the boot volume to use (default: a fresh one per\n"
	"                     run, removed afterwards)\n"
	"  --port N           the telnet port for the host (default: 23230)\n"
	"  --keys KIND        play: callers who play for real, new characters\n"
	"                     fighting in the caves to each fight's end, at\n"
	"                     the blacksmith and the healer, at the status\n"
	"                     screen and now and then at the Wall of Fame\n"
	"                     (default); status: every key shows the status\n"
	"                     screen, the heaviest common command; walk: the\n"
	"                     keys go between the Town and the Caves, the\n"
	"                     lightest (four exchanges per key); with --sweep\n"
	"                     a comma list, each swept in turn\n"
	"  --characters N     characters on the volume before the host starts\n"
	"                     (default 0), which the Wall of Fame lists\n"
	"  --fame-every N     play: one command in N views the Wall of Fame\n"
	"                     (default 1000; 0 never)\n"
	"  --fame-holders K   K more callers who view the Wall of Fame again as\n"
	"                     soon as each view ends, reported on their own\n"
	"  --logins N         logins in flight at once while callers come in\n"
	"                     (default 4: the host turns away a sixth caller\n"
	"                     from one address who has not logged in yet)\n"
	"  --raw-threads N    threads of the raw limit measured first (100)\n"
	"  --help             show this text\n"
	"\n"
	"Exit status: 0 when nothing was lost or wrong, 1 otherwise.\n";

const char* const kPassword = "load-test-password";

enum class Keys { kStatus, kWalk, kPlay };


const char*
KeysName(Keys keys)
{
	switch (keys) {
		case Keys::kStatus:
			return "status";
		case Keys::kWalk:
			return "walk";
		case Keys::kPlay:
			return "play";
	}
	return "";
}
// What one status command costs between the door and the host: the
// prompt, the key ("gcha" and its echo), the completion and the thirty
// pieces of the status screen.
const int kStatusExchanges = 1 + 2 + 1 + 30;
// A walk between the Town and the Caves: the prompt, the key and its echo
// and the completion.
const int kWalkExchanges = 1 + 2 + 1;
const char* const kPromptEnd = "> ";
// How long a caller may wait for its reply before it counts as lost.
const int64_t kLostAfter = 5000000;


struct Options {
	int					callers = 100;
	double				rate = 1.0;
	int					seconds = 20;
	std::vector<int>	sweep;
	std::string			out = ".";
	std::string			zenbo;
	std::string			volume;
	int					port = 23230;
	int					logins = 4;
	Keys				keys = Keys::kPlay;
	std::vector<Keys>	sweepKeys;
	int					characters = 0;
	int					fameEvery = 1000;
	int					fameHolders = 0;
	int					rawThreads = 100;
};


struct Figures {
	int					callers = 0;
	int					inDoor = 0;
	double				seconds = 0;
	int64_t				keys = 0;
	int64_t				commands = 0;
	int64_t				lost = 0;
	int64_t				wrong = 0;
	std::vector<int64_t> echo;
	std::vector<int64_t> command;
	double				hostCPU = 0;
	double				doorCPU = 0;
	long				hostRSS = 0;
	long				doorRSS = 0;
	long				hostIdleRSS = 0;
	long				doorIdleRSS = 0;
	// The host before its first caller, the door with its first session.
	long				hostBaseRSS = 0;
	long				doorBaseRSS = 0;
	double				loadCPU = 0;
	int64_t				diskFlushes = -1;
	double				loadAverage = 0;
	int					exchangesPerCommand = kStatusExchanges;
	Keys				keysKind = Keys::kStatus;
	// Seconds from the first connect until every caller was in the door.
	double				arrival = 0;
	// The raw limit, measured in the same run just before.
	double				rawExchanges = 0;
	double				rawRoundTrip = 0;
	// The play profile: views of the Wall of Fame apart, and what the
	// callers did.
	std::vector<int64_t> fame;
	std::vector<int64_t> holderFame;
	int					characters = 0;
	int64_t				saves = 0;
	int64_t				fights = 0;
	int64_t				purchases = 0;
	int64_t				heals = 0;
	int64_t				deaths = 0;
};


int64_t
Percentile(std::vector<int64_t>& samples, double fraction)
{
	if (samples.empty())
		return 0;
	std::sort(samples.begin(), samples.end());
	size_t index = (size_t)(fraction * (double)(samples.size() - 1) + 0.5);
	return samples[std::min(index, samples.size() - 1)];
}


// A process's CPU seconds and resident KiB, from /proc.
bool
ReadProcess(pid_t pid, double* cpu, long* rss)
{
	char path[64];
	snprintf(path, sizeof(path), "/proc/%d/stat", (int)pid);
	FILE* file = fopen(path, "r");
	if (file == NULL)
		return false;
	char buffer[1024];
	size_t length = fread(buffer, 1, sizeof(buffer) - 1, file);
	fclose(file);
	buffer[length] = '\0';
	const char* rest = strrchr(buffer, ')');
	if (rest == NULL)
		return false;
	unsigned long user = 0;
	unsigned long system = 0;
	long pages = 0;
	// Fields after the name: state ppid pgrp session tty tpgid flags minflt
	// cminflt majflt cmajflt utime stime cutime cstime priority nice
	// threads itrealvalue starttime vsize rss.
	if (sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu"
			" %*d %*d %*d %*d %*d %*d %*u %*u %ld", &user, &system,
			&pages) != 3) {
		return false;
	}
	double ticks = (double)sysconf(_SC_CLK_TCK);
	*cpu = (double)(user + system) / ticks;
	*rss = pages * (sysconf(_SC_PAGESIZE) / 1024);
	return true;
}


// This process's own CPU seconds, to show that it is not what limits.
double
OwnCPU()
{
	rusage usage;
	getrusage(RUSAGE_SELF, &usage);
	return (double)usage.ru_utime.tv_sec + (double)usage.ru_stime.tv_sec
		+ ((double)usage.ru_utime.tv_usec + (double)usage.ru_stime.tv_usec)
			/ 1000000.0;
}


double
LoadAverage()
{
	double average = 0;
	FILE* file = fopen("/proc/loadavg", "r");
	if (file == NULL)
		return 0;
	if (fscanf(file, "%lf", &average) != 1)
		average = 0;
	fclose(file);
	return average;
}


// The flush requests that the disk holding the folder has completed, from
// its block device's statistics (the seventeenth figure of its stat file,
// kept since Linux 5.5); -1 where the device does not say. Other programs
// on the same disk count too, so the figure is an upper bound.
int64_t
DiskFlushes(const std::string& folder)
{
	struct stat info;
	if (stat(folder.c_str(), &info) != 0)
		return -1;
	char path[96];
	snprintf(path, sizeof(path), "/sys/dev/block/%u:%u/stat",
		major(info.st_dev), minor(info.st_dev));
	FILE* file = fopen(path, "r");
	if (file == NULL)
		return -1;
	long long figures[17];
	int count = 0;
	while (count < 17 && fscanf(file, "%lld", &figures[count]) == 1)
		count++;
	fclose(file);
	return count == 17 ? figures[15] : -1;
}


// The door program of the volume: the process named Drelmoor whose
// environment names the volume.
pid_t
FindDoor(const std::string& volume)
{
	DIR* folder = opendir("/proc");
	if (folder == NULL)
		return -1;
	pid_t found = -1;
	std::string wanted = "BOOT_VOLUME=" + volume;
	while (dirent* entry = readdir(folder)) {
		pid_t pid = atoi(entry->d_name);
		if (pid <= 0)
			continue;
		char path[64];
		snprintf(path, sizeof(path), "/proc/%d/comm", (int)pid);
		FILE* file = fopen(path, "r");
		if (file == NULL)
			continue;
		char name[64] = "";
		if (fgets(name, sizeof(name), file) == NULL)
			name[0] = '\0';
		fclose(file);
		if (strcmp(name, "Drelmoor\n") != 0)
			continue;
		snprintf(path, sizeof(path), "/proc/%d/environ", (int)pid);
		file = fopen(path, "r");
		if (file == NULL)
			continue;
		std::string environment;
		char buffer[4096];
		size_t length;
		while ((length = fread(buffer, 1, sizeof(buffer), file)) > 0)
			environment.append(buffer, length);
		fclose(file);
		size_t start = 0;
		while (start < environment.size()) {
			std::string variable = environment.c_str() + start;
			if (variable == wanted)
				found = pid;
			start += variable.size() + 1;
		}
	}
	closedir(folder);
	return found;
}


// One caller: a socket, its telnet state and where it stands in its visit.
struct Caller {
	enum class Stage {
		kConnecting,
		kName,
		kPassword,
		kFrontRoom,
		kCharacterName,
		kConfirm,
		kPlaying,
		kGone,
	};

	int					index = 0;
	int					descriptor = -1;
	telnet_t*			telnet = nullptr;
	std::string			name;
	Stage				stage = Stage::kConnecting;
	std::string			screen;
	std::string			output;
	bool				waitingForEcho = false;
	bool				waitingForPrompt = false;
	int64_t				keySentAt = 0;
	int64_t				nextKeyAt = 0;
	bool				sawStatus = false;
	char				key = 's';
	bool				inCaves = false;
	// The prompt after the new character is taken is no command's.
	bool				firstPrompt = false;
	bool				watchingWritable = false;
	// The play profile's.
	PlayScript			script;
	PlayScript::Step	next;
	bool				fame = false;
	bool				holder = false;
	// Back in the front room (its character died): it types no more.
	bool				resting = false;
};


class Load {
public:
								Load(const Options& options, int callers);
								~Load();

			bool				Run(Figures* figures);

private:
			bool				_StartHost();
			void				_StopHost();
			bool				_SeedAccounts();
			bool				_SeedCharacters();
			void				_PlayReceived(Caller& caller, int64_t now);
			void				_CountSaves();
			bool				_Connect(Caller& caller);
			void				_Readable(Caller& caller);
			void				_Writable(Caller& caller);
			void				_Received(Caller& caller, const char* bytes,
									size_t size);
			void				_Send(Caller& caller, const std::string& keys);
			void				_Flush(Caller& caller);
			void				_WatchWritable(Caller& caller, bool watch);
			void				_SendKey(Caller& caller);
			void				_Schedule(Caller& caller);
			void				_LoggedIn(Caller& caller);
			void				_Gone(Caller& caller);
	static	void				_TelnetEvent(telnet_t* telnet,
									telnet_event_t* event, void* data);

			Options				fOptions;
			int					fCallerCount;
			std::string			fVolume;
			bool				fOwnVolume = false;
			pid_t				fHost = -1;
			int					fPoll = -1;
			int					fSaves = -1;
			std::vector<Caller>	fCallers;
			std::mt19937		fRandom{12345};
			bool				fMeasuring = false;
			Figures				fFigures;
			int					fInDoor = 0;
			// Connected callers who have not reached the front room yet.
			int					fLoggingIn = 0;
			// When each playing caller types next, soonest first.
			std::priority_queue<std::pair<int64_t, int>,
				std::vector<std::pair<int64_t, int>>,
				std::greater<std::pair<int64_t, int>>> fKeyTimes;
};


Load::Load(const Options& options, int callers)
	:
	fOptions(options),
	fCallerCount(callers)
{
}


Load::~Load()
{
	for (Caller& caller : fCallers) {
		if (caller.telnet != nullptr)
			telnet_free(caller.telnet);
		if (caller.descriptor >= 0)
			close(caller.descriptor);
	}
	if (fPoll >= 0)
		close(fPoll);
	if (fSaves >= 0)
		close(fSaves);
	_StopHost();
	if (fOwnVolume && !fVolume.empty()) {
		std::string command = "rm -rf '" + fVolume + "'";
		if (system(command.c_str()) != 0)
			fprintf(stderr, "drelmoor_load: cannot remove %s\n",
				fVolume.c_str());
	}
}


bool
Load::_SeedAccounts()
{
	std::string folder = fVolume + "/home/Zenbo";
	std::string command = "mkdir -p '" + folder + "'";
	if (system(command.c_str()) != 0)
		return false;
	char hash[crypto_pwhash_STRBYTES];
	if (crypto_pwhash_str_alg(hash, kPassword, strlen(kPassword),
			crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN,
			crypto_pwhash_ALG_ARGON2ID13) != 0) {
		return false;
	}
	std::string content;
	for (const Caller& caller : fCallers)
		content += caller.name + "\t" + hash + "\n";
	std::string path = folder + "/accounts";
	FILE* file = fopen(path.c_str(), "w");
	if (file == NULL)
		return false;
	bool written = fwrite(content.data(), 1, content.size(), file)
		== content.size();
	return fclose(file) == 0 && written;
}


// Characters of other players on the volume, as the game writes them: the
// Wall of Fame lists every one. Written straight, without syncing: the
// volume lives for one run.
bool
Load::_SeedCharacters()
{
	std::string folder = fVolume + "/home/Zenbo/doors/vrask/users";
	std::string command = "mkdir -p '" + folder + "'";
	if (system(command.c_str()) != 0)
		return false;
	for (int i = 0; i < fOptions.characters; i++) {
		std::string name = "Seed" + std::to_string(i);
		int level = 1 + (int)((i * 7919u) % 12);
		std::string record = name + "\nShort Sword\nLeather\n3\n2\n"
			+ std::to_string(level * 150) + "\n" + std::to_string(10 * level + 10)
			+ "\n" + std::to_string(10 * level + 10) + "\n"
			+ std::to_string(level) + "\n" + std::to_string(level * 100)
			+ "\n" + std::to_string(10 + level) + "\n"
			+ std::to_string(5 + level) + "\n15\n0\n";
		std::string path = folder + "/" + name;
		int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
			0644);
		if (file < 0)
			return false;
		bool written = write(file, record.data(), record.size())
			== (ssize_t)record.size();
		if (close(file) != 0 || !written)
			return false;
	}
	return true;
}


// Every save of the game renames a finished record into the users folder.
void
Load::_CountSaves()
{
	if (fSaves < 0)
		return;
	alignas(inotify_event) char buffer[16 * 1024];
	while (true) {
		ssize_t length = read(fSaves, buffer, sizeof(buffer));
		if (length <= 0)
			return;
		for (char* at = buffer; at < buffer + length;) {
			const inotify_event* event = (const inotify_event*)at;
			at += sizeof(inotify_event) + event->len;
			if ((event->mask & IN_MOVED_TO) != 0 && fMeasuring)
				fFigures.saves++;
		}
	}
}


bool
Load::_StartHost()
{
	std::string make = "'" + fOptions.zenbo + "' --make-volume --volume '"
		+ fVolume + "' 2>/dev/null";
	if (system(make.c_str()) != 0) {
		fprintf(stderr, "drelmoor_load: cannot lay out %s\n", fVolume.c_str());
		return false;
	}
	std::string address = "127.0.0.1:" + std::to_string(fOptions.port);
	std::string maxCallers = std::to_string(fCallerCount + 10);
	std::string log = fVolume + "/load-host.log";
	fHost = fork();
	if (fHost < 0)
		return false;
	if (fHost == 0) {
		int file = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		if (file >= 0)
			dup2(file, STDERR_FILENO);
		execl(fOptions.zenbo.c_str(), fOptions.zenbo.c_str(), "--host",
			"--volume", fVolume.c_str(), "--telnet", address.c_str(),
			"--max-callers", maxCallers.c_str(), (char*)NULL);
		_exit(127);
	}
	// The host is up once its listener takes a connection.
	for (int attempt = 0; attempt < 200; attempt++) {
		int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
		sockaddr_in where = {};
		where.sin_family = AF_INET;
		where.sin_port = htons((uint16_t)fOptions.port);
		where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		bool up = connect(probe, (sockaddr*)&where, sizeof(where)) == 0;
		close(probe);
		if (up)
			return true;
		usleep(50000);
	}
	fprintf(stderr, "drelmoor_load: the host did not listen; see %s\n",
		log.c_str());
	return false;
}


void
Load::_StopHost()
{
	if (fHost <= 0)
		return;
	kill(fHost, SIGTERM);
	int status;
	for (int attempt = 0; attempt < 100; attempt++) {
		if (waitpid(fHost, &status, WNOHANG) == fHost) {
			fHost = -1;
			return;
		}
		usleep(100000);
	}
	kill(fHost, SIGKILL);
	waitpid(fHost, &status, 0);
	fHost = -1;
}


bool
Load::_Connect(Caller& caller)
{
	caller.descriptor = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK
		| SOCK_CLOEXEC, 0);
	if (caller.descriptor < 0)
		return false;
	int one = 1;
	setsockopt(caller.descriptor, IPPROTO_TCP, TCP_NODELAY, &one,
		sizeof(one));
	sockaddr_in where = {};
	where.sin_family = AF_INET;
	where.sin_port = htons((uint16_t)fOptions.port);
	where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	if (connect(caller.descriptor, (sockaddr*)&where, sizeof(where)) != 0
		&& errno != EINPROGRESS) {
		return false;
	}
	static const telnet_telopt_t kOptions[] = {
		{ TELNET_TELOPT_ECHO, TELNET_WONT, TELNET_DO },
		{ TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO },
		{ TELNET_TELOPT_NAWS, TELNET_WILL, TELNET_DONT },
		{ TELNET_TELOPT_TTYPE, TELNET_WILL, TELNET_DONT },
		{ TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO },
		{ -1, 0, 0 },
	};
	caller.telnet = telnet_init(kOptions, _TelnetEvent, 0, &caller);
	// Writability is watched until the connection is made, and later only
	// while output waits, or the loop would wake for nothing.
	epoll_event event = {};
	event.events = EPOLLIN | EPOLLOUT;
	event.data.u32 = (uint32_t)caller.index;
	caller.watchingWritable = true;
	return epoll_ctl(fPoll, EPOLL_CTL_ADD, caller.descriptor, &event) == 0;
}


/*static*/ void
Load::_TelnetEvent(telnet_t* telnet, telnet_event_t* event, void* data)
{
	Caller& caller = *static_cast<Caller*>(data);
	switch (event->type) {
		case TELNET_EV_SEND:
			caller.output.append(event->data.buffer, event->data.size);
			break;
		case TELNET_EV_DATA:
			caller.screen.append(event->data.buffer, event->data.size);
			break;
		case TELNET_EV_DO:
			if (event->neg.telopt == TELNET_TELOPT_NAWS) {
				unsigned char size[4] = { 0, 80, 0, 24 };
				telnet_begin_sb(telnet, TELNET_TELOPT_NAWS);
				telnet_send(telnet, (const char*)size, sizeof(size));
				telnet_finish_sb(telnet);
			}
			break;
		case TELNET_EV_TTYPE:
			if (event->ttype.cmd == TELNET_TTYPE_SEND)
				telnet_ttype_is(telnet, "drelmoor-load");
			break;
		default:
			break;
	}
}


void
Load::_Send(Caller& caller, const std::string& keys)
{
	telnet_send(caller.telnet, keys.data(), keys.size());
	_Flush(caller);
}


void
Load::_Flush(Caller& caller)
{
	while (!caller.output.empty()) {
		ssize_t written = send(caller.descriptor, caller.output.data(),
			caller.output.size(), MSG_NOSIGNAL);
		if (written < 0) {
			if (errno != EAGAIN && errno != EINTR && errno != ENOTCONN) {
				_Gone(caller);
				return;
			}
			break;
		}
		caller.output.erase(0, (size_t)written);
	}
	_WatchWritable(caller, !caller.output.empty());
}


void
Load::_WatchWritable(Caller& caller, bool watch)
{
	if (watch == caller.watchingWritable || caller.descriptor < 0
		|| caller.stage == Caller::Stage::kGone) {
		return;
	}
	epoll_event event = {};
	event.events = EPOLLIN | (watch ? (uint32_t)EPOLLOUT : 0u);
	event.data.u32 = (uint32_t)caller.index;
	if (epoll_ctl(fPoll, EPOLL_CTL_MOD, caller.descriptor, &event) == 0)
		caller.watchingWritable = watch;
}


void
Load::_Readable(Caller& caller)
{
	char buffer[16384];
	while (true) {
		ssize_t received = recv(caller.descriptor, buffer, sizeof(buffer), 0);
		if (received < 0 && (errno == EAGAIN || errno == EINTR))
			break;
		if (received <= 0) {
			_Gone(caller);
			epoll_ctl(fPoll, EPOLL_CTL_DEL, caller.descriptor, NULL);
			return;
		}
		size_t before = caller.screen.size();
		telnet_recv(caller.telnet, buffer, (size_t)received);
		_Flush(caller);
		if (caller.screen.size() > before)
			_Received(caller, caller.screen.data() + before,
				caller.screen.size() - before);
	}
}


static bool
EndsWith(const std::string& text, const char* end)
{
	size_t length = strlen(end);
	return text.size() >= length
		&& text.compare(text.size() - length, length, end) == 0;
}


void
Load::_PlayReceived(Caller& caller, int64_t now)
{
	if (caller.resting || !caller.waitingForPrompt)
		return;
	// A caller whose character died, or who was put out of the door, is
	// back in the front room; it rests there for the rest of the run.
	if (EndsWith(caller.screen, "Your choice: ")) {
		if (caller.screen.find("You've been killed!") != std::string::npos
			|| caller.screen.find("currently dead") != std::string::npos) {
			if (fMeasuring)
				fFigures.deaths++;
		} else if (fMeasuring)
			fFigures.wrong++;
		caller.resting = true;
		caller.waitingForPrompt = false;
		return;
	}
	PlayScript::Ending ending = PlayScript::EndingOf(caller.screen);
	if (ending == PlayScript::Ending::kNone)
		return;
	caller.waitingForPrompt = false;
	int64_t notUnderstood = caller.script.fNotUnderstood;
	caller.next = caller.script.Next(caller.screen, ending);
	if (caller.firstPrompt)
		caller.firstPrompt = false;
	else if (fMeasuring) {
		int64_t took = now - caller.keySentAt;
		if (caller.holder)
			fFigures.holderFame.push_back(took);
		else if (caller.fame)
			fFigures.fame.push_back(took);
		else {
			fFigures.command.push_back(took);
			fFigures.commands++;
		}
		if (caller.script.fNotUnderstood != notUnderstood)
			fFigures.wrong++;
	}
	caller.screen.clear();
	if (caller.next.keys.empty()) {
		if (fMeasuring)
			fFigures.wrong++;
		caller.resting = true;
		return;
	}
	if (caller.holder && caller.next.wallOfFame) {
		// Holding the key: the next view is asked for at once.
		caller.nextKeyAt = now;
		fKeyTimes.emplace(now, caller.index);
	} else
		_Schedule(caller);
}


void
Load::_Received(Caller& caller, const char* bytes, size_t size)
{
	int64_t now = Now();
	if (caller.stage == Caller::Stage::kPlaying && fOptions.keys == Keys::kPlay) {
		if (caller.waitingForEcho) {
			caller.waitingForEcho = false;
			if ((size == 0 || bytes[0] != caller.key) && fMeasuring)
				fFigures.wrong++;
			if (fMeasuring && !caller.holder)
				fFigures.echo.push_back(now - caller.keySentAt);
		}
		_PlayReceived(caller, now);
		// The whole screen is needed for the fight's and the shop's
		// choices; a Wall of Fame's is not.
		if (caller.screen.size() > 64 * 1024)
			caller.screen.erase(0, caller.screen.size() - 4096);
		return;
	}
	if (caller.stage == Caller::Stage::kPlaying) {
		if (caller.waitingForEcho) {
			caller.waitingForEcho = false;
			if ((size == 0 || bytes[0] != caller.key) && fMeasuring)
				fFigures.wrong++;
			if (fMeasuring)
				fFigures.echo.push_back(now - caller.keySentAt);
		}
		if (caller.waitingForPrompt && caller.screen.find("Status for [")
				!= std::string::npos) {
			caller.sawStatus = true;
		}
		if (caller.waitingForPrompt && EndsWith(caller.screen, kPromptEnd)) {
			caller.waitingForPrompt = false;
			if (caller.key != 's') {
				caller.sawStatus = EndsWith(caller.screen,
					caller.inCaves ? " : Caves 1> " : " : Town> ");
			}
			if (caller.firstPrompt)
				caller.firstPrompt = false;
			else if (fMeasuring) {
				fFigures.command.push_back(now - caller.keySentAt);
				fFigures.commands++;
				if (!caller.sawStatus)
					fFigures.wrong++;
			}
			caller.screen.clear();
			_Schedule(caller);
		}
		// Only the end of the screen is ever looked at.
		if (caller.screen.size() > 4096)
			caller.screen.erase(0, caller.screen.size() - 1024);
		return;
	}

	const std::string& screen = caller.screen;
	switch (caller.stage) {
		case Caller::Stage::kConnecting:
		case Caller::Stage::kName:
			if (EndsWith(screen, "Name: ")) {
				caller.stage = Caller::Stage::kPassword;
				caller.screen.clear();
				_Send(caller, caller.name + "\r\n");
			}
			break;
		case Caller::Stage::kPassword:
			if (EndsWith(screen, "Password: ")) {
				caller.stage = Caller::Stage::kFrontRoom;
				caller.screen.clear();
				_Send(caller, std::string(kPassword) + "\r\n");
			}
			break;
		case Caller::Stage::kFrontRoom:
			if (EndsWith(screen, "Your choice: ")) {
				_LoggedIn(caller);
				caller.stage = Caller::Stage::kCharacterName;
				caller.screen.clear();
				_Send(caller, "e");
			}
			break;
		case Caller::Stage::kCharacterName:
			if (screen.find("] : ") != std::string::npos) {
				caller.stage = Caller::Stage::kConfirm;
				caller.screen.clear();
				_Send(caller, caller.name + "\r\n");
			} else if (EndsWith(screen, kPromptEnd)) {
				// A character from an earlier run.
				caller.stage = Caller::Stage::kPlaying;
				if (fOptions.keys == Keys::kPlay) {
					caller.next = caller.script.Next(caller.screen,
						PlayScript::Ending::kPrompt);
				}
				caller.screen.clear();
				fInDoor++;
				_Schedule(caller);
			}
			break;
		case Caller::Stage::kConfirm:
			if (screen.find("is this correct?") != std::string::npos) {
				caller.stage = Caller::Stage::kPlaying;
				caller.screen.clear();
				_Send(caller, "y");
				fInDoor++;
				// The first prompt comes by itself.
				caller.waitingForPrompt = true;
				caller.firstPrompt = true;
				caller.keySentAt = Now();
			}
			break;
		default:
			break;
	}
}


void
Load::_LoggedIn(Caller& caller)
{
	(void)caller;
	fLoggingIn--;
}


void
Load::_Gone(Caller& caller)
{
	if (caller.stage == Caller::Stage::kGone)
		return;
	if (caller.stage < Caller::Stage::kCharacterName)
		fLoggingIn--;
	fprintf(stderr, "drelmoor_load: %s was cut off: %s\n",
		caller.name.c_str(), caller.screen.substr(0, 200).c_str());
	caller.stage = Caller::Stage::kGone;
	if (fMeasuring)
		fFigures.lost++;
}


void
Load::_Schedule(Caller& caller)
{
	// Think time: uniform between half and one and a half of the mean, so
	// the callers' keys do not fall into step.
	double mean = 1000000.0 / fOptions.rate;
	std::uniform_real_distribution<double> think(0.5 * mean, 1.5 * mean);
	caller.nextKeyAt = Now() + (int64_t)think(fRandom);
	fKeyTimes.emplace(caller.nextKeyAt, caller.index);
}


void
Load::_SendKey(Caller& caller)
{
	caller.nextKeyAt = 0;
	caller.waitingForEcho = true;
	caller.waitingForPrompt = true;
	caller.sawStatus = false;
	if (fOptions.keys == Keys::kPlay) {
		if (caller.resting || caller.next.keys.empty())
			return;
		caller.key = caller.next.keys[0];
		caller.fame = caller.next.wallOfFame;
		caller.keySentAt = Now();
		caller.screen.clear();
		if (fMeasuring && !caller.holder)
			fFigures.keys++;
		_Send(caller, caller.next.keys);
		return;
	}
	if (fOptions.keys == Keys::kWalk) {
		caller.key = caller.inCaves ? 't' : 'c';
		caller.inCaves = !caller.inCaves;
	}
	caller.keySentAt = Now();
	caller.screen.clear();
	if (fMeasuring)
		fFigures.keys++;
	_Send(caller, std::string(1, caller.key));
}


bool
Load::Run(Figures* figures)
{
	if (fOptions.volume.empty()) {
		char folder[] = "/tmp/drelmoor-load-XXXXXX";
		if (mkdtemp(folder) == NULL)
			return false;
		fVolume = folder;
		fOwnVolume = true;
	} else
		fVolume = fOptions.volume;

	// The callers who hold the Wall of Fame's key come last.
	int holders = fOptions.keys == Keys::kPlay ? fOptions.fameHolders : 0;
	int everyone = fCallerCount + holders;
	fCallers.resize((size_t)everyone);
	for (int i = 0; i < everyone; i++) {
		Caller& caller = fCallers[(size_t)i];
		caller.index = i;
		caller.name = "Load" + std::to_string(i);
		caller.holder = i >= fCallerCount;
		caller.script.SetSeed((uint32_t)i * 2654435761u + 1);
		caller.script.SetFameEvery(caller.holder ? 1 : fOptions.fameEvery);
	}
	if (!_SeedAccounts() || !_SeedCharacters() || !_StartHost())
		return false;
	std::string users = fVolume + "/home/Zenbo/doors/vrask/users";
	fSaves = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
	if (fSaves >= 0 && inotify_add_watch(fSaves, users.c_str(), IN_MOVED_TO)
			< 0) {
		close(fSaves);
		fSaves = -1;
	}

	fPoll = epoll_create1(EPOLL_CLOEXEC);
	fFigures = Figures();
	fFigures.callers = fCallerCount;
	fFigures.keys = 0;
	fFigures.characters = fOptions.characters;
	fFigures.exchangesPerCommand = fOptions.keys == Keys::kWalk
		? kWalkExchanges : kStatusExchanges;
	fFigures.keys = 0;
	fFigures.keysKind = fOptions.keys;
	double cpu;
	long rss;
	if (ReadProcess(fHost, &cpu, &rss))
		fFigures.hostBaseRSS = rss;

	// Callers come in a few at a time, as a board fills up: never more
	// logins in flight than the host lets one address have.
	int64_t start = Now();
	int64_t deadline = start + 120000000 + (int64_t)fCallerCount * 20000;
	size_t connected = 0;
	int64_t measureStart = 0;
	int64_t measureEnd = 0;
	double ownCPU = 0;
	pid_t door = -1;
	std::vector<epoll_event> events(1024);

	while (true) {
		int64_t now = Now();
		_CountSaves();
		while (connected < fCallers.size() && fLoggingIn < fOptions.logins) {
			if (!_Connect(fCallers[connected])) {
				fprintf(stderr, "drelmoor_load: cannot connect caller %zu:"
					" %s\n", connected, strerror(errno));
				return false;
			}
			fLoggingIn++;
			connected++;
		}
		if (door <= 0 && fInDoor > 0) {
			door = FindDoor(fVolume);
			if (door > 0 && ReadProcess(door, &cpu, &rss))
				fFigures.doorBaseRSS = rss;
		}
		if (!fMeasuring && fInDoor == everyone) {
			fFigures.arrival = (double)(now - start) / 1000000;
			// Settled: every session waits for its first key.
			if (ReadProcess(fHost, &cpu, &rss))
				fFigures.hostIdleRSS = rss;
			if (door <= 0)
				door = FindDoor(fVolume);
			if (door > 0 && ReadProcess(door, &cpu, &rss))
				fFigures.doorIdleRSS = rss;
			fMeasuring = true;
			measureStart = now;
			measureEnd = now + (int64_t)fOptions.seconds * 1000000;
			ReadProcess(fHost, &fFigures.hostCPU, &rss);
			if (door > 0)
				ReadProcess(door, &fFigures.doorCPU, &rss);
			ownCPU = OwnCPU();
			fFigures.diskFlushes = DiskFlushes(fVolume);
		}
		if (fMeasuring && now >= measureEnd)
			break;
		if (!fMeasuring && now > deadline) {
			fprintf(stderr, "drelmoor_load: only %d of %d callers reached the"
				" door in time\n", fInDoor, everyone);
			break;
		}

		while (!fKeyTimes.empty() && fKeyTimes.top().first <= now) {
			Caller& caller = fCallers[(size_t)fKeyTimes.top().second];
			int64_t due = fKeyTimes.top().first;
			fKeyTimes.pop();
			if (caller.stage == Caller::Stage::kPlaying
				&& caller.nextKeyAt == due) {
				_SendKey(caller);
			}
		}
		int64_t wake = now + 100000;
		if (!fKeyTimes.empty())
			wake = std::min(wake, fKeyTimes.top().first);
		// Rounded up, so that the loop sleeps instead of spinning through
		// the last part of a millisecond.
		int timeout = (int)std::max<int64_t>(0, (wake - Now() + 999) / 1000);
		int count = epoll_wait(fPoll, events.data(), (int)events.size(),
			timeout);
		for (int i = 0; i < count; i++) {
			Caller& caller = fCallers[events[(size_t)i].data.u32];
			if ((events[(size_t)i].events & EPOLLOUT) != 0)
				_Flush(caller);
			if ((events[(size_t)i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
					!= 0) {
				_Readable(caller);
			}
		}
	}

	fFigures.inDoor = std::min(fInDoor, fCallerCount);
	fFigures.loadAverage = LoadAverage();
	for (const Caller& caller : fCallers) {
		fFigures.fights += caller.script.fFights;
		fFigures.purchases += caller.script.fPurchases;
		fFigures.heals += caller.script.fHeals;
	}
	if (!fMeasuring) {
		// Nothing was measured: no time, no figures of the measured part.
		fFigures.hostCPU = 0;
		fFigures.doorCPU = 0;
		fFigures.diskFlushes = -1;
		*figures = fFigures;
		return false;
	}
	fFigures.seconds = (double)(Now() - measureStart) / 1000000.0;
	fFigures.loadCPU = OwnCPU() - ownCPU;
	if (fFigures.diskFlushes >= 0) {
		int64_t flushes = DiskFlushes(fVolume);
		fFigures.diskFlushes = flushes >= 0
			? flushes - fFigures.diskFlushes : -1;
	}
	if (ReadProcess(fHost, &cpu, &rss)) {
		fFigures.hostCPU = cpu - fFigures.hostCPU;
		fFigures.hostRSS = rss;
	}
	if (door > 0 && ReadProcess(door, &cpu, &rss)) {
		fFigures.doorCPU = cpu - fFigures.doorCPU;
		fFigures.doorRSS = rss;
	}
	// A caller still waiting for its reply when the time is up is not
	// lost; one that never came back from its key within the run is.
	for (Caller& caller : fCallers) {
		if (caller.stage == Caller::Stage::kPlaying && caller.waitingForPrompt
			&& !caller.fame && !caller.holder
			&& Now() - caller.keySentAt > kLostAfter) {
			fFigures.lost++;
		}
	}
	*figures = fFigures;
	return fMeasuring;
}


// Resident memory per session above the door with one session, and per
// caller above the host before its first, in KiB.
double
DoorPerSession(const Figures& figures)
{
	if (figures.inDoor < 2 || figures.doorBaseRSS <= 0)
		return 0;
	return (double)(figures.doorIdleRSS - figures.doorBaseRSS)
		/ (double)(figures.inDoor - 1);
}


double
HostPerCaller(const Figures& figures)
{
	if (figures.inDoor < 1 || figures.hostBaseRSS <= 0)
		return 0;
	return (double)(figures.hostIdleRSS - figures.hostBaseRSS)
		/ (double)figures.inDoor;
}


void
Print(Figures& figures)
{
	printf("%s keys: callers %d (in the door %d, all in %.1f s), %.1f s"
		" measured, load average %.2f\n", KeysName(figures.keysKind),
		figures.callers, figures.inDoor, figures.arrival, figures.seconds,
		figures.loadAverage);
	printf("  raw limit in this run: %.0f exchanges/s, one thread's round"
		" trip %.1f us\n", figures.rawExchanges, figures.rawRoundTrip);
	if (figures.seconds <= 0) {
		printf("  nothing measured: not every caller reached the door\n");
		return;
	}
	double seconds = figures.seconds;
	if (figures.keysKind == Keys::kPlay) {
		printf("  keys/s %.0f, commands/s %.0f (Wall of Fame views apart)\n",
			(double)figures.keys / seconds,
			(double)figures.commands / seconds);
	} else {
		double exchanges = (double)figures.commands
			* figures.exchangesPerCommand / seconds;
		printf("  keys/s %.0f, commands/s %.0f, door exchanges/s %.0f"
			" (%.2f of the raw limit)\n", (double)figures.keys / seconds,
			(double)figures.commands / seconds, exchanges,
			figures.rawExchanges > 0 ? exchanges / figures.rawExchanges : 0);
	}
	printf("  key to echo    p50 %.2f ms  p99 %.2f ms  max %.2f ms\n",
		(double)Percentile(figures.echo, 0.5) / 1000,
		(double)Percentile(figures.echo, 0.99) / 1000,
		(double)Percentile(figures.echo, 1.0) / 1000);
	printf("  whole command  p50 %.2f ms  p99 %.2f ms  max %.2f ms\n",
		(double)Percentile(figures.command, 0.5) / 1000,
		(double)Percentile(figures.command, 0.99) / 1000,
		(double)Percentile(figures.command, 1.0) / 1000);
	printf("  lost %lld, wrong %lld\n", (long long)figures.lost,
		(long long)figures.wrong);
	if (figures.keysKind == Keys::kPlay) {
		// A view is the key, its echo, the heading, four texts per
		// character and the last line: raw round trips of as many.
		double rawView = figures.rawRoundTrip
			* (3 + 4.0 * figures.characters + 1) / 1000;
		auto views = [&](const char* who, std::vector<int64_t>& samples) {
			if (samples.empty())
				return;
			double p50 = (double)Percentile(samples, 0.5) / 1000;
			printf("  Wall of Fame (%s, %d characters): %zu views, p50 %.1f ms"
				" (%.2fx the raw round trips of its exchanges, %.1f ms), p99"
				" %.1f ms, max %.1f ms\n", who, figures.characters,
				samples.size(), p50, rawView > 0 ? p50 / rawView : 0, rawView,
				(double)Percentile(samples, 0.99) / 1000,
				(double)Percentile(samples, 1.0) / 1000);
		};
		views("now and then", figures.fame);
		views("held", figures.holderFame);
		printf("  fights %lld, purchases %lld, heals %lld, deaths %lld;"
			" saves/s %.1f\n", (long long)figures.fights,
			(long long)figures.purchases, (long long)figures.heals,
			(long long)figures.deaths, (double)figures.saves / seconds);
	}
	printf("  host: %.2f s CPU (%.0f%% of one core), %ld KiB resident;"
		" %ld KiB before the first caller, %ld KiB with everyone logged in:"
		" %.1f KiB per caller\n", figures.hostCPU,
		100 * figures.hostCPU / seconds, figures.hostRSS,
		figures.hostBaseRSS, figures.hostIdleRSS, HostPerCaller(figures));
	printf("  door: %.2f s CPU (%.0f%% of one core), %ld KiB resident;"
		" %ld KiB with one session, %ld KiB with everyone waiting:"
		" %.1f KiB per session\n", figures.doorCPU,
		100 * figures.doorCPU / seconds, figures.doorRSS,
		figures.doorBaseRSS, figures.doorIdleRSS, DoorPerSession(figures));
	printf("  generator: %.2f s CPU (%.0f%% of one core)\n", figures.loadCPU,
		100 * figures.loadCPU / seconds);
	if (figures.diskFlushes >= 0) {
		printf("  disk flushes/s %.1f (the whole disk's)\n",
			(double)figures.diskFlushes / seconds);
	}
}


bool
ParseArguments(int count, char** arguments, Options* options)
{
	for (int i = 1; i < count; i++) {
		std::string argument = arguments[i];
		auto value = [&]() -> const char* {
			if (i + 1 >= count) {
				fprintf(stderr, "drelmoor_load: %s needs a value\n",
					argument.c_str());
				exit(2);
			}
			return arguments[++i];
		};
		if (argument == "--help" || argument == "-h") {
			fputs(kUsage, stdout);
			exit(0);
		} else if (argument == "--callers")
			options->callers = atoi(value());
		else if (argument == "--rate")
			options->rate = atof(value());
		else if (argument == "--seconds")
			options->seconds = atoi(value());
		else if (argument == "--out")
			options->out = value();
		else if (argument == "--zenbo")
			options->zenbo = value();
		else if (argument == "--volume")
			options->volume = value();
		else if (argument == "--port")
			options->port = atoi(value());
		else if (argument == "--keys") {
			std::string list = value();
			options->sweepKeys.clear();
			size_t start = 0;
			while (start <= list.size()) {
				size_t comma = list.find(',', start);
				if (comma == std::string::npos)
					comma = list.size();
				std::string kind = list.substr(start, comma - start);
				if (kind == "status")
					options->sweepKeys.push_back(Keys::kStatus);
				else if (kind == "walk")
					options->sweepKeys.push_back(Keys::kWalk);
				else if (kind == "play")
					options->sweepKeys.push_back(Keys::kPlay);
				else {
					fprintf(stderr, "drelmoor_load: --keys takes play, status"
						" or walk\n");
					return false;
				}
				start = comma + 1;
			}
			options->keys = options->sweepKeys.front();
		} else if (argument == "--characters")
			options->characters = atoi(value());
		else if (argument == "--fame-every")
			options->fameEvery = atoi(value());
		else if (argument == "--fame-holders")
			options->fameHolders = atoi(value());
		else if (argument == "--raw-threads")
			options->rawThreads = atoi(value());
		else if (argument == "--logins")
			options->logins = atoi(value());
		else if (argument == "--sweep") {
			std::string list = value();
			size_t start = 0;
			while (start <= list.size()) {
				size_t comma = list.find(',', start);
				if (comma == std::string::npos)
					comma = list.size();
				int callers = atoi(list.substr(start, comma - start).c_str());
				if (callers > 0)
					options->sweep.push_back(callers);
				start = comma + 1;
			}
		} else {
			fprintf(stderr, "drelmoor_load: unknown argument %s (see"
				" --help)\n", argument.c_str());
			return false;
		}
	}
	if (options->callers < 1 || options->rate <= 0 || options->seconds < 1
		|| options->logins < 1 || options->rawThreads < 1
		|| options->characters < 0 || options->fameEvery < 0
		|| options->fameHolders < 0) {
		fprintf(stderr, "drelmoor_load: callers, rate, seconds, logins and"
			" raw threads must be positive, the rest not negative\n");
		return false;
	}
	if (options->sweepKeys.empty())
		options->sweepKeys.push_back(options->keys);
	if (options->zenbo.empty()) {
		char self[4096];
		ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
		if (length <= 0)
			return false;
		self[length] = '\0';
		std::string folder(self);
		options->zenbo = folder.substr(0, folder.rfind('/')) + "/zenbo";
	}
	return true;
}


// A figure of the sweep's table, or "—" where the run has none to give.
struct CellText {
	CellText(bool known, const char* format, double value)
	{
		if (known)
			snprintf(text, sizeof(text), format, value);
	}

	char text[32] = "—";
};


bool
WriteSweep(const Options& options, std::vector<Figures>& rows)
{
	std::string table = options.out + "/load.md";
	std::string data = options.out + "/load.dat";
	FILE* markdown = fopen(table.c_str(), "w");
	FILE* points = fopen(data.c_str(), "w");
	if (markdown == NULL || points == NULL) {
		if (markdown != NULL)
			fclose(markdown);
		if (points != NULL)
			fclose(points);
		return false;
	}
	fprintf(markdown, "| keys | callers | in door | all in s | keys/s |"
		" commands/s | exchanges/s | raw limit exchanges/s | echo p50 ms |"
		" echo p99 ms | echo max ms | command p50 ms | command p99 ms |"
		" command max ms | fame views | fame p99 ms | lost | wrong |"
		" host KiB/caller | door KiB/session | host CPU %% | door CPU %% |"
		" generator CPU %% | saves/s | disk flushes/s | load average |\n");
	fprintf(markdown, "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
		"---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
	// One block per kind of keys, for the plot's lines.
	Keys block = rows.empty() ? Keys::kPlay : rows.front().keysKind;
	fprintf(points, "# %s: callers echo_p99_ms command_p99_ms host_kib"
		" door_kib\n", KeysName(block));
	for (Figures& row : rows) {
		if (row.keysKind != block) {
			block = row.keysKind;
			fprintf(points, "\n\n# %s: callers echo_p99_ms command_p99_ms"
				" host_kib door_kib\n", KeysName(block));
		}
		if (row.seconds <= 0) {
			fprintf(markdown, "| %s | %d | %d | not measured: not every"
				" caller reached the door |||||||||||||||||||||| %.2f |\n",
				KeysName(row.keysKind), row.callers, row.inDoor,
				row.loadAverage);
			continue;
		}
		double seconds = row.seconds;
		double echo99 = (double)Percentile(row.echo, 0.99) / 1000;
		double command99 = (double)Percentile(row.command, 0.99) / 1000;
		// A played command's exchanges depend on the screen it meets, so
		// only the status and walk keys have a count to give.
		CellText exchanges(row.keysKind != Keys::kPlay, "%.0f",
			(double)row.commands * row.exchangesPerCommand / seconds);
		CellText flushes(row.diskFlushes >= 0, "%.1f",
			(double)row.diskFlushes / seconds);
		fprintf(markdown, "| %s | %d | %d | %.1f | %.0f | %.0f | %s | %.0f |"
			" %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %zu | %.1f | %lld |"
			" %lld | %.1f | %.1f | %.0f | %.0f | %.0f | %.1f | %s | %.2f"
			" |\n", KeysName(row.keysKind), row.callers, row.inDoor,
			row.arrival, (double)row.keys / seconds,
			(double)row.commands / seconds, exchanges.text, row.rawExchanges,
			(double)Percentile(row.echo, 0.5) / 1000, echo99,
			(double)Percentile(row.echo, 1.0) / 1000,
			(double)Percentile(row.command, 0.5) / 1000, command99,
			(double)Percentile(row.command, 1.0) / 1000, row.fame.size(),
			(double)Percentile(row.fame, 0.99) / 1000, (long long)row.lost,
			(long long)row.wrong, HostPerCaller(row), DoorPerSession(row),
			100 * row.hostCPU / seconds, 100 * row.doorCPU / seconds,
			100 * row.loadCPU / seconds, (double)row.saves / seconds,
			flushes.text, row.loadAverage);
		fprintf(points, "%d %.3f %.3f %ld %ld\n", row.callers, echo99,
			command99, row.hostRSS, row.doorRSS);
	}
	fclose(markdown);
	fclose(points);

	std::string plot = "gnuplot -e \"set terminal png size 900,500;"
		" set output '" + options.out + "/load.png';"
		" set xlabel 'callers'; set ylabel 'p99 latency (ms)';"
		" set logscale y; set y2label 'resident memory (MiB)'; set y2tics;"
		" set key left top; plot ";
	for (size_t i = 0; i < options.sweepKeys.size(); i++) {
		std::string name = KeysName(options.sweepKeys[i]);
		std::string index = std::to_string(i);
		plot += "'" + data + "' index " + index + " using 1:2 with linespoints"
			" title '" + name + ": key to echo p99', '' index " + index
			+ " using 1:3 with linespoints title '" + name + ": whole command"
			" p99', '' index " + index + " using 1:(\\$4/1024) axes x1y2 with"
			" lines dt 3 title '" + name + ": host memory', '' index " + index
			+ " using 1:(\\$5/1024) axes x1y2 with lines dt 4 title '" + name
			+ ": door memory', ";
	}
	plot += "10 title '10 ms' dt 2\"";
	return system(plot.c_str()) == 0;
}

}	// namespace


int
main(int argumentCount, char** arguments)
{
	Options options;
	if (!ParseArguments(argumentCount, arguments, &options))
		return 2;
	if (sodium_init() < 0)
		return 1;
	signal(SIGPIPE, SIG_IGN);
	// Every caller is a descriptor here and in the host.
	rlimit limit;
	if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
		limit.rlim_cur = limit.rlim_max;
		setrlimit(RLIMIT_NOFILE, &limit);
	}

	// A sweep runs for many minutes: a folder its files cannot go to is
	// told before the first caller, not after the last.
	std::error_code error;
	if (!options.sweep.empty()
		&& (std::filesystem::create_directories(options.out, error), error)) {
		fprintf(stderr, "drelmoor_load: cannot make %s: %s\n",
			options.out.c_str(), error.message().c_str());
		return 1;
	}

	std::vector<int> counts = options.sweep;
	if (counts.empty())
		counts.push_back(options.callers);
	std::vector<Figures> rows;
	bool clean = true;
	for (Keys keys : options.sweepKeys) {
		options.keys = keys;
		for (int callers : counts) {
			// The limit beside the figure, measured just before it.
			double rawExchanges = RawLimit::ExchangesPerSecond(
				options.rawThreads, 2);
			double rawRoundTrip = RawLimit::RoundTripMicroseconds(20000);
			Figures figures;
			bool measured;
			{
				Load load(options, callers);
				measured = load.Run(&figures);
			}
			figures.keysKind = keys;
			figures.rawExchanges = rawExchanges;
			figures.rawRoundTrip = rawRoundTrip;
			Print(figures);
			fflush(stdout);
			clean = clean && measured && figures.lost == 0
				&& figures.wrong == 0;
			rows.push_back(figures);
		}
	}
	if (!options.sweep.empty() && !WriteSweep(options, rows)) {
		fprintf(stderr, "drelmoor_load: cannot write the sweep's files in"
			" %s\n", options.out.c_str());
		return 1;
	}
	return clean ? 0 : 1;
}
