#include "gamelib/vrDSound.h"

#include "platform/winpath.h"
#include "shell/Tools.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

std::string LowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Both separators count, as in every path of the program.
size_t NameStart(const std::string& fileName) {
    const size_t slash = fileName.find_last_of("\\/");
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string WithoutExtension(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot < NameStart(fileName) ? fileName
                                                                 : fileName.substr(0, dot);
}

std::string BaseName(const std::string& fileName) {
    return WithoutExtension(fileName).substr(NameStart(fileName));
}

uint8_t SilenceOf(const TWaveFormatEx& format) {
    return format.wBitsPerSample == 8 ? 128 : 0;
}

} // namespace

void DSCheck(HRESULT code) {
    if (code == DS_OK) return;
    WriteLog("DSCheck : " + std::to_string(code));
    WriteLog(DSErrorString(code));
    if (code == DSERR_BUFFERLOST) throw EDirectXBufferLostError();
    throw EDirectXError(DSErrorString(code), code);
}

int32_t VolumeFromLevel(int32_t level) {
    if (level <= 0) return DSBVOLUME_MIN;
    // Default rounding is to the nearest, halves to even. Levels above the slider's 127 would
    // ask for more than full volume, which no buffer accepts.
    const double r = std::nearbyint(100000.0 / 127 - 100000.0 / level);
    return static_cast<int32_t>(std::clamp(r, double(DSBVOLUME_MIN), double(DSBVOLUME_MAX)));
}

// ----- the engine ----------------------------------------------------------------------------

TvrDSound::TvrDSound(QWidget* window, bool effectsEnabled, bool deviceWanted,
                     uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t channels)
    : NotReady(true), EffectsEnabled(effectsEnabled), DeviceWanted(deviceWanted) {
    if (!EffectsEnabled && !DeviceWanted) return;
    try {
        DSCheck(DirectSoundCreate(nullptr, DirectSound));
        DSCheck(DirectSound->SetCooperativeLevel(window, DSSCL_PRIORITY));
        TDSBufferDesc primary;
        primary.Flags = DSBCAPS_PRIMARYBUFFER;
        DSCheck(DirectSound->CreateSoundBuffer(primary, PrimaryBuffer));
        const uint16_t blockAlign = static_cast<uint16_t>(bitsPerSample * channels / 8);
        const TWaveFormatEx format{
            WAVE_FORMAT_PCM, channels, samplesPerSec, blockAlign * samplesPerSec, blockAlign,
            bitsPerSample,   0};
        DSCheck(PrimaryBuffer->SetFormat(&format));
        NotReady = false;
        Timer = std::make_unique<TThreadedTimer>();
        Timer->SetInterval(2500);
        Timer->OnTimer = [this] { UpdateAll(); };
        Timer->SetEnabled(false);
    } catch (const std::exception&) {
        // No device: the game runs silent.
    }
}

TvrDSound::~TvrDSound() {
    Timer.reset();
    while (!Sounds.empty())
        Sounds.pop_back();
    Placeholder = nullptr;
    PrimaryBuffer.reset();
    DirectSound.reset();
    try {
        UnloadACMDriver();
    } catch (const std::exception&) {
        // Nothing is left that could use the driver; the process drops it at its end.
    }
}

void TvrDSound::LoadACMDriver(const std::string& fileName) {
    UnloadACMDriver();
    ACMDriverFile = fileName;
    if (!ACMModule.Load(fileName)) throw std::runtime_error("Error loading ACM driver library");
    const auto proc = ACMModule.FindFunction<TACMDriverProc>("DriverProc");
    if (!proc) throw std::runtime_error("Could not get ACM driver procedure address");
    if (acmDriverAddA(&ACMDriverID, ACMModule.Handle(), proc, 0, ACM_DRIVERADDF_FUNCTION) !=
        MMSYSERR_NOERROR) {
        ACMDriverID = nullptr;
        throw std::runtime_error("Error adding ACM driver");
    }
    if (acmDriverOpen(&ACMDriver, ACMDriverID, 0) != MMSYSERR_NOERROR) {
        ACMDriver = nullptr;
        throw std::runtime_error("Error opening ACM driver");
    }
}

