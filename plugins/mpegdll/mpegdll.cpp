// The decoding library over libmpg123: one stream at a time, decoded on a thread of its own
// into a PCM wave file. The caller's thread only starts, pauses and stops that thread and reads
// its progress; the thread's one message back is the done flag (and its error code, read once
// the flag is set).
#include "plugins/mpegdll/mpegdll.h"

#include <mpg123.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define MPEG_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

enum TCode : uint8_t {
    ecOK = 0,
    ecDecoder = 1,
    ecMode = 2,
    ecInput = 3,
    ecNonSeekable = 4,
    ecOutput = 5
};
enum TMode : int32_t { pmClosed, pmOpened, pmPlaying, pmPaused, pmDone };

struct TState {
    uint8_t LastError = ecOK;
    mpg123_handle* Handle = nullptr;
    long Rate = 0;
    int Channels = 0;
    int32_t Length = 0;
    int32_t Device = MpegDeviceWaveMapper;
    std::string OutName;
    int32_t Priority = 0;
    TMode Mode = pmClosed;

    int32_t StartPos = 0, EndPos = 0;
    uint8_t* DoneFlag = nullptr;
    std::thread Worker;
    std::atomic<bool> Abort{false};
    std::atomic<bool> Finished{false};
    std::atomic<uint8_t> WorkerError{ecOK};
    std::atomic<int32_t> Position{0};
    std::mutex PauseLock;
    std::condition_variable PauseChanged;
    bool PauseRequested = false;
};

TState State;

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

std::vector<uint8_t> WaveHeader(long rate, int channels, uint32_t dataBytes) {
    std::vector<uint8_t> h;
    const auto tag = [&](const char* id) { h.insert(h.end(), id, id + 4); };
    tag("RIFF");
    PutLE(h, 36 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    PutLE(h, 16, 4);
    PutLE(h, 1, 2); // PCM
    PutLE(h, uint32_t(channels), 2);
    PutLE(h, uint32_t(rate), 4);
    PutLE(h, uint32_t(rate * channels * 2), 4);
    PutLE(h, uint32_t(channels * 2), 2);
    PutLE(h, 16, 2);
    tag("data");
    PutLE(h, dataBytes, 4);
    return h;
}

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The decoding thread: from StartPos to EndPos (0: the end) into the output file.
void Decode() {
    TState& s = State;
    const std::string partName = s.OutName + ".part";
    std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(partName.c_str(), "wb"));
    uint8_t error = ecOK;
    bool complete = false;
    uint64_t dataBytes = 0;
    if (!file) error = ecOutput;
    if (!error) {
        const auto header = WaveHeader(s.Rate, s.Channels, 0);
        if (std::fwrite(header.data(), 1, header.size(), file.get()) != header.size())
            error = ecOutput;
    }
    const int frameBytes = s.Channels * 2;
    const int64_t endPos = s.EndPos > 0 ? s.EndPos : std::numeric_limits<int64_t>::max();
    std::vector<unsigned char> buffer(1 << 16);
    while (!error) {
        {
            std::unique_lock lock(s.PauseLock);
            s.PauseChanged.wait(lock, [&] { return !s.PauseRequested || s.Abort; });
        }
        if (s.Abort) break;
        size_t got = 0;
        const int result = mpg123_read(s.Handle, buffer.data(), buffer.size(), &got);
        if (result == MPG123_OK || result == MPG123_DONE || result == MPG123_NEW_FORMAT) {
            const int64_t position = s.Position;
            int64_t frames = int64_t(got) / frameBytes;
            if (position + frames >= endPos) frames = endPos - position;
            if (frames > 0 && std::fwrite(buffer.data(), frameBytes, size_t(frames), file.get()) !=
                                  size_t(frames))
                error = ecOutput;
            dataBytes += uint64_t(frames) * frameBytes;
            s.Position = int32_t(position + frames);
            if (dataBytes > std::numeric_limits<uint32_t>::max() - 64) error = ecOutput;
            if (result == MPG123_DONE || position + frames >= endPos) {
                complete = true;
                break;
            }
        } else {
            error = result == MPG123_ERR ? ecInput : ecDecoder;
        }
    }
    if (complete && !error) {
        const auto header = WaveHeader(s.Rate, s.Channels, uint32_t(dataBytes));
        if (std::fseek(file.get(), 0, SEEK_SET) != 0 ||
            std::fwrite(header.data(), 1, header.size(), file.get()) != header.size() ||
            std::fflush(file.get()) != 0)
            error = ecOutput;
    }
    file.reset();
    if (complete && !error && std::rename(partName.c_str(), s.OutName.c_str()) != 0)
        error = ecOutput;
    if (!complete || error) std::remove(partName.c_str());
    if (s.Abort) return; // stopped by the caller, who no longer waits for the flag
    s.WorkerError = error;
    s.Finished = true;
    __atomic_store_n(s.DoneFlag, uint8_t(1), __ATOMIC_RELEASE);
}

