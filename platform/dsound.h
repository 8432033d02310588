#pragma once
// The sound device the engine was written against, as a software mixer: a primary buffer
// whose format is recorded, secondary buffers (static or rings) of 8/16-bit mono/stereo PCM at
// any rate, two-part locks, play once or looping, play and write cursors, volume in hundredths
// of a decibel, pan, frequency, duplicates sharing sample memory and lost buffers.
// Everything is mixed into 44.1 kHz 16-bit stereo and goes to an output: SDL's audio callback,
// a null output that follows the tick counter, or an offline renderer for tests and the tool.
// One lock per device guards the buffers against the output's thread; no caller code ever runs
// on that thread.
#include "platform/acm.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QWidget;

using HRESULT = int32_t;

constexpr HRESULT MakeDSHResult(uint32_t code) {
    return static_cast<HRESULT>(0x88780000u | code);
}

constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_ALLOCATED = MakeDSHResult(10);
constexpr HRESULT DSERR_CONTROLUNAVAIL = MakeDSHResult(30);
constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DSERR_INVALIDCALL = MakeDSHResult(50);
constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DSERR_PRIOLEVELNEEDED = MakeDSHResult(70);
constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DSERR_BADFORMAT = MakeDSHResult(100);
constexpr HRESULT DSERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DSERR_NODRIVER = MakeDSHResult(120);
constexpr HRESULT DSERR_ALREADYINITIALIZED = MakeDSHResult(130);
constexpr HRESULT DSERR_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT DSERR_BUFFERLOST = MakeDSHResult(150);
constexpr HRESULT DSERR_OTHERAPPHASPRIO = MakeDSHResult(160);
constexpr HRESULT DSERR_UNINITIALIZED = MakeDSHResult(170);
constexpr HRESULT DSERR_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT DSERR_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT DSERR_BUFFERTOOSMALL = MakeDSHResult(180);
constexpr HRESULT DSERR_DS8_REQUIRED = MakeDSHResult(190);
constexpr HRESULT DSERR_SENDLOOP = MakeDSHResult(200);
constexpr HRESULT DSERR_BADSENDBUFFERGUID = MakeDSHResult(210);
constexpr HRESULT DSERR_OBJECTNOTFOUND = MakeDSHResult(4449);

// The device's own text for a result code; "Unrecognized Error" for codes it does not know.
std::string DSErrorString(HRESULT code);

// Cooperative levels.
constexpr uint32_t DSSCL_NORMAL = 1;
constexpr uint32_t DSSCL_PRIORITY = 2;
constexpr uint32_t DSSCL_EXCLUSIVE = 3;
constexpr uint32_t DSSCL_WRITEPRIMARY = 4;

// Buffer capabilities.
constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr uint32_t DSBCAPS_STATIC = 0x2;
constexpr uint32_t DSBCAPS_LOCHARDWARE = 0x4;
constexpr uint32_t DSBCAPS_LOCSOFTWARE = 0x8;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x40;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr uint32_t DSBCAPS_STICKYFOCUS = 0x4000;
constexpr uint32_t DSBCAPS_GLOBALFOCUS = 0x8000;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x10000;

constexpr uint32_t DSBPLAY_LOOPING = 0x1;

constexpr uint32_t DSBSTATUS_PLAYING = 0x1;
constexpr uint32_t DSBSTATUS_BUFFERLOST = 0x2;
constexpr uint32_t DSBSTATUS_LOOPING = 0x4;

constexpr uint32_t DSBLOCK_FROMWRITECURSOR = 0x1;
constexpr uint32_t DSBLOCK_ENTIREBUFFER = 0x2;

constexpr int32_t DSBVOLUME_MIN = -10000;
constexpr int32_t DSBVOLUME_MAX = 0;
constexpr int32_t DSBPAN_LEFT = -10000;
constexpr int32_t DSBPAN_CENTER = 0;
constexpr int32_t DSBPAN_RIGHT = 10000;
constexpr uint32_t DSBFREQUENCY_ORIGINAL = 0;
constexpr uint32_t DSBFREQUENCY_MIN = 100;
constexpr uint32_t DSBFREQUENCY_MAX = 200000;
constexpr uint32_t DSBSIZE_MIN = 4;
constexpr uint32_t DSBSIZE_MAX = 0x0FFFFFFF;

