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

} // namespace

TEST(SysInfo, KernelRelease) {
    struct TCase {
        const char* Text;
        uint32_t Major, Minor, Build;
    };
    const TCase cases[] = {
        {"6.1.0-18-amd64", 6, 1, 0},
        {"4.19.128-microsoft-standard", 4, 19, 128},
        {"6.8-rc1", 6, 8, 0},
        {"6.9", 6, 9, 0},
        // A number after anything but a dot belongs to the suffix, not to the version.
        {"6-1.2", 6, 0, 0},
        {"3..4", 3, 0, 0},
        {"", 0, 0, 0},
        {"abc", 0, 0, 0},
        {".1.2", 0, 0, 0},
        {"-6.1", 0, 0, 0},
        {"5.4294967296.99999999999999999999", 5, 0xFFFFFFFF, 0xFFFFFFFF},
        {"4294967295.1", 4294967295u, 1, 0},
    };
    for (const TCase& c : cases) {
        uint32_t major = 111, minor = 222, build = 333; // stale values must not survive
        ParseKernelRelease(c.Text, major, minor, build);
        EXPECT_EQ(major, c.Major) << c.Text;
        EXPECT_EQ(minor, c.Minor) << c.Text;
        EXPECT_EQ(build, c.Build) << c.Text;
    }
}

TEST(SysInfo, ProcFieldMatchesWholeKey) {
    EXPECT_EQ(ProcFieldKB(SampleMeminfo, "Active"), 5123456u);
    EXPECT_EQ(ProcFieldKB(SampleMeminfo, "Active(anon)"), 2100000u);
    EXPECT_EQ(ProcFieldKB(SampleMeminfo, "HugePages_Total"), 0u);
    EXPECT_EQ(ProcFieldKB(SampleStatus, "VmSize"), 350000u);
    // The last line may lack its line break.
    EXPECT_EQ(ProcFieldKB("A: 1 kB\nB: 2 kB", "B"), 2u);
    for (const char* key : {"Mem", "MemTotal:", "Total", ""})
        EXPECT_FALSE(ProcFieldKB(SampleMeminfo, key)) << key;
    EXPECT_FALSE(ProcFieldKB("", "MemTotal"));
    EXPECT_FALSE(ProcFieldKB(SampleStatus, "Name"));
    EXPECT_FALSE(ProcFieldKB("MemTotal:\n", "MemTotal"));
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

TEST(SysInfo, MemoryStatusEdges) {
    EXPECT_EQ(ParseMemoryStatus("MemTotal: 3 kB\nMemAvailable: 1 kB\n", "", 0).MemoryLoad, 66u);
    EXPECT_EQ(ParseMemoryStatus("MemTotal: 3 kB\nMemAvailable: 0 kB\n", "", 0).MemoryLoad, 100u);
    // No division by zero.
    EXPECT_EQ(ParseMemoryStatus("", "", 0).MemoryLoad, 0u);
    EXPECT_EQ(ParseMemoryStatus("", "VmSize: 5000000 kB\n", 3ull << 30).AvailVirtual, 0u);

    const TMemoryStatus over = ParseMemoryStatus("MemTotal: 100 kB\nMemAvailable: 500 kB\n"
                                                 "SwapTotal: 10 kB\nSwapFree: 20 kB\n",
                                                 "", 0);
    EXPECT_EQ(over.AvailPhys, 100 * KB);
    EXPECT_EQ(over.MemoryLoad, 0u);
    EXPECT_EQ(over.AvailPageFile, 110 * KB);

    constexpr uint64_t max = std::numeric_limits<uint64_t>::max();
    // 2^54 kB is 2^64 bytes, one more than fits.
    const TMemoryStatus huge = ParseMemoryStatus("MemTotal: 18014398509481984 kB\n"
                                                 "MemAvailable: 99999999999999999999999 kB\n"
                                                 "SwapTotal: 18014398509481983 kB\n"
                                                 "SwapFree: 18014398509481983 kB\n",
                                                 "", 0);
    EXPECT_EQ(huge.TotalPhys, max);
    EXPECT_EQ(huge.AvailPhys, max);
    EXPECT_EQ(huge.TotalPageFile, max);
    EXPECT_EQ(huge.AvailPageFile, max);
    EXPECT_EQ(huge.MemoryLoad, 0u);
}

TEST(SysInfo, CpuMask) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"0\n", 0x1},
        {"0-3,8,10-11\n", 0xD0F},
        {"1,3", 0xA}, // CPU 0 offline
        {"0-31", 0xFFFFFFFF},
        {"0-127", 0xFFFFFFFF},
        {"31-40", 0x80000000},
        {"32-63", 0},
        {"0-99999999999999999999", 0xFFFFFFFF},
        {"", 0},
        {"x,2,5-3,4-,6-7a, 8 ", 0x104},
        {"-1", 0},
    };
    for (const auto& [list, mask] : cases)
        EXPECT_EQ(ParseCpuMask(list), mask) << list;
}

TEST(SysInfo, ProcessorTypeOfMachines) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"x86_64", 586}, {"i686", 586}, {"i486", 486}, {"i386", 386},
        {"aarch64", 0},  {"ia86", 0},   {"", 0},
    };
    for (const auto& [machine, type] : cases)
        EXPECT_EQ(ProcessorTypeOf(machine), type) << machine;
}

TEST(SysInfo, CpuVendor) {
    const std::pair<const char*, const char*> cases[] = {
        {IntelCpuinfo, "GenuineIntel"},
        {"vendor_id : AuthenticAMD\r\n", "AuthenticAMD"},
        {ArmCpuinfo, "ARM"},
        {"CPU implementer\t: 0x51\n", "Qualcomm"},
        {"CPU implementer\t: 0x99\n", "0x99"},
        {"", ""},
        {"processor\t: 0\nvendor_id\t:\n", ""},
        {"my_vendor_id\t: X\n", ""},
    };
    for (const auto& [cpuinfo, vendor] : cases)
        EXPECT_EQ(ParseCpuVendor(cpuinfo), vendor) << cpuinfo;
}

TEST(SysInfo, ThisMachine) {
    const TOSVersion v = GetOSVersion();
    EXPECT_EQ(v.SysName, "Linux");
    EXPECT_GE(v.Major, 2u);
    EXPECT_FALSE(v.Machine.empty());

    const TMemoryStatus s = GetMemoryStatus();
    EXPECT_GT(s.TotalPhys, 0u);
    EXPECT_LE(s.AvailPhys, s.TotalPhys);
    EXPECT_GE(s.TotalPageFile, s.TotalPhys);
    // The test itself has mapped code and stack.
    EXPECT_LT(s.AvailVirtual, s.TotalVirtual);

    const TProcessorInfo p = GetProcessorInfo();
    EXPECT_EQ(p.PageSize, static_cast<uint32_t>(sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(p.AllocationGranularity, p.PageSize);
    EXPECT_NE(p.ActiveProcessorMask, 0u);
    EXPECT_LE(static_cast<uint32_t>(std::popcount(p.ActiveProcessorMask)), p.NumberOfProcessors);

    EXPECT_FALSE(GetComputerName().empty());
    EXPECT_FALSE(GetUserName().empty());

    const TDisplaySettings d = GetDisplaySettings();
    ASSERT_TRUE(d.Known);
    EXPECT_GT(d.Width, 0);
    EXPECT_GT(d.BitsPerPixel, 0);
}
