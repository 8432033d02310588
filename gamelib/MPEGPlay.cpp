#include "gamelib/MPEGPlay.h"

#include "platform/winpath.h"

#include <QTimer>
#include <array>
#include <atomic>

std::string TMPEGError::MessageOf(uint8_t code) {
    static const std::array<const char*, 6> messages = {
        "MPEG library not loaded", "Internal decoder error",       "Incorrect mode",
        "Input stream error",      "Input stream is non-seekable", "Output device failure"};
    if (code < messages.size()) return messages[code];
    return "Unknown MPEG library error " + std::to_string(code);
}

struct TMPEGPlayer::TFunctions {
    TMpegInit init = nullptr;
    TMpegDeinit deinit = nullptr;
    TMpegOpen Open = nullptr;
    TMpegGetLength GetLength = nullptr;
    TMpegSetPriority SetPriority = nullptr;
    TMpegSetOutputDevice SetOutputDevice = nullptr;
    TMpegPlay Play = nullptr;
    TMpegRestart Restart = nullptr;
    TMpegPause Pause = nullptr;
    TMpegResetPlayerMode ResetPlayerMode = nullptr;
    TMpegClose Close = nullptr;
    TMpegGetCurrentPos GetCurrentPos = nullptr;
    TMpegLastError LastError = nullptr;
    TMpegStop Stop = nullptr;
    TMpegSeek Seek = nullptr;
    TMpegGetFrequency GetFrequency = nullptr;
    TMpegGetBitrate GetBitrate = nullptr;
    TMpegGetLayer GetLayer = nullptr;
    TMpegGetPlayerMode GetPlayerMode = nullptr;
};

namespace {

constexpr std::array<std::pair<TPlayPriority, int32_t>, 7> Priorities = {{
    {TPlayPriority::Idle, -15},
    {TPlayPriority::Lowest, -2},
    {TPlayPriority::BelowNormal, -1},
    {TPlayPriority::Normal, 0},
    {TPlayPriority::AboveNormal, 1},
    {TPlayPriority::Highest, 2},
    {TPlayPriority::TimeCritical, 15},
}};

} // namespace

TMPEGPlayer::TMPEGPlayer() = default;
TMPEGPlayer::~TMPEGPlayer() = default;

void TMPEGPlayer::SetStreamName(const std::string& name) {
    if (FOpened) Close();
    FStreamName = name;
}

void TMPEGPlayer::SetOutputDevice(TOutputDevice device) {
    FOutputDevice = device == TOutputDevice::pcmfile && OutFilename.empty()
                        ? TOutputDevice::wavemapper
                        : device;
}

TPlayPriority TMPEGPlayer::PlayerPriority() const {
    for (const auto& [name, value] : Priorities)
        if (value == FPriority) return name;
    return TPlayPriority::Normal;
}

void TMPEGPlayer::SetPlayerPriority(TPlayPriority priority) {
    for (const auto& [name, value] : Priorities)
        if (name == priority) FPriority = value;
    if (FLoaded) {
        F->SetPriority(FPriority);
        Check();
    }
}

void TMPEGPlayer::SetUseTimer(bool value) {
    FUseTimer = value;
    UpdateTimerInterval();
}

void TMPEGPlayer::SetTimerFreq(int32_t ms) {
    FTimerFreq = ms < 0 ? 0 : ms;
    if (FTimerFreq == 0) FUseTimer = false;
    UpdateTimerInterval();
}

void TMPEGPlayer::UpdateTimerInterval() {
    if (FTimer) FTimer->setInterval(FUseTimer ? FTimerFreq : 0);
}

bool TMPEGPlayer::Done() const {
    return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(FDone)) != 0;
}

std::string TMPEGPlayer::LibraryPath() const {
    std::string path = PathToDLL;
    if (!path.empty() && path.back() != '\\' && path.back() != ':') path += '\\';
    return path + LibraryFileName;
}

void TMPEGPlayer::RequireLoaded() const {
    if (!FLoaded) throw TMPEGError(TMPEGError::MessageOf(0), 0);
}

void TMPEGPlayer::Check() {
    FLastError = F->LastError();
    if (FLastError > 0) throw TMPEGError(TMPEGError::MessageOf(FLastError), FLastError);
}

