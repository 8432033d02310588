#include "online/GameInfo.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include <limits>
#include <unistd.h>

namespace {

constexpr uint32_t MaxU32 = std::numeric_limits<uint32_t>::max();
constexpr int32_t MaxI32 = std::numeric_limits<int32_t>::max();

} // namespace

TEST(GameInfo, OSVersionFormatKeepsOnlyTheLow16BitsOfTheBuild) {
    EXPECT_EQ(FormatOSVersion(6, 1, 76, "#1 SMP Debian"), "6.1 (76.#1 SMP Debian)");
    EXPECT_EQ(FormatOSVersion(5, 15, 0, ""), "5.15 (0.)");
    EXPECT_EQ(FormatOSVersion(4, 0, 0x12345, "x"), "4.0 (9029.x)");
    EXPECT_EQ(FormatOSVersion(4, 0, 0x10000, "x"), "4.0 (0.x)");
    EXPECT_EQ(FormatOSVersion(4, 0, 0xFFFF, "x"), "4.0 (65535.x)");
}

TEST(GameInfo, MemoryValuesAreWholeKBByIndexAndSaturate) {
    TMemoryStatus s;
    s.MemoryLoad = 42;
    s.TotalPhys = 16318048ull << 10;
    s.AvailPhys = 8159024ull << 10;
    s.TotalPageFile = 18415196ull << 10;
    s.AvailPageFile = 9207598ull << 10;
    s.TotalVirtual = 2097024ull << 10; // a 32-bit machine's 2 GB less 128 KB
    s.AvailVirtual = 2000000ull << 10;
    const uint32_t expected[] = {
        0, 42 /* percent, not divided */, 16318048, 8159024, 18415196, 9207598, 2097024, 2000000,
        0};
    for (int index = 0; index <= 8; ++index)
        EXPECT_EQ(MemoryStatusValue(s, index), expected[index]) << index;
    for (int index : {9, -1, 100, std::numeric_limits<int>::min()})
        EXPECT_EQ(MemoryStatusValue(s, index), 0u) << index;
    // Partial KB are dropped; what does not fit 32 bits is the largest figure, never wrapped.
    TMemoryStatus edges;
    edges.TotalPhys = 1023;
    edges.AvailPhys = 2047;
    EXPECT_EQ(MemoryStatusValue(edges, 2), 0u);
    EXPECT_EQ(MemoryStatusValue(edges, 3), 1u);
    edges.TotalPhys = uint64_t{MaxU32} << 10;       // exactly the largest figure
    edges.AvailPhys = (uint64_t{MaxU32} + 1) << 10; // one KB more would wrap to 0
    edges.TotalPageFile = (uint64_t{MaxU32} << 10) + 1023;
    edges.AvailPageFile = std::numeric_limits<uint64_t>::max();
    edges.TotalVirtual = (uint64_t{1} << 47) - 4096;         // a 64-bit address space
    edges.AvailVirtual = (uint64_t{1} << 42) + (5ull << 10); // 4 TiB and 5 KB: low bits are 5
    for (int index = 2; index <= 7; ++index)
        EXPECT_EQ(MemoryStatusValue(edges, index), MaxU32) << index;
}

TEST(GameInfo, SystemValueIndexes) {
    TProcessorInfo p;
    p.PageSize = 4096;
    p.ActiveProcessorMask = 0xFFFFFFFF;
    p.NumberOfProcessors = 64;
    p.ProcessorType = 586;
    p.AllocationGranularity = 65536;
    const uint32_t expected[] = {0, 4096, 0xFFFFFFFF, 64, 586, 65536, 0};
    for (int index = 0; index <= 6; ++index)
        EXPECT_EQ(ProcessorValue(p, index), expected[index]) << index;
    for (int index : {-1, 1000})
        EXPECT_EQ(ProcessorValue(p, index), 0u) << index;
}

TEST(GameInfo, SumFreeMemoryAddsAndNeverWraps) {
    EXPECT_EQ(SumFreeMemoryKB(0, 0), 0);
    EXPECT_EQ(SumFreeMemoryKB(45000, 45000), 90000);
    EXPECT_EQ(SumFreeMemoryKB(89999, 0), 89999);
    EXPECT_EQ(SumFreeMemoryKB(MaxI32 - 1, 1), MaxI32);
    EXPECT_EQ(SumFreeMemoryKB(MaxI32, 1), MaxI32);
    EXPECT_EQ(SumFreeMemoryKB(0x80000000u, 0), MaxI32);
    EXPECT_EQ(SumFreeMemoryKB(0, 0x80000000u), MaxI32);
    EXPECT_EQ(SumFreeMemoryKB(MaxU32, 1), MaxI32);       // would wrap to 0 in 32 bits
    EXPECT_EQ(SumFreeMemoryKB(MaxU32, MaxU32), MaxI32);  // would wrap to -2
    EXPECT_EQ(SumFreeMemoryKB(8159024, MaxU32), MaxI32); // a 64-bit machine's real case
}

TEST(GameInfo, CollectsThisMachine) {
    const TGameInfo info;
    EXPECT_FALSE(info.ComputerName.empty());
    EXPECT_FALSE(info.UserName.empty());
    EXPECT_EQ(info.OSPlatform, "Linux");
    EXPECT_EQ(info.PlatformId, 2);
    EXPECT_TRUE(info.RegisteredOwner.empty());
    EXPECT_TRUE(info.RegisteredOrganization.empty());
    EXPECT_TRUE(QDir(QString::fromStdString(info.WindowsDir)).exists());
    EXPECT_TRUE(QDir(QString::fromStdString(info.SystemDir)).exists("libc.so.6")) << info.SystemDir;
    EXPECT_TRUE(info.DirectXVersion.starts_with("Qt 6.")) << info.DirectXVersion;

    const TOSVersion os = GetOSVersion();
    EXPECT_TRUE(info.OSVersion.starts_with(std::to_string(os.Major) + "." +
                                           std::to_string(os.Minor) + " ("))
        << info.OSVersion;
    EXPECT_TRUE(info.OSVersion.ends_with(")"));
    EXPECT_LE(info.OSVersion.size(), 64u + 127u);
    // The display figures of the offscreen screen.
    EXPECT_TRUE(QRegularExpression("^[1-9][0-9]*,[1-9][0-9]*$")
                    .match(QString::fromStdString(info.Resolution))
                    .hasMatch())
        << info.Resolution;
    EXPECT_TRUE(QRegularExpression("^[1-9][0-9]*$")
                    .match(QString::fromStdString(info.BitsPerPixel))
                    .hasMatch())
        << info.BitsPerPixel;
}

TEST(GameInfo, LiveValuesOfThisMachine) {
    const TGameInfo info;
    EXPECT_EQ(info.SystemValue(1), static_cast<uint32_t>(sysconf(_SC_PAGESIZE)));
    EXPECT_GE(info.SystemValue(3), 1u);
    EXPECT_LE(info.MemoryValue(1), 100u);
    EXPECT_GT(info.MemoryValue(2), 0u);
    EXPECT_LE(info.MemoryValue(3), info.MemoryValue(2));
    if (sizeof(void*) == 8) {
        // The address space is far beyond 4 TB: the figure saturates and the free memory
        // the program checks before a game can never look too small.
        EXPECT_EQ(info.MemoryValue(6), MaxU32);
        EXPECT_EQ(SumFreeMemoryKB(info.MemoryValue(3), info.MemoryValue(7)), MaxI32);
    }
}