// What every output receives: 16-bit stereo frames at this rate.
constexpr uint32_t DSMixRate = 44100;
// The mixer's fixed point: play positions are frames with this many fraction bits (32.32),
// gains 16.16 with DSUnityGain for full volume.
constexpr uint32_t DSPositionShift = 32;
constexpr uint32_t DSGainShift = 16;
constexpr int32_t DSUnityGain = 1 << DSGainShift;

struct TDSBufferDesc {
    uint32_t Flags = 0;                    // DSBCAPS_*
    uint32_t BufferBytes = 0;              // 0 for the primary buffer
    const TWaveFormatEx* Format = nullptr; // PCM; nullptr for the primary buffer
};

class TSoundOutput;
class TDirectSoundBuffer;

// The buffers of one device and their mix. Outputs call Mix (or, with the lock held, MixLocked
// and AdvanceLocked); everything else belongs to the device and its buffers.
class TSoundMixer {
  public:
    // Adds the next frames of every playing buffer into stereo (2 samples per frame),
    // saturated to 16 bits, and moves their cursors on.
    void Mix(int16_t* stereo, uint32_t frames);
    void MixLocked(int16_t* stereo, uint32_t frames);
    // Moves the cursors on as mixing that many frames would, without producing sound.
    void AdvanceLocked(uint64_t frames);
    std::mutex& Lock() { return FLock; }

  private:
    friend class TDirectSound;
    friend class TDirectSoundBuffer;
    // Brings an output that follows a clock up to now and tells how far the write cursor leads.
    uint32_t CatchUpLocked();
    // The one sample loop: a voice's next frames added into the accumulator.
    template <bool Sixteen, bool Stereo>
    static void MixVoice(TDirectSoundBuffer& voice, int32_t* accumulator, uint32_t frames);

    std::mutex FLock;
    std::vector<TDirectSoundBuffer*> FBuffers; // secondary buffers alive
    std::shared_ptr<TSoundOutput> FOutput;     // none once the device is gone
    bool FRestoreAllowed = true;
    uint32_t FCooperativeLevel = 0;
    static constexpr uint32_t ChunkFrames = 512;
    std::array<int32_t, 2 * ChunkFrames> FAccumulator{};
};

// Where a device's mix goes. An output serves one device at a time.
class TSoundOutput {
  public:
    virtual ~TSoundOutput() = default;
    // Starts taking the mix; false when no output device can be opened.
    virtual bool Open(const std::shared_ptr<TSoundMixer>& mixer) = 0;
    // Stops; the mixer is never called again afterwards. Not called with the mixer's lock held.
    virtual void Close() = 0;
    // Called with the mixer's lock held before each device call.
    virtual void CatchUp(TSoundMixer& mixer) { (void)mixer; }
    // Output frames mixed ahead of what is heard: how far the write cursor leads the play cursor.
    virtual uint32_t LeadFrames() const = 0;
};

// SDL's audio callback; SDL_AUDIODRIVER chooses the driver ("dummy" for headless runs).
class TSDLSoundOutput : public TSoundOutput {
  public:
    ~TSDLSoundOutput() override;
    bool Open(const std::shared_ptr<TSoundMixer>& mixer) override;
    void Close() override;
    uint32_t LeadFrames() const override { return FLeadFrames; }

  private:
    std::shared_ptr<TSoundMixer> FMixer;
    uint32_t FDevice = 0;
    uint32_t FLeadFrames = 0;
};

// Sound into nowhere at the pace of the tick counter (platform/clock.h): cursors advance as
// the injected clock does, so tests step time by hand.
class TNullSoundOutput : public TSoundOutput {
  public:
    bool Open(const std::shared_ptr<TSoundMixer>& mixer) override;
    void Close() override;
    void CatchUp(TSoundMixer& mixer) override;
    uint32_t LeadFrames() const override { return DSMixRate / 100; }