void TvrDSound::UnloadACMDriver() {
    if (ACMDriver) {
        if (acmDriverClose(ACMDriver, 0) != MMSYSERR_NOERROR)
            throw std::runtime_error("Error closing ACM driver");
        ACMDriver = nullptr;
    }
    if (ACMDriverID) {
        if (acmDriverRemove(ACMDriverID, 0) != MMSYSERR_NOERROR)
            throw std::runtime_error("Error removing ACM driver");
        ACMDriverID = nullptr;
    }
    ACMModule.Free();
}

int32_t TvrDSound::LoadFolder(const std::string& folder, uint32_t streamThresholdMs) {
    const std::vector<std::string> names = FindFiles(folder + "\\*.wav");
    for (const std::string& entry : names) {
        const std::string fileName = folder + "\\" + entry;
        uint64_t size = 0;
        try {
            size = FileSizeOf(fileName);
        } catch (const EInOutError&) {
            // Unreadable: the sound itself reports it below.
        }
        WriteLog("Loading Sound " + fileName + " (" + std::to_string(size) + " bytes");
        const TvrDSoundFile& sound = TvrDSoundFile::CreateFromFile(*this, streamThresholdMs, smAuto,
                                                                   WithoutExtension(fileName));
        switch (sound.Status) {
        case ssUnsupportedFormat:
            WriteLog("unsupported wave format: " + sound.LastError);
            break;
        case ssGenericError:
            WriteLog("generic error: " + sound.LastError);
            break;
        case ssDisabled:
            WriteLog("disabled: " + sound.LastError);
            break;
        case ssOK:
            break;
        }
    }
    return static_cast<int32_t>(names.size());
}

TvrDSoundFile& TvrDSound::Find(const std::string& name) {
    const std::string key = LowerCase(name);
    for (auto it = Sounds.rbegin(); it != Sounds.rend(); ++it)
        if ((*it)->Name == key) return **it;
    if (!Placeholder)
        Placeholder = &TvrDSoundFile::CreateWithFallback(*this, 20000, smAuto, "x.x.x.x.x.x.x");
    return *Placeholder;
}

void TvrDSound::SetVolumeAll(int32_t volume) {
    for (auto it = Sounds.rbegin(); it != Sounds.rend(); ++it)
        (*it)->SetVolume(volume);
}

bool TvrDSound::RestoreAll() {
    for (auto it = Sounds.rbegin(); it != Sounds.rend(); ++it)
        if (!(*it)->TryRestore()) return false;
    return true;
}

void TvrDSound::UpdateAll() {
    // A refill may stop its sound, which never removes one from the list.
    for (size_t i = 0; i < Sounds.size(); ++i) {
        TvrDSoundFile& sound = *Sounds[i];
        if (sound.Mode == smStreamed && sound.Playing) sound.Update(false);
    }
}

void TvrDSound::UpdateTimer() {
    if (!Timer) return;
    const bool streaming = std::any_of(Sounds.begin(), Sounds.end(), [](const auto& sound) {
        return sound->Mode == smStreamed && sound->Playing;
    });
    Timer->SetEnabled(streaming);
}

// ----- one sound -----------------------------------------------------------------------------

TvrDSoundFile::TvrDSoundFile(TvrDSound& owner, TKey) : Owner(owner) {}

TvrDSoundFile::~TvrDSoundFile() {
    Buffer.reset();
    PCMReader.reset();
    WaveReader.reset();
}

void TvrDSoundFile::Destroy() {
    if (Owner.Placeholder == this) Owner.Placeholder = nullptr;
    auto& sounds = Owner.Sounds;
    const auto it = std::find_if(sounds.begin(), sounds.end(),
                                 [this](const auto& sound) { return sound.get() == this; });
    if (it != sounds.end()) sounds.erase(it); // frees this
}

