#pragma once
// The system information that goes into the log and from there into error reports.
#include "platform/sysinfo.h"

#include <cstdint>
#include <string>

class TGameInfo {
  public:
    // Collects everything at once: names, folders, operating system, display, processor.
    TGameInfo();

    std::string ComputerName;
    std::string UserName;
    // Linux has no Windows folder: the installed system lives in /usr, and the folder of
    // the system libraries (where libc was loaded from) plays the system folder.
    std::string WindowsDir;
    std::string SystemDir;
    // There is no registry to read them from; they stay empty as a missing key left them.
    std::string RegisteredOwner;
    std::string RegisteredOrganization;
    std::string OSVersion; // kernel "major.minor (build.version string)", see FormatOSVersion
    // The kernel's name ("Linux"). PlatformId is 2, the number of the NT family: a 32/64-bit
    // protected-memory system, which is what anyone comparing the number wants to know.
    std::string OSPlatform;
    int PlatformId = 0;
    std::string Resolution;     // "W,H" in device pixels; empty without a screen
    std::string DirectXVersion; // our drawing layer's version: "Qt " and the Qt version
    std::string BitsPerPixel;   // display depth; empty without a screen
    std::string CPUVendor;

    // 1 page size, 2 active processor mask, 3 number of processors, 4 processor type,
    // 5 allocation granularity; other indexes 0. Read anew on every call.
    uint32_t SystemValue(int index) const;
    // 1 memory load in percent; 2 total and 3 available physical, 4 total and 5 available
    // page file, 6 total and 7 available virtual memory, in KB; other indexes 0. Read anew.
    uint32_t MemoryValue(int index) const;
};

// "%d.%d (%d.%s)": major, minor, the build's low 16 bits and the service-pack text.
std::string FormatOSVersion(uint32_t major, uint32_t minor, uint32_t build,
                            const std::string& servicePack);
// SystemValue and MemoryValue of given figures. Sizes become KB (bytes >> 10) and saturate
// at 0xFFFFFFFF: a 64-bit address space must not wrap into a small number.
uint32_t ProcessorValue(const TProcessorInfo& info, int index);
uint32_t MemoryStatusValue(const TMemoryStatus& status, int index);
// Free physical plus free virtual memory in KB, saturating at INT32_MAX because the figure
// the program keeps is a signed 32-bit number and must never wrap to a low value.
int32_t SumFreeMemoryKB(uint32_t availPhysKB, uint32_t availVirtualKB);
