#include "platform/dsound.h"

#include "platform/clock.h"

#include <SDL.h>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

struct TErrorText {
    HRESULT Code;
    const char* Text;
};

constexpr TErrorText ErrorTexts[] = {
    {DS_OK, "The request completed successfully."},
    {DSERR_ALLOCATED, "The request failed because resources, such as a priority level, were "
                      "already in use by another caller."},
    {DSERR_CONTROLUNAVAIL,
     "The control (volume, pan, and so forth) requested by the caller is not available."},
    {DSERR_INVALIDPARAM, "An invalid parameter was passed to the returning function."},
    {DSERR_INVALIDCALL, "This function is not valid for the current state of this object."},
    {DSERR_GENERIC, "An undetermined error occurred inside the DirectSound subsystem."},
    {DSERR_PRIOLEVELNEEDED,
     "The caller does not have the priority level required for the function to succeed."},
    {DSERR_OUTOFMEMORY, "The DirectSound subsystem could not allocate sufficient memory to "
                        "complete the caller\u00b4s request."},
    {DSERR_BADFORMAT, "The specified wave format is not supported."},
    {DSERR_UNSUPPORTED, "The function called is not supported at this time."},
    {DSERR_NODRIVER, "No sound driver is available for use."},
    {DSERR_ALREADYINITIALIZED, "The object is already initialized."},
    {DSERR_NOAGGREGATION, "The object does not support aggregation."},
    {DSERR_BUFFERLOST, "The buffer memory has been lost and must be restored."},
    {DSERR_OTHERAPPHASPRIO, "Another application has a higher priority level, preventing this "
                            "call from succeeding."},
    {DSERR_UNINITIALIZED, "The IDirectSound::Initialize method has not been called or has not "
                          "been called successfully before other methods were called."},
    {DSERR_NOINTERFACE, "The requested COM interface is not available."},
    {DSERR_ACCESSDENIED, "Access is denied."},
    {DSERR_BUFFERTOOSMALL,
     "Tried to create a DSBCAPS_CTRLFX buffer shorter than DSBSIZE_FX_MIN milliseconds."},
    {DSERR_DS8_REQUIRED, "Attempt to use DirectSound 8 functionality on an older DirectSound "
                         "object."},
    {DSERR_SENDLOOP, "A circular loop of send effects was detected."},
    {DSERR_BADSENDBUFFERGUID,
     "The GUID specified in an audiopath file does not match a valid MIXIN buffer."},
    {DSERR_OBJECTNOTFOUND,
     "The object requested was not found (numerically equal to DMUS_E_NOT_FOUND)."},
};

// Resampling blends neighbouring frames by the top bits of the position's fraction.
constexpr uint32_t BlendBits = 15;
constexpr int32_t BlendMask = (1 << BlendBits) - 1;

// The device's curve: amplitude 10^(hundredths of a dB / 2000), as 16.16; the bottom of the
// range is silence.
int32_t GainOf(int32_t attenuation) {
    if (attenuation <= DSBVOLUME_MIN) return 0;
    return static_cast<int32_t>(
        std::lround(double(DSUnityGain) * std::pow(10.0, attenuation / 2000.0)));
}

bool ValidPcm(const TWaveFormatEx* f) {
    return f && f->wFormatTag == WAVE_FORMAT_PCM && (f->nChannels == 1 || f->nChannels == 2) &&
           (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) &&
           f->nBlockAlign == f->nChannels * f->wBitsPerSample / 8 &&
           f->nSamplesPerSec >= DSBFREQUENCY_MIN && f->nSamplesPerSec <= DSBFREQUENCY_MAX;
}

uint64_t StepFor(uint32_t frequency) {
    return (uint64_t(frequency) << DSPositionShift) / DSMixRate;
}

uint8_t SilenceByte(const TWaveFormatEx& format) {
    return format.wBitsPerSample == 8 ? 0x80 : 0;
}

std::shared_ptr<TSoundOutput>& DefaultOutput() {
    static std::shared_ptr<TSoundOutput> output;
    return output;
}

} // namespace

