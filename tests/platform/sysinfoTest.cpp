#include "platform/sysinfo.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <unistd.h>

namespace {

constexpr uint64_t KB = 1024;

const char* const SampleMeminfo = "MemTotal:       16318048 kB\n"
                                  "MemFree:         1204316 kB\n"
                                  "MemAvailable:    8159024 kB\n"
                                  "Buffers:          412332 kB\n"
                                  "Cached:          6912200 kB\n"
                                  "SwapCached:        10240 kB\n"
                                  "Active:          5123456 kB\n"
                                  "Active(anon):    2100000 kB\n"
                                  "SwapTotal:       2097148 kB\n"
                                  "SwapFree:        1048574 kB\n"
                                  "HugePages_Total:       0\n"
                                  "Hugepagesize:       2048 kB\n";

// A kernel before 3.14: no MemAvailable line.
const char* const OldMeminfo = "MemTotal:        1000000 kB\n"
                               "MemFree:          100000 kB\n"
                               "Buffers:           50000 kB\n"
                               "Cached:           250000 kB\n"
                               "SwapCached:        99999 kB\n"
                               "SwapTotal:             0 kB\n"
                               "SwapFree:              0 kB\n";

const char* const SampleStatus = "Name:\tcrumble-rush\n"
                                 "VmPeak:\t  400000 kB\n"
                                 "VmSize:\t  350000 kB\n"
                                 "VmRSS:\t   80000 kB\n";

const char* const IntelCpuinfo = "processor\t: 0\n"
                                 "vendor_id\t: GenuineIntel\n"
                                 "cpu family\t: 6\n"
                                 "model name\t: Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz\n"
                                 "flags\t\t: fpu vme de pse tsc msr\n"
                                 "\n"
                                 "processor\t: 1\n"
                                 "vendor_id\t: GenuineIntel\n";

const char* const ArmCpuinfo = "processor\t: 0\n"
                               "BogoMIPS\t: 108.00\n"
                               "Features\t: fp asimd evtstrm aes pmull sha1 sha2 crc32 cpuid\n"
                               "CPU implementer\t: 0x41\n"
                               "CPU architecture: 8\n"
                               "CPU variant\t: 0x0\n"
                               "CPU part\t: 0xd08\n";

struct TRelease {
    uint32_t Major, Minor, Build;
};

TRelease Parse(const std::string& release) {
    TRelease r{111, 222, 333}; // stale values must not survive
    ParseKernelRelease(release, r.Major, r.Minor, r.Build);
    return r;
}

} // namespace

TEST(SysInfo, KernelReleaseOfDistributions) {
    TRelease r = Parse("6.1.0-18-amd64");
    EXPECT_EQ(r.Major, 6u);
    EXPECT_EQ(r.Minor, 1u);
    EXPECT_EQ(r.Build, 0u);

    r = Parse("4.19.128-microsoft-standard");
    EXPECT_EQ(r.Major, 4u);
    EXPECT_EQ(r.Minor, 19u);
    EXPECT_EQ(r.Build, 128u);

    r = Parse("5.15.0-91-generic");
    EXPECT_EQ(r.Minor, 15u);
    EXPECT_EQ(r.Build, 0u);
}

TEST(SysInfo, KernelReleaseWithoutThirdNumber) {
    TRelease r = Parse("6.8-rc1");
    EXPECT_EQ(r.Major, 6u);
    EXPECT_EQ(r.Minor, 8u);
    EXPECT_EQ(r.Build, 0u);

    r = Parse("6.9");
    EXPECT_EQ(r.Minor, 9u);
    EXPECT_EQ(r.Build, 0u);
}

TEST(SysInfo, KernelReleaseStopsAtFirstGap) {
    // A number after anything but a dot belongs to the suffix, not to the version.
    TRelease r = Parse("6-1.2");
    EXPECT_EQ(r.Major, 6u);
    EXPECT_EQ(r.Minor, 0u);
    EXPECT_EQ(r.Build, 0u);

    r = Parse("3..4");
    EXPECT_EQ(r.Major, 3u);
    EXPECT_EQ(r.Minor, 0u);
    EXPECT_EQ(r.Build, 0u);
}

