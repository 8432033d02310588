#include "platform/bmp.h"

#include <bit>
#include <cstring>

namespace {

constexpr uint32_t BI_RGB = 0, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

// Little-endian reads that never pass the end of the data.
class TReader {
  public:
    TReader(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
    bool Has(size_t offset, size_t count) const {
        return offset <= FSize && count <= FSize - offset;
    }
    uint32_t U32(size_t offset) const {
        return uint32_t(FData[offset]) | uint32_t(FData[offset + 1]) << 8 |
               uint32_t(FData[offset + 2]) << 16 | uint32_t(FData[offset + 3]) << 24;
    }
    uint16_t U16(size_t offset) const {
        return static_cast<uint16_t>(FData[offset] | FData[offset + 1] << 8);
    }
    const uint8_t* At(size_t offset) const { return FData + offset; }

  private:
    const uint8_t* FData;
    size_t FSize;
};

// One channel of a bit-field pixel scaled to 0..255 by repeating its bits, so that a 5-bit
// channel converted back by truncation gives the stored value again. Masks of every width up to
// 32 bits are read; an empty mask reads 0, and a mask with gaps (never decoded from a file) is
// read over its span with the gaps as zero bits.
uint32_t Channel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::bit_width(mask >> shift); // 1 to 32
    const uint32_t value = (pixel & mask) >> shift;
    if (bits >= 8) return (value >> (bits - 8)) & 0xFF;
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += bits)
        out = (out << bits) | value;
    return (out >> ((8 + bits - 1) / bits * bits - 8)) & 0xFF;
}

// A channel's mask is one run of set bits, as the format requires, or empty: that channel is
// absent and reads 0.
bool ValidMask(uint32_t mask) {
    if (mask == 0) return true;
    const uint32_t field = mask >> std::countr_zero(mask);
    return (field & (field + 1)) == 0;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

} // namespace

TPicturePixels TBitmapImage::Pixels() const {
    switch (BitCount) {
    case 1:
        return TPicturePixels::Bits1;
    case 4:
        return TPicturePixels::Bits4;
    case 8:
        return TPicturePixels::Bits8;
    case 16:
        if (RMask == 0x7C00 && GMask == 0x03E0 && BMask == 0x001F) return TPicturePixels::Bits15;
        if (RMask == 0xF800 && GMask == 0x07E0 && BMask == 0x001F) return TPicturePixels::Bits16;
        return TPicturePixels::Custom;
    case 24:
        return TPicturePixels::Bits24;
    case 32:
        if (RMask == 0xFF0000 && GMask == 0xFF00 && BMask == 0xFF) return TPicturePixels::Bits32;
        return TPicturePixels::Custom;
    default:
        return TPicturePixels::None;
    }
}