std::string DSErrorString(HRESULT code) {
    for (const TErrorText& entry : ErrorTexts)
        if (entry.Code == code) return entry.Text;
    return "Unrecognized Error";
}

// ----- The mixer -------------------------------------------------------------------------

template <bool Sixteen, bool Stereo>
void TSoundMixer::MixVoice(TDirectSoundBuffer& voice, int32_t* accumulator, uint32_t frames) {
    constexpr uint32_t FrameBytes = (Sixteen ? 2 : 1) * (Stereo ? 2 : 1);
    const uint8_t* data = voice.FMemory->Bytes.data();
    const uint32_t count = voice.FFrames;
    const uint64_t end = uint64_t(count) << DSPositionShift;
    const uint64_t step = voice.FStep;
    const bool looping = voice.FLooping;
    const int32_t gainLeft = voice.FGainLeft, gainRight = voice.FGainRight;
    uint64_t position = voice.FPosition;

    auto load = [](const uint8_t* p) -> int32_t {
        if constexpr (!Sixteen) {
            return (int32_t(p[0]) - 128) << 8;
        } else if constexpr (std::endian::native == std::endian::little) {
            // One plain load, which lets the compiler vectorise the loops below.
            int16_t value;
            std::memcpy(&value, p, sizeof(value));
            return value;
        } else {
            return int16_t(uint16_t(p[0] | p[1] << 8));
        }
    };
    auto sample = [data, load](uint32_t frame, uint32_t channel) {
        return load(data + size_t(frame) * FrameBytes + channel * (Sixteen ? 2 : 1));
    };

    auto scaled = [](int32_t value, int32_t gain) {
        return (value * gain + DSUnityGain / 2) >> DSGainShift;
    };
    // At the mixing rate with nothing to blend, every output frame is the next source frame.
    // Such a voice keeps that as it plays: its step has no fraction to add.
    const bool direct = step == uint64_t(1) << DSPositionShift &&
                        (int32_t(position >> (DSPositionShift - BlendBits)) & BlendMask) == 0;

    uint32_t done = 0;
    while (done < frames) {
        // The end is checked once per run: the frames left before the position reaches it.
        const uint64_t toEnd = position < end ? (end - position + step - 1) / step : 0;
        const uint32_t run = uint32_t(std::min<uint64_t>(frames - done, toEnd));
        int32_t* out = accumulator + 2 * size_t(done);
        if (direct) {
            const uint8_t* from = data + size_t(position >> DSPositionShift) * FrameBytes;
            for (size_t i = 0; i < run; ++i) {
                const uint8_t* frame = from + i * FrameBytes;
                const int32_t left = load(frame);
                int32_t right = left;
                if constexpr (Stereo) right = load(frame + FrameBytes / 2);
                out[2 * i] += scaled(left, gainLeft);
                out[2 * i + 1] += scaled(right, gainRight);
            }
            position += uint64_t(run) << DSPositionShift;
        } else {
            for (uint32_t i = 0; i < run; ++i) {
                const uint32_t frame = uint32_t(position >> DSPositionShift);
                const uint32_t next = frame + 1 < count ? frame + 1 : (looping ? 0 : frame);
                const int32_t fraction =
                    int32_t(position >> (DSPositionShift - BlendBits)) & BlendMask;
                const int32_t left0 = sample(frame, 0), left1 = sample(next, 0);
                const int32_t left = left0 + (((left1 - left0) * fraction) >> BlendBits);
                int32_t right = left;
                if constexpr (Stereo) {
                    const int32_t right0 = sample(frame, 1), right1 = sample(next, 1);
                    right = right0 + (((right1 - right0) * fraction) >> BlendBits);
                }
                out[2 * i] += scaled(left, gainLeft);
                out[2 * i + 1] += scaled(right, gainRight);
                position += step;
            }
        }
        done += run;
        if (position >= end) {
            if (!looping) {
                // A buffer played once stops at its end and starts from the top next time.
                voice.FPlaying = false;
                position = 0;
                break;
            }
            position %= end;
        }
    }
    voice.FPosition = position;
}

