#include "platform/bmp.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

// A picture of the given depth whose bytes count up, so every row and byte is told apart.
TBitmapImage Counting(int32_t width, int32_t height, int32_t bits) {
    TBitmapImage picture;
    picture.Width = width;
    picture.Height = height;
    picture.BitCount = bits;
    picture.Stride = BitmapStride(width, bits);
    picture.Bits.resize(size_t(picture.Stride) * size_t(height));
    for (size_t i = 0; i < picture.Bits.size(); ++i)
        picture.Bits[i] = static_cast<uint8_t>(i * 7 + 3);
    if (bits <= 8)
        for (uint32_t i = 0; i < (1u << bits); ++i)
            picture.Palette.push_back((i * 0x010203u) & 0xFFFFFF);
    picture.SetPlainMasks();
    return picture;
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + size_t(i)] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

TEST(Bitmap, EveryDepthAndBothRowOrdersComeBackAsWritten) {
    for (const int32_t bits : {1, 4, 8, 16, 24, 32})
        for (const bool topDown : {false, true}) {
            const TBitmapImage picture = Counting(13, 5, bits);
            const std::vector<uint8_t> file = EncodeBitmap(picture, topDown);
            const TBitmapImage back = DecodeBitmap(file.data(), file.size());
            ASSERT_FALSE(back.Empty()) << bits;
            EXPECT_EQ(back.Width, 13);
            EXPECT_EQ(back.Height, 5);
            EXPECT_EQ(back.BitCount, bits);
            EXPECT_EQ(back.Bits, picture.Bits) << bits << " top-down " << topDown;
            EXPECT_EQ(back.Palette, picture.Palette);
        }
    // The first row of a bottom-up file is the picture's last.
    const TBitmapImage picture = Counting(4, 3, 8);
    const std::vector<uint8_t> file = EncodeBitmap(picture);
    EXPECT_EQ(file[size_t(14 + 40 + 256 * 4)], picture.Row(2)[0]);
}

TEST(Bitmap, SixteenBitFormatsAndColours) {
    TBitmapImage picture = Counting(2, 1, 16);
    const uint16_t pixels[2] = {0xF800, 0x0821};
    std::memcpy(picture.Bits.data(), pixels, 4);
    // Without bit fields 16 bits are 5-5-5.
    std::vector<uint8_t> file = EncodeBitmap(picture);
    TBitmapImage back = DecodeBitmap(file.data(), file.size());
    EXPECT_EQ(back.Pixels(), TPicturePixels::Bits15);
    EXPECT_EQ(back.ColorAt(1, 0), (2u * 255 / 31) << 16 | (1u * 255 / 31) << 8 | (1u * 255 / 31));
    picture.RMask = 0xF800;
    picture.GMask = 0x07E0;
    picture.BMask = 0x001F;
    file = EncodeBitmap(picture);
    back = DecodeBitmap(file.data(), file.size());
    EXPECT_EQ(back.Pixels(), TPicturePixels::Bits16);
    // Channels widen by repeating their bits: full stays full, 1 of 31 becomes 8.
    EXPECT_EQ(back.ColorAt(0, 0), 0xFF0000u);
    EXPECT_EQ(back.ColorAt(1, 0), 0x080408u);
    EXPECT_EQ(BitmapToImage(back).pixel(1, 0), 0xFF080408u);
    picture.RMask = 0xF000; // any other masks are a device format of their own
    picture.GMask = 0x0F00;
    picture.BMask = 0x00F0;
    file = EncodeBitmap(picture);
    EXPECT_EQ(DecodeBitmap(file.data(), file.size()).Pixels(), TPicturePixels::Custom);
}

TEST(Bitmap, CoreHeadersAndBareResourceData) {
    // A 2 x 2 four-bit picture with the old 12-byte header and 3-byte palette entries.
    std::vector<uint8_t> file(14 + 12 + 16 * 3 + 8, 0);
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 10, 14 + 12 + 16 * 3);
    Put32(file, 14, 12);
    file[18] = 2;
    file[20] = 2;
    file[22] = 1;
    file[24] = 4;
    file[26 + 3 * 5 + 2] = 0xAA; // red of entry 5
    file[14 + 12 + 48] = 0x50;   // bottom row: 5, 0
    const TBitmapImage core = DecodeBitmap(file.data(), file.size());
    ASSERT_FALSE(core.Empty());
    EXPECT_EQ(core.ColorAt(0, 1), 0xAA0000u);
    EXPECT_EQ(core.ColorAt(1, 1), 0u);
    // Resources keep the info header without the file header.
    const std::vector<uint8_t> whole = EncodeBitmap(Counting(3, 2, 8));
    const TBitmapImage bare = DecodeBitmap(whole.data() + 14, whole.size() - 14);
    EXPECT_EQ(bare.Bits, Counting(3, 2, 8).Bits);
}

