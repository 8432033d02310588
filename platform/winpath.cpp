#include "platform/winpath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

std::string ProgramFolderOverride;
TWritableProbe WritableProbe;

// Whether the program folder is overlaid, decided once for each folder the program lies in.
struct TOverlayDecision {
    bool Made = false;
    std::string Folder;
    bool Overlaid = false;
    // The folder's components as spelled and, when that differs, as the file system has them.
    std::vector<std::vector<std::string>> Roots;
};
TOverlayDecision Decision;

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(FoldCase(a[i]));
        const auto cb = static_cast<unsigned char>(FoldCase(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b; // names differing only in case: a fixed order all the same
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::vector<std::string> SplitComponents(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (IsSeparator(c)) {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

struct TDirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using TDirHandle = std::unique_ptr<DIR, TDirCloser>;

std::vector<std::string> DirectoryEntries(const std::string& dir) {
    std::vector<std::string> names;
    TDirHandle handle(opendir(dir.empty() ? "." : dir.c_str()));
    if (!handle) return names;
    while (const dirent* entry = readdir(handle.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    return names;
}

// The existing entry of dir whose name equals wanted ignoring case; when several differ only
// in case, the exact spelling wins, else the first in a fixed order.
bool FindEntry(const std::string& dir, const std::string& wanted, std::string& found) {
    struct stat st {};
    const std::string exact =
        dir.empty() ? wanted : (dir == "/" ? "/" + wanted : dir + "/" + wanted);
    if (lstat(exact.c_str(), &st) == 0) {
        found = wanted;
        return true;
    }
    std::vector<std::string> matches;
    for (const auto& name : DirectoryEntries(dir))
        if (SameNameIgnoringCase(name, wanted)) matches.push_back(name);
    if (matches.empty()) return false;
    std::sort(matches.begin(), matches.end(), LessIgnoringCase);
    found = matches.front();
    return true;
}

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir == "/") return "/" + name;
    return dir + "/" + name;
}

// Like fnmatch with "*" and "?", ignoring ASCII case.
bool WildcardMatch(const char* pattern, const char* name) {
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || (*pattern && FoldCase(*pattern) == FoldCase(*name))) {
            ++pattern;
            ++name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}

// The path resolved against the file system alone, without an overlay.
std::string PlainResolve(const std::string& path) {
    const bool absolute = !path.empty() && path[0] == '/';
    // Relative results stay relative ("" stands for the current directory while walking).
    std::string resolved = absolute ? "/" : "";
    std::vector<std::string> stack; // the components of resolved, for ".."
    bool exists = true;
    for (const auto& part : SplitComponents(path)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!stack.empty() && stack.back() != "..") {
                stack.pop_back();
            } else if (!absolute) {
                stack.push_back("..");
            }
        } else {
            std::string name = part;
            std::string dir;
            if (absolute) dir = "/";
            for (const auto& s : stack)
                dir = Join(dir, s);
            if (exists) exists = FindEntry(dir, part, name);
            stack.push_back(name);
        }
    }
    for (const auto& s : stack)
        resolved = Join(resolved, s);
    if (resolved.empty()) resolved = ".";
    return resolved;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Makes the folder and its missing parents.
void MakeFolders(const std::string& folder) {
    std::string current = "/";
    for (const auto& part : SplitComponents(folder)) {
        current = Join(current, part);
        if (!IsDirectory(current)) mkdir(current.c_str(), 0777);
    }
}

// The components of the absolute path path names, "." and ".." applied to the names.
std::vector<std::string> AbsoluteComponents(const std::string& path) {
    std::vector<std::string> parts;
    if (path.empty() || path[0] != '/') parts = SplitComponents(GetCurrentDir());
    for (const auto& part : SplitComponents(path)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(part);
        }
    }
    return parts;
}

const TOverlayDecision& CurrentDecision() {
    const std::string folder = ProgramFolder();
    if (Decision.Made && Decision.Folder == folder) return Decision;
    TOverlayDecision decision;
    decision.Made = true;
    decision.Folder = folder;
    // A folder that is not there is not an installed copy: its paths fail as they always did.
    struct stat st {};
    decision.Overlaid =
        IsDirectory(folder) && (stat(Join(folder, InstalledMarker).c_str(), &st) == 0 ||
                                !(WritableProbe ? WritableProbe(folder) : FolderWritable(folder)));
    if (decision.Overlaid) {
        decision.Roots.push_back(AbsoluteComponents(folder));
        std::unique_ptr<char, decltype(&free)> real(realpath(folder.c_str(), nullptr), &free);
        if (real) {
            auto canonical = SplitComponents(real.get());
            if (canonical != decision.Roots.front()) decision.Roots.push_back(std::move(canonical));
        }
    }
    Decision = std::move(decision);
    return Decision;
}

// True when path lies in an overlaid program folder; below then holds the names under it.
bool InOverlay(const std::string& path, std::vector<std::string>& below) {
    const TOverlayDecision& decision = CurrentDecision();
    if (!decision.Overlaid) return false;
    const auto parts = AbsoluteComponents(path);
    for (const auto& root : decision.Roots) {
        if (parts.size() < root.size() || !std::equal(root.begin(), root.end(), parts.begin()))
            continue;
        below.assign(parts.begin() + static_cast<std::ptrdiff_t>(root.size()), parts.end());
        return true;
    }
    return false;
}

// The names walked down from folder, each matched ignoring case; exists tells whether all were
// found.
std::string WalkBelow(const std::string& folder, const std::vector<std::string>& names,
                      bool& exists) {
    std::string current = folder;
    exists = true;
    for (const auto& name : names) {
        std::string found = name;
        if (exists) exists = FindEntry(current, name, found);
        current = Join(current, found);
    }
    return current;
}

// Where a write below the program folder goes in the player's folder. Names there match
// ignoring case; a missing one takes the program folder's spelling, so both folders look alike.
// makeFolders makes the player's folder and, on the way, the folders the program folder has.
std::string OverlayWritePath(const std::vector<std::string>& below, bool makeFolders) {
    const std::string player = PlayerFolder();
    if (makeFolders) MakeFolders(player);
    std::string mine = player;
    std::string theirs = ProgramFolder();
    bool mineExists = true;
    bool theirsExists = true;
    for (size_t i = 0; i < below.size(); ++i) {
        std::string myName = below[i];
        std::string theirName = below[i];
        mineExists = mineExists && FindEntry(mine, below[i], myName);
        theirsExists = theirsExists && FindEntry(theirs, below[i], theirName);
        mine = Join(mine, mineExists ? myName : theirName);
        theirs = Join(theirs, theirName);
        const bool last = i + 1 == below.size();
        if (makeFolders && !last && !mineExists && theirsExists && IsDirectory(theirs))
            mineExists = mkdir(mine.c_str(), 0777) == 0;
    }
    return mine;
}

// The player's copy when there is one, else the program folder's, else where a write would go.
std::string OverlayReadPath(const std::vector<std::string>& below) {
    bool exists = false;
    std::string path = WalkBelow(PlayerFolder(), below, exists);
    if (exists) return path;
    path = WalkBelow(ProgramFolder(), below, exists);
    if (exists) return path;
    return OverlayWritePath(below, false);
}

// Where writes to path go, shortened to the nearest folder that exists.
std::string WriteFolderOf(const std::string& path) {
    std::vector<std::string> below;
    if (!InOverlay(path, below)) return PlainResolve(path);
    std::string place = OverlayWritePath(below, false);
    while (!Exists(place) && place != "/") {
        const auto slash = place.rfind('/');
        place = slash == 0 ? "/" : place.substr(0, slash);
    }
    return place;
}

void CopyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (in && out) out << in.rdbuf();
}

} // namespace