void TSoundMixer::Mix(int16_t* stereo, uint32_t frames) {
    std::lock_guard<std::mutex> guard(FLock);
    MixLocked(stereo, frames);
}

void TSoundMixer::MixLocked(int16_t* stereo, uint32_t frames) {
    while (frames > 0) {
        const uint32_t chunk = std::min(frames, ChunkFrames);
        int32_t* accumulator = FAccumulator.data();
        std::fill_n(accumulator, 2 * chunk, 0);
        for (TDirectSoundBuffer* voice : FBuffers) {
            if (!voice->FPlaying) continue;
            const bool sixteen = voice->FFormat.wBitsPerSample == 16;
            const bool stereo2 = voice->FFormat.nChannels == 2;
            if (sixteen && stereo2)
                MixVoice<true, true>(*voice, accumulator, chunk);
            else if (sixteen)
                MixVoice<true, false>(*voice, accumulator, chunk);
            else if (stereo2)
                MixVoice<false, true>(*voice, accumulator, chunk);
            else
                MixVoice<false, false>(*voice, accumulator, chunk);
        }
        for (uint32_t i = 0; i < 2 * chunk; ++i)
            stereo[i] = static_cast<int16_t>(std::clamp(accumulator[i], -32768, 32767));
        stereo += 2 * chunk;
        frames -= chunk;
    }
}

void TSoundMixer::AdvanceLocked(uint64_t frames) {
    for (TDirectSoundBuffer* voice : FBuffers) {
        if (!voice->FPlaying) continue;
        const uint64_t end = uint64_t(voice->FFrames) << DSPositionShift;
        // The same steps the mix takes, at once; 128 bits so long gaps cannot overflow.
        const unsigned __int128 position =
            voice->FPosition + static_cast<unsigned __int128>(voice->FStep) * frames;
        if (position < end) {
            voice->FPosition = uint64_t(position);
        } else if (voice->FLooping) {
            voice->FPosition = uint64_t(position % end);
        } else {
            voice->FPlaying = false;
            voice->FPosition = 0;
        }
    }
}

uint32_t TSoundMixer::CatchUpLocked() {
    if (!FOutput) return 0;
    FOutput->CatchUp(*this);
    return FOutput->LeadFrames();
}

// ----- Outputs -----------------------------------------------------------------------------

namespace {

void SDLCALL PullFromMixer(void* user, Uint8* stream, int length) {
    static_cast<TSoundMixer*>(user)->Mix(reinterpret_cast<int16_t*>(stream),
                                         static_cast<uint32_t>(length) / 4);
}

} // namespace

TSDLSoundOutput::~TSDLSoundOutput() {
    Close();
}

bool TSDLSoundOutput::Open(const std::shared_ptr<TSoundMixer>& mixer) {
    if (FDevice) return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = DSMixRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = PullFromMixer;
    want.userdata = mixer.get();
    SDL_AudioSpec have{};
    // SDL converts to whatever the device wants; the mixer always delivers this format.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    FMixer = mixer;
    FDevice = device;
    FLeadFrames = have.samples;
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void TSDLSoundOutput::Close() {
    if (!FDevice) return;
    // Waits for a running callback, which may be waiting for the mixer's lock.
    SDL_CloseAudioDevice(FDevice);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    FDevice = 0;
    FMixer.reset();
}

bool TNullSoundOutput::Open(const std::shared_ptr<TSoundMixer>& mixer) {
    (void)mixer;
    if (FOpen) return false;
    FOpen = true;
    FLastTicks = GetTickCount();
    FRemainder = 0;
    return true;
}

void TNullSoundOutput::Close() {
    FOpen = false;
}

void TNullSoundOutput::CatchUp(TSoundMixer& mixer) {
    const uint32_t now = GetTickCount();
    const uint64_t scaled = uint64_t(now - FLastTicks) * DSMixRate + FRemainder;
    FLastTicks = now;
    FRemainder = scaled % 1000;
    mixer.AdvanceLocked(scaled / 1000);
}

bool TOfflineSoundOutput::Open(const std::shared_ptr<TSoundMixer>& mixer) {
    if (FMixer) return false;
    FMixer = mixer;
    FRemainder = 0;
    return true;
}

void TOfflineSoundOutput::Close() {
    FMixer.reset();
}

std::vector<int16_t> TOfflineSoundOutput::RenderFrames(uint32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2, 0);
    if (FMixer) FMixer->Mix(out.data(), frames);
    return out;
}