void StopWorker() {
    TState& s = State;
    if (!s.Worker.joinable()) return;
    {
        std::lock_guard lock(s.PauseLock);
        s.Abort = true;
    }
    s.PauseChanged.notify_all();
    s.Worker.join();
    s.Abort = false;
}

void StartWorker() {
    TState& s = State;
    s.Finished = false;
    s.WorkerError = ecOK;
    s.PauseRequested = false;
    if (mpg123_seek(s.Handle, s.StartPos, SEEK_SET) < 0) {
        s.LastError = ecNonSeekable;
        return;
    }
    s.Position = s.StartPos;
    s.Mode = pmPlaying;
    s.Worker = std::thread(Decode);
}

void CloseStream() {
    StopWorker();
    if (State.Handle) {
        mpg123_close(State.Handle);
        mpg123_delete(State.Handle);
        State.Handle = nullptr;
    }
    State.Mode = pmClosed;
    State.Length = 0;
}

} // namespace

MPEG_EXPORT uint8_t init() {
    State.LastError = ecOK;
#if MPG123_API_VERSION < 46
    if (mpg123_init() != MPG123_OK) {
        State.LastError = ecDecoder;
        return 0;
    }
#endif
    return 1;
}

MPEG_EXPORT uint8_t deinit() {
    CloseStream();
    return 1;
}

