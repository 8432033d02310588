#pragma once
// Windows-style relative paths on a case-sensitive file system. "\" and "/" both separate;
// each existing name is matched case-insensitively; names that do not exist yet are used as
// spelled. A path starting with "/" is absolute, everything else is relative to the current
// directory.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// The POSIX path the Windows-style path names now.
std::string ResolvePath(const std::string& path);
bool FileExists(const std::string& path); // a regular file
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path); // false when it exists or cannot be made
bool DeleteFileAt(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to); // replaces the target
std::string GetCurrentDir();
bool SetCurrentDir(const std::string& path);
// The folder of the running executable, absolute, without trailing slash.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder); // tests: pretend the program lies there;
                                                  // "" returns to the real folder
// Names (without folder) of the files matching a pattern like "snd\*.wav", case-insensitive.
std::vector<std::string> FindFiles(const std::string& pattern);
int64_t FreeSpace(const std::string& path);      // bytes available to us, -1 on error
std::string MountPoint(const std::string& path); // the file system's mount point
bool ModificationTime(const std::string& path, std::time_t& out);
