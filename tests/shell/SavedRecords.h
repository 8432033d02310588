#pragma once
// Saved records written byte by byte at the offsets of their file formats, for the tests of the
// records and of the tool that dumps them.
#include "shell/DecodeUnit.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

inline void PutInt32(std::string& bytes, size_t offset, int32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<size_t>(i)] =
            static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
}
inline void PutText(std::string& bytes, size_t offset, const std::string& text) {
    bytes[offset] = static_cast<char>(text.size());
    std::memcpy(&bytes[offset + 1], text.data(), text.size());
}
inline std::string AsText(const std::array<uint8_t, EnvDataSize>& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A settings record written byte by byte at the offsets of the file format.
inline std::string HandMadeEnv() {
    std::string b(EnvDataSize, '\0');
    for (size_t i = 0; i < 7; ++i)
        b[i] = static_cast<char>(10 + i); // Reserved0 .. MusicOn
    PutInt32(b, 8, 42);                   // MusicVolume
    PutInt32(b, 12, 127);                 // EffectsVolume
    b[16] = 1;                            // GfxSet
    PutInt32(b, 20, 2);                   // DisplayMode
    b[24] = 0;                            // Transparency
    for (int i = 1; i <= 10; ++i) {
        PutText(b, 28 * static_cast<size_t>(i), "Name" + std::to_string(i));
        PutInt32(b, 28 * static_cast<size_t>(i) + 24, 10000 - i * 100);
    }
    PutText(b, 28, "J\xF6rg"); // entry 1, in Windows-1252
    PutText(b, 308, "Last");
    PutText(b, 329, "ID-0123456789");
    PutInt32(b, 364, -5);
    PutText(b, 368, "Publisher");
    PutText(b, 389, "Z\xFCrich");
    PutText(b, 410, "Schweiz");
    PutText(b, 431, "a@b.ch");
    PutInt32(b, 472, 33);
    b[476] = 'f';
    PutText(b, 477, "Kommentar");
    PutInt32(b, 560, 17);
    PutInt32(b, 564, 3);
    b[568] = 9;
    PutInt32(b, 572, 55);
    for (int i = 1; i <= 10; ++i)
        PutText(b, 576 + 101 * static_cast<size_t>(i - 1), "rec" + std::to_string(i));
    return b;
}

inline std::string HandMadeGameData(const std::string& header = "Game Datafile v2.0") {
    std::string b(GameDataSize, '\0');
    PutText(b, 0, header);
    b[42] = 7; // Level 263: both bytes count
    b[43] = 1;
    PutText(b, 44, "Spielerin");
    PutInt32(b, 76, 76);
    PutText(b, 80, "r80");
    PutInt32(b, 112, -112);
    return b;
}