MPEG_EXPORT void Open(const char* fileName, int32_t streamMode, TMpegOpenCallback,
                      TMpegCloseCallback, TMpegRestartCallback, TMpegReadCallback,
                      TMpegSeekCallback, TMpegGetSizeCallback, void*) {
    TState& s = State;
    CloseStream();
    s.LastError = ecOK;
    if (streamMode != 0) {
        s.LastError = ecMode;
        return;
    }
    if (!fileName || !*fileName) {
        s.LastError = ecInput;
        return;
    }
    int err = MPG123_OK;
    s.Handle = mpg123_new(nullptr, &err);
    if (!s.Handle) {
        s.LastError = ecDecoder;
        return;
    }
    mpg123_param(s.Handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Whatever the stream's rate and channels, the samples come out as 16-bit PCM.
    mpg123_format_none(s.Handle);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(s.Handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    int encoding = 0;
    if (mpg123_open(s.Handle, fileName) != MPG123_OK ||
        mpg123_getformat(s.Handle, &s.Rate, &s.Channels, &encoding) != MPG123_OK ||
        s.Channels < 1 || s.Channels > 2 || mpg123_scan(s.Handle) != MPG123_OK) {
        CloseStream();
        s.LastError = ecInput;
        return;
    }
    const off_t length = mpg123_length(s.Handle);
    if (length <= 0 || length > std::numeric_limits<int32_t>::max()) {
        CloseStream();
        s.LastError = ecInput;
        return;
    }
    s.Length = int32_t(length);
    s.Mode = pmOpened;
}

MPEG_EXPORT int32_t GetLength() {
    State.LastError = State.Mode == pmClosed ? ecMode : ecOK;
    return State.Length;
}

MPEG_EXPORT void SetPriority(int32_t priority) {
    // Linux schedules ordinary threads without priorities; the value is kept for the asking.
    State.Priority = priority;
    State.LastError = ecOK;
}

MPEG_EXPORT void SetOutputDevice(int32_t device, const char* fileName) {
    State.LastError = ecOK;
    State.Device = device;
    State.OutName = fileName ? fileName : "";
}

MPEG_EXPORT int32_t Play(int32_t startPos, int32_t endPos, uint8_t* done) {
    TState& s = State;
    s.LastError = ecOK;
    if (s.Mode != pmOpened && s.Mode != pmDone) {
        s.LastError = ecMode;
        return 1;
    }
    if (s.Device != MpegDevicePcmFile || s.OutName.empty() || !done) {
        s.LastError = ecOutput;
        return 1;
    }
    StopWorker();
    s.StartPos = std::max(0, startPos);
    s.EndPos = std::max(0, endPos);
    s.DoneFlag = done;
    StartWorker();
    return s.LastError == ecOK ? 0 : 1;
}

MPEG_EXPORT void Restart() {
    TState& s = State;
    s.LastError = ecOK;
    if (s.Mode == pmClosed || !s.DoneFlag) {
        s.LastError = ecMode;
        return;
    }
    StopWorker();
    s.StartPos = 0;
    StartWorker();
}

MPEG_EXPORT void Pause(int32_t resume) {
    TState& s = State;
    s.LastError = ecOK;
    if ((s.Mode != pmPlaying && s.Mode != pmPaused) || s.Finished) {
        s.LastError = ecMode;
        return;
    }
    {
        std::lock_guard lock(s.PauseLock);
        s.PauseRequested = resume == 0;
    }
    s.PauseChanged.notify_all();
    s.Mode = resume == 0 ? pmPaused : pmPlaying;
}

MPEG_EXPORT uint8_t ResetPlayerMode() {
    TState& s = State;
    s.LastError = ecOK;
    if (!s.Finished) return 0;
    if (s.Worker.joinable()) s.Worker.join();
    s.Mode = pmDone;
    s.LastError = s.WorkerError;
    return s.LastError == ecOK ? 1 : 0;
}

MPEG_EXPORT void Close() {
    CloseStream();
    State.LastError = ecOK;
}

MPEG_EXPORT int32_t GetCurrentPos() {
    State.LastError = ecOK;
    return State.Position;
}

MPEG_EXPORT uint8_t LastError() {
    return State.LastError;
}

MPEG_EXPORT void Stop() {
    StopWorker();
    State.LastError = ecOK;
    if (State.Mode != pmClosed) State.Mode = pmOpened;
}

#ifndef MPEGDLL_LEAVE_OUT_SEEK // the player's tests build a library lacking one name
MPEG_EXPORT void Seek(int32_t position) {
    TState& s = State;
    s.LastError = ecOK;
    if (s.Mode != pmOpened && s.Mode != pmDone) {
        s.LastError = ecMode;
        return;
    }
    if (mpg123_seek(s.Handle, position, SEEK_SET) < 0) s.LastError = ecNonSeekable;
}
#endif

MPEG_EXPORT int32_t GetFrequency() {
    State.LastError = State.Mode == pmClosed ? ecMode : ecOK;
    return int32_t(State.Rate);
}

MPEG_EXPORT int32_t GetBitrate() {
    mpg123_frameinfo info{};
    if (State.Mode == pmClosed || mpg123_info(State.Handle, &info) != MPG123_OK) {
        State.LastError = ecMode;
        return 0;
    }
    State.LastError = ecOK;
    return info.bitrate;
}

MPEG_EXPORT int32_t GetLayer() {
    mpg123_frameinfo info{};
    if (State.Mode == pmClosed || mpg123_info(State.Handle, &info) != MPG123_OK) {
        State.LastError = ecMode;
        return 0;
    }
    State.LastError = ecOK;
    return info.layer;
}

MPEG_EXPORT int32_t GetPlayerMode() {
    State.LastError = ecOK;
    if (State.Mode == pmPlaying && State.Finished) return pmDone;
    return State.Mode;
}
