#include "platform/acm.h"

#include "platform/dl.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace {

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
int16_t S16(const uint8_t* p) {
    return static_cast<int16_t>(U16(p));
}
uint32_t U32(const uint8_t* p) {
    return uint32_t(U16(p)) | uint32_t(U16(p + 2)) << 16;
}
void PutS16(uint8_t* p, int32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

const uint8_t* ExtraBytes(const TWaveFormatEx* format) {
    return reinterpret_cast<const uint8_t*>(format) + sizeof(TWaveFormatEx);
}

uint32_t FormatBytes(const TWaveFormatEx* format) {
    return format->wFormatTag == WAVE_FORMAT_PCM ? uint32_t(sizeof(TWaveFormatEx))
                                                 : uint32_t(sizeof(TWaveFormatEx)) + format->cbSize;
}

std::vector<uint8_t> CopyFormat(const TWaveFormatEx* format) {
    const auto* p = reinterpret_cast<const uint8_t*>(format);
    std::vector<uint8_t> copy(p, p + FormatBytes(format));
    // A PCM format may come from a 16-byte record; its extra bytes do not count.
    if (format->wFormatTag == WAVE_FORMAT_PCM) copy[PcmFormatSize] = copy[PcmFormatSize + 1] = 0;
    return copy;
}

const TWaveFormatEx* AsFormat(const std::vector<uint8_t>& bytes) {
    return reinterpret_cast<const TWaveFormatEx*>(bytes.data());
}

int16_t Clamp16(int32_t v) {
    return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}

// ----- The sample loops of the built-in codecs --------------------------------------------

constexpr std::array<int16_t, 256> MakeALawTable() {
    std::array<int16_t, 256> table{};
    for (int code = 0; code < 256; ++code) {
        const int a = code ^ 0x55;
        const int segment = (a >> 4) & 7;
        int magnitude = (a & 0x0F) << 4;
        magnitude += segment == 0 ? 8 : 0x108;
        if (segment > 1) magnitude <<= segment - 1;
        table[code] = static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
    }
    return table;
}

constexpr std::array<int16_t, 256> MakeMuLawTable() {
    std::array<int16_t, 256> table{};
    for (int code = 0; code < 256; ++code) {
        const int u = ~code & 0xFF;
        const int magnitude = (((u & 0x0F) << 3) + 0x84) << ((u >> 4) & 7);
        table[code] = static_cast<int16_t>((u & 0x80) ? 0x84 - magnitude : magnitude - 0x84);
    }
    return table;
}

constexpr std::array<int16_t, 256> ALawTable = MakeALawTable();
constexpr std::array<int16_t, 256> MuLawTable = MakeMuLawTable();

// x * 32768 rounded half away from zero and saturated, from the bits alone.
int16_t FloatSample(uint32_t bits) {
    const int exponent = int(bits >> 23 & 0xFF);
    if (exponent == 0xFF && (bits & 0x7FFFFF)) return 0; // not a number
    const int32_t mantissa = int32_t(bits & 0x7FFFFF) | (exponent ? 0x800000 : 0);
    const int shift = exponent - 135; // value * 2^15 = mantissa * 2^(exponent - 127 - 23 + 15)
    int32_t magnitude;
    if (shift >= 0)
        magnitude = 32768; // at least 2^23: far beyond the range
    else if (shift >= -24)
        magnitude = (mantissa + (1 << (-shift - 1))) >> -shift;
    else
        magnitude = 0;
    return Clamp16((bits >> 31) ? -magnitude : magnitude);
}

constexpr std::array<int16_t, 89> ImaStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int8_t, 8> ImaIndexTable = {-1, -1, -1, -1, 2, 4, 6, 8};

// One block (or the front of one) of IMA ADPCM: a header per channel (first sample, step
// index, a spare byte), then per channel 4 bytes of 8 nibbles in turn, low nibble first.
void DecodeImaBlock(const uint8_t* block, uint32_t channels, uint32_t frames, uint8_t* out) {
    int32_t predictor[2];
    int32_t index[2];
    for (uint32_t ch = 0; ch < channels; ++ch) {
        predictor[ch] = S16(block + 4 * ch);
        index[ch] = std::min<int32_t>(block[4 * ch + 2], 88);
        PutS16(out + 2 * ch, predictor[ch]);
    }
    const uint8_t* data = block + 4 * channels;
    for (uint32_t i = 1; i < frames; ++i) {
        const uint32_t k = i - 1, group = k >> 3, within = k & 7;
        for (uint32_t ch = 0; ch < channels; ++ch) {
            const uint8_t byte = data[(group * channels + ch) * 4 + (within >> 1)];
            const int nibble = (within & 1) ? byte >> 4 : byte & 0x0F;
            const int32_t step = ImaStepTable[index[ch]];
            int32_t diff = step >> 3;
            if (nibble & 4) diff += step;
            if (nibble & 2) diff += step >> 1;
            if (nibble & 1) diff += step >> 2;
            predictor[ch] = Clamp16((nibble & 8) ? predictor[ch] - diff : predictor[ch] + diff);
            index[ch] = std::clamp(index[ch] + ImaIndexTable[nibble & 7], 0, 88);
            PutS16(out + 2 * (i * channels + ch), predictor[ch]);
        }
    }
}

constexpr std::array<int32_t, 16> MsAdaptationTable = {230, 230, 230, 230, 307, 409, 512, 614,
                                                       768, 614, 512, 409, 307, 230, 230, 230};
// Far above any step real audio reaches; keeps the growing step within 32 bits.
constexpr int64_t MsMaxDelta = INT32_MAX / 768;

// One block (or the front of one) of MS ADPCM: per channel the predictor number, then per
// channel the delta, the first and the second sample (played second and first), then nibbles,
// high nibble first, the channels taking turns.
void DecodeMsBlock(const uint8_t* block, uint32_t channels, uint32_t frames,
                   const std::vector<int32_t>& coefs, uint8_t* out) {
    int32_t coef1[2], coef2[2], delta[2], sample1[2], sample2[2];
    const uint32_t coefCount = uint32_t(coefs.size() / 2);
    for (uint32_t ch = 0; ch < channels; ++ch) {
        const uint32_t predictor = std::min<uint32_t>(block[ch], coefCount - 1);
        coef1[ch] = coefs[2 * predictor];
        coef2[ch] = coefs[2 * predictor + 1];
        delta[ch] = S16(block + channels + 2 * ch);
        sample1[ch] = S16(block + 3 * channels + 2 * ch);
        sample2[ch] = S16(block + 5 * channels + 2 * ch);
        PutS16(out + 2 * ch, sample2[ch]);
        if (frames > 1) PutS16(out + 2 * (channels + ch), sample1[ch]);
    }
    const uint8_t* data = block + 7 * channels;
    const uint32_t nibbles = frames > 2 ? (frames - 2) * channels : 0;
    for (uint32_t j = 0; j < nibbles; ++j) {
        const uint32_t ch = channels == 2 ? (j & 1) : 0;
        const int code = (j & 1) ? data[j >> 1] & 0x0F : data[j >> 1] >> 4;
        const int32_t signedCode = code >= 8 ? code - 16 : code;
        // Division, not a shift: the predictor truncates towards zero.
        // In 64 bits: damaged headers may carry coefficients and deltas that overflow 32.
        const int64_t predicted =
            (int64_t(sample1[ch]) * coef1[ch] + int64_t(sample2[ch]) * coef2[ch]) / 256;
        const int16_t sample = int16_t(
            std::clamp<int64_t>(predicted + int64_t(signedCode) * delta[ch], INT16_MIN, INT16_MAX));
        sample2[ch] = sample1[ch];
        sample1[ch] = sample;
        // The step only grows on loud input; capped so that it cannot overflow.
        delta[ch] = int32_t(std::clamp<int64_t>(int64_t(MsAdaptationTable[code]) * delta[ch] / 256,
                                                16, MsMaxDelta));
        PutS16(out + 2 * (2 * channels + j), sample);
    }
}

enum class TFrameKind { Copy, Pcm8To16, Pcm16To8, Float, ALaw, MuLaw };

void ConvertFrames(TFrameKind kind, const uint8_t* src, uint32_t samples, uint8_t* dst) {
    switch (kind) {
    case TFrameKind::Copy:
        break; // the caller copies the bytes
    case TFrameKind::Pcm8To16:
        for (uint32_t i = 0; i < samples; ++i)
            PutS16(dst + 2 * i, (int32_t(src[i]) - 128) << 8);
        break;
    case TFrameKind::Pcm16To8:
        for (uint32_t i = 0; i < samples; ++i)
            dst[i] = static_cast<uint8_t>((S16(src + 2 * i) >> 8) + 128);
        break;
    case TFrameKind::Float:
        for (uint32_t i = 0; i < samples; ++i)
            PutS16(dst + 2 * i, FloatSample(U32(src + 4 * i)));
        break;
    case TFrameKind::ALaw:
        for (uint32_t i = 0; i < samples; ++i)
            PutS16(dst + 2 * i, ALawTable[src[i]]);
        break;
    case TFrameKind::MuLaw:
        for (uint32_t i = 0; i < samples; ++i)
            PutS16(dst + 2 * i, MuLawTable[src[i]]);
        break;
    }
}

// ----- Codecs: one open conversion each -------------------------------------------------------

class TCodec {
  public:
    virtual ~TCodec() = default;
    virtual MMRESULT Size(TACMDrvStreamSize& size) = 0;
    virtual MMRESULT Convert(TACMDrvStreamHeader& header) = 0;
};

// Formats converted sample frame by sample frame: a block is one frame.
class TFrameCodec : public TCodec {
  public:
    TFrameCodec(TFrameKind kind, uint32_t channels, uint32_t srcAlign, uint32_t dstAlign)
        : FKind(kind), FChannels(channels), FSrcAlign(srcAlign), FDstAlign(dstAlign) {}

    MMRESULT Size(TACMDrvStreamSize& size) override {
        if (size.fdwSize == ACM_STREAMSIZEF_SOURCE) {
            const uint32_t frames = size.cbSrcLength / FSrcAlign;
            if (frames == 0) return ACMERR_NOTPOSSIBLE;
            size.cbDstLength = frames * FDstAlign;
        } else {
            const uint32_t frames = size.cbDstLength / FDstAlign;
            if (frames == 0) return ACMERR_NOTPOSSIBLE;
            size.cbSrcLength = frames * FSrcAlign;
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT Convert(TACMDrvStreamHeader& header) override {
        const uint32_t frames =
            std::min(header.cbSrcLength / FSrcAlign, header.cbDstLength / FDstAlign);
        if (FKind == TFrameKind::Copy)
            std::memcpy(header.pbDst, header.pbSrc, size_t(frames) * FSrcAlign);
        else
            ConvertFrames(FKind, header.pbSrc, frames * FChannels, header.pbDst);
        header.cbSrcLengthUsed = frames * FSrcAlign;
        header.cbDstLengthUsed = frames * FDstAlign;
        return MMSYSERR_NOERROR;
    }

  private:
    TFrameKind FKind;
    uint32_t FChannels, FSrcAlign, FDstAlign;
};

// IMA and MS ADPCM: self-contained blocks of SamplesPerBlock frames.
class TAdpcmCodec : public TCodec {
  public:
    TAdpcmCodec(bool ima, uint32_t channels, uint32_t blockAlign, uint32_t samplesPerBlock,
                std::vector<int32_t> coefs)
        : FIma(ima), FChannels(channels), FBlockAlign(blockAlign),
          FSamplesPerBlock(samplesPerBlock), FCoefs(std::move(coefs)) {}

    MMRESULT Size(TACMDrvStreamSize& size) override {
        const uint64_t blockBytes = uint64_t(FSamplesPerBlock) * FChannels * 2;
        if (size.fdwSize == ACM_STREAMSIZEF_SOURCE) {
            // A partial block may still give samples, so it counts as a whole one here.
            const uint64_t blocks = (uint64_t(size.cbSrcLength) + FBlockAlign - 1) / FBlockAlign;
            if (blocks == 0 || blocks * blockBytes > 0xFFFFFFFFu) return ACMERR_NOTPOSSIBLE;
            size.cbDstLength = uint32_t(blocks * blockBytes);
        } else {
            const uint64_t blocks = size.cbDstLength / blockBytes;
            if (blocks == 0 || blocks * FBlockAlign > 0xFFFFFFFFu) return ACMERR_NOTPOSSIBLE;
            size.cbSrcLength = uint32_t(blocks * FBlockAlign);
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT Convert(TACMDrvStreamHeader& header) override {
        const uint32_t blockBytes = FSamplesPerBlock * FChannels * 2;
        const uint32_t whole =
            std::min(header.cbSrcLength / FBlockAlign, header.cbDstLength / blockBytes);
        uint32_t srcUsed = 0, dstUsed = 0;
        for (uint32_t b = 0; b < whole; ++b) {
            Decode(header.pbSrc + srcUsed, FSamplesPerBlock, header.pbDst + dstUsed);
            srcUsed += FBlockAlign;
            dstUsed += blockBytes;
        }
        const uint32_t tail = header.cbSrcLength - srcUsed;
        if (!(header.fdwConvert & ACM_STREAMCONVERTF_BLOCKALIGN) && tail > 0 &&
            tail < FBlockAlign) {
            const uint32_t frames = PartialFrames(tail);
            if (frames > 0 && header.cbDstLength - dstUsed >= frames * FChannels * 2) {
                Decode(header.pbSrc + srcUsed, frames, header.pbDst + dstUsed);
                srcUsed += tail;
                dstUsed += frames * FChannels * 2;
            }
        }
        header.cbSrcLengthUsed = srcUsed;
        header.cbDstLengthUsed = dstUsed;
        return MMSYSERR_NOERROR;
    }

  private:
    // Frames a block cut short after `bytes` still holds in full.
    uint32_t PartialFrames(uint32_t bytes) const {
        if (FIma) {
            if (bytes < 4 * FChannels) return 0;
            return std::min(FSamplesPerBlock, 1 + (bytes - 4 * FChannels) / (4 * FChannels) * 8);
        }
        if (bytes < 7 * FChannels) return 0;
        return std::min(FSamplesPerBlock, 2 + (bytes - 7 * FChannels) * 2 / FChannels);
    }

    void Decode(const uint8_t* block, uint32_t frames, uint8_t* out) const {
        if (FIma)
            DecodeImaBlock(block, FChannels, frames, out);
        else
            DecodeMsBlock(block, FChannels, frames, FCoefs, out);
    }

    bool FIma;
    uint32_t FChannels, FBlockAlign, FSamplesPerBlock;
    std::vector<int32_t> FCoefs;
};

// ----- The built-in driver ------------------------------------------------------------------

bool IsPlainPcm(const TWaveFormatEx* f) {
    return f->wFormatTag == WAVE_FORMAT_PCM &&
           (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) && f->nChannels >= 1 &&
           f->nChannels <= 8 && f->nSamplesPerSec > 0 &&
           f->nBlockAlign == f->nChannels * f->wBitsPerSample / 8;
}

// How the built-in driver decodes src, or nothing. The codec is made only when wanted.
bool BuiltInSource(const TWaveFormatEx* src, std::unique_ptr<TCodec>* codec, uint16_t dstBits) {
    const uint32_t channels = src->nChannels;
    if (channels < 1 || channels > 8 || src->nSamplesPerSec == 0) return false;
    const uint32_t dstAlign = channels * dstBits / 8;
    auto frames = [&](TFrameKind kind, uint32_t bits) {
        if (src->wBitsPerSample != bits || src->nBlockAlign != channels * bits / 8) return false;
        const bool toPcm16Only =
            kind == TFrameKind::Float || kind == TFrameKind::ALaw || kind == TFrameKind::MuLaw;
        if (toPcm16Only && dstBits != 16) return false;
        if (codec)
            *codec = std::make_unique<TFrameCodec>(kind, channels, src->nBlockAlign, dstAlign);
        return true;
    };
    switch (src->wFormatTag) {
    case WAVE_FORMAT_PCM:
        if (!IsPlainPcm(src)) return false;
        if (src->wBitsPerSample == dstBits) return frames(TFrameKind::Copy, dstBits);
        return src->wBitsPerSample == 8 ? frames(TFrameKind::Pcm8To16, 8)
                                        : frames(TFrameKind::Pcm16To8, 16);
    case WAVE_FORMAT_IEEE_FLOAT:
        return frames(TFrameKind::Float, 32);
    case WAVE_FORMAT_ALAW:
        return frames(TFrameKind::ALaw, 8);
    case WAVE_FORMAT_MULAW:
        return frames(TFrameKind::MuLaw, 8);
    case WAVE_FORMAT_IMA_ADPCM: {
        if (dstBits != 16 || channels > 2 || src->wBitsPerSample != 4 || src->cbSize < 2)
            return false;
        const uint32_t header = 4 * channels;
        if (src->nBlockAlign <= header || src->nBlockAlign % header != 0) return false;
        const uint32_t samplesPerBlock = U16(ExtraBytes(src));
        if (samplesPerBlock != (src->nBlockAlign - header) * 2 / channels + 1) return false;
        if (codec)
            *codec = std::make_unique<TAdpcmCodec>(true, channels, src->nBlockAlign,
                                                   samplesPerBlock, std::vector<int32_t>{});
        return true;
    }
    case WAVE_FORMAT_ADPCM: {
        if (dstBits != 16 || channels > 2 || src->wBitsPerSample != 4 || src->cbSize < 4)
            return false;
        const uint8_t* extra = ExtraBytes(src);
        const uint32_t samplesPerBlock = U16(extra), coefCount = U16(extra + 2);
        if (coefCount == 0 || src->cbSize < 4 + 4 * coefCount) return false;
        if (src->nBlockAlign < 7 * channels ||
            samplesPerBlock != (src->nBlockAlign - 7 * channels) * 2 / channels + 2)
            return false;
        if (codec) {
            std::vector<int32_t> coefs(2 * coefCount);
            for (uint32_t i = 0; i < 2 * coefCount; ++i)
                coefs[i] = S16(extra + 4 + 2 * i);
            *codec = std::make_unique<TAdpcmCodec>(false, channels, src->nBlockAlign,
                                                   samplesPerBlock, std::move(coefs));
        }
        return true;
    }
    default:
        return false;
    }
}

// MS ADPCM with its seven standard coefficient pairs is the largest format known here.
constexpr uint32_t BuiltInMaxFormatSize = sizeof(TWaveFormatEx) + 4 + 7 * 4;

MMRESULT BuiltInSuggest(const TACMDrvFormatSuggest& s) {
    const TWaveFormatEx* src = s.pwfxSrc;
    TWaveFormatEx* dst = s.pwfxDst;
    const uint32_t fixed = s.fdwSuggest;
    if ((fixed & ACM_FORMATSUGGESTF_WFORMATTAG) && dst->wFormatTag != WAVE_FORMAT_PCM)
        return ACMERR_NOTPOSSIBLE;
    if ((fixed & ACM_FORMATSUGGESTF_NCHANNELS) && dst->nChannels != src->nChannels)
        return ACMERR_NOTPOSSIBLE;
    if ((fixed & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) && dst->nSamplesPerSec != src->nSamplesPerSec)
        return ACMERR_NOTPOSSIBLE;
    const uint16_t bits = (fixed & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) ? dst->wBitsPerSample : 16;
    if (bits != 8 && bits != 16) return ACMERR_NOTPOSSIBLE;
    if (!BuiltInSource(src, nullptr, bits)) return ACMERR_NOTPOSSIBLE;
    dst->wFormatTag = WAVE_FORMAT_PCM;
    dst->nChannels = src->nChannels;
    dst->nSamplesPerSec = src->nSamplesPerSec;
    dst->wBitsPerSample = bits;
    dst->nBlockAlign = static_cast<uint16_t>(src->nChannels * bits / 8);
    dst->nAvgBytesPerSec = dst->nBlockAlign * dst->nSamplesPerSec;
    dst->cbSize = 0;
    return MMSYSERR_NOERROR;
}

MMRESULT BuiltInOpen(const TWaveFormatEx* src, const TWaveFormatEx* dst,
                     std::unique_ptr<TCodec>* codec) {
    if (!IsPlainPcm(dst) || dst->nChannels != src->nChannels ||
        dst->nSamplesPerSec != src->nSamplesPerSec)
        return ACMERR_NOTPOSSIBLE;
    return BuiltInSource(src, codec, dst->wBitsPerSample) ? MMSYSERR_NOERROR : ACMERR_NOTPOSSIBLE;
}

} // namespace

// ----- Registered drivers ---------------------------------------------------------------------

struct TACMDriverIdRec {
    // The driver's code stays loaded until the registry has closed and freed the driver, even
    // when its caller frees the file first or the registry is torn down at exit after it.
    TDynamicLibrary Code;
    const void* Module = nullptr;
    TACMDriverProc Proc = nullptr;
    uint32_t MaxFormatSize = 0;
    int Users = 0; // open instances, each of acmDriverOpen or of a stream ACM chose it for

    intptr_t Send(uintptr_t instance, uint32_t message, const void* p1 = nullptr,
                  const void* p2 = nullptr) const {
        return Proc(instance, message, reinterpret_cast<intptr_t>(p1),
                    reinterpret_cast<intptr_t>(p2));
    }
};

namespace {

// One DRV_OPEN instance of a registered driver, closed with its owner.
class TDriverInstance {
  public:
    static std::unique_ptr<TDriverInstance> Open(TACMDriverIdRec& id) {
        const auto instance = static_cast<uintptr_t>(id.Send(0, DRV_OPEN));
        if (instance == 0) return nullptr;
        return std::make_unique<TDriverInstance>(id, instance);
    }
    TDriverInstance(TACMDriverIdRec& id, uintptr_t instance) : FId(id), FInstance(instance) {
        ++FId.Users;
    }
    ~TDriverInstance() {
        FId.Send(FInstance, DRV_CLOSE);
        --FId.Users;
    }
    TDriverInstance(const TDriverInstance&) = delete;
    TDriverInstance& operator=(const TDriverInstance&) = delete;

    TACMDriverIdRec& Id() const { return FId; }
    uintptr_t Instance() const { return FInstance; }

    MMRESULT Suggest(TACMDrvFormatSuggest& suggest) const {
        return static_cast<MMRESULT>(FId.Send(FInstance, ACMDM_FORMAT_SUGGEST, &suggest));
    }

  private:
    TACMDriverIdRec& FId;
    uintptr_t FInstance;
};

// A stream converted by a registered driver: the formats it was opened with stay alive here.
class TDriverCodec : public TCodec {
  public:
    TDriverCodec(const TDriverInstance& driver, std::vector<uint8_t> src, std::vector<uint8_t> dst,
                 uint32_t flags)
        : FDriver(driver), FSrc(std::move(src)), FDst(std::move(dst)) {
        FInstance = {sizeof(TACMDrvStreamInstance), AsFormat(FSrc), AsFormat(FDst), flags, 0};
    }
    ~TDriverCodec() override {
        if (FOpen) Send(ACMDM_STREAM_CLOSE, nullptr);
    }
    MMRESULT Open() {
        const MMRESULT result = Send(ACMDM_STREAM_OPEN, nullptr);
        FOpen = result == MMSYSERR_NOERROR && !(FInstance.fdwOpen & ACM_STREAMOPENF_QUERY);
        return result;
    }
    MMRESULT Size(TACMDrvStreamSize& size) override { return Send(ACMDM_STREAM_SIZE, &size); }
    MMRESULT Convert(TACMDrvStreamHeader& header) override {
        return Send(ACMDM_STREAM_CONVERT, &header);
    }

  private:
    MMRESULT Send(uint32_t message, const void* p2) {
        return static_cast<MMRESULT>(
            FDriver.Id().Send(FDriver.Instance(), message, &FInstance, p2));
    }
    const TDriverInstance& FDriver;
    std::vector<uint8_t> FSrc, FDst;
    TACMDrvStreamInstance FInstance;
    bool FOpen = false;
};

} // namespace

struct TACMDriverRec {
    std::unique_ptr<TDriverInstance> Instance;
    int Streams = 0;
};

struct TACMStreamRec {
    TACMDriverRec* Driver = nullptr;         // the one given at opening, or none
    std::unique_ptr<TDriverInstance> Chosen; // a registered driver ACM chose itself
    std::unique_ptr<TCodec> Codec;           // declared last: closed before its driver
};

namespace {

// ACM's state for the process. Only the main thread calls in.
struct TRegistry {
    std::vector<std::unique_ptr<TACMDriverIdRec>> Ids; // newest last; asked newest first
    std::vector<std::unique_ptr<TACMDriverRec>> Drivers;
    std::vector<std::unique_ptr<TACMStreamRec>> Streams;
};

TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

template <class T> auto FindIn(std::vector<std::unique_ptr<T>>& list, const void* handle) {
    return std::find_if(list.begin(), list.end(),
                        [handle](const std::unique_ptr<T>& item) { return item.get() == handle; });
}

TACMDriverIdRec* ValidId(const void* handle) {
    auto& ids = Registry().Ids;
    auto it = FindIn(ids, handle);
    return it == ids.end() ? nullptr : it->get();
}

TACMDriverRec* ValidDriver(const void* handle) {
    auto& drivers = Registry().Drivers;
    auto it = FindIn(drivers, handle);
    return it == drivers.end() ? nullptr : it->get();
}

TACMStreamRec* ValidStream(const void* handle) {
    auto& streams = Registry().Streams;
    auto it = FindIn(streams, handle);
    return it == streams.end() ? nullptr : it->get();
}

// The registered drivers in the order ACM asks them: the latest added first.
std::vector<TACMDriverIdRec*> RegisteredNewestFirst() {
    std::vector<TACMDriverIdRec*> ids;
    for (auto it = Registry().Ids.rbegin(); it != Registry().Ids.rend(); ++it)
        ids.push_back(it->get());
    return ids;
}

bool ValidFormat(const TWaveFormatEx* format) {
    return format && format->nChannels > 0 && format->nSamplesPerSec > 0 && format->nBlockAlign > 0;
}

// Asks one instance for a suggestion; dst is written only on success.
MMRESULT SuggestThrough(const TDriverInstance* driver, const TWaveFormatEx* src,
                        TWaveFormatEx& suggestion, uint32_t flags) {
    TACMDrvFormatSuggest s{
        sizeof(TACMDrvFormatSuggest),   flags, src, FormatBytes(src), &suggestion,
        uint32_t(sizeof(TWaveFormatEx))};
    return driver ? driver->Suggest(s) : BuiltInSuggest(s);
}

} // namespace

MMRESULT acmDriverAdd(HACMDRIVERID* driverId, const void* module, TACMDriverProc proc,
                      uint32_t priority, uint32_t flags) {
    if (!driverId || !proc) return MMSYSERR_INVALPARAM;
    if ((flags & ACM_DRIVERADDF_TYPEMASK) != ACM_DRIVERADDF_FUNCTION ||
        (flags & ~ACM_DRIVERADDF_TYPEMASK) != ACM_DRIVERADDF_LOCAL)
        return MMSYSERR_INVALFLAG;
    if (priority != 0) return MMSYSERR_INVALPARAM;
    auto id = std::make_unique<TACMDriverIdRec>();
    id->Code.LoadHolding(reinterpret_cast<const void*>(proc));
    id->Module = module;
    id->Proc = proc;
    if (id->Send(0, DRV_LOAD) == 0) return MMSYSERR_NODRIVER;
    // The details need an open instance, as every message after DRV_LOAD does.
    auto instance = TDriverInstance::Open(*id);
    if (!instance) {
        id->Send(0, DRV_FREE);
        return MMSYSERR_NODRIVER;
    }
    TACMDriverDetails details{};
    details.cbStruct = sizeof(details);
    const auto result =
        static_cast<MMRESULT>(id->Send(instance->Instance(), ACMDM_DRIVER_DETAILS, &details));
    instance.reset();
    if (result != MMSYSERR_NOERROR) {
        id->Send(0, DRV_FREE);
        return result;
    }
    id->MaxFormatSize = std::max<uint32_t>(details.MaxFormatSize, sizeof(TWaveFormatEx));
    *driverId = id.get();
    Registry().Ids.push_back(std::move(id));
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverOpen(HACMDRIVER* driver, HACMDRIVERID driverId, uint32_t flags) {
    if (!driver) return MMSYSERR_INVALPARAM;
    if (flags != 0) return MMSYSERR_INVALFLAG;
    TACMDriverIdRec* id = ValidId(driverId);
    if (!id) return MMSYSERR_INVALHANDLE;
    auto rec = std::make_unique<TACMDriverRec>();
    rec->Instance = TDriverInstance::Open(*id);
    if (!rec->Instance) return MMSYSERR_ERROR;
    *driver = rec.get();
    Registry().Drivers.push_back(std::move(rec));
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverClose(HACMDRIVER driver, uint32_t flags) {
    if (flags != 0) return MMSYSERR_INVALFLAG;
    auto& drivers = Registry().Drivers;
    auto it = FindIn(drivers, driver);
    if (it == drivers.end()) return MMSYSERR_INVALHANDLE;
    if ((*it)->Streams > 0) return ACMERR_BUSY;
    drivers.erase(it);
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverRemove(HACMDRIVERID driverId, uint32_t flags) {
    if (flags != 0) return MMSYSERR_INVALFLAG;
    auto& ids = Registry().Ids;
    auto it = FindIn(ids, driverId);
    if (it == ids.end()) return MMSYSERR_INVALHANDLE;
    if ((*it)->Users > 0) return ACMERR_BUSY;
    (*it)->Send(0, DRV_FREE);
    ids.erase(it);
    return MMSYSERR_NOERROR;
}

MMRESULT acmMetrics(HACMOBJ object, uint32_t metric, void* value) {
    if (!value) return MMSYSERR_INVALPARAM;
    if (metric != ACM_METRIC_MAX_SIZE_FORMAT) return MMSYSERR_NOTSUPPORTED;
    uint32_t size = 0;
    if (!object) {
        size = BuiltInMaxFormatSize;
        for (const auto& id : Registry().Ids)
            size = std::max(size, id->MaxFormatSize);
    } else if (TACMDriverRec* driver = ValidDriver(object)) {
        size = driver->Instance->Id().MaxFormatSize;
    } else if (TACMDriverIdRec* id = ValidId(object)) {
        size = id->MaxFormatSize;
    } else {
        return MMSYSERR_INVALHANDLE;
    }
    std::memcpy(value, &size, sizeof(size));
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER driver, const TWaveFormatEx* src, TWaveFormatEx* dst,
                          uint32_t dstSize, uint32_t fdwSuggest) {
    if (!src || !dst || dstSize < PcmFormatSize) return MMSYSERR_INVALPARAM;
    if (fdwSuggest & ~ACM_FORMATSUGGESTF_TYPEMASK) return MMSYSERR_INVALFLAG;
    TACMDriverRec* given = nullptr;
    if (driver && !(given = ValidDriver(driver))) return MMSYSERR_INVALHANDLE;

    // Work on a full record so a 16-byte destination is never written past its end.
    TWaveFormatEx suggestion{};
    std::memcpy(&suggestion, dst, std::min<size_t>(dstSize, sizeof(suggestion)));
    MMRESULT result = ACMERR_NOTPOSSIBLE;
    if (given) {
        result = SuggestThrough(given->Instance.get(), src, suggestion, fdwSuggest);
    } else {
        for (TACMDriverIdRec* id : RegisteredNewestFirst()) {
            auto instance = TDriverInstance::Open(*id);
            if (instance) result = SuggestThrough(instance.get(), src, suggestion, fdwSuggest);
            if (result == MMSYSERR_NOERROR) break;
        }
        if (result != MMSYSERR_NOERROR)
            result = SuggestThrough(nullptr, src, suggestion, fdwSuggest);
    }
    if (result != MMSYSERR_NOERROR) return result;
    std::memcpy(dst, &suggestion, std::min<size_t>(dstSize, sizeof(suggestion)));
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER driver, const TWaveFormatEx* src,
                       const TWaveFormatEx* dst, const void* filter, uintptr_t callback,
                       uintptr_t instance, uint32_t flags) {
    (void)callback;
    (void)instance;
    if (flags & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC | ACM_STREAMOPENF_NONREALTIME))
        return MMSYSERR_INVALFLAG;
    if ((flags & ACM_STREAMOPENF_ASYNC) || filter) return MMSYSERR_NOTSUPPORTED;
    const bool query = flags & ACM_STREAMOPENF_QUERY;
    if (!ValidFormat(src) || !ValidFormat(dst) || (!stream && !query)) return MMSYSERR_INVALPARAM;
    TACMDriverRec* given = nullptr;
    if (driver && !(given = ValidDriver(driver))) return MMSYSERR_INVALHANDLE;

    auto rec = std::make_unique<TACMStreamRec>();
    auto tryDriver = [&](const TDriverInstance& through) {
        auto codec =
            std::make_unique<TDriverCodec>(through, CopyFormat(src), CopyFormat(dst), flags);
        const MMRESULT result = codec->Open();
        if (result == MMSYSERR_NOERROR) rec->Codec = std::move(codec);
        return result;
    };
    MMRESULT result = ACMERR_NOTPOSSIBLE;
    if (given) {
        result = tryDriver(*given->Instance);
    } else {
        for (TACMDriverIdRec* id : RegisteredNewestFirst()) {
            auto chosen = TDriverInstance::Open(*id);
            if (chosen) result = tryDriver(*chosen);
            if (result == MMSYSERR_NOERROR) {
                rec->Chosen = std::move(chosen);
                break;
            }
        }
        if (result != MMSYSERR_NOERROR) result = BuiltInOpen(src, dst, &rec->Codec);
    }
    if (result != MMSYSERR_NOERROR || query) return result;
    rec->Driver = given;
    if (given) ++given->Streams;
    *stream = rec.get();
    Registry().Streams.push_back(std::move(rec));
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM stream, uint32_t flags) {
    if (flags != 0) return MMSYSERR_INVALFLAG;
    auto& streams = Registry().Streams;
    auto it = FindIn(streams, stream);
    if (it == streams.end()) return MMSYSERR_INVALHANDLE;
    if ((*it)->Driver) --(*it)->Driver->Streams;
    streams.erase(it);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM stream, uint32_t input, uint32_t* output, uint32_t flags) {
    TACMStreamRec* rec = ValidStream(stream);
    if (!rec) return MMSYSERR_INVALHANDLE;
    if (!output) return MMSYSERR_INVALPARAM;
    const uint32_t direction = flags & ACM_STREAMSIZEF_QUERYMASK;
    if (flags != direction ||
        (direction != ACM_STREAMSIZEF_SOURCE && direction != ACM_STREAMSIZEF_DESTINATION))
        return MMSYSERR_INVALFLAG;
    TACMDrvStreamSize size{sizeof(TACMDrvStreamSize), direction, 0, 0};
    (direction == ACM_STREAMSIZEF_SOURCE ? size.cbSrcLength : size.cbDstLength) = input;
    const MMRESULT result = rec->Codec->Size(size);
    if (result != MMSYSERR_NOERROR) return result;
    *output = direction == ACM_STREAMSIZEF_SOURCE ? size.cbDstLength : size.cbSrcLength;
    return MMSYSERR_NOERROR;
}

namespace {

// What preparing recorded, kept in the header's reserved words.
enum { RsvStream, RsvSrc, RsvSrcLength, RsvDst, RsvDstLength };

bool PreparedFor(const TACMStreamHeader& header, HACMSTREAM stream) {
    return header.dwReservedDriver[RsvStream] == reinterpret_cast<uintptr_t>(stream) &&
           header.dwReservedDriver[RsvSrc] == reinterpret_cast<uintptr_t>(header.pbSrc) &&
           header.dwReservedDriver[RsvDst] == reinterpret_cast<uintptr_t>(header.pbDst);
}

} // namespace

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, TACMStreamHeader* header, uint32_t flags) {
    if (!ValidStream(stream)) return MMSYSERR_INVALHANDLE;
    if (flags != 0) return MMSYSERR_INVALFLAG;
    if (!header || header->cbStruct < sizeof(TACMStreamHeader) || !header->pbSrc || !header->pbDst)
        return MMSYSERR_INVALPARAM;
    header->dwReservedDriver[RsvStream] = reinterpret_cast<uintptr_t>(stream);
    header->dwReservedDriver[RsvSrc] = reinterpret_cast<uintptr_t>(header->pbSrc);
    header->dwReservedDriver[RsvSrcLength] = header->cbSrcLength;
    header->dwReservedDriver[RsvDst] = reinterpret_cast<uintptr_t>(header->pbDst);
    header->dwReservedDriver[RsvDstLength] = header->cbDstLength;
    header->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, TACMStreamHeader* header, uint32_t flags) {
    TACMStreamRec* rec = ValidStream(stream);
    if (!rec) return MMSYSERR_INVALHANDLE;
    if (flags &
        ~(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END))
        return MMSYSERR_INVALFLAG;
    if (!header || header->cbStruct < sizeof(TACMStreamHeader)) return MMSYSERR_INVALPARAM;
    if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
    if (!PreparedFor(*header, stream) ||
        header->cbSrcLength > header->dwReservedDriver[RsvSrcLength] ||
        header->cbDstLength > header->dwReservedDriver[RsvDstLength])
        return MMSYSERR_INVALPARAM;
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    TACMDrvStreamHeader work{sizeof(TACMDrvStreamHeader), flags, header->pbSrc,
                             header->cbSrcLength,         0,     header->pbDst,
                             header->cbDstLength,         0};
    const MMRESULT result = rec->Codec->Convert(work);
    if (result != MMSYSERR_NOERROR) return result;
    header->cbSrcLengthUsed = std::min(work.cbSrcLengthUsed, header->cbSrcLength);
    header->cbDstLengthUsed = std::min(work.cbDstLengthUsed, header->cbDstLength);
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, TACMStreamHeader* header, uint32_t flags) {
    if (!ValidStream(stream)) return MMSYSERR_INVALHANDLE;
    if (flags != 0) return MMSYSERR_INVALFLAG;
    if (!header || header->cbStruct < sizeof(TACMStreamHeader)) return MMSYSERR_INVALPARAM;
    if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
    // The lengths must be the prepared ones again, as the system's ACM demands.
    if (!PreparedFor(*header, stream) ||
        header->cbSrcLength != header->dwReservedDriver[RsvSrcLength] ||
        header->cbDstLength != header->dwReservedDriver[RsvDstLength])
        return MMSYSERR_INVALPARAM;
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    for (uintptr_t& word : header->dwReservedDriver)
        word = 0;
    return MMSYSERR_NOERROR;
}