TEST(SysInfo, KernelReleaseOfGarbageIsZero) {
    for (const char* text : {"", "abc", ".1.2", "-6.1"}) {
        TRelease r = Parse(text);
        EXPECT_EQ(r.Major, 0u) << text;
        EXPECT_EQ(r.Minor, 0u) << text;
        EXPECT_EQ(r.Build, 0u) << text;
    }
}

TEST(SysInfo, KernelReleaseNumbersSaturate) {
    TRelease r = Parse("5.4294967296.99999999999999999999");
    EXPECT_EQ(r.Major, 5u);
    EXPECT_EQ(r.Minor, 0xFFFFFFFFu);
    EXPECT_EQ(r.Build, 0xFFFFFFFFu);

    r = Parse("4294967295.1");
    EXPECT_EQ(r.Major, 4294967295u);
    EXPECT_EQ(r.Minor, 1u);
}

TEST(SysInfo, ProcFieldMatchesWholeKey) {
    EXPECT_EQ(ProcFieldKB(SampleMeminfo, "MemTotal"), 16318048u);
    EXPECT_EQ(ProcFieldKB(SampleMeminfo, "SwapFree"), 1048574u);
    EXPECT_EQ(ProcFieldKB(SampleMeminfo, "Active"), 5123456u);
    EXPECT_EQ(ProcFieldKB(SampleMeminfo, "Active(anon)"), 2100000u);
    EXPECT_EQ(ProcFieldKB(SampleMeminfo, "HugePages_Total"), 0u);
    EXPECT_FALSE(ProcFieldKB(SampleMeminfo, "Mem"));
    EXPECT_FALSE(ProcFieldKB(SampleMeminfo, "MemTotal:"));
    EXPECT_FALSE(ProcFieldKB(SampleMeminfo, "Total"));
    EXPECT_FALSE(ProcFieldKB(SampleMeminfo, ""));
    EXPECT_FALSE(ProcFieldKB("", "MemTotal"));
}

TEST(SysInfo, ProcFieldWithTabsAndWithoutNumber) {
    EXPECT_EQ(ProcFieldKB(SampleStatus, "VmSize"), 350000u);
    EXPECT_FALSE(ProcFieldKB(SampleStatus, "Name"));
    EXPECT_FALSE(ProcFieldKB("MemTotal:\n", "MemTotal"));
    // The last line may lack its line break.
    EXPECT_EQ(ProcFieldKB("A: 1 kB\nB: 2 kB", "B"), 2u);
}

TEST(SysInfo, MemoryStatusOfSample) {
    const uint64_t space = uint64_t{1} << 47;
    const TMemoryStatus s = ParseMemoryStatus(SampleMeminfo, SampleStatus, space);
    EXPECT_EQ(s.TotalPhys, 16318048 * KB);
    EXPECT_EQ(s.AvailPhys, 8159024 * KB);
    EXPECT_EQ(s.TotalPageFile, (16318048 + 2097148) * KB);
    EXPECT_EQ(s.AvailPageFile, (8159024 + 1048574) * KB);
    // (16318048 - 8159024) * 100 / 16318048 = 50.0
    EXPECT_EQ(s.MemoryLoad, 50u);
    EXPECT_EQ(s.TotalVirtual, space);
    EXPECT_EQ(s.AvailVirtual, space - 350000 * KB);
}

TEST(SysInfo, MemoryStatusWithoutMemAvailable) {
    const TMemoryStatus s = ParseMemoryStatus(OldMeminfo, "", 3ull << 30);
    EXPECT_EQ(s.AvailPhys, (100000 + 50000 + 250000) * KB); // SwapCached is not counted
    EXPECT_EQ(s.MemoryLoad, 60u);
    EXPECT_EQ(s.TotalPageFile, s.TotalPhys);
    EXPECT_EQ(s.AvailVirtual, 3ull << 30); // no VmSize line: nothing counted as mapped
}

