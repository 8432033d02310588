#pragma once
// Windows bitmaps read and written by ourselves: 1, 4, 8, 16, 24 and 32 bits per pixel, with
// palettes, bit-field masks and both row orders. Pixels stay as stored, so 8-bit pictures keep
// their palette indices (alpha maps are built from them) and masks can be judged in the
// picture's own format.
#include <QByteArray>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <vector>

// Beyond these a picture is refused: no sheet comes near, and a damaged header must not make
// us reserve gigabytes.
constexpr int32_t MaxPictureSide = 16384;
constexpr int64_t MaxPicturePixels = int64_t(1) << 25;

// How a picture's pixels are laid out, as far as the mask and alpha-map code cares.
enum class TPicturePixels { None, Bits1, Bits4, Bits8, Bits15, Bits16, Bits24, Bits32, Custom };

// A decoded picture: rows top to bottom, each Stride bytes (padded to 4, as in the file).
struct TBitmapImage {
    int32_t Width = 0, Height = 0;
    int32_t BitCount = 0;                     // 1, 4, 8, 16, 24 or 32
    uint32_t RMask = 0, GMask = 0, BMask = 0; // 16 and 32 bits
    std::vector<uint32_t> Palette;            // 0xRRGGBB per entry, up to 256
    int32_t Stride = 0;
    std::vector<uint8_t> Bits;

    bool Empty() const { return Width <= 0 || Height <= 0 || Bits.empty(); }
    TPicturePixels Pixels() const;
    const uint8_t* Row(int32_t y) const { return Bits.data() + ptrdiff_t(y) * Stride; }
    uint8_t* Row(int32_t y) { return Bits.data() + ptrdiff_t(y) * Stride; }
    // 0xRRGGBB of one pixel; palette indices beyond the palette read as black.
    uint32_t ColorAt(int32_t x, int32_t y) const;
    // The masks a plain (BI_RGB) bitmap of its BitCount stands for: 5-5-5 at 16 bits, 8-8-8
    // at 32 bits; other depths keep theirs.
    void SetPlainMasks();
};

// Bytes per row of a bitmap: whole 32-bit words.
inline int32_t BitmapStride(int32_t width, int32_t bitCount) {
    return static_cast<int32_t>(((int64_t(width) * bitCount + 31) / 32) * 4);
}

// A bitmap file ("BM" header) or a bare device-independent bitmap as resources store it.
// Anything we do not read (damaged, truncated, compressed, too large) gives an empty picture.
TBitmapImage DecodeBitmap(const uint8_t* data, size_t size);
TBitmapImage DecodeBitmap(const QByteArray& data);

// The picture as QImage::Format_RGB32, for drawing into surfaces.
QImage BitmapToImage(const TBitmapImage& picture);

// A bitmap file of the picture: BI_RGB, or BI_BITFIELDS when 16-bit masks other than 5-5-5 or
// 32-bit masks other than 8-8-8 are set. Bottom-up rows unless topDown.
std::vector<uint8_t> EncodeBitmap(const TBitmapImage& picture, bool topDown = false);
