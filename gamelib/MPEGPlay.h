#pragma once
// The wrapper of the MPEG decoding library loaded at run time ("mpegdll.so"): a stream is
// opened, played into a PCM wave file, and polled for its end through the done flag the
// library sets from its decoding thread. Every failure is a TMPEGError with the library's code.
#include "platform/dl.h"
#include "plugins/mpegdll/mpegdll.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class QTimer;

class TMPEGError : public std::runtime_error {
  public:
    TMPEGError(const std::string& message, uint8_t code)
        : std::runtime_error(message), Code(code) {}
    // The message of a library error code.
    static std::string MessageOf(uint8_t code);
    uint8_t Code;
};

enum class TOutputDevice { wavemapper, pcmfile };
enum class TPlayPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

using TPosUpdateEvent = std::function<void(int32_t Pos, int32_t Len)>;

class TMPEGPlayer {
  public:
    // The library file; the path rule puts PathToDLL in front.
    static constexpr const char* LibraryFileName = "mpegdll.so";
    // The longest names the library takes, terminating zero included.
    static constexpr size_t StreamNameBuffer = 512;
    static constexpr size_t OutFilenameBuffer = 260;

    TMPEGPlayer();
    ~TMPEGPlayer(); // frees the timer; owners call FreeLib first
    TMPEGPlayer(const TMPEGPlayer&) = delete;
    TMPEGPlayer& operator=(const TMPEGPlayer&) = delete;

    const std::string& StreamName() const { return FStreamName; }
    void SetStreamName(const std::string& name); // closes an open stream
    std::string OutFilename;
    TOutputDevice OutputDevice() const { return FOutputDevice; }
    // pcmfile only while OutFilename is set; otherwise wavemapper is stored.
    void SetOutputDevice(TOutputDevice device);
    TPlayPriority PlayerPriority() const;
    void SetPlayerPriority(TPlayPriority priority);
    std::string PathToDLL;
    bool AutoPlay = false;
    bool UseTimer() const { return FUseTimer; }
    void SetUseTimer(bool value);
    int32_t TimerFreq() const { return FTimerFreq; }
    void SetTimerFreq(int32_t ms); // 0 also clears UseTimer
    int32_t StartPos = 0;
    int32_t EndPos = 0;
    int32_t PlayedXTimes = 0;
    bool Seekable = false;
    TPosUpdateEvent OnPosUpdate;
    std::function<void(TMPEGPlayer& Sender)> OnPlayEnd;

    // The library file LoadLib loads: PathToDLL, a "\" unless it is empty or ends in "\" or
    // ":", and the file name.
    std::string LibraryPath() const;
    bool Loaded() const { return FLoaded; }
    bool Opened() const { return FOpened; }
    bool Playing() const { return FPlaying; }
    bool Paused() const { return FPaused; }
    bool Done() const;
    int32_t Length() const { return FLength; }
    uint8_t LastErrorCode() const { return FLastError; }
    int32_t WindowsPriority() const { return FPriority; }

    void LoadLib();
    void FreeLib();
    void Open();
    void Play();
    void Pause(bool value);
    void Restart();
    void Close();
    bool CheckDone();
    int32_t GetCurrentPos();
    int32_t GetLength();
    // The timer's work, callable directly.
    void TimerTick();

  private:
    struct TFunctions;
    void RequireLoaded() const;
    void Check(); // reads LastError and raises for a code above 0
    void StartedPlaying();
    void UpdateTimerInterval();

    TDynamicLibrary FLibrary;
    std::unique_ptr<TFunctions> F;
    std::unique_ptr<QTimer> FTimer;
    bool FLoaded = false;
    bool FOpened = false, FPlaying = false, FPaused = false;
    uint8_t FDone = 0; // written by the library's thread
    int32_t FLength = 0;
    uint8_t FLastError = 0;
    std::string FStreamName;
    TOutputDevice FOutputDevice = TOutputDevice::wavemapper;
    int32_t FPriority = 0;
    bool FUseTimer = false;
    int32_t FTimerFreq = 0;
};
