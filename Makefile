# Two commands matter: `make play` and `make test`. Everything else is for
# developers. Every target installs the Debian packages it needs first.

PACKAGES := cmake ninja-build make g++ clang libclang-rt-14-dev \
	libgtest-dev libgmock-dev libbenchmark-dev \
	dpkg-dev file lintian pkg-config libtelnet-dev libsodium-dev libsqlite3-dev gnuplot-nox \
	libtomlplusplus-dev python3-pexpect telnet \
	libssh-dev openssh-client libboost-dev nodejs chromium rsh-redone-client
JOBS ?= $(shell nproc)
STRICT ?= OFF
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTRICT=$(STRICT)
CLANG := -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
# Builds of several checkouts share compiled objects where ccache is there.
CCACHE := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CMAKE_FLAGS += $(CCACHE)
VOLUME ?= $(CURDIR)/volume

.PHONY: all deps build test play serve asan tsan gcc bench load fuzz soak volume deb clean

all: build

deps:
	@tools/install-packages $(PACKAGES)

build: deps
	cmake -S . -B build $(CMAKE_FLAGS) $(CLANG) -DBUILD_FUZZERS=ON
	cmake --build build -j $(JOBS)

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

# The whole suite again under AddressSanitizer (with leak and undefined
# behaviour checks) and under ThreadSanitizer.
asan: deps
	cmake -S . -B build-asan $(CMAKE_FLAGS) $(CLANG) -DSANITIZE=address
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

tsan: deps
	cmake -S . -B build-tsan $(CMAKE_FLAGS) $(CLANG) -DSANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The tree must also build with g++ without a warning.
gcc: deps
	cmake -S . -B build-gcc $(CMAKE_FLAGS) -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DSTRICT=ON
	cmake --build build-gcc -j $(JOBS)

bench: build
	build/bin/messaging_bench
	build/bin/save_bench
	build/bin/records_bench

# The load generator against a real host and door: LOAD_CALLERS telnet
# callers (default 200) typing a key a second for LOAD_SECONDS (default 30)
# over a volume of LOAD_CHARACTERS characters (default 10000); LOAD_KEYS
# says what they type (play, status or walk). With SWEEP=1 it runs once per
# count of LOAD_SWEEP for each of LOAD_SWEEP_KEYS and writes load.md,
# load.dat and load.png (p99 latency and memory against callers) to
# LOAD_OUT. Every figure comes with the raw limit measured just before it.
LOAD_CALLERS ?= 200
LOAD_SECONDS ?= 30
LOAD_SWEEP ?= 100,500,1000,2000,5000
LOAD_OUT ?= build/load
LOAD_KEYS ?= play
LOAD_SWEEP_KEYS ?= walk,play
LOAD_CHARACTERS ?= 10000
load: build
ifeq ($(SWEEP),1)
	build/bin/drelmoor_load --sweep $(LOAD_SWEEP) --seconds $(LOAD_SECONDS) --keys $(LOAD_SWEEP_KEYS) --characters $(LOAD_CHARACTERS) --out $(LOAD_OUT)
else
	build/bin/drelmoor_load --callers $(LOAD_CALLERS) --seconds $(LOAD_SECONDS) --keys $(LOAD_KEYS) --characters $(LOAD_CHARACTERS)
endif

# The Debian package, drelmoor_<version>_amd64.deb, in build/.
deb: build
	cd build && cpack -G DEB

# Every fuzzer for longer than the suite runs it: FUZZ_SECONDS each, or
# FUZZ_RUNS inputs each, whichever ends first (60 s when neither is given);
# FUZZERS names some of them.
fuzz: build
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_RUNS=$(FUZZ_RUNS) tools/run-fuzzers build $(FUZZERS)

# Scripted telnet callers against a real host and door on a scratch volume
# for SOAK_MINUTES (default 10), SOAK_CALLERS of them (default 20), joining,
# leaving and dropping their lines; fails on a player file, an account, a
# thread, a descriptor, a temporary file or memory lost or left over.
soak: build
	SOAK_MINUTES=$(SOAK_MINUTES) SOAK_CALLERS=$(SOAK_CALLERS) tools/soak \
		--zenbo build/bin/zenbo --door build/bin/Drelmoor

# A boot volume for local play: the door's data files and an empty users
# folder. Player files and data files edited by hand are never replaced.
volume: build
	build/bin/zenbo --make-volume --volume "$(VOLUME)"

play: build
	@[ -d "$(VOLUME)/home/Zenbo/doors/vrask" ] || build/bin/zenbo --make-volume --volume "$(VOLUME)"
	build/bin/zenbo --local --volume "$(VOLUME)"

# The board for telnet, SSH and web callers, until Ctrl-C:
# telnet 127.0.0.1 2323, ssh -p 2222 NAME@127.0.0.1, http://127.0.0.1:8080/.
serve: build
	@[ -d "$(VOLUME)/home/Zenbo/doors/vrask" ] || build/bin/zenbo --make-volume --volume "$(VOLUME)"
	build/bin/zenbo --telnet 127.0.0.1:2323 --ssh 127.0.0.1:2222 --web 127.0.0.1:8080 --volume "$(VOLUME)"

clean:
	rm -rf build build-asan build-tsan build-gcc
