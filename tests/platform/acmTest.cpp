#include "platform/acm.h"
#include "platform/dl.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>
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

// Asks for PCM to decode src to, of any driver or of the one given.
MMRESULT SuggestPcm(const std::vector<uint8_t>& src, TWaveFormatEx& dst,
                    HACMDRIVER driver = nullptr) {
    dst = {};
    dst.wFormatTag = WAVE_FORMAT_PCM;
    return acmFormatSuggest(driver, F(src), &dst, sizeof(dst), ACM_FORMATSUGGESTF_WFORMATTAG);
}

struct TConversion {
    MMRESULT Result = MMSYSERR_ERROR;
    std::vector<uint8_t> Out;
    uint32_t SrcUsed = 0;
};

// Converts src in one go on an open stream, into at most dstLength bytes.
TConversion ConvertOn(HACMSTREAM stream, std::vector<uint8_t> src, uint32_t dstLength,
                      uint32_t flags) {
    TConversion conversion;
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
    return conversion;
}

// Opens a stream to the suggested PCM format, converts src in one go and closes again.
TConversion ConvertAll(const std::vector<uint8_t>& format, std::vector<uint8_t> src,
                       uint32_t flags) {
    TWaveFormatEx pcm;
    EXPECT_EQ(SuggestPcm(format, pcm), MMSYSERR_NOERROR);
    HACMSTREAM stream = nullptr;
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, F(format), &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    if (!stream) return {};
    uint32_t dstLength = 0;
    EXPECT_EQ(acmStreamSize(stream, uint32_t(src.size()), &dstLength, ACM_STREAMSIZEF_SOURCE),
              MMSYSERR_NOERROR);
    const TConversion conversion = ConvertOn(stream, std::move(src), dstLength, flags);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    return conversion;
}

std::vector<int16_t> DecodeAll(const std::vector<uint8_t>& format,
                               const std::vector<uint8_t>& src) {
    const TConversion c = ConvertAll(format, src, 0);
    EXPECT_EQ(c.Result, MMSYSERR_NOERROR);
    return AsSamples(c.Out, c.Out.size() / 2);
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Bytes without a pattern, for the cases where two ways of decoding them must agree.
std::vector<uint8_t> Noise(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes)
        b = uint8_t((seed = seed * 1103515245 + 12345) >> 24);
    return bytes;
}

// ----- IMA ADPCM -----------------------------------------------------------------------------

std::vector<uint8_t> ImaFormat(uint16_t channels, uint16_t blockAlign) {
    const int samplesPerBlock = (blockAlign - 4 * channels) * 2 / channels + 1;
    return Format(WAVE_FORMAT_IMA_ADPCM, channels, 22050, blockAlign, 4,
                  {uint8_t(samplesPerBlock), uint8_t(samplesPerBlock >> 8)});
}

// A channel's block header: the first sample, the step index and a spare byte.
std::vector<uint8_t> ImaHeader(int16_t first, uint8_t index) {
    std::vector<uint8_t> header;
    Put16(header, first);
    header.push_back(index);
    header.push_back(0);
    return header;
}

// ----- MS ADPCM ------------------------------------------------------------------------------

// The seven predictor pairs every MS ADPCM file carries.
std::vector<std::array<int, 2>> StandardCoefs() {
    return {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
}

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

// A mono block: its predictor, its delta, the samples it starts with (stored second one
// first) and its nibbles, the high one first.
std::vector<uint8_t> MsBlock(uint8_t predictor, int delta, int16_t first, int16_t second,
                             const std::vector<uint8_t>& nibbles) {
    std::vector<uint8_t> block = {predictor};
    Put16(block, delta);
    Put16(block, second);
    Put16(block, first);
    for (size_t i = 0; i < nibbles.size(); i += 2)
        block.push_back(uint8_t(nibbles[i] << 4 | nibbles[i + 1]));
    return block;
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
        TWaveFormatEx pcm;
        ASSERT_EQ(SuggestPcm(src, pcm), MMSYSERR_NOERROR) << "tag " << F(src)->wFormatTag;
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
    TWaveFormatEx pcm;
    EXPECT_EQ(SuggestPcm(gsm, pcm), ACMERR_NOTPOSSIBLE);
    HACMSTREAM stream = nullptr;
    pcm = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, F(gsm), &pcm, nullptr, 0, 0, 0), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(stream, nullptr);
    // MS ADPCM stating seven pairs but holding one.
    auto fewPairs = MsFormat(1, 256, {{256, 0}});
    fewPairs[20] = 7;
    EXPECT_EQ(SuggestPcm(fewPairs, pcm), ACMERR_NOTPOSSIBLE);
}

