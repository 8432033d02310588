#include "platform/png.h"

#include <gtest/gtest.h>
#include <png.h>

namespace {

void Append(png_structp png, png_bytep data, size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

// A PNG written by libpng from rows given byte by byte.
std::vector<uint8_t> MakePng(uint32_t width, uint32_t height, int type, int depth,
                             const std::vector<std::vector<uint8_t>>& rows, int palette = 0,
                             bool interlaced = false) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, Append, nullptr);
    png_set_IHDR(png, info, width, height, depth, type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> colors;
    for (int i = 0; i < palette; ++i)
        colors.push_back(png_color{uint8_t(i), uint8_t(2 * i), uint8_t(255 - i)});
    if (palette) png_set_PLTE(png, info, colors.data(), palette);
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (const auto& row : rows)
        pointers.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace

TEST(Png, PaletteIndicesAndPackedBitsAreKept) {
    const auto eight =
        MakePng(5, 2, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 2, 3, 200}, {9, 8, 7, 6, 5}}, 201);
    TBitmapImage picture = DecodePng(eight.data(), eight.size());
    ASSERT_EQ(picture.BitCount, 8);
    EXPECT_EQ(picture.Stride, 8);
    EXPECT_EQ(picture.Row(0)[4], 200);
    EXPECT_EQ(picture.Row(1)[0], 9);
    EXPECT_EQ(picture.Palette.size(), 201u);
    EXPECT_EQ(picture.ColorAt(4, 0), 0xC89037u);
    // One bit: the leftmost pixel is the top bit, as in the file.
    const auto one = MakePng(10, 1, PNG_COLOR_TYPE_GRAY, 1, {{0x81, 0x40}});
    picture = DecodePng(one.data(), one.size());
    ASSERT_EQ(picture.BitCount, 1);
    EXPECT_EQ(picture.Row(0)[0], 0x81);
    EXPECT_EQ(picture.Row(0)[1], 0x40);
    EXPECT_EQ(picture.ColorAt(0, 0), 0xFFFFFFu);
    EXPECT_EQ(picture.ColorAt(1, 0), 0u);
    // Two-bit palettes widen to four bits, interlaced or not.
    for (const bool interlaced : {false, true}) {
        const auto two = MakePng(3, 2, PNG_COLOR_TYPE_PALETTE, 2, {{0x1B}, {0xE4}}, 4, interlaced);
        picture = DecodePng(two.data(), two.size());
        ASSERT_EQ(picture.BitCount, 4);
        EXPECT_EQ(picture.Row(0)[0], 0x01);
        EXPECT_EQ(picture.Row(0)[1], 0x20);
        EXPECT_EQ(picture.Row(1)[0], 0x32);
    }
}

TEST(Png, GreyAndColourPictures) {
    const auto grey = MakePng(2, 1, PNG_COLOR_TYPE_GRAY, 8, {{0, 77}});
    TBitmapImage picture = DecodePng(grey.data(), grey.size());
    ASSERT_EQ(picture.BitCount, 8);
    EXPECT_EQ(picture.Row(0)[1], 77);
    EXPECT_EQ(picture.ColorAt(1, 0), 0x4D4D4Du);
    const auto rgb = MakePng(1, 1, PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3}});
    picture = DecodePng(rgb.data(), rgb.size());
    ASSERT_EQ(picture.BitCount, 24);
    EXPECT_EQ(picture.Pixels(), TPicturePixels::Bits24);
    EXPECT_EQ(picture.ColorAt(0, 0), 0x010203u);
    const auto rgba = MakePng(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, {{1, 0, 2, 0, 3, 0, 4, 0}});
    picture = DecodePng(rgba.data(), rgba.size());
    ASSERT_EQ(picture.BitCount, 32);
    EXPECT_EQ(picture.ColorAt(0, 0), 0x010203u);
}

TEST(Png, DamagedDataGivesAnEmptyPicture) {
    const auto good = MakePng(4, 4, PNG_COLOR_TYPE_PALETTE, 8,
                              std::vector<std::vector<uint8_t>>(4, {1, 2, 3, 4}), 5);
    for (size_t size = 0; size < good.size(); size += 3)
        EXPECT_TRUE(DecodePng(good.data(), size).Empty()) << size;
    // A header claiming a giant (the CRC is not what stops it: libpng checks sizes first).
    std::vector<uint8_t> giant = good;
    giant[16] = 0x7F;
    EXPECT_TRUE(DecodePng(giant.data(), giant.size()).Empty());
    EXPECT_TRUE(DecodePng(nullptr, 0).Empty());
}