uint32_t TBitmapImage::ColorAt(int32_t x, int32_t y) const {
    const uint8_t* row = Row(y);
    uint32_t index = 0;
    switch (BitCount) {
    case 1:
        index = (row[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    case 4:
        index = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        break;
    case 8:
        index = row[x];
        break;
    case 16: {
        const uint32_t v = row[2 * x] | uint32_t(row[2 * x + 1]) << 8;
        return Channel(v, RMask) << 16 | Channel(v, GMask) << 8 | Channel(v, BMask);
    }
    case 24:
        return uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
    case 32: {
        uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        return Channel(v, RMask) << 16 | Channel(v, GMask) << 8 | Channel(v, BMask);
    }
    default:
        return 0;
    }
    return index < Palette.size() ? Palette[index] : 0;
}

void TBitmapImage::SetPlainMasks() {
    if (BitCount == 16) {
        RMask = 0x7C00;
        GMask = 0x03E0;
        BMask = 0x001F;
    } else if (BitCount == 32) {
        RMask = 0xFF0000;
        GMask = 0xFF00;
        BMask = 0xFF;
    }
}

TBitmapImage DecodeBitmap(const uint8_t* data, size_t size) {
    if (!data) return {};
    const TReader in(data, size);
    size_t header = 0;
    size_t pixelOffset = 0;
    bool fileHeader = false;
    if (in.Has(0, 14) && data[0] == 'B' && data[1] == 'M') {
        fileHeader = true;
        header = 14;
        pixelOffset = in.U32(10);
    }
    if (!in.Has(header, 4)) return {};
    const uint32_t infoSize = in.U32(header);
    if (!in.Has(header, infoSize)) return {};

    TBitmapImage picture;
    int64_t width, height;
    uint32_t compression = BI_RGB, colorsUsed = 0;
    size_t paletteEntry = 4;
    size_t afterHeader = header + infoSize;
    if (infoSize == 12) { // the old core header: 16-bit sizes, 3-byte palette entries
        width = in.U16(header + 4);
        height = static_cast<int16_t>(in.U16(header + 6));
        picture.BitCount = in.U16(header + 10);
        paletteEntry = 3;
    } else if (infoSize >= 40) {
        width = static_cast<int32_t>(in.U32(header + 4));
        height = static_cast<int32_t>(in.U32(header + 8));
        picture.BitCount = in.U16(header + 14);
        compression = in.U32(header + 16);
        colorsUsed = in.U32(header + 32);
    } else {
        return {};
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > MaxPictureSide || height > MaxPictureSide ||
        width * height > MaxPicturePixels)
        return {};
    picture.Width = static_cast<int32_t>(width);
    picture.Height = static_cast<int32_t>(height);

    const int32_t bits = picture.BitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return {};
    if (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS) {
        if (bits != 16 && bits != 32) return {};
        // A plain info header is followed by the masks; later headers hold them.
        const size_t masks = infoSize >= 52 ? header + 40 : afterHeader;
        if (!in.Has(masks, 12)) return {};
        picture.RMask = in.U32(masks);
        picture.GMask = in.U32(masks + 4);
        picture.BMask = in.U32(masks + 8);
        if (infoSize < 52) afterHeader += compression == BI_ALPHABITFIELDS ? 16 : 12;
        if (!ValidMask(picture.RMask) || !ValidMask(picture.GMask) || !ValidMask(picture.BMask) ||
            ((picture.RMask | picture.GMask | picture.BMask) >> (bits - 1) >> 1) != 0)
            return {};
    } else if (compression == BI_RGB) {
        picture.SetPlainMasks();
    } else {
        return {}; // run-length and embedded JPEG/PNG data are not read
    }

    if (bits <= 8) {
        const uint32_t full = 1u << bits;
        const uint32_t count = colorsUsed == 0 || colorsUsed > full ? full : colorsUsed;
        if (!in.Has(afterHeader, count * paletteEntry)) return {};
        picture.Palette.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* entry = in.At(afterHeader + i * paletteEntry);
            picture.Palette[i] = uint32_t(entry[2]) << 16 | uint32_t(entry[1]) << 8 | entry[0];
        }
        afterHeader += count * paletteEntry;
    }
    if (!fileHeader || pixelOffset == 0) pixelOffset = afterHeader;

    picture.Stride = BitmapStride(picture.Width, bits);
    const size_t total = size_t(picture.Stride) * size_t(picture.Height);
    if (!in.Has(pixelOffset, total)) return {};
    picture.Bits.resize(total);
    for (int32_t y = 0; y < picture.Height; ++y) {
        const int32_t fileRow = topDown ? y : picture.Height - 1 - y;
        std::memcpy(picture.Row(y), in.At(pixelOffset + size_t(fileRow) * size_t(picture.Stride)),
                    size_t(picture.Stride));
    }
    return picture;
}

TBitmapImage DecodeBitmap(const QByteArray& data) {
    return DecodeBitmap(reinterpret_cast<const uint8_t*>(data.constData()),
                        static_cast<size_t>(data.size()));
}

QImage BitmapToImage(const TBitmapImage& picture) {
    if (picture.Empty()) return {};
    QImage image(picture.Width, picture.Height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int32_t y = 0; y < picture.Height; ++y) {
        auto* out = reinterpret_cast<uint32_t*>(image.scanLine(y));
        if (picture.BitCount == 24) {
            const uint8_t* row = picture.Row(y);
            for (int32_t x = 0; x < picture.Width; ++x, row += 3)
                out[x] = 0xFF000000u | uint32_t(row[2]) << 16 | uint32_t(row[1]) << 8 | row[0];
        } else {
            for (int32_t x = 0; x < picture.Width; ++x)
                out[x] = 0xFF000000u | picture.ColorAt(x, y);
        }
    }
    return image;
}

std::vector<uint8_t> EncodeBitmap(const TBitmapImage& picture, bool topDown) {
    const int32_t bits = picture.BitCount;
    const bool fields = (bits == 16 && picture.Pixels() != TPicturePixels::Bits15) ||
                        (bits == 32 && picture.Pixels() != TPicturePixels::Bits32);
    const uint32_t paletteBytes = bits <= 8 ? uint32_t(picture.Palette.size()) * 4 : 0;
    const uint32_t offset = 14 + 40 + (fields ? 12 : 0) + paletteBytes;
    const int32_t stride = BitmapStride(picture.Width, bits);
    const uint32_t imageBytes = uint32_t(stride) * uint32_t(picture.Height);
    std::vector<uint8_t> out;
    out.reserve(offset + imageBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageBytes);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, uint32_t(picture.Width));
    Put32(out, uint32_t(topDown ? -picture.Height : picture.Height));
    Put16(out, 1);
    Put16(out, uint32_t(bits));
    Put32(out, fields ? BI_BITFIELDS : BI_RGB);
    Put32(out, imageBytes);
    Put32(out, 2835); // 72 dpi
    Put32(out, 2835);
    Put32(out, bits <= 8 ? uint32_t(picture.Palette.size()) : 0);
    Put32(out, 0);
    if (fields) {
        Put32(out, picture.RMask);
        Put32(out, picture.GMask);
        Put32(out, picture.BMask);
    }
    if (bits <= 8)
        for (const uint32_t color : picture.Palette)
            Put32(out, color & 0xFFFFFF);
    for (int32_t i = 0; i < picture.Height; ++i) {
        const int32_t y = topDown ? i : picture.Height - 1 - i;
        const size_t used = std::min<size_t>(size_t(stride), size_t(picture.Stride));
        out.insert(out.end(), picture.Row(y), picture.Row(y) + used);
        out.insert(out.end(), size_t(stride) - used, 0);
    }
    return out;
}