TEST(SysInfo, MemoryLoadRoundsDownAndStaysInRange) {
    EXPECT_EQ(ParseMemoryStatus("MemTotal: 3 kB\nMemAvailable: 1 kB\n", "", 0).MemoryLoad, 66u);
    EXPECT_EQ(ParseMemoryStatus("MemTotal: 3 kB\nMemAvailable: 0 kB\n", "", 0).MemoryLoad, 100u);
    EXPECT_EQ(ParseMemoryStatus("MemTotal: 3 kB\nMemAvailable: 3 kB\n", "", 0).MemoryLoad, 0u);
}

TEST(SysInfo, AvailableNeverExceedsTotal) {
    const TMemoryStatus s = ParseMemoryStatus("MemTotal: 100 kB\nMemAvailable: 500 kB\n"
                                              "SwapTotal: 10 kB\nSwapFree: 20 kB\n",
                                              "", 0);
    EXPECT_EQ(s.AvailPhys, 100 * KB);
    EXPECT_EQ(s.MemoryLoad, 0u);
    EXPECT_EQ(s.AvailPageFile, 110 * KB);
}

TEST(SysInfo, EmptyTextsGiveZeros) {
    const TMemoryStatus s = ParseMemoryStatus("", "", 0);
    EXPECT_EQ(s.TotalPhys, 0u);
    EXPECT_EQ(s.AvailPhys, 0u);
    EXPECT_EQ(s.MemoryLoad, 0u); // no division by zero
    EXPECT_EQ(s.TotalPageFile, 0u);
    EXPECT_EQ(s.AvailVirtual, 0u);
}

TEST(SysInfo, MappedBeyondAddressSpaceLeavesNothing) {
    const TMemoryStatus s = ParseMemoryStatus("", "VmSize: 5000000 kB\n", 3ull << 30);
    EXPECT_EQ(s.AvailVirtual, 0u);
}

TEST(SysInfo, HugeFiguresSaturateInsteadOfWrapping) {
    constexpr uint64_t max = std::numeric_limits<uint64_t>::max();
    // 2^54 kB is 2^64 bytes, one more than fits.
    const TMemoryStatus s = ParseMemoryStatus("MemTotal: 18014398509481984 kB\n"
                                              "MemAvailable: 99999999999999999999999 kB\n"
                                              "SwapTotal: 18014398509481983 kB\n"
                                              "SwapFree: 18014398509481983 kB\n",
                                              "", 0);
    EXPECT_EQ(s.TotalPhys, max);
    EXPECT_EQ(s.AvailPhys, max);
    EXPECT_EQ(s.TotalPageFile, max);
    EXPECT_EQ(s.AvailPageFile, max);
    EXPECT_EQ(s.MemoryLoad, 0u);
}

TEST(SysInfo, CpuMaskOfLists) {
    EXPECT_EQ(ParseCpuMask("0\n"), 0x1u);
    EXPECT_EQ(ParseCpuMask("0-1\n"), 0x3u);
    EXPECT_EQ(ParseCpuMask("0-3,8,10-11\n"), 0xD0Fu);
    EXPECT_EQ(ParseCpuMask("1,3"), 0xAu); // CPU 0 offline
}