  private:
    bool FOpen = false;
    uint32_t FLastTicks = 0;
    uint64_t FRemainder = 0; // of milliseconds times the rate, not yet a whole frame
};

// Nothing moves until Render is called; then exactly that much is mixed into memory.
class TOfflineSoundOutput : public TSoundOutput {
  public:
    bool Open(const std::shared_ptr<TSoundMixer>& mixer) override;
    void Close() override;
    uint32_t LeadFrames() const override { return 0; }
    // Interleaved left/right samples of the next frames.
    std::vector<int16_t> RenderFrames(uint32_t frames);
    std::vector<int16_t> Render(uint32_t milliseconds);

  private:
    std::shared_ptr<TSoundMixer> FMixer;
    uint64_t FRemainder = 0;
};

// The bytes a buffer and its duplicates play. Lock hands out Staging, Unlock copies it back
// under the lock, so the caller never writes memory the mixer is reading.
struct TSampleMemory {
    std::vector<uint8_t> Bytes;
    std::vector<uint8_t> Staging;
};

class TDirectSound;

class TDirectSoundBuffer {
  public:
    TDirectSoundBuffer(std::shared_ptr<TSoundMixer> mixer, uint32_t caps,
                       std::shared_ptr<TSampleMemory> memory, const TWaveFormatEx& format);
    ~TDirectSoundBuffer();
    TDirectSoundBuffer(const TDirectSoundBuffer&) = delete;
    TDirectSoundBuffer& operator=(const TDirectSoundBuffer&) = delete;

    // Primary buffer only; needs DSSCL_PRIORITY. The mix itself stays 44.1 kHz 16-bit stereo.
    HRESULT SetFormat(const TWaveFormatEx* format);
    HRESULT GetFormat(TWaveFormatEx& format) const;
    // Two parts when the region wraps past the end; second may be nullptr to get only the
    // part up to the end. DSBLOCK_FROMWRITECURSOR ignores offset, DSBLOCK_ENTIREBUFFER bytes.
    HRESULT Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                 uint32_t* secondBytes, uint32_t flags);
    // The pointers Lock gave and the byte counts actually written.
    HRESULT Unlock(void* first, uint32_t firstBytes, void* second, uint32_t secondBytes);
    // DSBPLAY_LOOPING or once; a playing buffer only changes its looping.
    HRESULT Play(uint32_t reserved, uint32_t priority, uint32_t flags);
    HRESULT Stop();
    HRESULT SetCurrentPosition(uint32_t bytes);
    // Either may be nullptr. The write cursor leads by what the output has mixed ahead.
    HRESULT GetCurrentPosition(uint32_t* play, uint32_t* write);
    HRESULT GetStatus(uint32_t& status); // DSBSTATUS_*
    // Fails with DSERR_BUFFERLOST while the device does not allow restoring.
    HRESULT Restore();
    HRESULT SetVolume(int32_t volume); // DSBVOLUME_MIN..DSBVOLUME_MAX
    HRESULT GetVolume(int32_t& volume) const;
    HRESULT SetPan(int32_t pan); // DSBPAN_LEFT..DSBPAN_RIGHT
    HRESULT GetPan(int32_t& pan) const;
    HRESULT SetFrequency(uint32_t hertz); // DSBFREQUENCY_MIN..MAX, or _ORIGINAL
    HRESULT GetFrequency(uint32_t& hertz) const;

    // The sample memory is gone (silence) until a restore; playing stops.
    void MarkLost();
    uint32_t Caps() const { return FCaps; }
    uint32_t Bytes() const { return FMemory ? uint32_t(FMemory->Bytes.size()) : 0; }
    bool IsPrimary() const { return FCaps & DSBCAPS_PRIMARYBUFFER; }

  private:
    friend class TSoundMixer;
    friend class TDirectSound;
    void LoseLocked();
    void UpdateGainsLocked();
    uint32_t WriteCursorLocked(uint32_t lead) const;

    std::shared_ptr<TSoundMixer> FMixer;
    uint32_t FCaps;
    std::shared_ptr<TSampleMemory> FMemory;
    TWaveFormatEx FFormat;
    uint32_t FFrames = 0;
    // Play position in frames, 32.32 fixed point, and its step per output frame.
    uint64_t FPosition = 0;
    uint64_t FStep = 0;
    uint32_t FFrequency = 0;
    int32_t FVolume = 0, FPan = 0;
    int32_t FGainLeft = DSUnityGain, FGainRight = DSUnityGain;
    bool FPlaying = false, FLooping = false, FLost = false;
    int FLocks = 0;
};

