#include "platform/acm.h"
#include "platform/dl.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// A format record with its extra bytes, as a file's "fmt " chunk would hold it.
std::vector<uint8_t> Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign,
                            uint16_t bits, std::vector<uint8_t> extra = {}) {
    TWaveFormatEx f{tag, channels, rate, 0, blockAlign, bits, uint16_t(extra.size())};
    f.nAvgBytesPerSec = tag == WAVE_FORMAT_PCM ? rate * blockAlign : rate * blockAlign / 2;
    std::vector<uint8_t> bytes(sizeof(f) + extra.size());
    std::memcpy(bytes.data(), &f, sizeof(f));
    std::copy(extra.begin(), extra.end(), bytes.begin() + sizeof(f));
    return bytes;
}

const TWaveFormatEx* F(const std::vector<uint8_t>& bytes) {
    return reinterpret_cast<const TWaveFormatEx*>(bytes.data());
}

void Put16(std::vector<uint8_t>& out, int32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

int16_t Get16(const std::vector<uint8_t>& bytes, size_t sample) {
    return int16_t(bytes[2 * sample] | bytes[2 * sample + 1] << 8);
}

std::vector<int16_t> AsSamples(const std::vector<uint8_t>& bytes, size_t count) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = Get16(bytes, i);
    return samples;
}

TWaveFormatEx SuggestPcm(const std::vector<uint8_t>& src, MMRESULT& result) {
    TWaveFormatEx dst{};
    dst.wFormatTag = WAVE_FORMAT_PCM;
    result = acmFormatSuggest(nullptr, F(src), &dst, sizeof(dst), ACM_FORMATSUGGESTF_WFORMATTAG);
    return dst;
}

// Opens a stream to the suggested PCM format, converts src in one go and closes again.
struct TConversion {
    MMRESULT Result = MMSYSERR_ERROR;
    std::vector<uint8_t> Out;
    uint32_t SrcUsed = 0;
};