TEST(SysInfo, CpuMaskSaturatesAt32Processors) {
    EXPECT_EQ(ParseCpuMask("0-31"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseCpuMask("0-127"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseCpuMask("31-40"), 0x80000000u);
    EXPECT_EQ(ParseCpuMask("32-63"), 0u);
    EXPECT_EQ(ParseCpuMask("0-99999999999999999999"), 0xFFFFFFFFu);
}

TEST(SysInfo, CpuMaskSkipsMalformedPieces) {
    EXPECT_EQ(ParseCpuMask(""), 0u);
    EXPECT_EQ(ParseCpuMask("x,2,5-3,4-,6-7a, 8 "), 0x104u);
    EXPECT_EQ(ParseCpuMask("-1"), 0u);
}

TEST(SysInfo, ProcessorTypeOfMachines) {
    EXPECT_EQ(ProcessorTypeOf("x86_64"), 586u);
    EXPECT_EQ(ProcessorTypeOf("i686"), 586u);
    EXPECT_EQ(ProcessorTypeOf("i586"), 586u);
    EXPECT_EQ(ProcessorTypeOf("i486"), 486u);
    EXPECT_EQ(ProcessorTypeOf("i386"), 386u);
    EXPECT_EQ(ProcessorTypeOf("aarch64"), 0u);
    EXPECT_EQ(ProcessorTypeOf("riscv64"), 0u);
    EXPECT_EQ(ProcessorTypeOf("ia86"), 0u);
    EXPECT_EQ(ProcessorTypeOf(""), 0u);
}

TEST(SysInfo, CpuVendorOfX86) {
    EXPECT_EQ(ParseCpuVendor(IntelCpuinfo), "GenuineIntel");
    EXPECT_EQ(ParseCpuVendor("vendor_id : AuthenticAMD\r\n"), "AuthenticAMD");
}

TEST(SysInfo, CpuVendorOfArm) {
    EXPECT_EQ(ParseCpuVendor(ArmCpuinfo), "ARM");
    EXPECT_EQ(ParseCpuVendor("CPU implementer\t: 0x51\n"), "Qualcomm");
    EXPECT_EQ(ParseCpuVendor("CPU implementer\t: 0x99\n"), "0x99");
    EXPECT_EQ(ParseCpuVendor("CPU implementer\t: zz\n"), "zz");
}

TEST(SysInfo, CpuVendorMissing) {
    EXPECT_EQ(ParseCpuVendor(""), "");
    EXPECT_EQ(ParseCpuVendor("processor\t: 0\nvendor_id\t:\n"), "");
    EXPECT_EQ(ParseCpuVendor("my_vendor_id\t: X\n"), "");
}

TEST(SysInfo, ThisMachinesOperatingSystem) {
    const TOSVersion v = GetOSVersion();
    EXPECT_EQ(v.SysName, "Linux");
    EXPECT_GE(v.Major, 2u);
    EXPECT_FALSE(v.Machine.empty());
}

TEST(SysInfo, ThisMachinesMemory) {
    const TMemoryStatus s = GetMemoryStatus();
    EXPECT_GT(s.TotalPhys, 0u);
    EXPECT_LE(s.AvailPhys, s.TotalPhys);
    EXPECT_LE(s.MemoryLoad, 100u);
    EXPECT_GE(s.TotalPageFile, s.TotalPhys);
    // The test itself has mapped code and stack.
    EXPECT_LT(s.AvailVirtual, s.TotalVirtual);
    if (sizeof(void*) == 8) {
        EXPECT_GT(s.TotalVirtual, uint64_t{1} << 32);
    }
}

TEST(SysInfo, ThisMachinesProcessors) {
    const TProcessorInfo p = GetProcessorInfo();
    EXPECT_EQ(p.PageSize, static_cast<uint32_t>(sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(p.AllocationGranularity, p.PageSize);
    EXPECT_GE(p.NumberOfProcessors, 1u);
    EXPECT_NE(p.ActiveProcessorMask, 0u);
    EXPECT_LE(static_cast<uint32_t>(std::popcount(p.ActiveProcessorMask)), p.NumberOfProcessors);
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_EQ(p.ProcessorType, 586u);
#endif
}

TEST(SysInfo, ThisMachinesNames) {
    EXPECT_FALSE(GetComputerName().empty());
    EXPECT_FALSE(GetUserName().empty());
}

TEST(SysInfo, DisplayOfTheOffscreenScreen) {
    const TDisplaySettings d = GetDisplaySettings();
    ASSERT_TRUE(d.Known);
    EXPECT_GT(d.Width, 0);
    EXPECT_GT(d.Height, 0);
    EXPECT_GT(d.BitsPerPixel, 0);
}