TvrDSoundFile& TvrDSoundFile::CreateFromFile(TvrDSound& owner, uint32_t streamThresholdMs,
                                             TSoundMode mode, const std::string& fileName) {
    return Create(owner, streamThresholdMs, mode, fileName, false);
}

TvrDSoundFile& TvrDSoundFile::CreateWithFallback(TvrDSound& owner, uint32_t streamThresholdMs,
                                                 TSoundMode mode, const std::string& fileName) {
    return Create(owner, streamThresholdMs, mode, fileName, true);
}

TvrDSoundFile& TvrDSoundFile::Create(TvrDSound& owner, uint32_t streamThresholdMs, TSoundMode mode,
                                     const std::string& fileName, bool fallback) {
    auto sound = std::make_unique<TvrDSoundFile>(owner, TKey{});
    sound->Name = LowerCase(BaseName(fileName));
    sound->SourceInfo.SourceKind = srcFile;
    sound->SourceInfo.FileName = WithoutExtension(fileName);
    if (fallback) {
        sound->OpenWaveReader();
        if (sound->Status != ssOK) {
            sound->Status = ssOK;
            sound->SourceInfo.SourceKind = srcResource;
            sound->SourceInfo.ResourceName = sound->Name;
            sound->SourceInfo.ResourceType = "WAVE";
            sound->OpenWaveReader();
        }
    }
    sound->Mode = mode;
    if (!owner.EffectsEnabled || owner.NotReady) sound->Status = ssDisabled;
    sound->Load(streamThresholdMs);
    owner.Sounds.push_back(std::move(sound));
    TvrDSoundFile& added = *owner.Sounds.back();
    if (added.Mode != smStreamed) added.FreeReaders();
    return added;
}

std::unique_ptr<TWaveReadStream> TvrDSoundFile::OpenSource() const {
    if (SourceInfo.SourceKind == srcFile)
        return std::make_unique<TFileWaveReadStream>(SourceInfo.FileName + ".wav");
    return std::make_unique<TResourceWaveReadStream>(SourceInfo.ResourceName,
                                                     SourceInfo.ResourceType);
}

void TvrDSoundFile::OpenWaveReader() {
    if (WaveReader) return;
    try {
        WaveReader = OpenSource();
    } catch (const std::exception& error) {
        Status = ssGenericError;
        LastError = error.what();
    }
}

void TvrDSoundFile::Load(uint32_t streamThresholdMs) {
    OpenWaveReader();
    if (Status == ssOK) {
        try {
            PCMReader = std::make_unique<TWavePCMReader>(*WaveReader, Owner.ACMDriver);
        } catch (const std::exception& error) {
            Status = ssUnsupportedFormat;
            LastError = error.what();
        }
    }
    if (Status != ssOK) return;
    try {
        const TWaveFormatEx& format = PCMReader->Format();
        if (Mode == smAuto) {
            if (format.nAvgBytesPerSec == 0) throw EWaveError("Average bytes per second = 0");
            const uint64_t duration = uint64_t(PCMReader->Size()) * 1000 / format.nAvgBytesPerSec;
            Mode = streamThresholdMs >= duration ? smStatic : smStreamed;
        }
        TDSBufferDesc desc;
        desc.Flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
        switch (Mode) {
        case smStaticSoftware:
            desc.Flags |= DSBCAPS_STATIC | DSBCAPS_LOCSOFTWARE;
            break;
        case smStatic:
            desc.Flags |= DSBCAPS_STATIC;
            break;
        case smStaticHardware:
            desc.Flags |= DSBCAPS_STATIC | DSBCAPS_LOCHARDWARE;
            break;
        default:
            break;
        }
        desc.Format = &format;
        if (Mode != smStreamed) {
            std::vector<uint8_t> block(PCMReader->Size());
            BufferSize = PCMReader->Read(block.data(), PCMReader->Size());
            desc.BufferBytes = BufferSize;
            DSCheck(Owner.DirectSound->CreateSoundBuffer(desc, Buffer));
            void *first = nullptr, *second = nullptr;
            uint32_t firstBytes = 0, secondBytes = 0;
            DSCheck(Buffer->Lock(0, BufferSize, &first, &firstBytes, &second, &secondBytes, 0));
            if (firstBytes + secondBytes != BufferSize) {
                Buffer->Unlock(first, 0, second, 0);
                throw std::runtime_error("invalid locked buffer size");
            }
            std::memcpy(first, block.data(), firstBytes);
            DSCheck(Buffer->Unlock(first, firstBytes, second, secondBytes));
        } else {
            const uint64_t ring = uint64_t(format.nSamplesPerSec) * format.nChannels *
                                  (format.wBitsPerSample / 8) * 10000 / 1000;
            BufferSize = static_cast<uint32_t>(std::min<uint64_t>(ring, DSBSIZE_MAX + 1ull));
            desc.BufferBytes = BufferSize;
            DSCheck(Owner.DirectSound->CreateSoundBuffer(desc, Buffer));
            ResetStream();
        }
    } catch (const std::exception& error) {
        Status = ssGenericError;
        LastError = error.what();
        Buffer.reset();
    }
}

