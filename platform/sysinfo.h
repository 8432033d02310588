#pragma once
// What the program reports about the machine it runs on (log lines, error reports), read
// from Linux. The parsers take the text of the /proc and /sys files, so any sample can be
// checked without the machine that produced it.
#include <cstdint>
#include <optional>
#include <string>

// ---- Operating system ----

struct TOSVersion {
    uint32_t Major = 0;
    uint32_t Minor = 0;
    uint32_t Build = 0;  // the third number of the release ("6.1.76" gives 76)
    std::string SysName; // "Linux"
    std::string Release; // "6.1.0-18-amd64"
    std::string Version; // "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)"
    std::string Machine; // "x86_64"
};

// Leading dot-separated numbers of a kernel release; the first non-digit ends a number and
// anything but a dot after it ends the parse. Missing numbers are 0; too large ones saturate.
void ParseKernelRelease(const std::string& release, uint32_t& major, uint32_t& minor,
                        uint32_t& build);
TOSVersion GetOSVersion();

// ---- Memory ----

// All sizes in bytes. The 64-bit values are kept whole here; whoever needs the old 32-bit
// figures narrows them (and must saturate: a 64-bit address space is far above 4 GB).
struct TMemoryStatus {
    uint32_t MemoryLoad = 0; // percent of physical memory in use, 0..100
    uint64_t TotalPhys = 0;
    uint64_t AvailPhys = 0;     // MemAvailable: what can be had without swapping
    uint64_t TotalPageFile = 0; // commit limit as Windows counted it: physical plus swap
    uint64_t AvailPageFile = 0; // available physical plus free swap
    uint64_t TotalVirtual = 0;  // the user address space of this process
    uint64_t AvailVirtual = 0;  // that space minus what the process has mapped (VmSize)
};

// The number of a "Key:   1234 kB" line in /proc/meminfo or /proc/self/status style text.
// nullopt when the key is missing or has no number; the key must match the whole name.
std::optional<uint64_t> ProcFieldKB(const std::string& text, const std::string& key);
// Memory status from the text of /proc/meminfo and /proc/self/status and the size of the
// user address space. Kernels before 3.14 lack MemAvailable; then free + buffers + cached
// stands in for it.
TMemoryStatus ParseMemoryStatus(const std::string& meminfo, const std::string& selfStatus,
                                uint64_t addressSpace);
// The usual user address space of this architecture (x86-64: 128 TiB less the guard page).
uint64_t UserAddressSpace();
TMemoryStatus GetMemoryStatus();
// Tests stand in a machine of their choosing; nullopt reads the real one again.
void SetMemoryStatusOverride(std::optional<TMemoryStatus> status);

// ---- Processor ----

struct TProcessorInfo {
    uint32_t PageSize = 0;
    uint32_t ActiveProcessorMask = 0; // bit n set when CPU n is online; CPUs from 32 on do
                                      // not fit and are left out
    uint32_t NumberOfProcessors = 0;  // online CPUs
    uint32_t ProcessorType = 0;       // see ProcessorTypeOf
    // Linux places mappings at page granularity, so this is the page size, not the 64 KB
    // that Windows reserves in.
    uint32_t AllocationGranularity = 0;
};

// The mask of a CPU list like "0-3,8,10-11" (/sys/devices/system/cpu/online). Malformed
// pieces are skipped; CPUs from 32 on are left out.
uint32_t ParseCpuMask(const std::string& cpuList);
// Windows' processor type numbers from the machine name of uname: 386 and 486 for those,
// 586 (Pentium class) for every later x86 including x86-64, as the system reported to a
// 32-bit program; 0 for other architectures, which have no number of their own there.
uint32_t ProcessorTypeOf(const std::string& machine);
TProcessorInfo GetProcessorInfo();

// The processor's vendor from the text of /proc/cpuinfo: the first "vendor_id" (x86, s390);
// failing that, the name of the "CPU implementer" code (ARM), or the code itself when it is
// not a known one; empty when neither is there.
std::string ParseCpuVendor(const std::string& cpuinfo);
std::string GetCpuVendor();

// ---- Names ----

std::string GetComputerName(); // the host name
std::string GetUserName();     // log-on name of the effective user; empty when unknown
bool RunsAsSuperUser();        // the effective user is root

// ---- Folders ----

// The folder the C library was loaded from, where the system keeps its libraries; "/usr/lib"
// when it cannot be found.
std::string GetSystemLibraryFolder();

// ---- Display ----

struct TDisplaySettings {
    bool Known = false; // false without a GUI application or a screen (command-line tool)
    int Width = 0;      // device pixels
    int Height = 0;
    int BitsPerPixel = 0;
};
TDisplaySettings GetDisplaySettings();
