#pragma once

#include <String.h>

#include <string>

// A fresh boot volume in a temporary folder, made the boot volume of this
// process (BOOT_VOLUME) and of every program it starts, and removed with
// everything in it when the object goes. Make it before any thread or
// application of the test starts, since it changes the environment.
class TestVolume {
public:
								TestVolume();
								TestVolume(const TestVolume&) = delete;
			TestVolume&			operator=(const TestVolume&) = delete;
								~TestVolume();

			// The machine's path of the volume's folder.
			const std::string&	Folder() const;
			// The machine's path of a "/boot/..." path.
			std::string			MachinePath(const char* bootPath) const;

			// Files by "/boot/..." path; folders above are made as needed.
			void				WriteFile(const char* bootPath,
									const std::string& content) const;
			std::string			ReadFile(const char* bootPath) const;
			bool				Exists(const char* bootPath) const;
			void				MakeFolder(const char* bootPath) const;

			// Lays out the door's folder with the data files of the source
			// tree (monsters, weapons, armor) and an empty users folder.
			void				InstallGameData() const;

private:
			std::string			fFolder;
			std::string			fPreviousVolume;
			bool				fHadPreviousVolume = false;
};

// Freezes the real-time clock of this process and of the programs it starts
// at the given second (BOOT_CLOCK) while it lives.
class FrozenClock {
public:
	explicit					FrozenClock(uint32 secondsSince1970);
								~FrozenClock();

private:
			std::string			fPrevious;
			bool				fHadPrevious = false;
};
