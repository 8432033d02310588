// IMA ADPCM blocks of any content, one or two channels, any block size.
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint16_t channels = uint16_t(1 + (data[0] & 1));
    const uint16_t align = uint16_t(4 * channels * (1 + (data[1] | (data[2] & 3) << 8)));
    const uint32_t samplesPerBlock = (align - 4u * channels) * 2 / channels + 1;
    fuzz::ReadWave(0x11, channels, align, 4, fuzz::Le16(samplesPerBlock), data + 3, size - 3);
    return 0;
}