std::vector<int16_t> TOfflineSoundOutput::Render(uint32_t milliseconds) {
    const uint64_t scaled = uint64_t(milliseconds) * DSMixRate + FRemainder;
    FRemainder = scaled % 1000;
    return RenderFrames(uint32_t(scaled / 1000));
}

// ----- Buffers -------------------------------------------------------------------------------

TDirectSoundBuffer::TDirectSoundBuffer(std::shared_ptr<TSoundMixer> mixer, uint32_t caps,
                                       std::shared_ptr<TSampleMemory> memory,
                                       const TWaveFormatEx& format)
    : FMixer(std::move(mixer)), FCaps(caps), FMemory(std::move(memory)), FFormat(format) {
    FFormat.cbSize = 0;
    if (FMemory) FFrames = uint32_t(FMemory->Bytes.size() / FFormat.nBlockAlign);
    FFrequency = FFormat.nSamplesPerSec;
    FStep = StepFor(FFrequency);
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    FMixer->FBuffers.push_back(this);
}

TDirectSoundBuffer::~TDirectSoundBuffer() {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    auto& buffers = FMixer->FBuffers;
    buffers.erase(std::remove(buffers.begin(), buffers.end(), this), buffers.end());
}

HRESULT TDirectSoundBuffer::SetFormat(const TWaveFormatEx* format) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    if (!IsPrimary()) return DSERR_INVALIDCALL;
    if (FMixer->FCooperativeLevel < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
    if (!format) return DSERR_INVALIDPARAM;
    if (!ValidPcm(format) ||
        format->nAvgBytesPerSec != format->nBlockAlign * format->nSamplesPerSec)
        return DSERR_BADFORMAT;
    std::memcpy(&FFormat, format, PcmFormatSize);
    FFormat.cbSize = 0;
    return DS_OK;
}

HRESULT TDirectSoundBuffer::GetFormat(TWaveFormatEx& format) const {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    format = FFormat;
    return DS_OK;
}

uint32_t TDirectSoundBuffer::WriteCursorLocked(uint32_t lead) const {
    const uint32_t frame = uint32_t(FPosition >> DSPositionShift);
    if (!FPlaying || FFrames == 0) return frame * FFormat.nBlockAlign;
    // The lead is output frames; at this buffer's frequency it covers more or fewer frames.
    const uint64_t ahead = (uint64_t(lead) * FFrequency + DSMixRate - 1) / DSMixRate;
    return uint32_t((frame + ahead) % FFrames) * FFormat.nBlockAlign;
}

HRESULT TDirectSoundBuffer::Lock(uint32_t offset, uint32_t bytes, void** first,
                                 uint32_t* firstBytes, void** second, uint32_t* secondBytes,
                                 uint32_t flags) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    const uint32_t lead = FMixer->CatchUpLocked();
    if (IsPrimary()) return DSERR_PRIOLEVELNEEDED;
    if (!first || !firstBytes) return DSERR_INVALIDPARAM;
    if (flags & ~(DSBLOCK_FROMWRITECURSOR | DSBLOCK_ENTIREBUFFER)) return DSERR_INVALIDPARAM;
    if (FLost) return DSERR_BUFFERLOST;
    const uint32_t size = Bytes();
    if (flags & DSBLOCK_FROMWRITECURSOR) offset = WriteCursorLocked(lead);
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
    if (bytes == 0 || bytes > size || offset >= size) return DSERR_INVALIDPARAM;

    std::vector<uint8_t>& staging = FMemory->Staging;
    if (staging.size() != size) staging.resize(size);
    const uint32_t part1 = std::min(bytes, size - offset);
    const uint32_t part2 = second ? bytes - part1 : 0;
    std::memcpy(staging.data() + offset, FMemory->Bytes.data() + offset, part1);
    std::memcpy(staging.data(), FMemory->Bytes.data(), part2);
    *first = staging.data() + offset;
    *firstBytes = part1;
    if (second) *second = part2 ? staging.data() : nullptr;
    if (secondBytes) *secondBytes = part2;
    ++FLocks;
    return DS_OK;
}

