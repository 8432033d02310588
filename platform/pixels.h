#pragma once
// Pixel-sized access to surface memory, shared by the copy loops of the drawing layer and the
// blend loops above it: plain loads and stores the vectoriser can see through.
#include <cstdint>

using TPixel16 [[gnu::may_alias, gnu::aligned(1)]] = uint16_t;
using TPixel32 [[gnu::may_alias, gnu::aligned(1)]] = uint32_t;

template <int Bytes> inline uint32_t LoadPixel(const uint8_t* p) {
    if constexpr (Bytes == 2)
        return *reinterpret_cast<const TPixel16*>(p);
    else if constexpr (Bytes == 3)
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    else
        return *reinterpret_cast<const TPixel32*>(p);
}

template <int Bytes> inline void StorePixel(uint8_t* p, uint32_t v) {
    if constexpr (Bytes == 2) {
        *reinterpret_cast<TPixel16*>(p) = static_cast<uint16_t>(v);
    } else if constexpr (Bytes == 3) {
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
    } else {
        *reinterpret_cast<TPixel32*>(p) = v;
    }
}
