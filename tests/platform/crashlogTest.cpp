#include "platform/crashlog.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <vector>

// Outside any unnamed namespace, in a test program linked with -rdynamic: the backtrace can
// name them. One function each, since the compiler moves a branch that aborts out of the
// function into a part without a name of its own.
[[gnu::noinline]] void CrashLogTestReadFault() {
    // A real fault, not a raised signal: reading a page that must not be read.
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    const char byte = static_cast<volatile char*>(page)[0];
    std::exit(byte);
}

[[gnu::noinline]] void CrashLogTestAbort() {
    std::abort();
}

[[gnu::noinline]] void CrashLogTestRaise(int signal) {
    raise(signal);
    std::exit(0); // not reached; keeps raise from being a tail call that drops this frame
}

namespace {

void CrashWithHandler(const std::string& log, int signal) {
    const rlimit noCoreFile{0, 0};
    setrlimit(RLIMIT_CORE, &noCoreFile);
    InstallCrashHandler(log);
    if (signal == SIGSEGV) CrashLogTestReadFault();
    if (signal == SIGABRT) CrashLogTestAbort();
    CrashLogTestRaise(signal);
}

// The function of ours that CrashWithHandler lets fail.
std::string FaultingFunction(int signal) {
    if (signal == SIGSEGV) return "CrashLogTestReadFault";
    if (signal == SIGABRT) return "CrashLogTestAbort";
    return "CrashLogTestRaise";
}

// The headline as the handler writes it: number and name, computed here from the constants.
std::string Headline(int number, const char* name) {
    return "Fatal signal " + std::to_string(number) + " (" + name + ")";
}

// The child is a copy of this process that crashes: a re-run would make a log folder of its own.
void CrashInACopyOfThisProcess() {
    GTEST_FLAG_SET(death_test_style, "fast");
}

TEST(CrashLog, AFatalSignalIsLoggedWithItsBacktraceAndEndsTheProgramAsTheSignalWould) {
    CrashInACopyOfThisProcess();
    const std::pair<int, const char*> fatalSignals[] = {
        {SIGSEGV, "SIGSEGV"}, {SIGABRT, "SIGABRT"}, {SIGFPE, "SIGFPE"}, {SIGBUS, "SIGBUS"}};
    for (const auto& [number, name] : fatalSignals) {
        TTempFolder folder;
        const std::string log = folder.Path + "/LOG.TXT";
        WriteWholeFile(log, "Start\r\nProgram Version 1.05\r\n");
        const std::string headline = Headline(number, name);
        std::string pattern = headline;
        pattern.replace(pattern.find('('), 1, "\\(");
        pattern.replace(pattern.find(')'), 1, "\\)");
        // The same report on standard error.
        EXPECT_EXIT(CrashWithHandler(log, number), ::testing::KilledBySignal(number),
                    pattern + ".*" + FaultingFunction(number));

        const std::vector<std::string> lines = TextLines(ReadWholeFile(log));
        ASSERT_GE(lines.size(), 4u) << name;
        EXPECT_EQ(lines[0], "Start") << "appended to what was there";
        EXPECT_EQ(lines[1], "Program Version 1.05");
        EXPECT_EQ(lines[2], headline);
        int named = 0;
        for (size_t i = 3; i < lines.size(); ++i)
            named += lines[i].find(FaultingFunction(number)) != std::string::npos &&
                     lines[i].find("+0x") != std::string::npos;
        EXPECT_EQ(named, 1) << name << ": the faulting function, once\n" << ReadWholeFile(log);
    }
}

TEST(CrashLog, AMissingLogIsCreatedAndAnUnwritableOneLeavesStandardError) {
    CrashInACopyOfThisProcess();
    TTempFolder folder;
    const std::string log = folder.Path + "/LOG.TXT";
    EXPECT_EXIT(CrashWithHandler(log, SIGSEGV), ::testing::KilledBySignal(SIGSEGV),
                "Fatal signal 11");
    EXPECT_EQ(TextLines(ReadWholeFile(log)).at(0), Headline(SIGSEGV, "SIGSEGV"));

    EXPECT_EXIT(CrashWithHandler(folder.Path + "/missing/LOG.TXT", SIGABRT),
                ::testing::KilledBySignal(SIGABRT), "Fatal signal 6 \\(SIGABRT\\)");
    EXPECT_EXIT(CrashWithHandler("", SIGFPE), ::testing::KilledBySignal(SIGFPE),
                "Fatal signal 8 \\(SIGFPE\\)");
}

} // namespace