HRESULT TDirectSoundBuffer::Unlock(void* first, uint32_t firstBytes, void* second,
                                   uint32_t secondBytes) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    if (IsPrimary() || FLocks == 0) return DSERR_INVALIDCALL;
    std::vector<uint8_t>& staging = FMemory->Staging;
    auto offsetOf = [&](void* p, uint32_t length, size_t& offset) {
        if (!p) return length == 0;
        const auto* at = static_cast<uint8_t*>(p);
        if (at < staging.data() || at >= staging.data() + staging.size()) return false;
        offset = size_t(at - staging.data());
        return length <= staging.size() - offset;
    };
    size_t offset1 = 0, offset2 = 0;
    if (!offsetOf(first, firstBytes, offset1) || !offsetOf(second, secondBytes, offset2))
        return DSERR_INVALIDPARAM;
    --FLocks;
    // What was written while the buffer got lost is gone with the rest of its memory.
    if (FLost) return DS_OK;
    std::memcpy(FMemory->Bytes.data() + offset1, staging.data() + offset1, firstBytes);
    std::memcpy(FMemory->Bytes.data() + offset2, staging.data() + offset2, secondBytes);
    return DS_OK;
}

HRESULT TDirectSoundBuffer::Play(uint32_t reserved, uint32_t priority, uint32_t flags) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    FMixer->CatchUpLocked();
    if (reserved != 0 || (flags & ~DSBPLAY_LOOPING)) return DSERR_INVALIDPARAM;
    (void)priority; // voices are never taken away from a software mixer
    if (FMixer->FCooperativeLevel == 0) return DSERR_PRIOLEVELNEEDED;
    if (IsPrimary()) return (flags & DSBPLAY_LOOPING) ? DS_OK : DSERR_INVALIDPARAM;
    if (FLost) return DSERR_BUFFERLOST;
    FLooping = flags & DSBPLAY_LOOPING;
    FPlaying = true;
    return DS_OK;
}

HRESULT TDirectSoundBuffer::Stop() {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    FMixer->CatchUpLocked();
    FPlaying = false;
    return DS_OK;
}

HRESULT TDirectSoundBuffer::SetCurrentPosition(uint32_t bytes) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    FMixer->CatchUpLocked();
    if (IsPrimary()) return DSERR_INVALIDCALL;
    if (FLost) return DSERR_BUFFERLOST;
    if (bytes >= Bytes()) return DSERR_INVALIDPARAM;
    FPosition = uint64_t(std::min(bytes / FFormat.nBlockAlign, FFrames - 1)) << DSPositionShift;
    return DS_OK;
}

HRESULT TDirectSoundBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    const uint32_t lead = FMixer->CatchUpLocked();
    if (IsPrimary()) {
        if (play) *play = 0;
        if (write) *write = 0;
        return DS_OK;
    }
    if (FLost) return DSERR_BUFFERLOST;
    if (play) *play = uint32_t(FPosition >> DSPositionShift) * FFormat.nBlockAlign;
    if (write) *write = WriteCursorLocked(lead);
    return DS_OK;
}

HRESULT TDirectSoundBuffer::GetStatus(uint32_t& status) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    FMixer->CatchUpLocked();
    status = 0;
    if (FLost) status |= DSBSTATUS_BUFFERLOST;
    if (FPlaying) status |= DSBSTATUS_PLAYING | (FLooping ? DSBSTATUS_LOOPING : 0);
    return DS_OK;
}

HRESULT TDirectSoundBuffer::Restore() {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    if (!FLost) return DS_OK;
    if (!FMixer->FRestoreAllowed) return DSERR_BUFFERLOST;
    FLost = false;
    return DS_OK;
}

