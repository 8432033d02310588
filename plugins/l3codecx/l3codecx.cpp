// The MPEG layer 3 codec driver: wave data of format 0x55 to 16-bit PCM of the same rate and
// channels, through libmpg123 fed block by block. The wave reader uses every byte it hands
// over and takes the destination room from our size answer, so the answer leaves room for the
// most samples any MP3 frame can pack per byte; what still does not fit waits for the next call.
#include "platform/acm.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uintptr_t InstanceId = 0x4C33; // "L3"
constexpr uint32_t Mp3ExtraBytes = 12;   // wID, fdwFlags, nBlockSize, nFramesPerBlock, nCodecDelay
// The densest frames: MPEG 2 at 24 kHz, 8 kbit/s, 576 samples in 24 bytes.
constexpr uint32_t SamplesPerByte = 24;
constexpr uint32_t SlackSamples = 4 * 1152; // frames held back across calls

struct TDecoder {
    mpg123_handle* Handle = nullptr;
    uint32_t Channels = 0;
    long Rate = 0;
    std::vector<uint8_t> Pending; // decoded, not yet handed out

    ~TDecoder() {
        if (Handle) {
            mpg123_close(Handle);
            mpg123_delete(Handle);
        }
    }
    bool Reset() {
        if (Handle) {
            mpg123_close(Handle);
            mpg123_delete(Handle);
        }
        Pending.clear();
        int err = 0;
        Handle = mpg123_new(nullptr, &err);
        if (!Handle) return false;
        mpg123_param(Handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
        mpg123_format_none(Handle);
        return mpg123_format(Handle, Rate, Channels == 1 ? MPG123_MONO : MPG123_STEREO,
                             MPG123_ENC_SIGNED_16) == MPG123_OK &&
               mpg123_open_feed(Handle) == MPG123_OK;
    }
};

bool IsMp3(const TWaveFormatEx* f) {
    if (f->wFormatTag != WAVE_FORMAT_MPEGLAYER3 || f->cbSize < Mp3ExtraBytes) return false;
    if (f->nChannels != 1 && f->nChannels != 2) return false;
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    return std::find(rates, rates + count, long(f->nSamplesPerSec)) != rates + count;
}

bool IsMatchingPcm(const TWaveFormatEx* src, const TWaveFormatEx* dst) {
    return dst->wFormatTag == WAVE_FORMAT_PCM && dst->wBitsPerSample == 16 &&
           dst->nChannels == src->nChannels && dst->nSamplesPerSec == src->nSamplesPerSec &&
           dst->nBlockAlign == 2 * dst->nChannels;
}

intptr_t Suggest(TACMDrvFormatSuggest& s) {
    if (s.cbwfxDst < sizeof(TWaveFormatEx) || !IsMp3(s.pwfxSrc)) return ACMERR_NOTPOSSIBLE;
    const TWaveFormatEx& src = *s.pwfxSrc;
    const TWaveFormatEx& want = *s.pwfxDst;
    if ((s.fdwSuggest & ACM_FORMATSUGGESTF_WFORMATTAG) && want.wFormatTag != WAVE_FORMAT_PCM)
        return ACMERR_NOTPOSSIBLE;
    if ((s.fdwSuggest & ACM_FORMATSUGGESTF_NCHANNELS) && want.nChannels != src.nChannels)
        return ACMERR_NOTPOSSIBLE;
    if ((s.fdwSuggest & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) &&
        want.nSamplesPerSec != src.nSamplesPerSec)
        return ACMERR_NOTPOSSIBLE;
    if ((s.fdwSuggest & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) && want.wBitsPerSample != 16)
        return ACMERR_NOTPOSSIBLE;
    const TWaveFormatEx pcm{WAVE_FORMAT_PCM,
                            src.nChannels,
                            src.nSamplesPerSec,
                            src.nSamplesPerSec * 2u * src.nChannels,
                            uint16_t(2 * src.nChannels),
                            16,
                            0};
    std::memcpy(s.pwfxDst, &pcm, sizeof(pcm));
    return MMSYSERR_NOERROR;
}

intptr_t Open(TACMDrvStreamInstance& instance) {
    if (!IsMp3(instance.pwfxSrc) || !IsMatchingPcm(instance.pwfxSrc, instance.pwfxDst))
        return ACMERR_NOTPOSSIBLE;
    if (instance.fdwOpen & ACM_STREAMOPENF_QUERY) return MMSYSERR_NOERROR;
    auto decoder = std::make_unique<TDecoder>();
    decoder->Channels = instance.pwfxSrc->nChannels;
    decoder->Rate = long(instance.pwfxSrc->nSamplesPerSec);
    if (!decoder->Reset()) return MMSYSERR_NOMEM;
    instance.dwDriver = reinterpret_cast<uintptr_t>(decoder.release());
    return MMSYSERR_NOERROR;
}

intptr_t Size(const TACMDrvStreamInstance& instance, TACMDrvStreamSize& size) {
    const uint64_t frameBytes = 2u * instance.pwfxSrc->nChannels;
    if (size.fdwSize == ACM_STREAMSIZEF_SOURCE) {
        if (size.cbSrcLength == 0) return ACMERR_NOTPOSSIBLE;
        const uint64_t dst =
            (uint64_t(size.cbSrcLength) * SamplesPerByte + SlackSamples) * frameBytes;
        if (dst > UINT32_MAX) return ACMERR_NOTPOSSIBLE;
        size.cbDstLength = uint32_t(dst);
    } else {
        const uint64_t samples = size.cbDstLength / frameBytes;
        if (samples < SlackSamples + SamplesPerByte) return ACMERR_NOTPOSSIBLE;
        size.cbSrcLength = uint32_t((samples - SlackSamples) / SamplesPerByte);
    }
    return MMSYSERR_NOERROR;
}

intptr_t Convert(const TACMDrvStreamInstance& instance, TACMDrvStreamHeader& header) {
    auto* decoder = reinterpret_cast<TDecoder*>(instance.dwDriver);
    if ((header.fdwConvert & ACM_STREAMCONVERTF_START) && !decoder->Reset()) return MMSYSERR_NOMEM;
    header.cbSrcLengthUsed = header.cbSrcLength;
    header.cbDstLengthUsed = 0;
    if (header.cbSrcLength > 0 &&
        mpg123_feed(decoder->Handle, header.pbSrc, header.cbSrcLength) != MPG123_OK)
        return MMSYSERR_ERROR;
    const uint32_t frameBytes = 2 * decoder->Channels;
    const uint32_t room = header.cbDstLength / frameBytes * frameBytes;
    uint32_t used = std::min<uint32_t>(room, uint32_t(decoder->Pending.size()));
    if (used > 0) std::memcpy(header.pbDst, decoder->Pending.data(), used);
    decoder->Pending.erase(decoder->Pending.begin(), decoder->Pending.begin() + used);
    for (;;) {
        off_t frameNumber = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const int result = mpg123_decode_frame(decoder->Handle, &frameNumber, &audio, &bytes);
        if (result == MPG123_NEED_MORE || result == MPG123_DONE) break;
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(decoder->Handle, &rate, &channels, &encoding);
            // A stream that is not what its wave header says cannot be played as declared.
            if (rate != decoder->Rate || uint32_t(channels) != decoder->Channels)
                return MMSYSERR_ERROR;
            continue;
        }
        if (result != MPG123_OK) {
            if (result == MPG123_ERR) return MMSYSERR_ERROR;
            continue; // a damaged frame is skipped, as players do
        }
        const uint32_t fits = std::min<uint32_t>(room - used, uint32_t(bytes));
        if (fits > 0) std::memcpy(header.pbDst + used, audio, fits);
        used += fits;
        decoder->Pending.insert(decoder->Pending.end(), audio + fits, audio + bytes);
    }
    header.cbDstLengthUsed = used;
    return MMSYSERR_NOERROR;
}

} // namespace