using PDirectSoundBuffer = std::shared_ptr<TDirectSoundBuffer>;

// A buffer lock held for a scope, with both regions of a ring: the second is empty unless the
// locked stretch wraps past the end. Leaving the scope unlocks whatever is still locked and
// keeps everything written, as the device's memory would; Unlock ends the lock early with the
// byte counts actually written and gives the device's answer.
class TDSBufferLock {
  public:
    TDSBufferLock(TDirectSoundBuffer& buffer, uint32_t offset, uint32_t bytes, uint32_t flags = 0);
    ~TDSBufferLock();
    TDSBufferLock(const TDSBufferLock&) = delete;
    TDSBufferLock& operator=(const TDSBufferLock&) = delete;

    // The lock's result; the regions are valid only with DS_OK.
    HRESULT Result() const { return FResult; }
    uint8_t* First() const { return FFirst; }
    uint32_t FirstBytes() const { return FFirstBytes; }
    uint8_t* Second() const { return FSecond; } // nullptr when the stretch does not wrap
    uint32_t SecondBytes() const { return FSecondBytes; }
    // Once it has succeeded, the scope's end unlocks nothing more.
    HRESULT Unlock(uint32_t firstWritten, uint32_t secondWritten);
    HRESULT Unlock() { return Unlock(FFirstBytes, FSecondBytes); }

  private:
    TDirectSoundBuffer& FBuffer;
    HRESULT FResult;
    bool FLocked = false;
    uint8_t* FFirst = nullptr;
    uint8_t* FSecond = nullptr;
    uint32_t FFirstBytes = 0, FSecondBytes = 0;
};

class TDirectSound {
  public:
    // Opens output; Valid() tells whether it could.
    explicit TDirectSound(std::shared_ptr<TSoundOutput> output);
    ~TDirectSound();
    TDirectSound(const TDirectSound&) = delete;
    TDirectSound& operator=(const TDirectSound&) = delete;
    bool Valid() const { return FOpen; }

    HRESULT SetCooperativeLevel(QWidget* window, uint32_t level);
    // Primary (DSBCAPS_PRIMARYBUFFER, no size, no format: the one primary buffer) or secondary.
    HRESULT CreateSoundBuffer(const TDSBufferDesc& desc, PDirectSoundBuffer& out);
    // Shares the original's sample memory; stopped at position 0 with the original's volume,
    // pan and frequency.
    HRESULT DuplicateSoundBuffer(const PDirectSoundBuffer& original, PDirectSoundBuffer& out);

    // What losing the device to another application does: every buffer reports lost.
    void LoseAllBuffers();
    // While false, Restore fails as it does while the application is in the background.
    void SetRestoreAllowed(bool allowed);
    TSoundOutput& Output() { return *FOutput; }

  private:
    std::shared_ptr<TSoundMixer> FMixer;
    std::shared_ptr<TSoundOutput> FOutput;
    bool FOpen = false;
    std::weak_ptr<TDirectSoundBuffer> FPrimary;
};

using PDirectSound = std::shared_ptr<TDirectSound>;

// The output new devices use. Default (nullptr): SDL.
void SetDefaultSoundOutput(std::shared_ptr<TSoundOutput> output);
// device must be nullptr (the default device). DSERR_NODRIVER when no output can be opened.
HRESULT DirectSoundCreate(const void* device, PDirectSound& out);
HRESULT DirectSoundCreateOn(std::shared_ptr<TSoundOutput> output, PDirectSound& out);