void TDirectSoundBuffer::UpdateGainsLocked() {
    // Pan attenuates only the far channel, on the same curve as the volume.
    FGainLeft = GainOf(FVolume - std::max(FPan, 0));
    FGainRight = GainOf(FVolume + std::min(FPan, 0));
}

HRESULT TDirectSoundBuffer::SetVolume(int32_t volume) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    if (!(FCaps & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    FVolume = volume;
    UpdateGainsLocked();
    return DS_OK;
}

HRESULT TDirectSoundBuffer::GetVolume(int32_t& volume) const {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    if (!(FCaps & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    volume = FVolume;
    return DS_OK;
}

HRESULT TDirectSoundBuffer::SetPan(int32_t pan) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    if (!(FCaps & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    FPan = pan;
    UpdateGainsLocked();
    return DS_OK;
}

HRESULT TDirectSoundBuffer::GetPan(int32_t& pan) const {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    if (!(FCaps & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    pan = FPan;
    return DS_OK;
}

HRESULT TDirectSoundBuffer::SetFrequency(uint32_t hertz) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    FMixer->CatchUpLocked();
    if (!(FCaps & DSBCAPS_CTRLFREQUENCY) || IsPrimary()) return DSERR_CONTROLUNAVAIL;
    if (hertz == DSBFREQUENCY_ORIGINAL) hertz = FFormat.nSamplesPerSec;
    if (hertz < DSBFREQUENCY_MIN || hertz > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
    FFrequency = hertz;
    FStep = StepFor(hertz);
    return DS_OK;
}

HRESULT TDirectSoundBuffer::GetFrequency(uint32_t& hertz) const {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    if (!(FCaps & DSBCAPS_CTRLFREQUENCY) || IsPrimary()) return DSERR_CONTROLUNAVAIL;
    hertz = FFrequency;
    return DS_OK;
}

void TDirectSoundBuffer::LoseLocked() {
    if (IsPrimary()) return;
    FLost = true;
    FPlaying = false;
    std::fill(FMemory->Bytes.begin(), FMemory->Bytes.end(), SilenceByte(FFormat));
}

void TDirectSoundBuffer::MarkLost() {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    LoseLocked();
}

// ----- The lock guard ------------------------------------------------------------------------

TDSBufferLock::TDSBufferLock(TDirectSoundBuffer& buffer, uint32_t offset, uint32_t bytes,
                             uint32_t flags)
    : FBuffer(buffer) {
    void *first = nullptr, *second = nullptr;
    FResult = buffer.Lock(offset, bytes, &first, &FFirstBytes, &second, &FSecondBytes, flags);
    if (FResult != DS_OK) return;
    FLocked = true;
    FFirst = static_cast<uint8_t*>(first);
    FSecond = static_cast<uint8_t*>(second);
}

TDSBufferLock::~TDSBufferLock() {
    if (FLocked) FBuffer.Unlock(FFirst, FFirstBytes, FSecond, FSecondBytes);
}

HRESULT TDSBufferLock::Unlock(uint32_t firstWritten, uint32_t secondWritten) {
    if (!FLocked) return DSERR_INVALIDCALL;
    const HRESULT result = FBuffer.Unlock(FFirst, firstWritten, FSecond, secondWritten);
    // A refused unlock leaves the lock held; the scope's end releases it.
    if (result == DS_OK) FLocked = false;
    return result;
}

// ----- The device ---------------------------------------------------------------------------

TDirectSound::TDirectSound(std::shared_ptr<TSoundOutput> output)
    : FMixer(std::make_shared<TSoundMixer>()), FOutput(std::move(output)) {
    if (!FOutput || !FOutput->Open(FMixer)) return;
    FOpen = true;
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    FMixer->FOutput = FOutput;
}

TDirectSound::~TDirectSound() {
    if (!FOpen) return;
    {
        std::lock_guard<std::mutex> guard(FMixer->FLock);
        FMixer->FOutput.reset();
        // Buffers kept by someone else stay usable as memory but never play again.
        for (TDirectSoundBuffer* buffer : FMixer->FBuffers)
            buffer->FPlaying = false;
    }
    FOutput->Close();
}

HRESULT TDirectSound::SetCooperativeLevel(QWidget* window, uint32_t level) {
    (void)window; // sound does not follow a window's focus here
    if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    FMixer->FCooperativeLevel = level;
    return DS_OK;
}

HRESULT TDirectSound::CreateSoundBuffer(const TDSBufferDesc& desc, PDirectSoundBuffer& out) {
    out.reset();
    if (desc.Flags & DSBCAPS_PRIMARYBUFFER) {
        if (desc.BufferBytes != 0 || desc.Format) return DSERR_INVALIDPARAM;
        out = FPrimary.lock();
        if (!out) {
            // The device's format before anyone sets one.
            const TWaveFormatEx format{WAVE_FORMAT_PCM, 2, 22050, 44100, 2, 8, 0};
            out = std::make_shared<TDirectSoundBuffer>(FMixer, desc.Flags, nullptr, format);
            FPrimary = out;
        }
        return DS_OK;
    }
    if (!desc.Format) return DSERR_INVALIDPARAM;
    if (!ValidPcm(desc.Format)) return DSERR_BADFORMAT;
    if ((desc.Flags & DSBCAPS_LOCHARDWARE) && (desc.Flags & DSBCAPS_LOCSOFTWARE))
        return DSERR_INVALIDPARAM;
    if (desc.BufferBytes < DSBSIZE_MIN || desc.BufferBytes > DSBSIZE_MAX ||
        desc.BufferBytes < desc.Format->nBlockAlign)
        return DSERR_INVALIDPARAM;
    auto memory = std::make_shared<TSampleMemory>();
    memory->Bytes.assign(desc.BufferBytes, SilenceByte(*desc.Format));
    out = std::make_shared<TDirectSoundBuffer>(FMixer, desc.Flags, std::move(memory), *desc.Format);
    return DS_OK;
}

HRESULT TDirectSound::DuplicateSoundBuffer(const PDirectSoundBuffer& original,
                                           PDirectSoundBuffer& out) {
    out.reset();
    if (!original) return DSERR_INVALIDPARAM;
    if (original->IsPrimary()) return DSERR_INVALIDCALL;
    if (original->FMixer != FMixer) return DSERR_INVALIDPARAM;
    TWaveFormatEx format;
    uint32_t frequency;
    int32_t volume, pan;
    {
        std::lock_guard<std::mutex> guard(FMixer->FLock);
        if (original->FLost) return DSERR_BUFFERLOST;
        format = original->FFormat;
        frequency = original->FFrequency;
        volume = original->FVolume;
        pan = original->FPan;
    }
    auto copy =
        std::make_shared<TDirectSoundBuffer>(FMixer, original->FCaps, original->FMemory, format);
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    copy->FFrequency = frequency;
    copy->FStep = StepFor(frequency);
    copy->FVolume = volume;
    copy->FPan = pan;
    copy->UpdateGainsLocked();
    out = std::move(copy);
    return DS_OK;
}

void TDirectSound::LoseAllBuffers() {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    for (TDirectSoundBuffer* buffer : FMixer->FBuffers)
        buffer->LoseLocked();
}

void TDirectSound::SetRestoreAllowed(bool allowed) {
    std::lock_guard<std::mutex> guard(FMixer->FLock);
    FMixer->FRestoreAllowed = allowed;
}

void SetDefaultSoundOutput(std::shared_ptr<TSoundOutput> output) {
    DefaultOutput() = std::move(output);
}

HRESULT DirectSoundCreateOn(std::shared_ptr<TSoundOutput> output, PDirectSound& out) {
    out.reset();
    auto device = std::make_shared<TDirectSound>(std::move(output));
    if (!device->Valid()) return DSERR_NODRIVER;
    out = std::move(device);
    return DS_OK;
}

HRESULT DirectSoundCreate(const void* device, PDirectSound& out) {
    out.reset();
    if (device) return DSERR_NODRIVER;
    std::shared_ptr<TSoundOutput> output = DefaultOutput();
    if (!output) output = std::make_shared<TSDLSoundOutput>();
    return DirectSoundCreateOn(std::move(output), out);
}