TEST(Bitmap, DamagedFilesGiveAnEmptyPicture) {
    const std::vector<uint8_t> good = EncodeBitmap(Counting(9, 7, 8));
    // Cut anywhere: never a read past the end.
    for (size_t size = 0; size < good.size(); ++size)
        EXPECT_TRUE(DecodeBitmap(good.data(), size).Empty()) << size;
    const auto changed = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> file = good;
        Put32(file, at, value);
        return DecodeBitmap(file.data(), file.size()).Empty();
    };
    EXPECT_TRUE(changed(18, 0));                           // width 0
    EXPECT_TRUE(changed(18, uint32_t(-9)));                // negative width
    EXPECT_TRUE(changed(18, 100000));                      // wider than any surface
    EXPECT_TRUE(changed(22, 0x80000000u));                 // the most negative height
    EXPECT_TRUE(changed(18, 16384) && changed(22, 16384)); // too many pixels
    EXPECT_TRUE(changed(28, 2));                           // 2 bits per pixel
    EXPECT_TRUE(changed(30, 1));                           // run-length compressed
    EXPECT_TRUE(changed(10, 0xFFFFFFF0u));                 // pixels beyond the end
    EXPECT_TRUE(changed(14, 0xFFFFFFFFu));                 // header beyond the end
    EXPECT_FALSE(changed(46, 1000));                       // too many colours: the palette is cut
    EXPECT_TRUE(DecodeBitmap(nullptr, 10).Empty());
}

namespace {

// A file of 32-bit pixels with bit fields after a plain 40-byte info header.
std::vector<uint8_t> BitFieldFile(const std::vector<uint32_t>& pixels, uint32_t r, uint32_t g,
                                  uint32_t b) {
    const size_t offset = 14 + 40 + 12;
    std::vector<uint8_t> file(offset + 4 * pixels.size(), 0);
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 2, uint32_t(file.size()));
    Put32(file, 10, offset);
    Put32(file, 14, 40);
    Put32(file, 18, uint32_t(pixels.size())); // one row
    Put32(file, 22, 1);
    file[26] = 1;
    file[28] = 32;
    Put32(file, 30, 3); // BI_BITFIELDS
    Put32(file, 54, r);
    Put32(file, 58, g);
    Put32(file, 62, b);
    for (size_t i = 0; i < pixels.size(); ++i)
        Put32(file, offset + 4 * i, pixels[i]);
    return file;
}

} // namespace

TEST(Bitmap, BitFieldMasksOfEveryWidth) {
    // Red spans all 32 bits (its top byte is what shows), green the usual second byte, blue is
    // absent and reads 0.
    const std::vector<uint32_t> pixels = {0xA1B2C3D4u, 0xFFFFFFFFu, 0x00FFFF00u, 0x7F000001u};
    const std::vector<uint8_t> file = BitFieldFile(pixels, 0xFFFFFFFFu, 0x0000FF00u, 0);
    const TBitmapImage picture = DecodeBitmap(file.data(), file.size());
    ASSERT_FALSE(picture.Empty());
    EXPECT_EQ(picture.Pixels(), TPicturePixels::Custom);
    EXPECT_EQ(picture.ColorAt(0, 0), 0xA1C300u);
    EXPECT_EQ(picture.ColorAt(1, 0), 0xFFFF00u);
    EXPECT_EQ(picture.ColorAt(2, 0), 0x00FF00u);
    EXPECT_EQ(picture.ColorAt(3, 0), 0x7F0000u);
    EXPECT_EQ(BitmapToImage(picture).pixel(0, 0), 0xFFA1C300u);
    // Every mask empty: a black picture, not a refusal.
    const std::vector<uint8_t> empty = BitFieldFile(pixels, 0, 0, 0);
    const TBitmapImage black = DecodeBitmap(empty.data(), empty.size());
    ASSERT_FALSE(black.Empty());
    for (int32_t x = 0; x < 4; ++x)
        EXPECT_EQ(black.ColorAt(x, 0), 0u) << x;
    // Narrow channels widen by repeating their bits: 1 bit set is full, 3 bits 101 are 10110110.
    const std::vector<uint8_t> narrow = BitFieldFile({0x80000005u}, 0x80000000u, 0x7u, 0x70u);
    EXPECT_EQ(DecodeBitmap(narrow.data(), narrow.size()).ColorAt(0, 0), 0xFFB600u);
}

TEST(Bitmap, MasksWithGapsAreRefusedAndReadOverTheirSpan) {
    // Each channel's bits must be one run.
    const std::vector<uint8_t> gaps = BitFieldFile({0x12345678u}, 0x00FF00FFu, 0xFF00u, 0xFFu);
    EXPECT_TRUE(DecodeBitmap(gaps.data(), gaps.size()).Empty());
    const std::vector<uint8_t> ends =
        BitFieldFile({0x12345678u}, 0x80000001u, 0x0000FF00u, 0x000000FFu);
    EXPECT_TRUE(DecodeBitmap(ends.data(), ends.size()).Empty());
    // A picture made in memory with such masks still reads without fault: the bits under the
    // mask as a number over the mask's span, gaps as zeros.
    TBitmapImage picture = Counting(1, 1, 32);
    const uint32_t pixel = 0x0000A5A5u;
    std::memcpy(picture.Bits.data(), &pixel, 4);
    picture.RMask = 0x0000F00Fu; // span of 16 bits: 0xA005, top byte 0xA0
    picture.GMask = 0x00000005u; // span of 3 bits: 101, widened 10110110
    picture.BMask = 0x80000001u; // span of 32 bits: only bit 0 set, top byte 0
    EXPECT_EQ(picture.ColorAt(0, 0), 0xA0B600u);
}
