#include "platform/winpath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

std::string ProgramFolderOverride;

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

} // namespace

std::string ResolvePath(const std::string& path) {
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

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(ResolvePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return stat(ResolvePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
    return mkdir(ResolvePath(path).c_str(), 0777) == 0;
}

bool DeleteFileAt(const std::string& path) {
    return unlink(ResolvePath(path).c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return rename(ResolvePath(from).c_str(), ResolvePath(to).c_str()) == 0;
}

std::string GetCurrentDir() {
    std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
    return cwd ? std::string(cwd.get()) : std::string();
}

bool SetCurrentDir(const std::string& path) {
    return chdir(ResolvePath(path).c_str()) == 0;
}

std::string ProgramFolder() {
    if (!ProgramFolderOverride.empty()) return ProgramFolderOverride;
    std::string buffer(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) return GetCurrentDir();
    buffer.resize(static_cast<size_t>(n));
    const auto slash = buffer.rfind('/');
    if (slash == std::string::npos) return GetCurrentDir();
    return slash == 0 ? "/" : buffer.substr(0, slash);
}

void SetProgramFolder(const std::string& folder) {
    ProgramFolderOverride = folder;
    while (ProgramFolderOverride.size() > 1 && ProgramFolderOverride.back() == '/')
        ProgramFolderOverride.pop_back();
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
    const std::string dir = folder.empty() ? "." : ResolvePath(folder);
    std::vector<std::string> names;
    for (const auto& name : DirectoryEntries(dir)) {
        if (!WildcardMatch(namePattern.c_str(), name.c_str())) continue;
        struct stat st {};
        if (stat(Join(dir, name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

int64_t FreeSpace(const std::string& path) {
    struct statvfs vfs {};
    if (statvfs(ResolvePath(path).c_str(), &vfs) != 0) return -1;
    return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

std::string MountPoint(const std::string& path) {
    std::unique_ptr<char, decltype(&free)> real(realpath(ResolvePath(path).c_str(), nullptr),
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
    const std::string target = ResolvePath(path);
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
