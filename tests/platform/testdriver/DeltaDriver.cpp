// A codec driver for the tests of the driver registration: a made-up format of 8-bit signed
// differences, each shifted left by the format's one extra word and added to a running
// sample per channel. The running sums carry from one conversion to the next until a
// conversion starts anew, so the start flag has something to do.
#include "platform/acm.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr uint16_t WAVE_FORMAT_DELTA = 0xDE17;
constexpr uintptr_t InstanceId = 0x5A5A;

struct TDeltaStream {
    bool Used = false;
    uint32_t Channels = 0;
    uint32_t Shift = 0;
    std::array<int32_t, 2> Sum{};
};

std::array<TDeltaStream, 8> Streams;
int Loads = 0, Frees = 0, Opens = 0, Closes = 0, StreamsOpen = 0;

bool IsDelta(const TWaveFormatEx* f) {
    return f->wFormatTag == WAVE_FORMAT_DELTA && f->wBitsPerSample == 8 && f->cbSize >= 2 &&
           (f->nChannels == 1 || f->nChannels == 2) && f->nBlockAlign == f->nChannels;
}

bool IsMatchingPcm(const TWaveFormatEx* src, const TWaveFormatEx* dst) {
    return dst->wFormatTag == WAVE_FORMAT_PCM && dst->wBitsPerSample == 16 &&
           dst->nChannels == src->nChannels && dst->nSamplesPerSec == src->nSamplesPerSec &&
           dst->nBlockAlign == 2 * dst->nChannels;
}

intptr_t Suggest(TACMDrvFormatSuggest& s) {
    if (!IsDelta(s.pwfxSrc)) return ACMERR_NOTPOSSIBLE;
    if ((s.fdwSuggest & ACM_FORMATSUGGESTF_WFORMATTAG) && s.pwfxDst->wFormatTag != WAVE_FORMAT_PCM)
        return ACMERR_NOTPOSSIBLE;
    TWaveFormatEx pcm{WAVE_FORMAT_PCM,
                      s.pwfxSrc->nChannels,
                      s.pwfxSrc->nSamplesPerSec,
                      s.pwfxSrc->nSamplesPerSec * 2u * s.pwfxSrc->nChannels,
                      uint16_t(2 * s.pwfxSrc->nChannels),
                      16,
                      0};
    std::memcpy(s.pwfxDst, &pcm, sizeof(pcm));
    return MMSYSERR_NOERROR;
}

intptr_t Open(TACMDrvStreamInstance& instance) {
    if (!IsDelta(instance.pwfxSrc) || !IsMatchingPcm(instance.pwfxSrc, instance.pwfxDst))
        return ACMERR_NOTPOSSIBLE;
    if (instance.fdwOpen & ACM_STREAMOPENF_QUERY) return MMSYSERR_NOERROR;
    for (size_t i = 0; i < Streams.size(); ++i) {
        if (Streams[i].Used) continue;
        const auto* extra = reinterpret_cast<const uint8_t*>(instance.pwfxSrc) + 18;
        Streams[i] = {true, instance.pwfxSrc->nChannels, uint32_t(extra[0] | extra[1] << 8), {}};
        instance.dwDriver = i + 1;
        ++StreamsOpen;
        return MMSYSERR_NOERROR;
    }
    return MMSYSERR_NOMEM;
}

intptr_t Size(const TACMDrvStreamInstance& instance, TACMDrvStreamSize& size) {
    const uint32_t channels = instance.pwfxSrc->nChannels;
    if (size.fdwSize == ACM_STREAMSIZEF_SOURCE) {
        if (size.cbSrcLength < channels) return ACMERR_NOTPOSSIBLE;
        size.cbDstLength = size.cbSrcLength / channels * channels * 2;
    } else {
        if (size.cbDstLength < 2 * channels) return ACMERR_NOTPOSSIBLE;
        size.cbSrcLength = size.cbDstLength / (2 * channels) * channels;
    }
    return MMSYSERR_NOERROR;
}

intptr_t Convert(const TACMDrvStreamInstance& instance, TACMDrvStreamHeader& header) {
    TDeltaStream& stream = Streams.at(instance.dwDriver - 1);
    if (header.fdwConvert & ACM_STREAMCONVERTF_START) stream.Sum = {};
    const uint32_t frames =
        std::min(header.cbSrcLength / stream.Channels, header.cbDstLength / (2 * stream.Channels));
    for (uint32_t i = 0; i < frames * stream.Channels; ++i) {
        int32_t& sum = stream.Sum[i % stream.Channels];
        sum = int16_t(sum + (int32_t(int8_t(header.pbSrc[i])) << stream.Shift));
        header.pbDst[2 * i] = uint8_t(sum);
        header.pbDst[2 * i + 1] = uint8_t(sum >> 8);
    }
    header.cbSrcLengthUsed = frames * stream.Channels;
    header.cbDstLengthUsed = frames * stream.Channels * 2;
    return MMSYSERR_NOERROR;
}

} // namespace

extern "C" __attribute__((visibility("default"))) intptr_t
DriverProc(uintptr_t driverId, uint32_t message, intptr_t param1, intptr_t param2) {
    auto* instance = reinterpret_cast<TACMDrvStreamInstance*>(param1);
    switch (message) {
    case DRV_LOAD:
        ++Loads;
        return 1;
    case DRV_FREE:
        ++Frees;
        return 1;
    case DRV_OPEN:
        ++Opens;
        return InstanceId;
    case DRV_CLOSE:
        ++Closes;
        return 1;
    }
    if (driverId != InstanceId) return MMSYSERR_INVALHANDLE;
    switch (message) {
    case ACMDM_DRIVER_DETAILS: {
        auto* details = reinterpret_cast<TACMDriverDetails*>(param1);
        details->MaxFormatSize = 64;
        std::strcpy(details->ShortName, "Delta");
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
        Streams.at(instance->dwDriver - 1).Used = false;
        --StreamsOpen;
        return MMSYSERR_NOERROR;
    }
    return MMSYSERR_NOTSUPPORTED;
}

// For the test to see what ACM did with the driver.
extern "C" __attribute__((visibility("default"))) void
DeltaDriverCounters(int* loads, int* frees, int* opens, int* closes, int* streams) {
    *loads = Loads;
    *frees = Frees;
    *opens = Opens;
    *closes = Closes;
    *streams = StreamsOpen;
}
