#include "platform/png.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <png.h>

// libpng reports fatal errors by a longjmp back into ReadInto. That function keeps no object
// with a destructor on its own stack; the picture it fills belongs to the caller.
namespace {

struct TSource {
    const uint8_t* Data;
    size_t Size;
    size_t Position;
};

void ReadData(png_structp png, png_bytep out, size_t count) {
    auto* source = static_cast<TSource*>(png_get_io_ptr(png));
    if (count > source->Size - source->Position) png_error(png, "truncated");
    std::memcpy(out, source->Data + source->Position, count);
    source->Position += count;
}

void Error(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void Warning(png_structp, png_const_charp) {}

// Fills picture; false when libpng gave up or the picture is too large.
bool ReadInto(TSource* source, TBitmapImage* picture, std::vector<png_bytep>* rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Error, Warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_set_user_limits(png, MaxPictureSide, MaxPictureSide);
    png_set_read_fn(png, source, ReadData);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int type = png_get_color_type(png, info);
    if (int64_t(width) * int64_t(height) > MaxPicturePixels) png_error(png, "too large");

    int bits = 8;
    picture->Palette.clear();
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &palette, &count);
        for (int i = 0; i < count; ++i)
            picture->Palette.push_back(uint32_t(palette[i].red) << 16 |
                                       uint32_t(palette[i].green) << 8 | palette[i].blue);
        bits = depth == 1 ? 1 : depth <= 4 ? 4 : 8;
    } else if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) {
        if (type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_strip_alpha(png);
        png_set_strip_16(png);
        const bool grey = type == PNG_COLOR_TYPE_GRAY;
        bits = grey && depth == 1 ? 1 : grey && depth <= 4 ? 4 : 8;
        const int levels = 1 << (bits == 4 ? depth : bits);
        for (int i = 0; i < levels; ++i) {
            const uint32_t grey = uint32_t(i * 255 / (levels - 1));
            picture->Palette.push_back(grey << 16 | grey << 8 | grey);
        }
    } else {
        png_set_strip_16(png);
        png_set_bgr(png);
        bits = (type & PNG_COLOR_MASK_ALPHA) ? 32 : 24;
    }
    // Two-bit pixels become four-bit ones, the nearest layout a bitmap has.
    if (bits == 4 && depth == 2) png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    picture->Width = static_cast<int32_t>(width);
    picture->Height = static_cast<int32_t>(height);
    picture->BitCount = bits;
    if (bits == 32) {
        picture->RMask = 0xFF0000;
        picture->GMask = 0xFF00;
        picture->BMask = 0xFF;
    }
    picture->Stride = BitmapStride(picture->Width, bits);
    const size_t rowBytes = png_get_rowbytes(png, info);
    // Unpacked two-bit rows need a byte per pixel while reading.
    const size_t readStride = std::max(rowBytes, size_t(picture->Stride));
    bool allocated = true;
    try {
        picture->Bits.assign(readStride * height, 0);
        rows->resize(height);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated) png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; ++y)
        (*rows)[y] = picture->Bits.data() + readStride * y;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);

    if (readStride != size_t(picture->Stride) || (bits == 4 && depth == 2)) {
        for (png_uint_32 y = 0; y < height; ++y) {
            uint8_t* in = picture->Bits.data() + readStride * y;
            uint8_t* out = picture->Bits.data() + size_t(picture->Stride) * y;
            if (bits == 4 && depth == 2) {
                for (png_uint_32 x = 0; x < width; x += 2)
                    out[x / 2] = static_cast<uint8_t>(in[x] << 4 | (x + 1 < width ? in[x + 1] : 0));
                std::memset(out + (width + 1) / 2, 0, size_t(picture->Stride) - (width + 1) / 2);
            } else {
                std::memmove(out, in, size_t(picture->Stride));
            }
        }
        picture->Bits.resize(size_t(picture->Stride) * height);
    }
    return true;
}

} // namespace

TBitmapImage DecodePng(const uint8_t* data, size_t size) {
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return {};
    TSource source{data, size, 0};
    TBitmapImage picture;
    std::vector<png_bytep> rows;
    if (!ReadInto(&source, &picture, &rows)) return {};
    return picture;
}

TBitmapImage DecodePng(const QByteArray& data) {
    return DecodePng(reinterpret_cast<const uint8_t*>(data.constData()),
                     static_cast<size_t>(data.size()));
}
