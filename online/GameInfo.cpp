#include "online/GameInfo.h"

#include <QtGlobal>

#include <limits>

namespace {

// Windows kept the service-pack text in a buffer of 128 characters; the kernel's version
// string is usually shorter, but a custom build may carry a long one into every log line.
constexpr size_t MaxServicePackLength = 127;

uint32_t SaturatedKB(uint64_t bytes) {
    const uint64_t kb = bytes >> 10;
    return kb > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                     : static_cast<uint32_t>(kb);
}

} // namespace

std::string FormatOSVersion(uint32_t major, uint32_t minor, uint32_t build,
                            const std::string& servicePack) {
    return std::to_string(major) + "." + std::to_string(minor) + " (" +
           std::to_string(build & 0xFFFF) + "." + servicePack + ")";
}

uint32_t ProcessorValue(const TProcessorInfo& info, int index) {
    switch (index) {
    case 1:
        return info.PageSize;
    case 2:
        return info.ActiveProcessorMask;
    case 3:
        return info.NumberOfProcessors;
    case 4:
        return info.ProcessorType;
    case 5:
        return info.AllocationGranularity;
    default:
        return 0;
    }
}

uint32_t MemoryStatusValue(const TMemoryStatus& status, int index) {
    switch (index) {
    case 1:
        return status.MemoryLoad;
    case 2:
        return SaturatedKB(status.TotalPhys);
    case 3:
        return SaturatedKB(status.AvailPhys);
    case 4:
        return SaturatedKB(status.TotalPageFile);
    case 5:
        return SaturatedKB(status.AvailPageFile);
    case 6:
        return SaturatedKB(status.TotalVirtual);
    case 7:
        return SaturatedKB(status.AvailVirtual);
    default:
        return 0;
    }
}

int32_t SumFreeMemoryKB(uint32_t availPhysKB, uint32_t availVirtualKB) {
    const uint64_t sum = uint64_t{availPhysKB} + availVirtualKB;
    constexpr uint64_t max = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(sum > max ? max : sum);
}

TGameInfo::TGameInfo() {
    ComputerName = GetComputerName();
    UserName = GetUserName();
    WindowsDir = "/usr";
    SystemDir = GetSystemLibraryFolder();

    const TOSVersion os = GetOSVersion();
    OSVersion =
        FormatOSVersion(os.Major, os.Minor, os.Build, os.Version.substr(0, MaxServicePackLength));
    OSPlatform = os.SysName;
    PlatformId = 2;

    const TDisplaySettings display = GetDisplaySettings();
    if (display.Known) {
        Resolution = std::to_string(display.Width) + "," + std::to_string(display.Height);
        BitsPerPixel = std::to_string(display.BitsPerPixel);
    }
    DirectXVersion = std::string("Qt ") + qVersion();
    CPUVendor = GetCpuVendor();
}

uint32_t TGameInfo::SystemValue(int index) const {
    return ProcessorValue(GetProcessorInfo(), index);
}

uint32_t TGameInfo::MemoryValue(int index) const {
    return MemoryStatusValue(GetMemoryStatus(), index);
}
