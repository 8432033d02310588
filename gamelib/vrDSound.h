#pragma once
// The sound engine of the game window: every wave file of a folder becomes one sound, found by
// name. Short sounds are decoded once into a static buffer; long ones stream through a
// ten-second ring that a threaded timer refills while they play. An unknown name yields an
// inert placeholder, so callers never test for a missing sound. Everything runs on the main
// thread; the timer only hands its ticks over.
#include "gamelib/DDUtil.h"
#include "gamelib/ThdTimer.h"
#include "gamelib/WaveRead.h"
#include "platform/dl.h"
#include "platform/dsound.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QWidget;

// A lost buffer: a silent kind of error, handled where it happens.
class EDirectXBufferLostError : public EDirectXError {
  public:
    EDirectXBufferLostError() : EDirectXError("Buffer Lost", DSERR_BUFFERLOST) {}
};

// Passes DS_OK; otherwise logs "DSCheck : " + code and the code's text, and throws.
void DSCheck(HRESULT code);

// A slider level 0..127 in hundredths of a decibel: 127 is full volume, 9 and below mute.
int32_t VolumeFromLevel(int32_t level);

enum TSoundStatus : uint8_t { ssOK, ssUnsupportedFormat, ssGenericError, ssDisabled };
enum TSoundMode : uint8_t { smStreamed, smStaticSoftware, smStatic, smStaticHardware, smAuto };
enum TSourceKind : uint8_t { srcFile, srcResource };

// Where a sound's data comes from; duplicates copy it whole.
struct TSoundSource {
    TSourceKind SourceKind = srcFile;
    std::string FileName; // srcFile: without extension; ".wav" is added when opening
    std::string ResourceName, ResourceType;
};

class TvrDSound;

class TvrDSoundFile {
    struct TKey {}; // only the engine's own creation paths make sounds

  public:
    // Each adds the new sound to the owner's Sounds, which owns it, and returns it.
    static TvrDSoundFile& CreateFromFile(TvrDSound& owner, uint32_t streamThresholdMs,
                                         TSoundMode mode, const std::string& fileName);
    // Falls back to the program resource of type "WAVE" named after the sound.
    static TvrDSoundFile& CreateWithFallback(TvrDSound& owner, uint32_t streamThresholdMs,
                                             TSoundMode mode, const std::string& fileName);
    // Shares the sample memory of sound; "Can't duplicate a streaming buffer" for a stream.
    static TvrDSoundFile& CreateDuplicate(TvrDSoundFile& sound);

    TvrDSoundFile(TvrDSound& owner, TKey);
    ~TvrDSoundFile();
    TvrDSoundFile(const TvrDSoundFile&) = delete;
    TvrDSoundFile& operator=(const TvrDSoundFile&) = delete;
    // Releases the buffer and removes (frees) the sound from its owner's list.
    void Destroy();

    // Each does nothing unless Status is ssOK.
    void Play();
    void Stop();
    void SetVolume(int32_t volume); // -10000 .. 0
    void SetPan(int32_t pan);       // -10000 left .. 10000 right
    void SetFrequency(uint32_t hertz);
    void SetPosition(uint32_t byteOffset);
    bool CheckLost();
    bool TryRestore();
    // Refills the ring of a streamed sound: all of it from the start with restart, otherwise
    // what has been played since the last refill; stops a non-looping sound at its end.
    void Update(bool restart);

    PDirectSoundBuffer Buffer;
    TvrDSound& Owner;
    std::string Name;
    std::string LastError;
    uint32_t BufferSize = 0;
    uint32_t WritePos = 0;
    uint32_t EndPos = 0;     // ring position where the data ran out
    uint32_t SilenceEnd = 0; // ring position up to which silence follows it
    TSoundStatus Status = ssOK;
    bool Lost = false;
    bool EndReached = false;
    bool Loop = false;
    bool Playing = false;
    bool Primed = false;
    TSoundMode Mode = smAuto;
    std::unique_ptr<TWaveReadStream> WaveReader;
    std::unique_ptr<TWavePCMReader> PCMReader;
    TSoundSource SourceInfo;

  private:
    static TvrDSoundFile& Create(TvrDSound& owner, uint32_t streamThresholdMs, TSoundMode mode,
                                 const std::string& fileName, bool fallback);
    void Load(uint32_t streamThresholdMs);
    std::unique_ptr<TWaveReadStream> OpenSource() const;
    void OpenWaveReader();
    void ResetStream();
    void FillPart(uint8_t* part, uint32_t length);
    void ReloadStatic();
    void FreeReaders();
};

class TvrDSound {
  public:
    // Never fails: without a device (or with both flags off) it stays NotReady and every
    // sound loads disabled.
    TvrDSound(QWidget* window, bool effectsEnabled, bool deviceWanted, uint32_t samplesPerSec,
              uint16_t bitsPerSample, uint16_t channels);
    ~TvrDSound();
    TvrDSound(const TvrDSound&) = delete;
    TvrDSound& operator=(const TvrDSound&) = delete;

    // Registers a codec driver file for every PCM reader made afterwards. Errors reach the
    // caller with their message.
    void LoadACMDriver(const std::string& fileName);
    void UnloadACMDriver();
    // Loads Folder\*.wav, logging each file; returns how many files were found.
    int32_t LoadFolder(const std::string& folder, uint32_t streamThresholdMs);
    // The newest sound of that name (case ignored), or the inert placeholder.
    TvrDSoundFile& Find(const std::string& name);
    void SetVolumeAll(int32_t volume);
    bool RestoreAll();
    void UpdateAll();
    // The refill timer runs exactly while a streamed sound is playing.
    void UpdateTimer();

    PDirectSound DirectSound;
    PDirectSoundBuffer PrimaryBuffer;
    std::vector<std::unique_ptr<TvrDSoundFile>> Sounds;
    bool NotReady = true;
    bool EffectsEnabled = false;
    bool DeviceWanted = false;
    TvrDSoundFile* Placeholder = nullptr;
    std::unique_ptr<TThreadedTimer> Timer;
    std::string ACMDriverFile;
    TDynamicLibrary ACMModule;
    HACMDRIVER ACMDriver = nullptr;
    HACMDRIVERID ACMDriverID = nullptr;
};