std::string ResolvePath(const std::string& path) {
    std::vector<std::string> below;
    return InOverlay(path, below) ? OverlayReadPath(below) : PlainResolve(path);
}

std::string ResolveWritePath(const std::string& path) {
    std::vector<std::string> below;
    return InOverlay(path, below) ? OverlayWritePath(below, true) : PlainResolve(path);
}

std::string ResolveAppendPath(const std::string& path) {
    std::vector<std::string> below;
    if (!InOverlay(path, below)) return PlainResolve(path);
    const std::string target = OverlayWritePath(below, true);
    bool exists = false;
    const std::string theirs = WalkBelow(ProgramFolder(), below, exists);
    struct stat st {};
    if (!Exists(target) && exists && stat(theirs.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        CopyFile(theirs, target);
    return target;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(ResolvePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return stat(ResolvePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
    return mkdir(ResolveWritePath(path).c_str(), 0777) == 0;
}

bool DeleteFileAt(const std::string& path) {
    std::vector<std::string> below;
    if (!InOverlay(path, below)) return unlink(PlainResolve(path).c_str()) == 0;
    bool exists = false;
    const std::string mine = WalkBelow(PlayerFolder(), below, exists);
    return exists && unlink(mine.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return rename(ResolvePath(from).c_str(), ResolveWritePath(to).c_str()) == 0;
}

std::string GetCurrentDir() {
    std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
    return cwd ? std::string(cwd.get()) : std::string();
}

bool SetCurrentDir(const std::string& path) {
    return chdir(PlainResolve(path).c_str()) == 0;
}

std::string ProgramFolder() {
    if (!ProgramFolderOverride.empty()) return ProgramFolderOverride;
    // The executable stays where it is while it runs.
    static const std::string executableFolder = [] {
        std::string buffer(4096, '\0');
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n <= 0) return std::string();
        buffer.resize(static_cast<size_t>(n));
        const auto slash = buffer.rfind('/');
        if (slash == std::string::npos) return std::string();
        return slash == 0 ? std::string("/") : buffer.substr(0, slash);
    }();
    return executableFolder.empty() ? GetCurrentDir() : executableFolder;
}

void SetProgramFolder(const std::string& folder) {
    ProgramFolderOverride = folder;
    while (ProgramFolderOverride.size() > 1 && ProgramFolderOverride.back() == '/')
        ProgramFolderOverride.pop_back();
    Decision = {};
}

std::string PlayerFolder() {
    // Relative values are to be ignored, as the XDG base directories say.
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        if (home && home[0] != 0) {
            base = home;
        } else if (const passwd* user = getpwuid(getuid())) {
            base = user->pw_dir;
        }
        base += "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/crumble-rush";
}

bool ProgramFolderOverlaid() {
    return CurrentDecision().Overlaid;
}

bool FolderWritable(const std::string& folder) {
    std::string name = folder + "/.crumble-rush-write-test-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return false;
    close(fd);
    unlink(name.c_str());
    return true;
}

void SetWritableProbe(TWritableProbe probe) {
    WritableProbe = std::move(probe);
    Decision = {};
}

std::vector<std::string> FindFiles(const std::string& pattern) {
    size_t cut = std::string::npos;
    for (size_t i = pattern.size(); i-- > 0;)
        if (IsSeparator(pattern[i])) {
            cut = i;
            break;
        }
    std::string folder;
    std::string namePattern = pattern;
    if (cut != std::string::npos) {
        folder = pattern.substr(0, cut + 1);
        namePattern = pattern.substr(cut + 1);
    }
    // As on Windows, "*.*" also finds names without a dot.
    if (namePattern == "*.*") namePattern = "*";
    std::vector<std::string> dirs;
    std::vector<std::string> below;
    if (InOverlay(folder.empty() ? "." : folder, below)) {
        // The player's folder first: its spelling wins for a name both hold.
        for (const std::string& root : {PlayerFolder(), ProgramFolder()}) {
            bool exists = false;
            const std::string dir = WalkBelow(root, below, exists);
            if (exists) dirs.push_back(dir);
        }
    } else {
        dirs.push_back(folder.empty() ? "." : PlainResolve(folder));
    }
    std::vector<std::string> names;
    for (const auto& dir : dirs)
        for (const auto& name : DirectoryEntries(dir)) {
            if (!WildcardMatch(namePattern.c_str(), name.c_str())) continue;
            const bool known = std::any_of(names.begin(), names.end(), [&](const auto& other) {
                return SameNameIgnoringCase(other, name);
            });
            struct stat st {};
            if (!known && stat(Join(dir, name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
                names.push_back(name);
        }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

int64_t FreeSpace(const std::string& path) {
    struct statvfs vfs {};
    if (statvfs(WriteFolderOf(path).c_str(), &vfs) != 0) return -1;
    return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

std::string MountPoint(const std::string& path) {
    std::unique_ptr<char, decltype(&free)> real(realpath(WriteFolderOf(path).c_str(), nullptr),
                                                &free);
    if (!real) return {};
    std::string current = real.get();
    struct stat st {};
    if (stat(current.c_str(), &st) != 0) return {};
    const dev_t device = st.st_dev;
    while (current != "/") {
        const auto slash = current.rfind('/');
        const std::string parent = slash == 0 ? "/" : current.substr(0, slash);
        if (stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
        current = parent;
    }
    return current;
}

bool ModificationTime(const std::string& path, std::time_t& out) {
    struct stat st {};
    if (stat(ResolvePath(path).c_str(), &st) != 0) return false;
    out = st.st_mtime;
    return true;
}

int RegularFileSize(const std::string& path, uint64_t& out) {
    struct stat st {};
    if (stat(ResolvePath(path).c_str(), &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return EISDIR;
    out = static_cast<uint64_t>(st.st_size);
    return 0;
}

TReplaceResult ReplaceFileContents(const std::string& path, std::string_view bytes) {
    TReplaceResult result;
    const std::string target = ResolveWritePath(path);
    const std::string temp = target + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        result.Error = errno;
        return result;
    }
    result.Created = true;
    size_t done = 0;
    int error = 0;
    while (done < bytes.size() && error == 0) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) error = errno;
        if (n > 0) done += static_cast<size_t>(n);
    }
    // On disk before the rename, or a power cut could leave an empty file under the old name.
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) unlink(temp.c_str());
    result.Error = error;
    return result;
}
