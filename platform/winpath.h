#pragma once
// Windows-style relative paths on a case-sensitive file system. "\" and "/" both separate;
// each existing name is matched case-insensitively; names that do not exist yet are used as
// spelled. A path starting with "/" is absolute, everything else is relative to the current
// directory.
//
// An installed program folder cannot be written. Then every path inside it is overlaid by the
// player's folder: it is read from there first and from the program folder second, and written
// there only (the program folder's subfolders made there as needed). So the saved state lives with
// the player, and a file put there replaces the program's own. A writable program folder is used as
// it is, without any overlay.
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The POSIX path the Windows-style path names now, for reading.
std::string ResolvePath(const std::string& path);
// The POSIX path a write to the Windows-style path goes to: in an overlaid program folder, the
// place in the player's folder, the folders on the way made.
std::string ResolveWritePath(const std::string& path);
// The same for appending: a file only the program folder holds is copied over first, so what is
// appended follows what was there.
std::string ResolveAppendPath(const std::string& path);
bool FileExists(const std::string& path); // a regular file
bool DirectoryExists(const std::string& path);
bool CreateDir(const std::string& path);    // false when it exists or cannot be made
bool DeleteFileAt(const std::string& path); // overlaid: the player's copy only
bool RenameFile(const std::string& from, const std::string& to); // replaces the target
std::string GetCurrentDir();
bool SetCurrentDir(const std::string& path); // a folder as it is, never its overlay
// The folder of the running executable, absolute, without trailing slash.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder); // tests: pretend the program lies there;
                                                  // "" returns to the real folder
// $XDG_DATA_HOME/crumble-rush, by default ~/.local/share/crumble-rush.
std::string PlayerFolder();
// True when the program folder cannot be written, or holds the file InstalledMarker (root can
// write anywhere, yet an installed copy must stay as installed), so the player's folder overlays
// it. Decided once per program folder.
bool ProgramFolderOverlaid();
constexpr const char* InstalledMarker = "installed.txt";
// Whether a file can be made in the folder: one is created and removed again. Asking for
// permissions would not do, since they do not hold for root.
bool FolderWritable(const std::string& folder);
using TWritableProbe = std::function<bool(const std::string& folder)>;
// Tests: decides writability instead of FolderWritable; nullptr returns to it.
void SetWritableProbe(TWritableProbe probe);
// Names (without folder) of the files matching a pattern like "snd\*.wav", case-insensitive;
// in an overlaid program folder those of both folders, each name once.
std::vector<std::string> FindFiles(const std::string& pattern);
// Both look where writes to path go: in an overlaid program folder, the nearest existing folder
// of the place in the player's folder.
int64_t FreeSpace(const std::string& path);      // bytes available to us, -1 on error
std::string MountPoint(const std::string& path); // the file system's mount point
bool ModificationTime(const std::string& path, std::time_t& out);
// Failures below are errno values, 0 meaning success, so callers word them themselves.
// The size of a regular file; EISDIR when the name is something else.
int RegularFileSize(const std::string& path, uint64_t& out);
// Writes the bytes to path + ".tmp", flushes them to disk and renames that over path, so
// readers see either the old or the new file whole; the temporary file is removed on failure.
// Created is false when not even the temporary file could be made.
struct TReplaceResult {
    int Error = 0;
    bool Created = false;
};
TReplaceResult ReplaceFileContents(const std::string& path, std::string_view bytes);