void TvrDSoundFile::FreeReaders() {
    PCMReader.reset();
    WaveReader.reset();
}

TvrDSoundFile& TvrDSoundFile::CreateDuplicate(TvrDSoundFile& sound) {
    if (sound.Mode == smStreamed) throw std::runtime_error("Can't duplicate a streaming buffer");
    auto duplicate = std::make_unique<TvrDSoundFile>(sound.Owner, TKey{});
    duplicate->BufferSize = sound.BufferSize;
    duplicate->Status = sound.Status;
    duplicate->Name = sound.Name;
    duplicate->Lost = sound.Lost;
    duplicate->Mode = sound.Mode;
    duplicate->SourceInfo = sound.SourceInfo;
    if (duplicate->Status == ssOK)
        DSCheck(sound.Owner.DirectSound->DuplicateSoundBuffer(sound.Buffer, duplicate->Buffer));
    sound.Owner.Sounds.push_back(std::move(duplicate));
    return *sound.Owner.Sounds.back();
}

void TvrDSoundFile::Play() {
    if (CheckLost() || Status != ssOK) return;
    try {
        Stop();
        DSCheck(Buffer->SetCurrentPosition(0));
        if (Loop || Mode == smStreamed) {
            DSCheck(Buffer->Play(0, 0, DSBPLAY_LOOPING));
            Playing = true;
        } else {
            DSCheck(Buffer->Play(0, 0, 0));
        }
    } catch (const EDirectXBufferLostError&) {
        Lost = true;
    }
    if (Mode == smStreamed) Owner.UpdateTimer();
}

void TvrDSoundFile::Stop() {
    Playing = false;
    if (Status != ssOK) return;
    DSCheck(Buffer->Stop());
    if (Mode == smStreamed) {
        ResetStream();
        Owner.UpdateTimer();
    }
}

void TvrDSoundFile::SetVolume(int32_t volume) {
    if (Status == ssOK) DSCheck(Buffer->SetVolume(volume));
}

void TvrDSoundFile::SetPan(int32_t pan) {
    if (Status == ssOK) DSCheck(Buffer->SetPan(pan));
}

void TvrDSoundFile::SetFrequency(uint32_t hertz) {
    if (Status == ssOK) DSCheck(Buffer->SetFrequency(hertz));
}

void TvrDSoundFile::SetPosition(uint32_t byteOffset) {
    if (Status == ssOK) DSCheck(Buffer->SetCurrentPosition(byteOffset));
}

void TvrDSoundFile::ResetStream() {
    if (Primed) return;
    WritePos = EndPos = SilenceEnd = 0;
    EndReached = false;
    Update(true);
    DSCheck(Buffer->SetCurrentPosition(0));
}

