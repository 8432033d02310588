#include "platform/sysinfo.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <pwd.h>
#include <stdexcept>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint64_t MaxU64 = std::numeric_limits<uint64_t>::max();

uint64_t SatAdd(uint64_t a, uint64_t b) {
    return a > MaxU64 - b ? MaxU64 : a + b;
}
uint64_t KBToBytes(uint64_t kb) {
    return kb > (MaxU64 >> 10) ? MaxU64 : kb << 10;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Reads decimal digits from pos on, saturating instead of wrapping. False when there are none.
template <typename T> bool ReadNumber(const std::string& s, size_t& pos, T& out) {
    const size_t start = pos;
    T value = 0;
    constexpr T max = std::numeric_limits<T>::max();
    while (pos < s.size() && IsDigit(s[pos])) {
        const T digit = static_cast<T>(s[pos] - '0');
        value = value > (max - digit) / 10 ? max : static_cast<T>(value * 10 + digit);
        ++pos;
    }
    out = value;
    return pos > start;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// /proc files report a size of 0, so read until the end rather than by size.
std::string ReadTextFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The value of the first "key<blanks>: value" line of /proc/cpuinfo.
std::optional<std::string> CpuInfoField(const std::string& text, const std::string& key) {
    for (const std::string& line : Lines(text)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (Trim(line.substr(0, colon)) == key) return Trim(line.substr(colon + 1));
    }
    return std::nullopt;
}

std::string ImplementerName(const std::string& code) {
    unsigned long value = 0;
    try {
        size_t used = 0;
        value = std::stoul(code, &used, 16);
        if (used != code.size()) return code;
    } catch (const std::exception&) {
        return code;
    }
    // The implementer codes the kernel and lscpu name.
    switch (value) {
    case 0x41:
        return "ARM";
    case 0x42:
        return "Broadcom";
    case 0x43:
        return "Cavium";
    case 0x46:
        return "Fujitsu";
    case 0x48:
        return "HiSilicon";
    case 0x4e:
        return "NVIDIA";
    case 0x50:
        return "APM";
    case 0x51:
        return "Qualcomm";
    case 0x61:
        return "Apple";
    case 0x69:
        return "Intel";
    case 0xc0:
        return "Ampere";
    default:
        return code;
    }
}

} // namespace

void ParseKernelRelease(const std::string& release, uint32_t& major, uint32_t& minor,
                        uint32_t& build) {
    uint32_t* parts[] = {&major, &minor, &build};
    for (uint32_t* part : parts)
        *part = 0;
    size_t pos = 0;
    for (uint32_t* part : parts) {
        if (!ReadNumber(release, pos, *part)) break;
        if (pos >= release.size() || release[pos] != '.') break;
        ++pos;
    }
}

TOSVersion GetOSVersion() {
    TOSVersion v;
    utsname name{};
    if (uname(&name) != 0) return v;
    v.SysName = name.sysname;
    v.Release = name.release;
    v.Version = name.version;
    v.Machine = name.machine;
    ParseKernelRelease(v.Release, v.Major, v.Minor, v.Build);
    return v;
}

std::optional<uint64_t> ProcFieldKB(const std::string& text, const std::string& key) {
    if (key.empty()) return std::nullopt;
    for (const std::string& line : Lines(text)) {
        if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0 ||
            line[key.size()] != ':')
            continue;
        size_t pos = key.size() + 1;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        uint64_t value = 0;
        if (!ReadNumber(line, pos, value)) return std::nullopt;
        return value;
    }
    return std::nullopt;
}

TMemoryStatus ParseMemoryStatus(const std::string& meminfo, const std::string& selfStatus,
                                uint64_t addressSpace) {
    auto bytes = [&](const char* key) { return KBToBytes(ProcFieldKB(meminfo, key).value_or(0)); };
    TMemoryStatus s;
    s.TotalPhys = bytes("MemTotal");
    if (ProcFieldKB(meminfo, "MemAvailable"))
        s.AvailPhys = bytes("MemAvailable");
    else
        s.AvailPhys = SatAdd(SatAdd(bytes("MemFree"), bytes("Buffers")), bytes("Cached"));
    if (s.AvailPhys > s.TotalPhys) s.AvailPhys = s.TotalPhys;

    const uint64_t swapTotal = bytes("SwapTotal");
    const uint64_t swapFree = std::min(bytes("SwapFree"), swapTotal);
    s.TotalPageFile = SatAdd(s.TotalPhys, swapTotal);
    s.AvailPageFile = SatAdd(s.AvailPhys, swapFree);

    if (s.TotalPhys > 0) {
        const unsigned __int128 used = s.TotalPhys - s.AvailPhys;
        s.MemoryLoad = static_cast<uint32_t>(used * 100 / s.TotalPhys);
    }

    const uint64_t mapped = KBToBytes(ProcFieldKB(selfStatus, "VmSize").value_or(0));
    s.TotalVirtual = addressSpace;
    s.AvailVirtual = mapped < addressSpace ? addressSpace - mapped : 0;
    return s;
}

