// MS ADPCM with coefficients, block headers and nibbles all from the input.
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint16_t channels = uint16_t(1 + (data[0] & 1));
    const uint16_t align = uint16_t(7 * channels + (data[1] | (data[2] & 3) << 8));
    const uint32_t coefficients = 1 + data[3] % 8;
    if (size < 4 + 4 * coefficients) return 0;
    const uint32_t samplesPerBlock = (align - 7u * channels) * 2 / channels + 2;
    std::string extra = fuzz::Le16(samplesPerBlock) + fuzz::Le16(coefficients);
    extra.append(reinterpret_cast<const char*>(data + 4), 4 * coefficients);
    const size_t used = 4 + 4 * coefficients;
    fuzz::ReadWave(2, channels, align, 4, extra, data + used, size - used);
    return 0;
}
