#pragma once
// Wave files put together byte by byte for the sound tests.
#include <cstdint>
#include <string>

inline std::string Le16(uint32_t v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF)};
}

inline std::string Le32(uint32_t v) {
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}

// A chunk with its length and, for an odd length, the pad byte.
inline std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le32(uint32_t(body.size())) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

inline std::string Riff(const std::string& chunks, const std::string& form = "WAVE") {
    return "RIFF" + Le32(uint32_t(4 + chunks.size())) + form + chunks;
}

// The 16 bytes every format starts with.
inline std::string FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg,
                           uint16_t align, uint16_t bits) {
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(avg) + Le16(align) + Le16(bits);
}

inline std::string PcmWave(uint16_t channels, uint32_t rate, uint16_t bits,
                           const std::string& data) {
    const uint16_t align = uint16_t(channels * bits / 8);
    return Riff(Chunk("fmt ", FmtBody(1, channels, rate, rate * align, align, bits)) +
                Chunk("data", data));
}