void TvrDSoundFile::Update(bool restart) {
    if (Status != ssOK || !PCMReader) return;
    try {
        uint32_t amount = 0;
        if (restart) {
            PCMReader->Rewind();
            amount = BufferSize;
            Primed = true;
        } else {
            // A buffer known to be lost is tried again; one lost just now shows at the lock.
            if (Lost && CheckLost()) return;
            Primed = false;
            uint32_t cursor = 0;
            DSCheck(Buffer->GetCurrentPosition(&cursor, nullptr));
            amount = WritePos <= cursor ? cursor - WritePos : BufferSize + cursor - WritePos;
            if (amount == 0) return;
            // The stretch played since the last refill is [WritePos, cursor): once the end of
            // the data lies in it, only silence is left to play.
            if (EndReached && (EndPos + BufferSize - WritePos) % BufferSize < amount) {
                Stop();
                return;
            }
        }
        void *first = nullptr, *second = nullptr;
        uint32_t firstBytes = 0, secondBytes = 0;
        DSCheck(Buffer->Lock(WritePos, amount, &first, &firstBytes, &second, &secondBytes, 0));
        try {
            FillPart(static_cast<uint8_t*>(first), firstBytes);
            if (second) FillPart(static_cast<uint8_t*>(second), secondBytes);
        } catch (...) {
            Buffer->Unlock(first, firstBytes, second, secondBytes);
            throw;
        }
        DSCheck(Buffer->Unlock(first, firstBytes, second, secondBytes));
    } catch (const EDirectXBufferLostError&) {
        Lost = true;
    }
}

void TvrDSoundFile::FillPart(uint8_t* part, uint32_t length) {
    uint32_t got = 0;
    if (!EndReached) {
        got = PCMReader->Read(part, length);
        while (got < length && Loop) {
            PCMReader->Rewind();
            const uint32_t more = PCMReader->Read(part + got, length - got);
            if (more == 0) break; // an empty sound loops as silence
            got += more;
        }
    }
    if (got < length) {
        std::memset(part + got, SilenceOf(PCMReader->Format()), length - got);
        if (!EndReached) {
            EndReached = true;
            EndPos = (WritePos + got) % BufferSize;
        }
        SilenceEnd = (WritePos + length) % BufferSize;
    }
    WritePos = (WritePos + length) % BufferSize;
}

bool TvrDSoundFile::CheckLost() {
    if (Status != ssOK) return false;
    if (Lost) {
        TryRestore();
    } else {
        uint32_t status = 0;
        DSCheck(Buffer->GetStatus(status));
        if (status & DSBSTATUS_BUFFERLOST) TryRestore();
    }
    return Lost;
}

bool TvrDSoundFile::TryRestore() {
    Lost = false;
    if (Status != ssOK) return true;
    uint32_t status = 0;
    DSCheck(Buffer->GetStatus(status));
    if (!(status & DSBSTATUS_BUFFERLOST)) return true;
    if (Buffer->Restore() != DS_OK) {
        Lost = true;
        return false;
    }
    try {
        if (Mode == smStreamed) {
            Primed = false; // the ring's contents are gone
            ResetStream();
        } else {
            ReloadStatic();
        }
        if (Playing && Loop) Play();
    } catch (const EDirectXBufferLostError&) {
        Lost = true;
    }
    return !Lost;
}

void TvrDSoundFile::ReloadStatic() {
    const std::unique_ptr<TWaveReadStream> wave = OpenSource();
    TWavePCMReader pcm(*wave, Owner.ACMDriver);
    void *first = nullptr, *second = nullptr;
    uint32_t firstBytes = 0, secondBytes = 0;
    DSCheck(Buffer->Lock(0, BufferSize, &first, &firstBytes, &second, &secondBytes, 0));
    uint32_t got = 0;
    try {
        got = pcm.Read(first, firstBytes);
    } catch (...) {
        Buffer->Unlock(first, 0, second, 0);
        throw;
    }
    DSCheck(Buffer->Unlock(first, got, second, 0));
}
