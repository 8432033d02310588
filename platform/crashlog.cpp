#include "platform/crashlog.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int FatalSignals[] = {SIGSEGV, SIGABRT, SIGFPE, SIGBUS};
constexpr int MaxFrames = 64;

// Filled before any handler is installed; the handler only reads them.
char LogFile[4096] = {};
// A stack of its own, so an overflowed stack can still be reported.
alignas(16) char AlternateStack[64 * 1024];
std::atomic<bool> Reporting{false};

const char* SignalName(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGABRT:
        return "SIGABRT";
    case SIGFPE:
        return "SIGFPE";
    case SIGBUS:
        return "SIGBUS";
    default:
        return "?";
    }
}

void WriteAll(int fd, const char* text, size_t length) {
    while (length > 0) {
        const ssize_t n = write(fd, text, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text += n;
        length -= static_cast<size_t>(n);
    }
}

// "Fatal signal N (NAME)" and the log's line end, built without the allocator.
size_t FormatHeadline(int signal, char* out, size_t room) {
    char digits[12];
    size_t count = 0;
    unsigned value = static_cast<unsigned>(signal);
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && count < sizeof digits);
    size_t n = 0;
    const auto append = [&](const char* text) {
        while (*text && n < room)
            out[n++] = *text++;
    };
    append("Fatal signal ");
    while (count > 0 && n < room)
        out[n++] = digits[--count];
    append(" (");
    append(SignalName(signal));
    append(")\r\n");
    return n;
}

void Report(int fd, const char* headline, size_t length, void* const* frames, int count) {
    WriteAll(fd, headline, length);
    backtrace_symbols_fd(frames, count, fd);
}

void OnFatalSignal(int signal) {
    // A second fault, in the handler or another thread, ends the program at once.
    if (!Reporting.exchange(true)) {
        void* frames[MaxFrames];
        const int count = backtrace(frames, MaxFrames);
        // Return addresses point after the call; one that calls a function that never returns
        // (abort) would point past the end of its function and be named after the next one.
        for (int i = 1; i < count; ++i)
            frames[i] = static_cast<char*>(frames[i]) - 1;
        char headline[64];
        const size_t length = FormatHeadline(signal, headline, sizeof headline);
        if (LogFile[0] != 0) {
            const int fd = open(LogFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
            if (fd >= 0) {
                Report(fd, headline, length, frames, count);
                close(fd);
            }
        }
        Report(STDERR_FILENO, headline, length, frames, count);
    }
    // The signal stays blocked until the handler returns; then the default action ends the
    // program with it, as if nobody had caught it.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

} // namespace

void InstallCrashHandler(const std::string& logFile) {
    // A name too long for the buffer is left out rather than cut into another name.
    const size_t length = logFile.size() < sizeof LogFile ? logFile.size() : 0;
    std::memcpy(LogFile, logFile.data(), length);
    LogFile[length] = 0;
    // The first backtrace loads the unwinder, which must not happen inside the handler.
    void* warmUp[1];
    backtrace(warmUp, 1);

    stack_t stack{};
    stack.ss_sp = AlternateStack;
    stack.ss_size = sizeof AlternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : FatalSignals)
        sigaction(signal, &action, nullptr);
}
