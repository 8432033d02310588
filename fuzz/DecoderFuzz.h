#pragma once
// What every decoder target does: a wave of the decoder's format, shaped by the first bytes of
// the input, with the rest as its data, read to the end through the PCM reader in uneven pieces.
#include "gamelib/WaveRead.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

inline std::string Le16(uint32_t v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF)};
}
inline std::string Le32(uint32_t v) {
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}

// extra: the format's extra bytes (cbSize is their count).
inline void ReadWave(uint16_t tag, uint16_t channels, uint16_t align, uint16_t bits,
                     const std::string& extra, const uint8_t* data, size_t size) {
    const std::string fmt = Le16(tag) + Le16(channels) + Le32(8000) + Le32(8000u * align) +
                            Le16(align) + Le16(bits) + Le16(uint32_t(extra.size())) + extra;
    const std::string body(reinterpret_cast<const char*>(data), size);
    std::string chunks = "fmt " + Le32(uint32_t(fmt.size())) + fmt;
    chunks += "data" + Le32(uint32_t(body.size())) + body;
    const std::string wave = "RIFF" + Le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks;
    try {
        TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
        TWavePCMReader reader(stream, nullptr);
        uint8_t buffer[4099];
        uint32_t request = 1;
        while (reader.Read(buffer, request % (sizeof(buffer) - 2) + 2) != 0)
            request = request * 7 + 3;
        reader.Rewind();
        reader.Read(buffer, sizeof(buffer));
    } catch (const std::exception&) {
        // Refusals are fine; only crashes and overruns are findings.
    }
}

} // namespace fuzz