uint64_t UserAddressSpace() {
    if constexpr (sizeof(void*) == 4) {
        return uint64_t{3} << 30; // the classic 3 GB / 1 GB split
    } else {
#if defined(__x86_64__)
        return (uint64_t{1} << 47) - 4096; // the kernel keeps the top page unmapped
#elif defined(__aarch64__)
        return uint64_t{1} << 48;
#else
        return uint64_t{1} << 47;
#endif
    }
}

namespace {
std::optional<TMemoryStatus> MemoryStatusOverride;
}

void SetMemoryStatusOverride(std::optional<TMemoryStatus> status) {
    MemoryStatusOverride = status;
}

TMemoryStatus GetMemoryStatus() {
    if (MemoryStatusOverride) return *MemoryStatusOverride;
    return ParseMemoryStatus(ReadTextFile("/proc/meminfo"), ReadTextFile("/proc/self/status"),
                             UserAddressSpace());
}

uint32_t ParseCpuMask(const std::string& cpuList) {
    uint32_t mask = 0;
    size_t start = 0;
    while (start <= cpuList.size()) {
        size_t end = cpuList.find(',', start);
        if (end == std::string::npos) end = cpuList.size();
        const std::string piece = Trim(cpuList.substr(start, end - start));
        start = end + 1;

        size_t pos = 0;
        uint64_t first = 0;
        if (!ReadNumber(piece, pos, first)) continue;
        uint64_t last = first;
        if (pos < piece.size()) {
            if (piece[pos] != '-') continue;
            ++pos;
            if (!ReadNumber(piece, pos, last) || pos != piece.size()) continue;
        }
        if (last < first) continue;
        for (uint64_t cpu = first; cpu <= last && cpu < 32; ++cpu)
            mask |= uint32_t{1} << cpu;
    }
    return mask;
}

uint32_t ProcessorTypeOf(const std::string& machine) {
    if (machine == "x86_64" || machine == "amd64") return 586;
    if (machine.size() == 4 && machine[0] == 'i' && IsDigit(machine[1]) && machine[2] == '8' &&
        machine[3] == '6') {
        const int generation = machine[1] - '0';
        if (generation == 3) return 386;
        if (generation == 4) return 486;
        if (generation >= 5) return 586;
    }
    return 0;
}

TProcessorInfo GetProcessorInfo() {
    TProcessorInfo p;
    const long pageSize = sysconf(_SC_PAGESIZE);
    p.PageSize = pageSize > 0 ? static_cast<uint32_t>(pageSize) : 4096;
    p.AllocationGranularity = p.PageSize;

    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    p.NumberOfProcessors = online > 0 ? static_cast<uint32_t>(online) : 1;

    p.ActiveProcessorMask = ParseCpuMask(ReadTextFile("/sys/devices/system/cpu/online"));
    if (p.ActiveProcessorMask == 0) // no sysfs (containers): assume CPUs 0..n-1
        p.ActiveProcessorMask =
            p.NumberOfProcessors >= 32 ? 0xFFFFFFFFu : (uint32_t{1} << p.NumberOfProcessors) - 1;

    p.ProcessorType = ProcessorTypeOf(GetOSVersion().Machine);
    return p;
}

std::string ParseCpuVendor(const std::string& cpuinfo) {
    if (auto vendor = CpuInfoField(cpuinfo, "vendor_id"); vendor && !vendor->empty())
        return *vendor;
    if (auto implementer = CpuInfoField(cpuinfo, "CPU implementer");
        implementer && !implementer->empty())
        return ImplementerName(*implementer);
    return {};
}

std::string GetCpuVendor() {
    return ParseCpuVendor(ReadTextFile("/proc/cpuinfo"));
}

std::string GetComputerName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string GetUserName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name)
        return found->pw_name;
    // Users only known to the login session (no passwd entry) still have a log-on name.
    char login[LOGIN_NAME_MAX + 1] = {};
    if (getlogin_r(login, sizeof login - 1) == 0) return login;
    return {};
}

bool RunsAsSuperUser() {
    return geteuid() == 0;
}

std::string GetSystemLibraryFolder() {
    // Asking libc itself for a symbol gives its address inside libc even in a non-PIE
    // program, where the function's own address would be a stub in the executable.
    std::string folder = "/usr/lib";
    const std::unique_ptr<void, int (*)(void*)> libc(dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD),
                                                     &dlclose);
    if (libc) {
        Dl_info info{};
        if (void* symbol = dlsym(libc.get(), "gethostname");
            symbol && dladdr(symbol, &info) != 0 && info.dli_fname) {
            const std::string path = info.dli_fname;
            const size_t slash = path.rfind('/');
            if (slash != std::string::npos && slash > 0) folder = path.substr(0, slash);
        }
    }
    return folder;
}

TDisplaySettings GetDisplaySettings() {
    TDisplaySettings d;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return d;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return d;
    // Scaled desktops report logical pixels; the old value was the mode's device pixels.
    const QSize size = screen->geometry().size() * screen->devicePixelRatio();
    d.Known = true;
    d.Width = size.width();
    d.Height = size.height();
    d.BitsPerPixel = screen->depth();
    return d;
}
