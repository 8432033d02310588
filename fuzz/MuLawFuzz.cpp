// MuLaw samples of any value, one or two channels.
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint16_t channels = uint16_t(1 + (data[0] & 1));
    fuzz::ReadWave(7, channels, uint16_t(1 * channels), 8, "", data + 1, size - 1);
    return 0;
}