void TMPEGPlayer::LoadLib() {
    if (!FLibrary.Load(LibraryPath())) throw TMPEGError("Can't load MPEG library", 0);
    auto functions = std::make_unique<TFunctions>();
    bool complete = true;
    const auto find = [&](auto& entry, const char* name) {
        entry = FLibrary.FindFunction<std::remove_reference_t<decltype(entry)>>(name);
        complete = complete && entry != nullptr;
    };
    find(functions->init, "init");
    find(functions->deinit, "deinit");
    find(functions->Open, "Open");
    find(functions->GetLength, "GetLength");
    find(functions->SetPriority, "SetPriority");
    find(functions->SetOutputDevice, "SetOutputDevice");
    find(functions->Play, "Play");
    find(functions->Restart, "Restart");
    find(functions->Pause, "Pause");
    find(functions->ResetPlayerMode, "ResetPlayerMode");
    find(functions->Close, "Close");
    find(functions->GetCurrentPos, "GetCurrentPos");
    find(functions->LastError, "LastError");
    find(functions->Stop, "Stop");
    find(functions->Seek, "Seek");
    find(functions->GetFrequency, "GetFrequency");
    find(functions->GetBitrate, "GetBitrate");
    find(functions->GetLayer, "GetLayer");
    find(functions->GetPlayerMode, "GetPlayerMode");
    if (!complete) {
        FLibrary.Free();
        throw TMPEGError(TMPEGError::MessageOf(0), 0);
    }
    F = std::move(functions);
    if (F->init() == 0) {
        // The library stays loaded, but it is of no use.
        FLastError = F->LastError();
        F.reset();
        throw TMPEGError(TMPEGError::MessageOf(FLastError), FLastError);
    }
    FLoaded = true;
    F->SetPriority(FPriority);
    FLastError = F->LastError();
    FTimer = std::make_unique<QTimer>();
    FTimer->setInterval(FUseTimer ? FTimerFreq : 0);
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] {
        // No exception may cross the event loop: a failing library ends the polling.
        try {
            TimerTick();
        } catch (const TMPEGError&) {
            FTimer->stop();
        }
    });
    FLength = 0;
}

void TMPEGPlayer::FreeLib() {
    RequireLoaded();
    if (FOpened) Close();
    F->deinit();
    FLibrary.Free();
    F.reset();
    FTimer.reset();
    FLoaded = false;
}

void TMPEGPlayer::Open() {
    RequireLoaded();
    if (FOpened) Close();
    FOpened = false;
    if (FStreamName.empty()) throw TMPEGError("Can't play non-specified stream", 254);
    const std::string name = ResolvePath(FStreamName);
    // The library's buffer for the name: a longer one cannot be handed over.
    if (name.size() >= StreamNameBuffer) throw TMPEGError(TMPEGError::MessageOf(3), 3);
    F->Open(name.c_str(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    Check();
    FOpened = true;
    PlayedXTimes = 1;
    FLength = GetLength();
    if (AutoPlay) Play();
}

void TMPEGPlayer::Play() {
    RequireLoaded();
    if (FPaused) {
        Pause(false);
        return;
    }
    if (FPlaying) return;
    if (!FOpened) Open();
    if (PlayedXTimes > 1) {
        Restart();
        return;
    }
    F->SetPriority(FPriority);
    Check();
    const std::string out = OutFilename.empty() ? std::string() : ResolveWritePath(OutFilename);
    if (out.size() >= OutFilenameBuffer) throw TMPEGError(TMPEGError::MessageOf(5), 5);
    F->SetOutputDevice(FOutputDevice == TOutputDevice::pcmfile ? MpegDevicePcmFile
                                                               : MpegDeviceWaveMapper,
                       out.c_str());
    Check();
    const int32_t result = F->Play(StartPos, EndPos, &FDone);
    FLastError = F->LastError();
    if (result != 0 || FLastError > 0)
        throw TMPEGError(TMPEGError::MessageOf(FLastError), FLastError);
    StartedPlaying();
}

void TMPEGPlayer::StartedPlaying() {
    FPlaying = true;
    ++PlayedXTimes;
    if (FUseTimer && FTimer->interval() != 0) {
        FTimer->start();
        TimerTick();
    }
}

void TMPEGPlayer::Restart() {
    RequireLoaded();
    if (!FOpened) throw TMPEGError(TMPEGError::MessageOf(2), 2);
    std::atomic_ref<uint8_t>{FDone}.store(0);
    F->Restart();
    Check();
    StartedPlaying();
}

void TMPEGPlayer::Pause(bool value) {
    RequireLoaded();
    if (!FPlaying || Done()) {
        FPaused = false;
        if (value) throw TMPEGError(TMPEGError::MessageOf(2), 2);
        return;
    }
    F->Pause(value ? 0 : 1);
    Check();
    FPaused = value;
}

void TMPEGPlayer::Close() {
    RequireLoaded();
    FOpened = FPaused = FPlaying = false;
    PlayedXTimes = 0;
    F->Close();
    Check();
}

bool TMPEGPlayer::CheckDone() {
    RequireLoaded();
    if (!Done()) return false;
    const bool ended = F->ResetPlayerMode() != 0;
    Check();
    FPlaying = false;
    return ended;
}

int32_t TMPEGPlayer::GetCurrentPos() {
    RequireLoaded();
    const int32_t position = F->GetCurrentPos();
    Check();
    return position;
}

int32_t TMPEGPlayer::GetLength() {
    RequireLoaded();
    const int32_t length = F->GetLength();
    Check();
    return length;
}

void TMPEGPlayer::TimerTick() {
    if (!FOpened || !FPlaying) {
        if (FTimer) FTimer->stop();
        return;
    }
    int32_t position = GetCurrentPos();
    if (position > FLength) position = 0;
    if (OnPosUpdate) OnPosUpdate(position, FLength);
    if (Done()) {
        FTimer->stop();
        FPlaying = false;
        if (OnPlayEnd) {
            std::atomic_ref<uint8_t>{FDone}.store(0);
            OnPlayEnd(*this);
        }
    }
}
