#include "platform/dsound.h"
#include "platform/clock.h"

#include "ScopedVariable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

constexpr uint32_t AllControls = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;

TWaveFormatEx Pcm(uint16_t channels, uint16_t bits, uint32_t rate) {
    const uint16_t align = uint16_t(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// A device on an output the test drives, at priority level.
struct TDevice {
    explicit TDevice(std::shared_ptr<TSoundOutput> output) : Output(std::move(output)) {
        EXPECT_EQ(DirectSoundCreateOn(Output, Sound), DS_OK);
        EXPECT_EQ(Sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    }
    PDirectSoundBuffer Buffer(const TWaveFormatEx& format, uint32_t bytes,
                              uint32_t caps = AllControls) {
        TDSBufferDesc desc;
        desc.Flags = caps;
        desc.BufferBytes = bytes;
        desc.Format = &format;
        PDirectSoundBuffer out;
        EXPECT_EQ(Sound->CreateSoundBuffer(desc, out), DS_OK);
        return out;
    }
    std::shared_ptr<TSoundOutput> Output;
    PDirectSound Sound;
};

struct TOfflineDevice : TDevice {
    TOfflineDevice() : TDevice(std::make_shared<TOfflineSoundOutput>()) {}
    std::vector<int16_t> Render(uint32_t frames) {
        return static_cast<TOfflineSoundOutput&>(*Output).RenderFrames(frames);
    }
};

void Write(const PDirectSoundBuffer& buffer, uint32_t offset, const void* data, uint32_t bytes) {
    TDSBufferLock lock(*buffer, offset, bytes);
    ASSERT_EQ(lock.Result(), DS_OK);
    std::memcpy(lock.First(), data, lock.FirstBytes());
    if (lock.Second())
        std::memcpy(lock.Second(), static_cast<const uint8_t*>(data) + lock.FirstBytes(),
                    lock.SecondBytes());
    ASSERT_EQ(lock.Unlock(), DS_OK);
}

PDirectSoundBuffer Mono16(TDevice& device, const std::vector<int16_t>& samples,
                          uint32_t rate = DSMixRate) {
    auto buffer = device.Buffer(Pcm(1, 16, rate), uint32_t(samples.size() * 2));
    Write(buffer, 0, samples.data(), uint32_t(samples.size() * 2));
    return buffer;
}

std::vector<int16_t> Ramp(size_t count, int start, int step) {
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i)
        s[i] = int16_t(start + int(i) * step);
    return s;
}

uint32_t Status(const PDirectSoundBuffer& buffer) {
    uint32_t status = 0xFFFF;
    EXPECT_EQ(buffer->GetStatus(status), DS_OK);
    return status;
}

uint32_t PlayCursor(const PDirectSoundBuffer& buffer) {
    uint32_t play = 0xFFFFFFFF;
    EXPECT_EQ(buffer->GetCurrentPosition(&play, nullptr), DS_OK);
    return play;
}

// ----- Result codes --------------------------------------------------------------------------

TEST(DSound, ResultCodesKeepTheirValuesAndTexts) {
    EXPECT_EQ(DSERR_BUFFERLOST, int32_t(0x88780096u));
    EXPECT_EQ(DSERR_INVALIDPARAM, int32_t(0x80070057u));
    EXPECT_EQ(DSERR_OBJECTNOTFOUND, int32_t(0x88781161u));
    EXPECT_EQ(DSErrorString(DS_OK), "The request completed successfully.");
    EXPECT_EQ(DSErrorString(DSERR_BUFFERLOST),
              "The buffer memory has been lost and must be restored.");
    EXPECT_EQ(DSErrorString(DSERR_OUTOFMEMORY),
              "The DirectSound subsystem could not allocate sufficient memory to complete the "
              "caller\u00b4s request.");
    EXPECT_EQ(DSErrorString(DSERR_NODRIVER), "No sound driver is available for use.");
    EXPECT_EQ(DSErrorString(DSERR_OBJECTNOTFOUND),
              "The object requested was not found (numerically equal to DMUS_E_NOT_FOUND).");
    EXPECT_EQ(DSErrorString(0x12345), "Unrecognized Error");
    EXPECT_EQ(DSErrorString(MakeDSHResult(155)), "Unrecognized Error");
}

// ----- Creating the device ------------------------------------------------------------------

class TRefusingOutput : public TSoundOutput {
  public:
    bool Open(const std::shared_ptr<TSoundMixer>&) override { return false; }
    void Close() override {}
    uint32_t LeadFrames() const override { return 0; }
};

TEST(DSound, NoOutputMeansNoDevice) {
    PDirectSound sound;
    EXPECT_EQ(DirectSoundCreateOn(std::make_shared<TRefusingOutput>(), sound), DSERR_NODRIVER);
    EXPECT_EQ(sound, nullptr);
    int guid = 0;
    EXPECT_EQ(DirectSoundCreate(&guid, sound), DSERR_NODRIVER) << "only the default device exists";
}

TEST(DSound, SdlOutputOpensOnItsDummyDriverAndFailsCleanlyWithoutOne) {
    SetDefaultSoundOutput(nullptr);
    {
        TScopedVariable driver("SDL_AUDIODRIVER", "no-such-driver");
        PDirectSound sound;
        EXPECT_EQ(DirectSoundCreate(nullptr, sound), DSERR_NODRIVER);
        EXPECT_EQ(sound, nullptr);
    }
    TScopedVariable driver("SDL_AUDIODRIVER", "dummy");
    PDirectSound sound;
    ASSERT_EQ(DirectSoundCreate(nullptr, sound), DS_OK);
    ASSERT_EQ(sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    const auto format = Pcm(2, 16, 22050);
    TDSBufferDesc desc;
    desc.Flags = AllControls;
    desc.BufferBytes = 8820;
    desc.Format = &format;
    PDirectSoundBuffer buffer;
    ASSERT_EQ(sound->CreateSoundBuffer(desc, buffer), DS_OK);
    EXPECT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(Status(buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    // Closing while the callback may be mixing must neither hang nor crash.
    sound.reset();
    EXPECT_EQ(Status(buffer), 0u);
}

TEST(DSound, DefaultOutputIsUsedByDirectSoundCreate) {
    auto offline = std::make_shared<TOfflineSoundOutput>();
    SetDefaultSoundOutput(offline);
    PDirectSound sound;
    ASSERT_EQ(DirectSoundCreate(nullptr, sound), DS_OK);
    PDirectSound second;
    EXPECT_EQ(DirectSoundCreate(nullptr, second), DSERR_NODRIVER) << "one device per output";
    sound.reset();
    EXPECT_EQ(DirectSoundCreate(nullptr, second), DS_OK) << "free again";
    SetDefaultSoundOutput(nullptr);
}

// ----- Primary buffer -------------------------------------------------------------------------

TEST(DSound, PrimaryBufferTakesAFormatAtPriorityLevel) {
    TOfflineDevice device;
    ASSERT_EQ(device.Sound->SetCooperativeLevel(nullptr, DSSCL_NORMAL), DS_OK);
    TDSBufferDesc desc;
    desc.Flags = DSBCAPS_PRIMARYBUFFER;
    PDirectSoundBuffer primary, again;
    ASSERT_EQ(device.Sound->CreateSoundBuffer(desc, primary), DS_OK);
    ASSERT_EQ(device.Sound->CreateSoundBuffer(desc, again), DS_OK);
    EXPECT_EQ(primary, again) << "there is one primary buffer";
    const TWaveFormatEx cd = Pcm(2, 16, 44100);
    EXPECT_EQ(primary->SetFormat(&cd), DSERR_PRIOLEVELNEEDED);
    ASSERT_EQ(device.Sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    ASSERT_EQ(primary->SetFormat(&cd), DS_OK);
    TWaveFormatEx got{};
    ASSERT_EQ(primary->GetFormat(got), DS_OK);
    EXPECT_EQ(std::memcmp(&got, &cd, sizeof(cd)), 0);
    const TWaveFormatEx odd = Pcm(2, 24, 44100);
    EXPECT_EQ(primary->SetFormat(&odd), DSERR_BADFORMAT);
    TWaveFormatEx badAverage = cd;
    badAverage.nAvgBytesPerSec = 1;
    EXPECT_EQ(primary->SetFormat(&badAverage), DSERR_BADFORMAT);
    EXPECT_EQ(device.Sound->SetCooperativeLevel(nullptr, 0), DSERR_INVALIDPARAM);

    desc.BufferBytes = 100;
    EXPECT_EQ(device.Sound->CreateSoundBuffer(desc, again), DSERR_INVALIDPARAM);
    auto secondary = device.Buffer(cd, 400);
    EXPECT_EQ(secondary->SetFormat(&cd), DSERR_INVALIDCALL);
    void* p = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(primary->Lock(0, 4, &p, &n, nullptr, nullptr, 0), DSERR_PRIOLEVELNEEDED);
    EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
}

TEST(DSound, SecondaryBuffersNeedPlainPcmAndASize) {
    TOfflineDevice device;
    PDirectSoundBuffer out;
    TDSBufferDesc desc;
    desc.Flags = AllControls | DSBCAPS_STATIC;
    desc.BufferBytes = 1000;
    EXPECT_EQ(device.Sound->CreateSoundBuffer(desc, out), DSERR_INVALIDPARAM) << "no format";
    TWaveFormatEx format = Pcm(1, 16, 22050);
    desc.Format = &format;
    desc.BufferBytes = 0;
    EXPECT_EQ(device.Sound->CreateSoundBuffer(desc, out), DSERR_INVALIDPARAM) << "no length";
    desc.BufferBytes = 1000;
    format.wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    EXPECT_EQ(device.Sound->CreateSoundBuffer(desc, out), DSERR_BADFORMAT);
    format = Pcm(3, 16, 22050);
    EXPECT_EQ(device.Sound->CreateSoundBuffer(desc, out), DSERR_BADFORMAT);
    format = Pcm(1, 16, 50);
    EXPECT_EQ(device.Sound->CreateSoundBuffer(desc, out), DSERR_BADFORMAT);
    format = Pcm(2, 8, 11025);
    ASSERT_EQ(device.Sound->CreateSoundBuffer(desc, out), DS_OK);
    EXPECT_EQ(out->Bytes(), 1000u);
    desc.Flags |= DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE;
    EXPECT_EQ(device.Sound->CreateSoundBuffer(desc, out), DSERR_INVALIDPARAM);
}

// ----- Mixing ---------------------------------------------------------------------------------

// Their effect on the mix is checked against the reference mix below.
TEST(DSound, ControlsKeepTheirValuesWithinRangeAndNeedTheirCapability) {
    TOfflineDevice device;
    auto buffer = device.Buffer(Pcm(1, 16, 22050), 100);
    ASSERT_EQ(buffer->SetVolume(-2000), DS_OK);
    ASSERT_EQ(buffer->SetPan(-3000), DS_OK);
    int32_t volume = 0, pan = 0;
    ASSERT_EQ(buffer->GetVolume(volume), DS_OK);
    ASSERT_EQ(buffer->GetPan(pan), DS_OK);
    EXPECT_EQ(volume, -2000);
    EXPECT_EQ(pan, -3000);
    EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetPan(10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetPan(-10001), DSERR_INVALIDPARAM);

    auto fixed = device.Buffer(Pcm(1, 16, 22050), 100, DSBCAPS_STATIC);
    EXPECT_EQ(fixed->SetVolume(-100), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(fixed->SetPan(100), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(fixed->SetFrequency(11025), DSERR_CONTROLUNAVAIL);
    auto panOnly = device.Buffer(Pcm(1, 16, 22050), 100, DSBCAPS_CTRLPAN);
    EXPECT_EQ(panOnly->SetPan(100), DS_OK);
    EXPECT_EQ(panOnly->SetVolume(-100), DSERR_CONTROLUNAVAIL);
}

TEST(DSound, HalfTheRateInterpolatesBetweenSamplesAndLastsTwiceAsLong) {
    TOfflineDevice device;
    const auto samples = Ramp(200, -10000, 100);
    auto buffer = Mono16(device, samples, 22050);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    const auto out = device.Render(420);
    // Each output frame lies halfway between the source frames it falls between.
    for (int m = 0; m < 398; ++m)
        EXPECT_EQ(out[2 * m], -10000 + 50 * m) << m;
    EXPECT_NE(out[2 * 399], 0);
    EXPECT_EQ(out[2 * 400], 0) << "200 frames at half the rate are 400 output frames";
    EXPECT_EQ(Status(buffer), 0u);
}

TEST(DSound, SetFrequencyRetunesAndOriginalRestores) {
    TOfflineDevice device;
    const auto samples = Ramp(300, 0, 50);
    auto buffer = Mono16(device, samples);
    ASSERT_EQ(buffer->SetFrequency(88200), DS_OK);
    uint32_t hertz = 0;
    ASSERT_EQ(buffer->GetFrequency(hertz), DS_OK);
    EXPECT_EQ(hertz, 88200u);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    auto out = device.Render(100);
    for (int m = 0; m < 100; ++m)
        EXPECT_EQ(out[2 * m], samples[2 * m]) << "every other sample";
    ASSERT_EQ(buffer->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    ASSERT_EQ(buffer->GetFrequency(hertz), DS_OK);
    EXPECT_EQ(hertz, DSMixRate);
    out = device.Render(10);
    EXPECT_EQ(out[0], samples[200]);
    EXPECT_EQ(out[2], samples[201]);
    EXPECT_EQ(buffer->SetFrequency(99), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetFrequency(DSBFREQUENCY_MAX + 1), DSERR_INVALIDPARAM);
}

// At half the rate the frame between the last and the first sample of a loop blends the two.
TEST(DSound, LoopingInterpolatesAcrossTheSeam) {
    TOfflineDevice device;
    const auto samples = Ramp(100, 1000, 10);
    auto buffer = Mono16(device, samples, 22050);
    ASSERT_EQ(buffer->SetCurrentPosition(99 * 2), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    const auto seam = device.Render(3);
    EXPECT_EQ(seam[0], samples[99]);
    EXPECT_EQ(seam[2], (samples[99] + samples[0]) / 2);
    EXPECT_EQ(seam[4], samples[0]);
}

// Voices at the mix rate, of every sample kind, looping, ending mid-run and starting late,
// against a mix computed here from the device's model: each frame's sample times the channel's
// gain (16.16, from the decibel curve; pan lowers the far channel), rounded, summed, saturated.
TEST(DSound, VoicesAtTheMixRateAddUpToTheReferenceMix) {
    struct TVoice {
        uint16_t Channels, Bits;
        uint32_t Frames, Start;
        bool Looping;
        int32_t Volume, Pan;
        std::vector<uint8_t> Bytes;
        PDirectSoundBuffer Buffer;
    };
    std::vector<TVoice> voices = {
        {2, 16, 1000, 0, true, -600, 1500, {}, nullptr},
        {1, 16, 7, 3, true, 0, -3000, {}, nullptr},
        {2, 8, 700, 0, false, -1200, 0, {}, nullptr},
        {1, 8, 1500, 300, false, 0, 10000, {}, nullptr},
        {1, 16, 2500, 0, false, 0, 0, {}, nullptr},
    };
    TOfflineDevice device;
    uint32_t seed = 2024;
    for (TVoice& v : voices) {
        v.Bytes.resize(size_t(v.Frames) * v.Channels * v.Bits / 8);
        for (uint8_t& b : v.Bytes)
            b = uint8_t((seed = seed * 1664525 + 1013904223) >> 24);
        v.Buffer = device.Buffer(Pcm(v.Channels, v.Bits, DSMixRate), uint32_t(v.Bytes.size()));
        Write(v.Buffer, 0, v.Bytes.data(), uint32_t(v.Bytes.size()));
        ASSERT_EQ(v.Buffer->SetVolume(v.Volume), DS_OK);
        ASSERT_EQ(v.Buffer->SetPan(v.Pan), DS_OK);
        ASSERT_EQ(v.Buffer->SetCurrentPosition(v.Start * v.Channels * v.Bits / 8), DS_OK);
        ASSERT_EQ(v.Buffer->Play(0, 0, v.Looping ? DSBPLAY_LOOPING : 0), DS_OK);
    }

    constexpr uint32_t Total = 3001;
    std::vector<int16_t> mix;
    for (uint32_t piece : {1000u, 1u, 511u, 1489u}) {
        const auto out = device.Render(piece);
        mix.insert(mix.end(), out.begin(), out.end());
    }
    ASSERT_EQ(mix.size(), 2u * Total);

    auto gain = [](int32_t attenuation) {
        return attenuation <= DSBVOLUME_MIN
                   ? 0.0
                   : std::round(65536 * std::pow(10.0, attenuation / 2000.0));
    };
    size_t differences = 0, clippedHigh = 0, clippedLow = 0;
    for (uint32_t i = 0; i < Total; ++i) {
        for (int channel = 0; channel < 2; ++channel) {
            long sum = 0;
            for (const TVoice& v : voices) {
                uint32_t frame = v.Start + i;
                if (frame >= v.Frames && !v.Looping) continue;
                frame %= v.Frames;
                const size_t at =
                    (size_t(frame) * v.Channels + (v.Channels == 2 ? channel : 0)) * v.Bits / 8;
                const double value = v.Bits == 16
                                         ? double(int16_t(v.Bytes[at] | v.Bytes[at + 1] << 8))
                                         : (double(v.Bytes[at]) - 128) * 256;
                const int32_t far = channel == 0 ? std::max(v.Pan, 0) : -std::min(v.Pan, 0);
                sum += long(std::floor(value * gain(v.Volume - far) / 65536 + 0.5));
            }
            const long expected = std::clamp(sum, -32768L, 32767L);
            clippedHigh += sum > 32767;
            clippedLow += sum < -32768;
            if (mix[2 * i + channel] != expected && differences++ < 5)
                ADD_FAILURE() << "frame " << i << " channel " << channel << ": "
                              << mix[2 * i + channel] << " instead of " << expected;
        }
    }
    EXPECT_EQ(differences, 0u);
    EXPECT_GT(clippedHigh, 0u) << "the mix saturates instead of wrapping";
    EXPECT_GT(clippedLow, 0u);
    EXPECT_EQ(Status(voices[0].Buffer), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(PlayCursor(voices[0].Buffer), (Total % 1000) * 4);
    EXPECT_EQ(PlayCursor(voices[1].Buffer), (3 + Total) % 7 * 2);
    for (size_t v = 2; v < voices.size(); ++v) {
        EXPECT_EQ(Status(voices[v].Buffer), 0u) << "played once, ended at its last frame: " << v;
        EXPECT_EQ(PlayCursor(voices[v].Buffer), 0u) << "and starts from the top again: " << v;
    }
}

TEST(DSound, AVoiceBackAtTheMixRateBetweenTwoFramesKeepsBlendingThem) {
    TOfflineDevice device;
    const auto samples = Ramp(100, 0, 10);
    auto buffer = Mono16(device, samples);
    ASSERT_EQ(buffer->SetFrequency(22050), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(device.Render(1)[0], samples[0]);
    ASSERT_EQ(buffer->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    const auto out = device.Render(5);
    for (int m = 0; m < 5; ++m)
        EXPECT_EQ(out[2 * m], (samples[m] + samples[m + 1]) / 2) << "half way from frame " << m;
}

// ----- Locking --------------------------------------------------------------------------------

// A lock that wraps is written and heard in the guard's test below.
TEST(DSound, LockAndUnlockRefuseWhatLiesOutsideTheBuffer) {
    TOfflineDevice device;
    auto buffer = device.Buffer(Pcm(1, 16, DSMixRate), 1000);
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    // Without room for a second pointer the lock ends at the end of the buffer.
    ASSERT_EQ(buffer->Lock(900, 400, &p1, &n1, nullptr, nullptr, 0), DS_OK);
    EXPECT_EQ(n1, 100u);
    ASSERT_EQ(buffer->Unlock(p1, n1, nullptr, 0), DS_OK);
    ASSERT_EQ(buffer->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(n1, 1000u);
    EXPECT_EQ(n2, 0u);
    EXPECT_EQ(p2, nullptr);
    int outside = 0;
    EXPECT_EQ(buffer->Unlock(&outside, 4, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Unlock(p1, 1001, nullptr, 0), DSERR_INVALIDPARAM);
    ASSERT_EQ(buffer->Unlock(p1, n1, nullptr, 0), DS_OK);
    EXPECT_EQ(buffer->Unlock(p1, n1, nullptr, 0), DSERR_INVALIDCALL) << "nothing locked";
    EXPECT_EQ(buffer->Lock(1000, 4, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 1001, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(10, 0, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
}

TEST(DSound, TheLockGuardReleasesBothRegionsHoweverItsScopeEnds) {
    TOfflineDevice device;
    auto ring = device.Buffer(Pcm(1, 16, DSMixRate), 1000);
    auto wrapped = [&](int16_t tail, int16_t head) {
        TDSBufferLock lock(*ring, 800, 400);
        EXPECT_EQ(lock.Result(), DS_OK);
        EXPECT_EQ(lock.FirstBytes(), 200u);
        EXPECT_EQ(lock.SecondBytes(), 200u);
        EXPECT_EQ(lock.First() - lock.Second(), 800) << "one memory, two regions";
        std::fill_n(reinterpret_cast<int16_t*>(lock.First()), 100, tail);
        std::fill_n(reinterpret_cast<int16_t*>(lock.Second()), 100, head);
        throw std::runtime_error("the source failed while filling");
    };
    EXPECT_THROW(wrapped(111, 222), std::runtime_error);
    void* p = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(ring->Unlock(p, n, nullptr, 0), DSERR_INVALIDCALL) << "nothing is left locked";
    ASSERT_EQ(ring->Play(0, 0, 0), DS_OK);
    auto out = device.Render(500);
    EXPECT_EQ(out[2 * 99], 222) << "what was written before the failure stays";
    EXPECT_EQ(out[2 * 100], 0);
    EXPECT_EQ(out[2 * 400], 111);

    {
        // Unlocked early with less than was locked: only that much counts, once.
        TDSBufferLock lock(*ring, 0, 8);
        ASSERT_EQ(lock.Result(), DS_OK);
        EXPECT_EQ(lock.Second(), nullptr);
        std::fill_n(reinterpret_cast<int16_t*>(lock.First()), 4, int16_t(9));
        EXPECT_EQ(lock.Unlock(1001, 0), DSERR_INVALIDPARAM) << "refused: still held";
        ASSERT_EQ(lock.Unlock(4, 0), DS_OK);
        EXPECT_EQ(lock.Unlock(), DSERR_INVALIDCALL);
    }
    ASSERT_EQ(ring->SetCurrentPosition(0), DS_OK);
    ASSERT_EQ(ring->Play(0, 0, 0), DS_OK);
    out = device.Render(4);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(out[2], 9);
    EXPECT_EQ(out[4], 222);
    {
        // A new lock shows what the buffer holds, not what was written past the last unlock.
        TDSBufferLock lock(*ring, 0, 8);
        const auto* held = reinterpret_cast<const int16_t*>(lock.First());
        EXPECT_EQ(std::vector<int16_t>(held, held + 4), (std::vector<int16_t>{9, 9, 222, 222}));
    }

    // A refused lock hands out nothing and releases nothing.
    ring->MarkLost();
    TDSBufferLock lost(*ring, 0, 8);
    EXPECT_EQ(lost.Result(), DSERR_BUFFERLOST);
    EXPECT_EQ(lost.First(), nullptr);
    EXPECT_EQ(lost.Unlock(), DSERR_INVALIDCALL);
}

// ----- Cursors --------------------------------------------------------------------------------

class DSoundClock : public ::testing::Test {
  protected:
    void SetUp() override { SetClock(&Clock); }
    void TearDown() override { SetClock(nullptr); }
    TManualClock Clock{1000};
};

TEST_F(DSoundClock, CursorsFollowTheClockOnTheNullOutput) {
    TDevice device(std::make_shared<TNullSoundOutput>());
    auto ring = device.Buffer(Pcm(1, 16, DSMixRate), 44100 * 2); // one second
    ASSERT_EQ(ring->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Clock.Advance(100);
    uint32_t play = 0, write = 0;
    ASSERT_EQ(ring->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 4410u * 2);
    EXPECT_EQ(write, (4410u + 441) * 2) << "the write cursor leads by what is mixed ahead";
    Clock.Advance(950);
    ASSERT_EQ(ring->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 2205u * 2) << "1.05 s into a looping second";
    for (int i = 0; i < 10; ++i)
        Clock.Advance(1);
    EXPECT_EQ(PlayCursor(ring), (2205u + 441) * 2) << "fractions of a frame add up";

    ASSERT_EQ(ring->SetFrequency(22050), DS_OK);
    const uint32_t at = PlayCursor(ring);
    Clock.Advance(200);
    EXPECT_EQ(PlayCursor(ring), at + 4410 * 2) << "half the rate, half the pace";

    ASSERT_EQ(ring->Stop(), DS_OK);
    const uint32_t stopped = PlayCursor(ring);
    Clock.Advance(500);
    ASSERT_EQ(ring->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, stopped);
    EXPECT_EQ(write, stopped) << "stopped: nothing is mixed ahead";
}

TEST_F(DSoundClock, BufferPlayedOnceEndsWhenItsTimeIsUp) {
    TDevice device(std::make_shared<TNullSoundOutput>());
    auto shot = device.Buffer(Pcm(2, 8, 22050), 2205 * 2); // 100 ms
    ASSERT_EQ(shot->Play(0, 0, 0), DS_OK);
    Clock.Advance(99);
    EXPECT_EQ(Status(shot), DSBSTATUS_PLAYING);
    Clock.Advance(1);
    EXPECT_EQ(Status(shot), 0u);
    EXPECT_EQ(PlayCursor(shot), 0u);
}

TEST_F(DSoundClock, LockFromTheWriteCursor) {
    TDevice device(std::make_shared<TNullSoundOutput>());
    auto ring = device.Buffer(Pcm(1, 16, DSMixRate), 2000);
    ASSERT_EQ(ring->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Clock.Advance(10); // 441 frames: the write cursor is at frame 882 of 1000
    TDSBufferLock lock(*ring, 0, 400, DSBLOCK_FROMWRITECURSOR);
    ASSERT_EQ(lock.Result(), DS_OK);
    EXPECT_EQ(lock.FirstBytes(), 2000u - 882 * 2);
    EXPECT_EQ(lock.SecondBytes(), 400u - lock.FirstBytes());
    ASSERT_EQ(lock.Unlock(), DS_OK);
}

TEST(DSound, SkippingTimeMovesCursorsAsMixingDoes) {
    // The null output advances without mixing; both must land on the same frame.
    for (uint32_t frequency : {30001u, 44100u, 150007u}) {
        const auto format = Pcm(1, 16, 22050);
        TOfflineDevice mixed;
        auto a = mixed.Buffer(format, 2 * 997);
        ASSERT_EQ(a->SetFrequency(frequency), DS_OK);
        ASSERT_EQ(a->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
        for (int i = 0; i < 7; ++i)
            mixed.Render(3001);

        TManualClock clock(0);
        SetClock(&clock);
        TDevice skipped(std::make_shared<TNullSoundOutput>());
        auto b = skipped.Buffer(format, 2 * 997);
        ASSERT_EQ(b->SetFrequency(frequency), DS_OK);
        ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
        clock.Advance(1000); // 44100 frames, as many as the renders above
        // 7 * 3001 = 21007 frames rendered; make up the difference by rendering the rest.
        mixed.Render(44100 - 21007);
        EXPECT_EQ(PlayCursor(b), PlayCursor(a)) << frequency;
        SetClock(nullptr);
    }
}

TEST(DSound, SetCurrentPositionAlignsToWholeFrames) {
    TOfflineDevice device;
    const auto samples = Ramp(50, 0, 10);
    auto stereo = device.Buffer(Pcm(2, 16, DSMixRate), 200);
    std::vector<int16_t> interleaved;
    for (int16_t s : samples)
        interleaved.insert(interleaved.end(), {s, int16_t(-s)});
    Write(stereo, 0, interleaved.data(), 200);
    ASSERT_EQ(stereo->SetCurrentPosition(4 * 10 + 3), DS_OK);
    EXPECT_EQ(PlayCursor(stereo), 40u);
    ASSERT_EQ(stereo->Play(0, 0, 0), DS_OK);
    const auto out = device.Render(2);
    EXPECT_EQ(out[0], 100);
    EXPECT_EQ(out[1], -100);
    EXPECT_EQ(out[2], 110);
    ASSERT_EQ(stereo->Stop(), DS_OK);
    EXPECT_EQ(PlayCursor(stereo), 48u) << "stopping keeps the position";
    ASSERT_EQ(stereo->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(device.Render(1)[0], 120) << "and playing goes on from there";
    EXPECT_EQ(stereo->SetCurrentPosition(200), DSERR_INVALIDPARAM);
}

TEST(DSound, PlayNeedsACooperativeLevel) {
    PDirectSound sound;
    ASSERT_EQ(DirectSoundCreateOn(std::make_shared<TOfflineSoundOutput>(), sound), DS_OK);
    const auto format = Pcm(1, 8, 8000);
    TDSBufferDesc desc;
    desc.BufferBytes = 100;
    desc.Format = &format;
    PDirectSoundBuffer buffer;
    ASSERT_EQ(sound->CreateSoundBuffer(desc, buffer), DS_OK);
    EXPECT_EQ(buffer->Play(0, 0, 0), DSERR_PRIOLEVELNEEDED);
    ASSERT_EQ(sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    EXPECT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(buffer->Play(0, 0, 0x80), DSERR_INVALIDPARAM);
}

// ----- Duplicates -----------------------------------------------------------------------------

TEST(DSound, DuplicatesShareMemoryButNotTheirSettings) {
    TOfflineDevice device;
    auto original = Mono16(device, std::vector<int16_t>(100, 1000));
    ASSERT_EQ(original->SetVolume(-2000), DS_OK);
    ASSERT_EQ(original->SetFrequency(22050), DS_OK);
    PDirectSoundBuffer copy;
    ASSERT_EQ(device.Sound->DuplicateSoundBuffer(original, copy), DS_OK);
    int32_t volume = 0;
    uint32_t hertz = 0;
    ASSERT_EQ(copy->GetVolume(volume), DS_OK);
    ASSERT_EQ(copy->GetFrequency(hertz), DS_OK);
    EXPECT_EQ(volume, -2000);
    EXPECT_EQ(hertz, 22050u);
    EXPECT_EQ(Status(copy), 0u);

    // Written through the original, heard through the copy.
    const std::vector<int16_t> fresh(100, 8000);
    Write(original, 0, fresh.data(), 200);
    ASSERT_EQ(copy->SetVolume(0), DS_OK);
    ASSERT_EQ(copy->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    ASSERT_EQ(copy->Play(0, 0, 0), DS_OK);
    ASSERT_EQ(original->SetCurrentPosition(40), DS_OK);
    ASSERT_EQ(original->Play(0, 0, 0), DS_OK);
    auto out = device.Render(1);
    EXPECT_EQ(out[0], 8000 + 800) << "both play, each with its own volume";
    device.Render(99);
    EXPECT_EQ(Status(copy), 0u) << "the copy played its 100 frames at the mix rate";
    EXPECT_EQ(Status(original), DSBSTATUS_PLAYING) << "the original plays on at half the rate";
    EXPECT_EQ(PlayCursor(original), 2u * 70) << "from frame 20, 100 output frames on";

    TDSBufferDesc desc;
    desc.Flags = DSBCAPS_PRIMARYBUFFER;
    PDirectSoundBuffer primary;
    ASSERT_EQ(device.Sound->CreateSoundBuffer(desc, primary), DS_OK);
    EXPECT_EQ(device.Sound->DuplicateSoundBuffer(primary, copy), DSERR_INVALIDCALL);
}

// ----- Lost buffers ---------------------------------------------------------------------------

TEST(DSound, LostBuffersStopRefuseAndComeBackSilentAfterRestore) {
    TOfflineDevice device;
    auto music = Mono16(device, std::vector<int16_t>(100, 5000));
    auto effect = Mono16(device, std::vector<int16_t>(100, 7000));
    ASSERT_EQ(music->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    device.Sound->LoseAllBuffers();
    EXPECT_EQ(Status(music), DSBSTATUS_BUFFERLOST);
    EXPECT_EQ(Status(effect), DSBSTATUS_BUFFERLOST);
    EXPECT_EQ(music->Play(0, 0, DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    void* p1 = nullptr;
    uint32_t n1 = 0;
    EXPECT_EQ(music->Lock(0, 10, &p1, &n1, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(device.Render(10)[0], 0);

    device.Sound->SetRestoreAllowed(false);
    EXPECT_EQ(music->Restore(), DSERR_BUFFERLOST) << "not while in the background";
    EXPECT_EQ(Status(music), DSBSTATUS_BUFFERLOST);
    device.Sound->SetRestoreAllowed(true);
    EXPECT_EQ(music->Restore(), DS_OK);
    EXPECT_EQ(Status(music), 0u);
    EXPECT_EQ(Status(effect), DSBSTATUS_BUFFERLOST) << "each buffer is restored on its own";
    ASSERT_EQ(music->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(device.Render(1)[0], 0) << "the old samples are gone";
    Write(music, 0, std::vector<int16_t>(100, 3000).data(), 200);
    EXPECT_EQ(device.Render(1)[0], 3000) << "until written again";

    EXPECT_EQ(effect->Restore(), DS_OK);
    effect->MarkLost();
    EXPECT_EQ(Status(effect), DSBSTATUS_BUFFERLOST);
    EXPECT_EQ(Status(music), DSBSTATUS_PLAYING) << "one lost buffer leaves the others";
}

TEST(DSound, BufferOutlivingItsDeviceStaysQuietAndSafe) {
    auto output = std::make_shared<TOfflineSoundOutput>();
    PDirectSoundBuffer buffer;
    {
        TDevice device(output);
        buffer = Mono16(device, std::vector<int16_t>(10, 100));
        ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    }
    EXPECT_EQ(Status(buffer), 0u);
    EXPECT_EQ(output->RenderFrames(4), std::vector<int16_t>(8, 0));
}

} // namespace