TEST(Acm, SuggestionHonoursWhatTheCallerFixed) {
    const auto pcm16 = Format(WAVE_FORMAT_PCM, 2, 44100, 4, 16);
    const auto suggest = [](const std::vector<uint8_t>& src, TWaveFormatEx& dst, uint32_t fixed) {
        return acmFormatSuggest(nullptr, F(src), &dst, sizeof(dst), fixed);
    };
    TWaveFormatEx dst{};
    dst.wFormatTag = WAVE_FORMAT_ALAW;
    EXPECT_EQ(suggest(pcm16, dst, ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
    dst = {};
    dst.wBitsPerSample = 8;
    ASSERT_EQ(suggest(pcm16, dst, ACM_FORMATSUGGESTF_WBITSPERSAMPLE), MMSYSERR_NOERROR);
    EXPECT_EQ(dst.wBitsPerSample, 8);
    EXPECT_EQ(dst.nBlockAlign, 2);
    dst = {};
    dst.nSamplesPerSec = 22050;
    EXPECT_EQ(suggest(pcm16, dst, ACM_FORMATSUGGESTF_NSAMPLESPERSEC), ACMERR_NOTPOSSIBLE);
    // Compressed sources only decode to 16 bits.
    dst = {};
    dst.wBitsPerSample = 8;
    EXPECT_EQ(
        suggest(Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8), dst, ACM_FORMATSUGGESTF_WBITSPERSAMPLE),
        ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(suggest(pcm16, dst, 0x1), MMSYSERR_INVALFLAG);
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

std::vector<int16_t> Slice(const std::vector<int16_t>& samples, size_t from, size_t count) {
    return {samples.begin() + from, samples.begin() + from + count};
}

// G.711: the decoder output values of the recommendation's tables, scaled to 16 bits (A-law
// times 8, mu-law times 4), at both ends of every segment and one within; between them the
// magnitudes grow strictly code by code, and each positive code mirrors its negative one. Every
// code is decoded, as 128 stereo frames so that both samples of a frame must be converted.
TEST(Acm, G711DecodesAsTheRecommendationsTables) {
    using TReference = std::vector<std::pair<uint8_t, int16_t>>;
    const TReference aLaw = {{0x55, -8},    {0x5A, -248},   {0x45, -264},   {0x4A, -504},
                             {0x75, -528},  {0x7A, -1008},  {0x65, -1056},  {0x6A, -2016},
                             {0x15, -2112}, {0x1A, -4032},  {0x05, -4224},  {0x0A, -8064},
                             {0x35, -8448}, {0x3A, -16128}, {0x25, -16896}, {0x2A, -32256},
                             {0x00, -5504}, {0xD5, 8},      {0xAA, 32256}};
    const TReference muLaw = {{0x00, -32124}, {0x0F, -16764}, {0x10, -15996}, {0x1F, -8316},
                              {0x20, -7932},  {0x2F, -4092},  {0x30, -3900},  {0x3F, -1980},
                              {0x40, -1884},  {0x4F, -924},   {0x50, -876},   {0x5F, -396},
                              {0x60, -372},   {0x6F, -132},   {0x70, -120},   {0x7E, -8},
                              {0x7F, 0},      {0x48, -1372},  {0x80, 32124},  {0xFF, 0}};
    // Code k ^ Order is the k-th by magnitude: A-law inverts every other bit, mu-law codes count
    // down from the loudest.
    const struct {
        uint16_t Tag;
        uint8_t Order;
        const TReference& Reference;
    } laws[] = {{WAVE_FORMAT_ALAW, 0x55, aLaw}, {WAVE_FORMAT_MULAW, 0x7F, muLaw}};
    std::vector<uint8_t> codes(256);
    for (int i = 0; i < 256; ++i)
        codes[i] = uint8_t(i);
    for (const auto& law : laws) {
        SCOPED_TRACE(law.Tag);
        const std::vector<int16_t> v = DecodeAll(Format(law.Tag, 2, 8000, 2, 8), codes);
        ASSERT_EQ(v.size(), 256u);
        for (const auto& [code, value] : law.Reference)
            EXPECT_EQ(v[code], value) << int(code);
        for (int code = 0; code < 128; ++code)
            EXPECT_EQ(v[code | 0x80], -v[code]) << code;
        for (int k = 1; k < 128; ++k)
            EXPECT_GT(std::abs(v[k ^ law.Order]), std::abs(v[(k - 1) ^ law.Order])) << k;
    }
}

TEST(Acm, FloatScalesByTwoToTheFifteenRoundsHalfAwayFromZeroAndSaturates) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int16_t> cases[] = {
        {0.0f, 0},           {-0.0f, 0},
        {0.5f, 16384},       {-0.5f, -16384},
        {1.0f, 32767},       {-1.0f, -32768},
        {1.5f, 32767},       {-7.0f, -32768},
        {1e30f, 32767},      {-1e30f, -32768},
        {0.25f / 32768, 0},  {0.5f / 32768, 1},
        {-0.5f / 32768, -1}, {1.5f / 32768, 2},
        {0.123456f, 4045},   {-0.987654f, -32363},
        {1e-40f, 0},         {inf, 32767},
        {-inf, -32768},      {std::numeric_limits<float>::quiet_NaN(), 0}};
    std::vector<uint8_t> bytes;
    for (const auto& c : cases) {
        uint8_t raw[4];
        std::memcpy(raw, &c.first, 4);
        bytes.insert(bytes.end(), raw, raw + 4);
    }
    const auto samples = DecodeAll(Format(WAVE_FORMAT_IEEE_FLOAT, 1, 44100, 4, 32), bytes);
    ASSERT_EQ(samples.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(samples[i], cases[i].second) << "value " << cases[i].first;
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
    const TConversion down = ConvertOn(stream, src, 7, 0);
    ASSERT_EQ(down.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(down.Out, (std::vector<uint8_t>{0, 127, 127, 128, 128, 129, 255}));
    EXPECT_EQ(down.SrcUsed, 14u);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
}

// Worked by hand from the IMA ADPCM description: a nibble adds an eighth of the current step,
// and the step itself, a half and a quarter of it for its bits 4, 2 and 1; bit 8 subtracts
// instead. The sample stays within 16 bits, and the step index moves by -1, -1, -1, -1, 2, 4,
// 6, 8 for the nibble's low three bits, staying within the table's 0..88.
TEST(Acm, ImaAdpcmDecodesHandWorkedBlocks) {
    // Blocks of 17 samples: the header's, then two groups of eight nibbles, the low one first.
    const auto rising = Join({ImaHeader(0, 0), {0x00, 0x00, 0x00, 0x00}, {0x40, 0x7C, 0x1F, 0xA2}});
    const auto top =
        Join({ImaHeader(32000, 88), {0x44, 0x44, 0x44, 0x44}, {0xC7, 0x0F, 0x84, 0x00}});
    const auto pastTheTable = Join({ImaHeader(0, 0xFF), std::vector<uint8_t>(8, 0)});
    const auto samples = DecodeAll(ImaFormat(1, 12), Join({rising, top, pastTheTable}));
    ASSERT_EQ(samples.size(), 3u * 17);
    // Step 7 at the bottom: nibbles 0 add 7 >> 3 = 0 and keep the index at 0. Then
    // 4: +7 (index 2, step 9), C: -(9 + 1) (index 4, step 11), 7: +(11 + 5 + 2 + 1) (index 12,
    // step 23), F: -(23 + 11 + 5 + 2) (index 20, step 50), 1: +(12 + 6) (index 19, step 45),
    // 2: +(22 + 5) (index 18, step 41), A: -(20 + 5).
    EXPECT_EQ(Slice(samples, 0, 17),
              (std::vector<int16_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, -3, 16, -25, -7, 20, -5}));
    // Step 32767 at the top: nibbles 4 saturate and keep the index at 88. Then 7: saturates,
    // C: -(32767 + 4095), F: -61436 saturates, 0: +4095 (index 87, step 29794),
    // 4: +(29794 + 3724) (index 88), 8: -4095 (index 87), 0: +3724 (index 86, step 27086),
    // 0: +3385.
    EXPECT_EQ(Slice(samples, 17, 17),
              (std::vector<int16_t>{32000, 32767, 32767, 32767, 32767, 32767, 32767, 32767, 32767,
                                    32767, -4095, -32768, -28673, 4845, 750, 4474, 7859}));
    // A damaged header's index past the table counts as its last: +4095, then +3724.
    EXPECT_EQ(Slice(samples, 34, 3), (std::vector<int16_t>{0, 4095, 7819}));
}

TEST(Acm, ImaAdpcmStepsAreThePublishedTable) {
    // A sample of the step sizes of the IMA ADPCM reference algorithm (IMA compatibility
    // project, 1992): both ends and a few between, by index.
    const std::vector<std::pair<int, int>> steps = {{0, 7},     {1, 8},      {9, 17},
                                                    {20, 50},   {35, 209},   {55, 1411},
                                                    {70, 5894}, {87, 29794}, {88, 32767}};
    // A block per index, from the bottom of the range: its first nibble, 4, adds the step
    // and an eighth of it.
    std::vector<uint8_t> blocks;
    for (const auto& [index, step] : steps)
        blocks = Join({blocks, ImaHeader(-32768, uint8_t(index)), {0x04, 0, 0, 0}});
    const auto samples = DecodeAll(ImaFormat(1, 8), blocks);
    ASSERT_EQ(samples.size(), steps.size() * 9);
    for (size_t i = 0; i < steps.size(); ++i)
        EXPECT_EQ(samples[9 * i + 1], -32768 + steps[i].second + steps[i].second / 8)
            << steps[i].first;
}

TEST(Acm, ImaAdpcmStereoTakesFourBytesOfEachChannelInTurn) {
    // Two blocks of 65 samples a channel; each channel decodes as its own mono block would.
    std::vector<uint8_t> left, right, stereo;
    for (int b = 0; b < 2; ++b) {
        const auto l =
            Join({ImaHeader(int16_t(1000 * b - 500), uint8_t(10 + 30 * b)), Noise(32, 1 + b)});
        const auto r =
            Join({ImaHeader(int16_t(300 - 700 * b), uint8_t(50 - 20 * b)), Noise(32, 7 + b)});
        left = Join({left, l});
        right = Join({right, r});
        for (size_t at = 0; at < l.size(); at += 4)
            stereo = Join({stereo,
                           {l.begin() + at, l.begin() + at + 4},
                           {r.begin() + at, r.begin() + at + 4}});
    }
    const auto l = DecodeAll(ImaFormat(1, 36), left);
    const auto r = DecodeAll(ImaFormat(1, 36), right);
    ASSERT_EQ(l.size(), 2u * 65);
    ASSERT_EQ(r.size(), l.size());
    std::vector<int16_t> interleaved;
    for (size_t i = 0; i < l.size(); ++i)
        interleaved.insert(interleaved.end(), {l[i], r[i]});
    EXPECT_EQ(DecodeAll(ImaFormat(2, 72), stereo), interleaved);
}

TEST(Acm, BlockAlignLeavesAPartialBlockForLaterWithoutItThePartIsDecoded) {
    std::vector<uint8_t> blocks;
    for (int b = 0; b < 3; ++b)
        blocks = Join({blocks, ImaHeader(int16_t(100 * b), uint8_t(20 * b)), Noise(32, 3 + b)});
    const auto all = DecodeAll(ImaFormat(1, 36), blocks);
    ASSERT_EQ(all.size(), 3u * 65);
    // Two blocks and the third's header, two whole groups and three bytes of the next.
    const uint32_t tail = 4 + 4 * 2 + 3;
    blocks.resize(2 * 36 + tail);

    const TConversion aligned = ConvertAll(ImaFormat(1, 36), blocks, ACM_STREAMCONVERTF_BLOCKALIGN);
    ASSERT_EQ(aligned.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(aligned.SrcUsed, 72u);
    EXPECT_EQ(aligned.Out.size(), 2u * 65 * 2);

    const TConversion whole = ConvertAll(ImaFormat(1, 36), blocks, 0);
    ASSERT_EQ(whole.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(whole.SrcUsed, 72u + tail);
    const size_t frames = 2 * 65 + 1 + 16;
    ASSERT_EQ(whole.Out.size(), frames * 2);
    EXPECT_EQ(AsSamples(whole.Out, frames), Slice(all, 0, frames));
}

// Worked by hand from the MS ADPCM description: a block starts with two samples; each further
// one is the prediction from the last two, (s1 * c1 + s2 * c2) / 256 truncated towards zero,
// plus the signed nibble times delta; delta then becomes delta * adaptation[nibble] / 256, at
// least 16.
TEST(Acm, MsAdpcmAdaptsItsDeltaByThePublishedTable) {
    // Pair 2, (0, 0), predicts nothing: with delta 256 a nibble gives itself times 256, and a
    // nibble 1 after it shows the delta it left.
    std::vector<uint8_t> blocks;
    for (uint8_t nibble = 0; nibble < 16; ++nibble)
        blocks = Join({blocks, MsBlock(2, 256, 11, -22, {nibble, 1})});
    // 230 * 16 / 256 would be 14.
    blocks = Join({blocks, MsBlock(2, 16, 0, 0, {0, 1})});
    const auto samples = DecodeAll(MsFormat(1, 8, StandardCoefs()), blocks);
    ASSERT_EQ(samples.size(), 17u * 4);
    const int16_t signedTimes256[16] = {0,     256,   512,   768,   1024,  1280, 1536, 1792,
                                        -2048, -1792, -1536, -1280, -1024, -768, -512, -256};
    const int16_t adaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                    768, 614, 512, 409, 307, 230, 230, 230};
    for (int n = 0; n < 16; ++n)
        EXPECT_EQ(Slice(samples, 4 * n, 4),
                  (std::vector<int16_t>{11, -22, signedTimes256[n], adaptation[n]}))
            << n;
    EXPECT_EQ(Slice(samples, 64, 4), (std::vector<int16_t>{0, 0, 0, 16}));
}

TEST(Acm, MsAdpcmPredictsWithEachStandardPairTruncatingTowardsZero) {
    // From -600 and 1000, with nibbles 0: the prediction alone, twice; and all of it negated.
    std::vector<uint8_t> blocks;
    for (uint8_t predictor = 0; predictor < 7; ++predictor)
        blocks = Join({blocks, MsBlock(predictor, 16, -600, 1000, {0, 0}),
                       MsBlock(predictor, 16, 600, -1000, {0, 0})});
    EXPECT_EQ(DecodeAll(MsFormat(1, 8, StandardCoefs()), blocks),
              (std::vector<int16_t>{
                  -600, 1000, 1000, 1000, 600, -1000, -1000, -1000, // (256, 0)
                  -600, 1000, 2600, 4200, 600, -1000, -2600, -4200, // (512, -256)
                  -600, 1000, 0,    0,    600, -1000, 0,     0,     // (0, 0)
                  -600, 1000, 600,  700,  600, -1000, -600,  -700,  // (192, 64)
                  -600, 1000, 937,  878,  600, -1000, -937,  -878,  // (240, 0): 937.5, 878.4
                  -600, 1000, 2284, 3291, 600, -1000, -2284, -3291, // (460, -208): 2284.4, 3291.6
                  -600, 1000, 2075, 2271, 600, -1000, -2075, -2271, // (392, -232): 2075, 2271.1
              }));
}

TEST(Acm, MsAdpcmTakesItsPairsFromTheFormat) {
    // A file's own pairs, (300, -100) and (0, 0); a predictor number past them takes the last.
    const auto pairs = MsFormat(1, 8, {{300, -100}, {0, 0}});
    EXPECT_EQ(DecodeAll(pairs, Join({MsBlock(0, 16, -600, 1000, {0, 0}),
                                     MsBlock(7, 16, -600, 1000, {0, 0})})),
              (std::vector<int16_t>{-600, 1000, 1406, 1257, -600, 1000, 0, 0}));
}

TEST(Acm, MsAdpcmStereoTakesTurnsNibbleByNibble) {
    // 34 samples a channel. Stereo interleaves each header field and puts the left nibble in
    // the high half of each byte; each channel decodes as its own mono block would.
    std::vector<uint8_t> nl(32), nr(32);
    const auto noise = Noise(64, 11);
    for (size_t i = 0; i < 32; ++i) {
        nl[i] = noise[i] & 15;
        nr[i] = noise[32 + i] & 15;
    }
    const auto l = MsBlock(5, 40, -300, 200, nl);
    const auto r = MsBlock(1, 90, 1200, 1100, nr);
    std::vector<uint8_t> stereo = {l[0], r[0]};
    for (size_t field = 1; field < 7; field += 2)
        stereo = Join({stereo, {l[field], l[field + 1], r[field], r[field + 1]}});
    for (size_t i = 0; i < 32; ++i)
        stereo.push_back(uint8_t(nl[i] << 4 | nr[i]));
    const auto left = DecodeAll(MsFormat(1, 23, StandardCoefs()), l);
    const auto right = DecodeAll(MsFormat(1, 23, StandardCoefs()), r);
    ASSERT_EQ(left.size(), 34u);
    std::vector<int16_t> interleaved;
    for (size_t i = 0; i < left.size(); ++i)
        interleaved.insert(interleaved.end(), {left[i], right[i]});
    EXPECT_EQ(DecodeAll(MsFormat(2, 46, StandardCoefs()), stereo), interleaved);
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
    TWaveFormatEx pcm, other;
    ASSERT_EQ(SuggestPcm(delta, pcm, driver), MMSYSERR_NOERROR);
    EXPECT_EQ(pcm.nChannels, 2);
    EXPECT_EQ(pcm.wBitsPerSample, 16);
    EXPECT_EQ(SuggestPcm(Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8), other, driver),
              ACMERR_NOTPOSSIBLE);
    // Without one, registered drivers are asked as well as the built-in ones.
    EXPECT_EQ(SuggestPcm(delta, other), MMSYSERR_NOERROR);

    HACMSTREAM stream = nullptr;
    ASSERT_EQ(acmStreamOpen(&stream, driver, F(delta), &pcm, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(Count().Streams, before.Streams + 1);
    uint32_t dstSize = 0;
    ASSERT_EQ(acmStreamSize(stream, 6, &dstSize, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(dstSize, 12u);
    EXPECT_EQ(acmDriverClose(driver, 0), ACMERR_BUSY);
    EXPECT_EQ(acmDriverRemove(id, 0), ACMERR_BUSY);

    auto convert = [&](uint32_t flags) {
        // Left +1 +2 +3, right -1 -2 -3.
        const TConversion c = ConvertOn(stream, {1, 0xFF, 2, 0xFE, 3, 0xFD}, 12, flags);
        EXPECT_EQ(c.Result, MMSYSERR_NOERROR);
        EXPECT_EQ(c.SrcUsed, 6u);
        return AsSamples(c.Out, c.Out.size() / 2);
    };
    EXPECT_EQ(convert(ACM_STREAMCONVERTF_START), (std::vector<int16_t>{16, -16, 48, -48, 96, -96}));
    EXPECT_EQ(convert(0), (std::vector<int16_t>{112, -112, 144, -144, 192, -192}));
    EXPECT_EQ(convert(ACM_STREAMCONVERTF_START), (std::vector<int16_t>{16, -16, 48, -48, 96, -96}));
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
    EXPECT_EQ(SuggestPcm(delta, other), ACMERR_NOTPOSSIBLE);
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
    const TConversion c = ConvertOn(stream, {5, 5, 0xF6}, 6, ACM_STREAMCONVERTF_START);
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

// Handles closed or removed before are refused in the tests above.
TEST(Acm, UnknownHandlesAreRefused) {
    int bogus = 0;
    auto* fakeStream = reinterpret_cast<HACMSTREAM>(&bogus);
    uint32_t size;
    TACMStreamHeader header;
    EXPECT_EQ(acmStreamSize(fakeStream, 1, &size, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamPrepareHeader(fakeStream, &header, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmDriverRemove(reinterpret_cast<HACMDRIVERID>(&bogus), 0), MMSYSERR_INVALHANDLE);
    TWaveFormatEx pcm{};
    EXPECT_EQ(acmFormatSuggest(reinterpret_cast<HACMDRIVER>(&bogus),
                               F(Format(WAVE_FORMAT_ALAW, 1, 8000, 1, 8)), &pcm, sizeof(pcm), 0),
              MMSYSERR_INVALHANDLE);
}

} // namespace