TConversion ConvertAll(const std::vector<uint8_t>& format, std::vector<uint8_t> src, uint32_t flags,
                       HACMDRIVER driver = nullptr) {
    TConversion conversion;
    MMRESULT result;
    TWaveFormatEx pcm = SuggestPcm(format, result);
    EXPECT_EQ(result, MMSYSERR_NOERROR);
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(acmStreamOpen(&stream, driver, F(format), &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    if (!stream) return conversion;
    uint32_t dstLength = 0;
    EXPECT_EQ(acmStreamSize(stream, uint32_t(src.size()), &dstLength, ACM_STREAMSIZEF_SOURCE),
              MMSYSERR_NOERROR);
    conversion.Out.assign(dstLength, 0xEE);
    TACMStreamHeader header;
    header.pbSrc = src.data();
    header.cbSrcLength = uint32_t(src.size());
    header.pbDst = conversion.Out.data();
    header.cbDstLength = dstLength;
    EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    conversion.Result = acmStreamConvert(stream, &header, flags);
    conversion.Out.resize(header.cbDstLengthUsed);
    conversion.SrcUsed = header.cbSrcLengthUsed;
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    return conversion;
}

// A test signal: two tones, loud enough to make the ADPCM step sizes travel.
std::vector<int16_t> Signal(size_t count, double phase = 0) {
    std::vector<int16_t> s(count);
    for (size_t n = 0; n < count; ++n)
        s[n] = int16_t(
            std::lround(14000 * std::sin(0.07 * n + phase) + 6000 * std::sin(0.9 * n + 2 * phase)));
    return s;
}

// Root mean square of the decoding error against that of the signal.
double RelativeError(const std::vector<int16_t>& input, const std::vector<uint8_t>& decoded) {
    double error = 0, signal = 0;
    for (size_t i = 0; i < input.size(); ++i) {
        const double e = double(Get16(decoded, i)) - input[i];
        error += e * e;
        signal += double(input[i]) * input[i];
    }
    return std::sqrt(error / signal);
}

// ----- IMA ADPCM as its encoder sees it ----------------------------------------------------

const int ImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Encodes frames (interleaved) into IMA blocks and records what a decoder must give back.
struct TImaEncoded {
    std::vector<uint8_t> Bytes;
    std::vector<int16_t> Decoded;
};

TImaEncoded EncodeIma(const std::vector<int16_t>& in, int channels, int blockAlign, int blocks) {
    const int samplesPerBlock = (blockAlign - 4 * channels) * 2 / channels + 1;
    TImaEncoded out;
    for (int b = 0; b < blocks; ++b) {
        const size_t first = size_t(b) * samplesPerBlock;
        int predictor[2], index[2];
        std::vector<std::vector<int>> nibbles(channels);
        for (int ch = 0; ch < channels; ++ch) {
            predictor[ch] = in[first * channels + ch];
            index[ch] = (b * 23 + ch * 40) % 89; // start each block elsewhere on the table
            Put16(out.Bytes, predictor[ch]);
            out.Bytes.push_back(uint8_t(index[ch]));
            out.Bytes.push_back(0);
        }
        for (int ch = 0; ch < channels; ++ch)
            out.Decoded.push_back(int16_t(predictor[ch]));
        for (int i = 1; i < samplesPerBlock; ++i) {
            for (int ch = 0; ch < channels; ++ch) {
                int step = ImaSteps[index[ch]];
                int diff = in[(first + i) * channels + ch] - predictor[ch];
                int nibble = 0;
                if (diff < 0) {
                    nibble = 8;
                    diff = -diff;
                }
                int change = step / 8;
                for (int bit = 4; bit >= 1; bit /= 2, step /= 2) {
                    if (diff >= step) {
                        nibble |= bit;
                        diff -= step;
                        change += step;
                    }
                }
                predictor[ch] += (nibble & 8) ? -change : change;
                predictor[ch] = std::max(-32768, std::min(32767, predictor[ch]));
                const int moves[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
                index[ch] = std::max(0, std::min(88, index[ch] + moves[nibble & 7]));
                nibbles[ch].push_back(nibble);
                out.Decoded.push_back(int16_t(predictor[ch]));
            }
        }
        // Per channel, four bytes of eight samples in turn, the earlier sample in the low half.
        for (int group = 0; group < (samplesPerBlock - 1) / 8; ++group)
            for (int ch = 0; ch < channels; ++ch)
                for (int k = 0; k < 4; ++k)
                    out.Bytes.push_back(uint8_t(nibbles[ch][group * 8 + 2 * k] |
                                                nibbles[ch][group * 8 + 2 * k + 1] << 4));
    }
    return out;
}

std::vector<uint8_t> ImaFormat(uint16_t channels, uint16_t blockAlign) {
    const int samplesPerBlock = (blockAlign - 4 * channels) * 2 / channels + 1;
    return Format(WAVE_FORMAT_IMA_ADPCM, channels, 22050, blockAlign, 4,
                  {uint8_t(samplesPerBlock), uint8_t(samplesPerBlock >> 8)});
}

// ----- MS ADPCM as its encoder sees it -----------------------------------------------------

const int MsStandardCoefs[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                   {240, 0}, {460, -208}, {392, -232}};

std::vector<uint8_t> MsFormat(uint16_t channels, uint16_t blockAlign,
                              const std::vector<std::array<int, 2>>& coefs) {
    const int samplesPerBlock = (blockAlign - 7 * channels) * 2 / channels + 2;
    std::vector<uint8_t> extra;
    Put16(extra, samplesPerBlock);
    Put16(extra, int(coefs.size()));
    for (const auto& c : coefs) {
        Put16(extra, c[0]);
        Put16(extra, c[1]);
    }
    return Format(WAVE_FORMAT_ADPCM, channels, 22050, blockAlign, 4, extra);
}

struct TMsEncoded {
    std::vector<uint8_t> Bytes;
    std::vector<int16_t> Decoded;
};

TMsEncoded EncodeMs(const std::vector<int16_t>& in, int channels, int blockAlign, int blocks,
                    const std::vector<std::array<int, 2>>& coefs) {
    const int samplesPerBlock = (blockAlign - 7 * channels) * 2 / channels + 2;
    const int adapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                           768, 614, 512, 409, 307, 230, 230, 230};
    TMsEncoded out;
    for (int b = 0; b < blocks; ++b) {
        const size_t first = size_t(b) * samplesPerBlock;
        int predictor[2], delta[2], sample1[2], sample2[2];
        for (int ch = 0; ch < channels; ++ch) {
            predictor[ch] = (b + ch) % int(coefs.size());
            delta[ch] = 20 + 30 * b;
            sample2[ch] = in[first * channels + ch];
            sample1[ch] = in[(first + 1) * channels + ch];
        }
        for (int ch = 0; ch < channels; ++ch)
            out.Bytes.push_back(uint8_t(predictor[ch]));
        for (int ch = 0; ch < channels; ++ch)
            Put16(out.Bytes, delta[ch]);
        for (int ch = 0; ch < channels; ++ch)
            Put16(out.Bytes, sample1[ch]);
        for (int ch = 0; ch < channels; ++ch)
            Put16(out.Bytes, sample2[ch]);
        for (int ch = 0; ch < channels; ++ch)
            out.Decoded.push_back(int16_t(sample2[ch]));
        for (int ch = 0; ch < channels; ++ch)
            out.Decoded.push_back(int16_t(sample1[ch]));
        std::vector<int> codes;
        for (int i = 2; i < samplesPerBlock; ++i) {
            for (int ch = 0; ch < channels; ++ch) {
                const auto& c = coefs[predictor[ch]];
                // The reference predictor: the exact quotient, truncated towards zero.
                const long product = long(sample1[ch]) * c[0] + long(sample2[ch]) * c[1];
                const int predicted = int(std::trunc(double(product) / 256.0));
                const int error = in[(first + i) * channels + ch] - predicted;
                int code = int(std::lround(double(error) / delta[ch]));
                code = std::max(-8, std::min(7, code));
                const int value = std::max(-32768, std::min(32767, predicted + code * delta[ch]));
                sample2[ch] = sample1[ch];
                sample1[ch] = value;
                delta[ch] =
                    std::max(16, int(std::trunc(adapt[code & 15] * double(delta[ch]) / 256)));
                codes.push_back(code & 15);
                out.Decoded.push_back(int16_t(value));
            }
        }
        for (size_t j = 0; j < codes.size(); j += 2)
            out.Bytes.push_back(uint8_t(codes[j] << 4 | (j + 1 < codes.size() ? codes[j + 1] : 0)));
        while (out.Bytes.size() < size_t(b + 1) * blockAlign)
            out.Bytes.push_back(0);
    }
    return out;
}

std::vector<std::array<int, 2>> StandardCoefs() {
    std::vector<std::array<int, 2>> coefs;
    for (const auto& c : MsStandardCoefs)
        coefs.push_back({c[0], c[1]});
    return coefs;
}

// ----- Tests -------------------------------------------------------------------------------

TEST(Acm, LargestFormatIsMsAdpcmWithItsSevenCoefficients) {
    uint32_t size = 0;
    ASSERT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 18u + 4u + 7u * 4u);
    EXPECT_EQ(acmMetrics(nullptr, 1234, &size), MMSYSERR_NOTSUPPORTED);
    int bogus = 0;
    EXPECT_EQ(acmMetrics(&bogus, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_INVALHANDLE);
}

TEST(Acm, SuggestsSixteenBitPcmOfTheSameShapeForEveryBuiltInDecoder) {
    const std::vector<std::vector<uint8_t>> formats = {
        Format(WAVE_FORMAT_IEEE_FLOAT, 2, 48000, 8, 32),
        Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8),
        Format(WAVE_FORMAT_MULAW, 2, 8000, 2, 8),
        ImaFormat(2, 512),
        MsFormat(1, 256, StandardCoefs()),
        Format(WAVE_FORMAT_PCM, 1, 11025, 1, 8)};
    for (const auto& src : formats) {
        MMRESULT result;
        const TWaveFormatEx pcm = SuggestPcm(src, result);
        ASSERT_EQ(result, MMSYSERR_NOERROR) << "tag " << F(src)->wFormatTag;
        EXPECT_EQ(pcm.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(pcm.nChannels, F(src)->nChannels);
        EXPECT_EQ(pcm.nSamplesPerSec, F(src)->nSamplesPerSec);
        EXPECT_EQ(pcm.wBitsPerSample, 16);
        EXPECT_EQ(pcm.nBlockAlign, 2 * F(src)->nChannels);
        EXPECT_EQ(pcm.nAvgBytesPerSec, pcm.nBlockAlign * pcm.nSamplesPerSec);
        EXPECT_EQ(pcm.cbSize, 0);
    }
}

TEST(Acm, FormatNobodyDecodesCannotBeSuggested) {
    const auto gsm = Format(WAVE_FORMAT_GSM610, 1, 8000, 65, 0, {0x40, 0x01});
    MMRESULT result;
    SuggestPcm(gsm, result);
    EXPECT_EQ(result, ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(result, 512u);
    HACMSTREAM stream = nullptr;
    TWaveFormatEx pcm{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, F(gsm), &pcm, nullptr, 0, 0, 0), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(stream, nullptr);
}

TEST(Acm, SuggestionHonoursWhatTheCallerFixed) {
    const auto pcm16 = Format(WAVE_FORMAT_PCM, 2, 44100, 4, 16);
    TWaveFormatEx dst{};
    dst.wFormatTag = WAVE_FORMAT_ALAW;
    EXPECT_EQ(acmFormatSuggest(nullptr, F(pcm16), &dst, sizeof(dst), ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
    dst = {};
    dst.wBitsPerSample = 8;
    ASSERT_EQ(
        acmFormatSuggest(nullptr, F(pcm16), &dst, sizeof(dst), ACM_FORMATSUGGESTF_WBITSPERSAMPLE),
        MMSYSERR_NOERROR);
    EXPECT_EQ(dst.wBitsPerSample, 8);
    EXPECT_EQ(dst.nBlockAlign, 2);
    dst = {};
    dst.nSamplesPerSec = 22050;
    EXPECT_EQ(
        acmFormatSuggest(nullptr, F(pcm16), &dst, sizeof(dst), ACM_FORMATSUGGESTF_NSAMPLESPERSEC),
        ACMERR_NOTPOSSIBLE);
    // Compressed sources only decode to 16 bits.
    dst = {};
    dst.wBitsPerSample = 8;
    EXPECT_EQ(acmFormatSuggest(nullptr, F(Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8)), &dst,
                               sizeof(dst), ACM_FORMATSUGGESTF_WBITSPERSAMPLE),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmFormatSuggest(nullptr, F(pcm16), &dst, sizeof(dst), 0x1), MMSYSERR_INVALFLAG);
}

TEST(Acm, SuggestionIntoASixteenByteRecordStaysInside) {
    const auto alaw = Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8);
    std::vector<uint8_t> room(20, 0xAB);
    ASSERT_EQ(
        acmFormatSuggest(nullptr, F(alaw), reinterpret_cast<TWaveFormatEx*>(room.data()), 16, 0),
        MMSYSERR_NOERROR);
    EXPECT_EQ(room[0], WAVE_FORMAT_PCM);
    EXPECT_EQ(room[14], 16); // wBitsPerSample
    for (size_t i = 16; i < room.size(); ++i)
        EXPECT_EQ(room[i], 0xAB) << i;
}

TEST(Acm, ALawDecodesEveryCodeAsTheG711Segments) {
    std::vector<uint8_t> codes(256);
    for (int i = 0; i < 256; ++i)
        codes[i] = uint8_t(i);
    const auto format = Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8);
    const TConversion c = ConvertAll(format, codes, 0);
    ASSERT_EQ(c.Result, MMSYSERR_NOERROR);
    ASSERT_EQ(c.Out.size(), 512u);
    for (int code = 0; code < 256; ++code) {
        const int a = code ^ 0x55;
        const int exponent = (a >> 4) & 7, mantissa = a & 15;
        const int magnitude =
            exponent == 0 ? (2 * mantissa + 1) * 8 : (2 * mantissa + 33) << (exponent + 2);
        EXPECT_EQ(Get16(c.Out, code), (a & 0x80) ? magnitude : -magnitude) << code;
    }
    EXPECT_EQ(Get16(c.Out, 0xD5), 8) << "the smallest positive step";
    EXPECT_EQ(Get16(c.Out, 0xAA), 32256) << "the largest";
}

TEST(Acm, MuLawDecodesEveryCodeAsTheG711Segments) {
    std::vector<uint8_t> codes(512);
    for (int i = 0; i < 512; ++i)
        codes[i] = uint8_t(i & 0xFF); // stereo: 256 frames
    const auto format = Format(WAVE_FORMAT_MULAW, 2, 8000, 2, 8);
    const TConversion c = ConvertAll(format, codes, 0);
    ASSERT_EQ(c.Result, MMSYSERR_NOERROR);
    ASSERT_EQ(c.Out.size(), 1024u);
    for (int i = 0; i < 512; ++i) {
        const int u = ~i & 0xFF;
        const int exponent = (u >> 4) & 7, mantissa = u & 15;
        const int magnitude = (((2 * mantissa + 33) << exponent) - 33) * 4;
        EXPECT_EQ(Get16(c.Out, i), (u & 0x80) ? -magnitude : magnitude) << i;
    }
    EXPECT_EQ(Get16(c.Out, 0xFF), 0);
    EXPECT_EQ(Get16(c.Out, 0x00), -32124);
}

TEST(Acm, FloatScalesByTwoToTheFifteenRoundsAndSaturates) {
    const float values[] = {0.0f,
                            -0.0f,
                            0.5f,
                            -0.5f,
                            1.0f,
                            -1.0f,
                            1.5f,
                            -7.0f,
                            1e30f,
                            -1e30f,
                            0.25f / 32768,
                            0.5f / 32768,
                            -0.5f / 32768,
                            1.5f / 32768,
                            0.123456f,
                            -0.987654f,
                            1e-40f,
                            3.0f / 65536,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
    const size_t count = sizeof(values) / sizeof(values[0]);
    std::vector<uint8_t> bytes(count * 4);
    std::memcpy(bytes.data(), values, bytes.size());
    const TConversion c = ConvertAll(Format(WAVE_FORMAT_IEEE_FLOAT, 1, 44100, 4, 32), bytes, 0);
    ASSERT_EQ(c.Result, MMSYSERR_NOERROR);
    ASSERT_EQ(c.Out.size(), count * 2);
    for (size_t i = 0; i < count; ++i) {
        const double x = values[i];
        long expected = std::isnan(x)   ? 0
                        : std::isinf(x) ? (x > 0 ? 32767 : -32768)
                                        : std::lround(std::clamp(x, -2.0, 2.0) * 32768);
        expected = std::clamp(expected, -32768L, 32767L);
        EXPECT_EQ(Get16(c.Out, i), expected) << "value " << x;
    }
}

TEST(Acm, PcmConvertsBetweenEightAndSixteenBits) {
    const std::vector<uint8_t> eight = {0, 1, 127, 128, 129, 255};
    const auto format8 = Format(WAVE_FORMAT_PCM, 1, 8000, 1, 8);
    const TConversion up = ConvertAll(format8, eight, 0);
    ASSERT_EQ(up.Result, MMSYSERR_NOERROR);
    for (size_t i = 0; i < eight.size(); ++i)
        EXPECT_EQ(Get16(up.Out, i), (eight[i] - 128) * 256);

    const auto format16 = Format(WAVE_FORMAT_PCM, 1, 8000, 2, 16);
    TWaveFormatEx to8 = *F(format8);
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, F(format16), &to8, nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    std::vector<uint8_t> src;
    for (int v : {-32768, -256, -1, 0, 255, 256, 32767})
        Put16(src, v);
    std::vector<uint8_t> dst(7, 0);
    TACMStreamHeader header;
    header.pbSrc = src.data();
    header.cbSrcLength = uint32_t(src.size());
    header.pbDst = dst.data();
    header.cbDstLength = uint32_t(dst.size());
    ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamConvert(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(dst, (std::vector<uint8_t>{0, 127, 127, 128, 128, 129, 255}));
    EXPECT_EQ(header.cbSrcLengthUsed, 14u);
    EXPECT_EQ(header.cbDstLengthUsed, 7u);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
}

TEST(Acm, ImaAdpcmMonoDecodesWhatTheEncoderReconstructed) {
    const auto input = Signal(505 * 3);
    const TImaEncoded encoded = EncodeIma(input, 1, 256, 3);
    ASSERT_EQ(encoded.Bytes.size(), 3u * 256);
    const TConversion c =
        ConvertAll(ImaFormat(1, 256), encoded.Bytes, ACM_STREAMCONVERTF_BLOCKALIGN);
    ASSERT_EQ(c.Result, MMSYSERR_NOERROR);
    ASSERT_EQ(c.Out.size(), encoded.Decoded.size() * 2);
    EXPECT_EQ(AsSamples(c.Out, encoded.Decoded.size()), encoded.Decoded);
    // And the codec really follows the signal.
    EXPECT_LT(RelativeError(input, c.Out), 0.1);
}

TEST(Acm, ImaAdpcmStereoInterleavesFourBytesPerChannel) {
    const auto input = Signal(505 * 2 * 2);
    const TImaEncoded encoded = EncodeIma(input, 2, 512, 2);
    const TConversion c =
        ConvertAll(ImaFormat(2, 512), encoded.Bytes, ACM_STREAMCONVERTF_BLOCKALIGN);
    ASSERT_EQ(c.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(AsSamples(c.Out, c.Out.size() / 2), encoded.Decoded);
}

TEST(Acm, BlockAlignLeavesAPartialBlockForLaterWithoutItThePartIsDecoded) {
    const auto input = Signal(505 * 3);
    TImaEncoded encoded = EncodeIma(input, 1, 256, 3);
    // Two blocks and the header plus ten whole groups and three bytes of the third.
    const uint32_t tail = 4 + 4 * 10 + 3;
    encoded.Bytes.resize(2 * 256 + tail);

    const TConversion aligned =
        ConvertAll(ImaFormat(1, 256), encoded.Bytes, ACM_STREAMCONVERTF_BLOCKALIGN);
    ASSERT_EQ(aligned.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(aligned.SrcUsed, 512u);
    EXPECT_EQ(aligned.Out.size(), 2u * 505 * 2);

    const TConversion whole = ConvertAll(ImaFormat(1, 256), encoded.Bytes, 0);
    ASSERT_EQ(whole.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(whole.SrcUsed, 512u + tail);
    const size_t frames = 2 * 505 + 1 + 80;
    ASSERT_EQ(whole.Out.size(), frames * 2);
    EXPECT_EQ(AsSamples(whole.Out, frames),
              std::vector<int16_t>(encoded.Decoded.begin(), encoded.Decoded.begin() + frames));
}

TEST(Acm, MsAdpcmDecodesWithTheStandardCoefficients) {
    for (uint16_t channels : {1, 2}) {
        const uint16_t blockAlign = channels == 1 ? 256 : 512;
        const auto input = Signal(500 * 4 * channels, channels);
        const TMsEncoded encoded = EncodeMs(input, channels, blockAlign, 4, StandardCoefs());
        ASSERT_EQ(encoded.Bytes.size(), 4u * blockAlign);
        const TConversion c = ConvertAll(MsFormat(channels, blockAlign, StandardCoefs()),
                                         encoded.Bytes, ACM_STREAMCONVERTF_BLOCKALIGN);
        ASSERT_EQ(c.Result, MMSYSERR_NOERROR);
        ASSERT_EQ(c.Out.size(), encoded.Decoded.size() * 2) << channels;
        EXPECT_EQ(AsSamples(c.Out, encoded.Decoded.size()), encoded.Decoded) << channels;
        // Loose: the encoder takes each predictor in turn, not the best one.
        EXPECT_LT(RelativeError(input, c.Out), 0.25) << channels;
    }
}

TEST(Acm, MsAdpcmTakesItsCoefficientsFromTheFormat) {
    // Predictors in another order and one of our own: decoding with the standard table would
    // give other samples.
    std::vector<std::array<int, 2>> coefs = {{460, -208}, {300, -100}, {0, 0}, {512, -256}};
    const auto input = Signal(500 * 4);
    const TMsEncoded encoded = EncodeMs(input, 1, 256, 4, coefs);
    const TConversion c =
        ConvertAll(MsFormat(1, 256, coefs), encoded.Bytes, ACM_STREAMCONVERTF_BLOCKALIGN);
    ASSERT_EQ(c.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(AsSamples(c.Out, c.Out.size() / 2), encoded.Decoded);
}

TEST(Acm, StreamSizesCountWholeBlocksBothWays) {
    const auto ima = ImaFormat(1, 256);
    TWaveFormatEx pcm{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, F(ima), &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    uint32_t size = 0;
    ASSERT_EQ(acmStreamSize(stream, 256, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 1010u);
    ASSERT_EQ(acmStreamSize(stream, 1010, &size, ACM_STREAMSIZEF_DESTINATION), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 256u);
    ASSERT_EQ(acmStreamSize(stream, 3 * 1010 + 1009, &size, ACM_STREAMSIZEF_DESTINATION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(size, 3u * 256);
    EXPECT_EQ(acmStreamSize(stream, 1009, &size, ACM_STREAMSIZEF_DESTINATION), ACMERR_NOTPOSSIBLE);
    ASSERT_EQ(acmStreamSize(stream, 300, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 2u * 1010) << "a partial block may still give samples";
    EXPECT_EQ(acmStreamSize(stream, 256, &size, 7), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);

    const auto alaw = Format(WAVE_FORMAT_ALAW, 2, 8000, 2, 8);
    TWaveFormatEx pcm2{WAVE_FORMAT_PCM, 2, 8000, 32000, 4, 16, 0};
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, F(alaw), &pcm2, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamSize(stream, 101, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 200u);
    ASSERT_EQ(acmStreamSize(stream, 203, &size, ACM_STREAMSIZEF_DESTINATION), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(acmStreamSize(stream, 1, &size, ACM_STREAMSIZEF_SOURCE), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_INVALHANDLE);
}

TEST(Acm, StreamsOnlyOpenForMatchingPcmAndSynchronously) {
    const auto alaw = Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8);
    TWaveFormatEx pcm{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, F(alaw), &pcm, nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
              MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, F(alaw), &pcm, nullptr, 0, 0, 0),
              MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, F(alaw), &pcm, nullptr, 0, 0, ACM_STREAMOPENF_ASYNC),
              MMSYSERR_NOTSUPPORTED);
    TWaveFormatEx otherRate = pcm;
    otherRate.nSamplesPerSec = 11025;
    otherRate.nAvgBytesPerSec = 22050;
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, F(alaw), &otherRate, nullptr, 0, 0, 0),
              ACMERR_NOTPOSSIBLE);
    TWaveFormatEx mono8{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, F(alaw), &mono8, nullptr, 0, 0, 0),
              ACMERR_NOTPOSSIBLE);
    auto badIma = ImaFormat(1, 256);
    badIma[18] = 7; // samples per block that do not fit the block
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, F(badIma), &pcm, nullptr, 0, 0, 0),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(stream, nullptr);
}

TEST(Acm, HeadersMustBePreparedAndGivenBackAsPrepared) {
    const auto alaw = Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8);
    TWaveFormatEx pcm{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, F(alaw), &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    std::vector<uint8_t> src(100, 0xD5), dst(200);
    TACMStreamHeader header;
    header.pbSrc = src.data();
    header.cbSrcLength = 100;
    header.pbDst = dst.data();
    header.cbDstLength = 200;
    EXPECT_EQ(acmStreamConvert(stream, &header, 0), ACMERR_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_TRUE(header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
    EXPECT_FALSE(header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);

    header.cbSrcLength = 40; // a short last batch
    ASSERT_EQ(acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_START), MMSYSERR_NOERROR);
    EXPECT_TRUE(header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
    EXPECT_EQ(header.cbSrcLengthUsed, 40u);
    EXPECT_EQ(header.cbDstLengthUsed, 80u);
    EXPECT_EQ(Get16(dst, 39), 8);
    EXPECT_EQ(dst[80], 0) << "nothing beyond what was used";

    header.cbSrcLength = 101;
    EXPECT_EQ(acmStreamConvert(stream, &header, 0), MMSYSERR_INVALPARAM) << "more than prepared";
    header.cbSrcLength = 40;
    EXPECT_EQ(acmStreamConvert(stream, &header, 0x100), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_INVALPARAM)
        << "the lengths must be the prepared ones again";
    header.cbSrcLength = 100;
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamConvert(stream, &header, 0), MMSYSERR_INVALHANDLE);
}

// ----- A registered driver -------------------------------------------------------------------

constexpr uint16_t WAVE_FORMAT_DELTA = 0xDE17;

struct TCounters {
    int Loads, Frees, Opens, Closes, Streams;
};

class AcmDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Library.Load(CRUMBLE_TEST_DRIVER)) << Library.LastError();
        Proc = Library.FindFunction<TACMDriverProc>("DriverProc");
        Counters =
            Library.FindFunction<void (*)(int*, int*, int*, int*, int*)>("DeltaDriverCounters");
        ASSERT_NE(Proc, nullptr);
        ASSERT_NE(Counters, nullptr);
    }
    TCounters Count() {
        TCounters c;
        Counters(&c.Loads, &c.Frees, &c.Opens, &c.Closes, &c.Streams);
        return c;
    }
    TDynamicLibrary Library;
    TACMDriverProc Proc = nullptr;
    void (*Counters)(int*, int*, int*, int*, int*) = nullptr;
};

std::vector<uint8_t> DeltaFormat(uint16_t channels, uint16_t shift) {
    return Format(WAVE_FORMAT_DELTA, channels, 16000, channels, 8,
                  {uint8_t(shift), uint8_t(shift >> 8)});
}

TEST_F(AcmDriver, RegisteredDriverDecodesItsFormatCarryingStateUntilStart) {
    const TCounters before = Count();
    HACMDRIVERID id = nullptr;
    EXPECT_EQ(acmDriverAdd(&id, Library.Handle(), Proc, 0, 1), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmDriverAdd(&id, Library.Handle(), Proc, 0,
                           ACM_DRIVERADDF_FUNCTION | ACM_DRIVERADDF_GLOBAL),
              MMSYSERR_INVALFLAG);
    ASSERT_EQ(acmDriverAddA(&id, Library.Handle(), Proc, 0, ACM_DRIVERADDF_FUNCTION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(Count().Loads, before.Loads + 1);
    HACMDRIVER driver = nullptr;
    ASSERT_EQ(acmDriverOpen(&driver, id, 0), MMSYSERR_NOERROR);

    uint32_t size = 0;
    ASSERT_EQ(acmMetrics(driver, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 64u);
    ASSERT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 64u) << "the largest of all drivers";

    // Through the driver only that driver is asked.
    const auto delta = DeltaFormat(2, 4);
    TWaveFormatEx pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    ASSERT_EQ(acmFormatSuggest(driver, F(delta), &pcm, sizeof(pcm), ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    EXPECT_EQ(pcm.nChannels, 2);
    EXPECT_EQ(pcm.wBitsPerSample, 16);
    TWaveFormatEx other{};
    other.wFormatTag = WAVE_FORMAT_PCM;
    EXPECT_EQ(acmFormatSuggest(driver, F(Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8)), &other,
                               sizeof(other), ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
    // Without one, registered drivers are asked as well as the built-in ones.
    other = {};
    other.wFormatTag = WAVE_FORMAT_PCM;
    EXPECT_EQ(
        acmFormatSuggest(nullptr, F(delta), &other, sizeof(other), ACM_FORMATSUGGESTF_WFORMATTAG),
        MMSYSERR_NOERROR);

    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, driver, F(delta), &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(Count().Streams, before.Streams + 1);
    uint32_t dstSize = 0;
    ASSERT_EQ(acmStreamSize(stream, 6, &dstSize, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(dstSize, 12u);
    EXPECT_EQ(acmDriverClose(driver, 0), ACMERR_BUSY);
    EXPECT_EQ(acmDriverRemove(id, 0), ACMERR_BUSY);

    std::vector<uint8_t> src = {1, 0xFF, 2, 0xFE, 3, 0xFD}; // left +1 +2 +3, right -1 -2 -3
    std::vector<uint8_t> dst(12);
    TACMStreamHeader header;
    header.pbSrc = src.data();
    header.cbSrcLength = 6;
    header.pbDst = dst.data();
    header.cbDstLength = 12;
    ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    auto convert = [&](uint32_t flags) {
        EXPECT_EQ(acmStreamConvert(stream, &header, flags), MMSYSERR_NOERROR);
        EXPECT_EQ(header.cbSrcLengthUsed, 6u);
        EXPECT_EQ(header.cbDstLengthUsed, 12u);
        return AsSamples(dst, 6);
    };
    EXPECT_EQ(convert(ACM_STREAMCONVERTF_START), (std::vector<int16_t>{16, -16, 48, -48, 96, -96}));
    EXPECT_EQ(convert(0), (std::vector<int16_t>{112, -112, 144, -144, 192, -192}));
    EXPECT_EQ(convert(ACM_STREAMCONVERTF_START), (std::vector<int16_t>{16, -16, 48, -48, 96, -96}));
    ASSERT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(Count().Streams, before.Streams);

    ASSERT_EQ(acmDriverClose(driver, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmDriverClose(driver, 0), MMSYSERR_INVALHANDLE);
    const TCounters open = Count();
    EXPECT_EQ(open.Opens, open.Closes) << "every instance ACM opened was closed";
    ASSERT_EQ(acmDriverRemove(id, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(Count().Frees, before.Frees + 1);
    EXPECT_EQ(acmDriverOpen(&driver, id, 0), MMSYSERR_INVALHANDLE);

    ASSERT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 50u);
    other = {};
    other.wFormatTag = WAVE_FORMAT_PCM;
    EXPECT_EQ(
        acmFormatSuggest(nullptr, F(delta), &other, sizeof(other), ACM_FORMATSUGGESTF_WFORMATTAG),
        ACMERR_NOTPOSSIBLE);
}

TEST_F(AcmDriver, StreamOnARegisteredDriverChosenByAcmKeepsItBusy) {
    HACMDRIVERID id = nullptr;
    ASSERT_EQ(acmDriverAdd(&id, Library.Handle(), Proc, 0, ACM_DRIVERADDF_FUNCTION),
              MMSYSERR_NOERROR);
    const auto delta = DeltaFormat(1, 0);
    TWaveFormatEx pcm{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, F(delta), &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmDriverRemove(id, 0), ACMERR_BUSY);
    const TConversion c = [&] {
        TConversion out;
        std::vector<uint8_t> src = {5, 5, 0xF6};
        out.Out.resize(6);
        TACMStreamHeader header;
        header.pbSrc = src.data();
        header.cbSrcLength = 3;
        header.pbDst = out.Out.data();
        header.cbDstLength = 6;
        EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
        out.Result = acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_START);
        EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), MMSYSERR_NOERROR);
        return out;
    }();
    ASSERT_EQ(c.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(AsSamples(c.Out, 3), (std::vector<int16_t>{5, 10, 0}));
    ASSERT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmDriverRemove(id, 0), MMSYSERR_NOERROR);
}

bool TestDriverLoaded() {
    void* handle = dlopen(CRUMBLE_TEST_DRIVER, RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

TEST_F(AcmDriver, ADriverStaysLoadedUntilItIsClosedAndRemovedWhoeverFreesTheFileFirst) {
    HACMDRIVERID id = nullptr;
    HACMDRIVER driver = nullptr;
    ASSERT_EQ(acmDriverAdd(&id, Library.Handle(), Proc, 0, ACM_DRIVERADDF_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(acmDriverOpen(&driver, id, 0), MMSYSERR_NOERROR);
    const TCounters before = Count();
    Library.Free();
    ASSERT_TRUE(TestDriverLoaded()) << "ACM still holds the driver's code";
    ASSERT_EQ(acmDriverClose(driver, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(Count().Closes, before.Closes + 1) << "closing ran in the driver";
    ASSERT_EQ(acmDriverRemove(id, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(TestDriverLoaded()) << "and lets go of it once the driver is removed";
}

// At exit the registry closes what is still open, after the caller's handle is long gone.
TEST(AcmDriverDeathTest, TearingDownAfterTheCallerFreedTheFileEndsCleanly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TDynamicLibrary library;
            library.Load(CRUMBLE_TEST_DRIVER);
            const auto proc = library.FindFunction<TACMDriverProc>("DriverProc");
            HACMDRIVERID id = nullptr;
            HACMDRIVER driver = nullptr;
            if (!proc || acmDriverAdd(&id, library.Handle(), proc, 0, ACM_DRIVERADDF_FUNCTION) ||
                acmDriverOpen(&driver, id, 0))
                std::exit(2);
            library.Free();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Acm, UnknownHandlesAreRefused) {
    int bogus = 0;
    auto* fakeStream = reinterpret_cast<HACMSTREAM>(&bogus);
    uint32_t size;
    TACMStreamHeader header;
    EXPECT_EQ(acmStreamSize(fakeStream, 1, &size, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamPrepareHeader(fakeStream, &header, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamClose(nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmDriverClose(reinterpret_cast<HACMDRIVER>(&bogus), 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmDriverRemove(reinterpret_cast<HACMDRIVERID>(&bogus), 0), MMSYSERR_INVALHANDLE);
    HACMDRIVER driver = nullptr;
    EXPECT_EQ(acmDriverOpen(&driver, reinterpret_cast<HACMDRIVERID>(&bogus), 0),
              MMSYSERR_INVALHANDLE);
    TWaveFormatEx pcm{};
    EXPECT_EQ(acmFormatSuggest(reinterpret_cast<HACMDRIVER>(&bogus),
                               F(Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8)), &pcm, sizeof(pcm), 0),
              MMSYSERR_INVALHANDLE);
}

} // namespace