extern "C" __attribute__((visibility("default"))) intptr_t
DriverProc(uintptr_t driverId, uint32_t message, intptr_t param1, intptr_t param2) {
    auto* instance = reinterpret_cast<TACMDrvStreamInstance*>(param1);
    switch (message) {
    case DRV_LOAD:
#if MPG123_API_VERSION < 46
        return mpg123_init() == MPG123_OK ? 1 : 0;
#else
        return 1;
#endif
    case DRV_FREE:
        return 1;
    case DRV_OPEN:
        return InstanceId;
    case DRV_CLOSE:
        return 1;
    }
    if (driverId != InstanceId) return MMSYSERR_INVALHANDLE;
    switch (message) {
    case ACMDM_DRIVER_DETAILS: {
        auto* details = reinterpret_cast<TACMDriverDetails*>(param1);
        details->MaxFormatSize = sizeof(TWaveFormatEx) + Mp3ExtraBytes;
        std::strcpy(details->ShortName, "MPEG Layer-3");
        return MMSYSERR_NOERROR;
    }
    case ACMDM_FORMAT_SUGGEST:
        return Suggest(*reinterpret_cast<TACMDrvFormatSuggest*>(param1));
    case ACMDM_STREAM_OPEN:
        return Open(*instance);
    case ACMDM_STREAM_SIZE:
        return Size(*instance, *reinterpret_cast<TACMDrvStreamSize*>(param2));
    case ACMDM_STREAM_CONVERT:
        return Convert(*instance, *reinterpret_cast<TACMDrvStreamHeader*>(param2));
    case ACMDM_STREAM_CLOSE:
        std::unique_ptr<TDecoder>(reinterpret_cast<TDecoder*>(instance->dwDriver)).reset();
        instance->dwDriver = 0;
        return MMSYSERR_NOERROR;
    }
    return MMSYSERR_NOTSUPPORTED;
}
