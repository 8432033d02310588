#include "Sheets.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <fstream>
#include <stdexcept>
#include <string>

namespace assetgen {

namespace {

constexpr int SoftCut = 24;
constexpr int HardCut = 128;

constexpr TSheetEntry Entries[] = {
    {"snackortanz01", 173, 130, 16, SoftCut, false, ArtDance1},
    {"snackortanz02", 173, 130, 16, SoftCut, false, ArtDance2},
    {"snackortanz03", 124, 98, 16, SoftCut, false, ArtDance3},
    {"snackortanz04", 173, 130, 16, SoftCut, false, ArtDance4},
    {"snackorwartlr", 109, 110, 16, SoftCut, false, ArtWaitLeft},
    {"snackorwartrl", 109, 110, 16, SoftCut, false, ArtWaitRight},
    {"snackorwalklr", 109, 110, 5, SoftCut, false, ArtWalkRight},
    {"snackorwalkrl", 173, 130, 5, SoftCut, false, ArtWalkLeft},
    {"snackorpushlr", 109, 110, 5, SoftCut, false, ArtPushRight},
    {"snackorpushrl", 109, 110, 5, SoftCut, false, ArtPushLeft},
    {"title", 608, 81, 1, SoftCut, false, ArtTitle},
    {"playandwin", 209, 32, 1, SoftCut, false, ArtPlayAndWin},
    {"vrexlogo", 272, 60, 1, SoftCut, false, ArtBrandLogo},
    {"intro", 800, 412, 7, SoftCut, true, ArtIntro},
    {"Gametuete", 116, 131, 11, SoftCut, false, ArtBag},
    {"Gametuetedoppelt", 232, 131, 11, SoftCut, false, ArtBag},
    {"Mauszeiger", 44, 44, 1, SoftCut, false, ArtCrosshair},
    {"doppelbreit", 68, 64, 1, SoftCut, false, ArtExtraWide},
    {"dreieck", 93, 80, 1, SoftCut, false, ArtExtraExplosion},
    {"dreieck03", 93, 80, 1, SoftCut, false, ArtExtraTurn},
    {"dreieck05", 93, 80, 1, SoftCut, false, ArtExtraRapidFire},
    {"chip1a", 109, 94, 47, SoftCut, false, ArtChip},
    {"pepper1a", 114, 195, 28, SoftCut, false, ArtPepper},
    {"chip1b", 61, 52, 47, SoftCut, false, ArtChipPiece},
    {"pepper1b", 63, 107, 28, SoftCut, false, ArtPepperPiece},
    {"chip1c", 28, 24, 47, SoftCut, false, ArtChipCrumb},
    {"pepper1c", 29, 49, 28, SoftCut, false, ArtPepperTip},
    // Glyphs and digits are copied with the colour key only, into fields drawn at run time.
    {"Korvald_font", 50, 60, 62, HardCut, false, ArtFontGlyph},
    {"bignumbers", 230, 222, 10, HardCut, false, ArtBigDigit},
    {"Score", 100, 48, 1, SoftCut, false, ArtScoreLabel},
    {"Time", 101, 44, 1, SoftCut, false, ArtTimeLabel},
    {"Partikel", 18, 20, 32, SoftCut, false, ArtParticle},
    {"points", 56, 20, 51, SoftCut, false, ArtPoints},
};

struct TSheetDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};

// Which pixels the colour key hides.
std::vector<bool> KeyedOut(const TSheetPixels& pixels, int keyCut) {
    std::vector<bool> keyed(pixels.Argb.size());
    for (size_t i = 0; i < keyed.size(); ++i)
        keyed[i] = static_cast<int>(pixels.Argb[i] >> 24) < keyCut;
    return keyed;
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::vector<std::uint8_t> BitmapHeader(int width, int height, int bitCount, int paletteSize) {
    const std::uint32_t stride = ((width * bitCount + 31) / 32) * 4;
    const std::uint32_t offset = 14 + 40 + 4 * paletteSize;
    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    PutLe(out, offset + stride * height, 4);
    PutLe(out, 0, 4);
    PutLe(out, offset, 4);
    PutLe(out, 40, 4);
    PutLe(out, width, 4);
    PutLe(out, height, 4); // bottom-up rows
    PutLe(out, 1, 2);
    PutLe(out, bitCount, 2);
    PutLe(out, 0, 4);
    PutLe(out, stride * height, 4);
    PutLe(out, 2835, 4);
    PutLe(out, 2835, 4);
    PutLe(out, paletteSize, 4);
    PutLe(out, 0, 4);
    return out;
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteMask(const std::filesystem::path& path, const TSheetPixels& pixels, int keyCut) {
    const std::vector<bool> keyed = KeyedOut(pixels, keyCut);
    std::unique_ptr<cairo_surface_t, TSheetDeleter> mask(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixels.Width, pixels.Height));
    cairo_surface_flush(mask.get());
    std::uint8_t* data = cairo_image_surface_get_data(mask.get());
    const int stride = cairo_image_surface_get_stride(mask.get());
    for (int y = 0; y < pixels.Height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < pixels.Width; ++x)
            row[x] = keyed[static_cast<size_t>(y) * pixels.Width + x] ? 0xFFFFFFu : 0u;
    }
    cairo_surface_mark_dirty(mask.get());
    if (cairo_surface_write_to_png(mask.get(), path.c_str()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace

std::span<const TSheetEntry> SheetEntries() {
    return Entries;
}

TSheetPixels DrawSheet(const TSheetEntry& entry) {
    TSheetPixels pixels;
    pixels.Width = entry.Width;
    pixels.Height = entry.Height * entry.Count;
    pixels.Argb.resize(static_cast<size_t>(pixels.Width) * pixels.Height);
    // Each image on its own canvas, so that nothing of one can spill into the next.
    for (int i = 0; i < entry.Count; ++i) {
        TCanvas canvas(entry.Width, entry.Height);
        entry.Draw(canvas.Cr(), {i, entry.Count, double(entry.Width), double(entry.Height)});
        if (cairo_status(canvas.Cr()) != CAIRO_STATUS_SUCCESS)
            throw std::runtime_error(
                "drawing " + std::string(entry.Name) + " image " + std::to_string(i + 1) +
                " failed: " + cairo_status_to_string(cairo_status(canvas.Cr())));
        cairo_surface_flush(canvas.Surface());
        const std::uint8_t* data = cairo_image_surface_get_data(canvas.Surface());
        const int stride = cairo_image_surface_get_stride(canvas.Surface());
        for (int y = 0; y < entry.Height; ++y)
            std::memcpy(&pixels.Argb[(static_cast<size_t>(i) * entry.Height + y) * entry.Width],
                        data + static_cast<ptrdiff_t>(y) * stride, entry.Width * 4u);
    }
    return pixels;
}

std::vector<std::uint8_t> SheetBitmap(const TSheetPixels& pixels) {
    std::vector<std::uint8_t> out = BitmapHeader(pixels.Width, pixels.Height, 24, 0);
    const int pad = (4 - (pixels.Width * 3) % 4) % 4;
    for (int y = pixels.Height - 1; y >= 0; --y) {
        for (int x = 0; x < pixels.Width; ++x) {
            const std::uint32_t argb = pixels.Argb[static_cast<size_t>(y) * pixels.Width + x];
            const std::uint32_t a = argb >> 24;
            // Edge pixels keep their full colour; the alpha map does the blending.
            for (int shift : {0, 8, 16}) {
                const std::uint32_t c = (argb >> shift) & 0xFF;
                out.push_back(a == 0 ? 0
                                     : static_cast<std::uint8_t>(
                                           std::min<std::uint32_t>(255, (c * 255 + a / 2) / a)));
            }
        }
        out.insert(out.end(), pad, 0);
    }
    return out;
}

std::vector<std::uint8_t> SheetAlphaMap(const TSheetPixels& pixels) {
    std::vector<std::uint8_t> out = BitmapHeader(pixels.Width, pixels.Height, 8, 256);
    for (std::uint32_t i = 0; i < 256; ++i)
        PutLe(out, i * 0x010101u, 4);
    const int pad = (4 - pixels.Width % 4) % 4;
    for (int y = pixels.Height - 1; y >= 0; --y) {
        for (int x = 0; x < pixels.Width; ++x)
            out.push_back(static_cast<std::uint8_t>(
                pixels.Argb[static_cast<size_t>(y) * pixels.Width + x] >> 24));
        out.insert(out.end(), pad, 0);
    }
    return out;
}

void WriteSheets(const std::filesystem::path& gameDir, const std::filesystem::path& stampFile) {
    std::string written;
    const std::filesystem::path folder = gameDir / "gfx" / "sb";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw std::runtime_error("cannot create " + folder.string() + ": " + error.message());
    for (const TSheetEntry& entry : Entries) {
        TSheetPixels pixels = DrawSheet(entry);
        // Black where the key hides a pixel, so sheet, mask and alpha map agree.
        const std::vector<bool> keyed = KeyedOut(pixels, entry.KeyCut);
        for (size_t i = 0; i < keyed.size(); ++i)
            if (keyed[i]) pixels.Argb[i] = 0;
        const std::string name(entry.Name);
        WriteFile(folder / (name + ".bmp"), SheetBitmap(pixels));
        WriteMask(folder / (name + "m.png"), pixels, entry.KeyCut);
        written += "gfx/sb/" + name + ".bmp\ngfx/sb/" + name + "m.png\n";
        if (!entry.Opaque) {
            WriteFile(folder / (name + "_mask.bmp"), SheetAlphaMap(pixels));
            written += "gfx/sb/" + name + "_mask.bmp\n";
        }
    }
    WriteFile(stampFile, std::vector<std::uint8_t>(written.begin(), written.end()));
}

} // namespace assetgen
