// The picture readers and what is built from their output: bitmaps, PNGs, colour-key masks
// and alpha maps from arbitrary bytes. Nothing may read past a buffer or crash; refusals are
// the program's own exceptions.
#include "FuzzFolder.h"
#include "gamelib/DDUtil.h"
#include "gamelib/EngineState.h"
#include "platform/bmp.h"
#include "platform/png.h"
#include "platform/winpath.h"

#include <filesystem>
#include <fstream>

namespace {

struct TSetup {
    std::string Folder;
    TEngineState Engine;
    PDirectDrawSurface Sheets[3];
    TSetup() {
        Folder = fuzz::ScratchFolder("crumble-fuzz-pictures").string();
        std::filesystem::create_directories(Folder + "/SPS");
        SetProgramFolder(Folder);
        SetCurrentDir(Folder);
        Engine.OpenHeadless(32);
        const int depths[3] = {16, 24, 32};
        for (int i = 0; i < 3; ++i) {
            TDDSurfaceDesc desc;
            desc.Flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
            desc.Caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
            desc.Width = 16;
            desc.Height = 8;
            desc.PixelFormat = PixelFormatForDepth(depths[i]);
            DirectDrawObject->CreateSurface(desc, Sheets[i]);
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TSetup setup;
    const TBitmapImage bitmap = DecodeBitmap(data, size);
    if (!bitmap.Empty()) BitmapToImage(bitmap);
    const TBitmapImage png = DecodePng(data, size);
    if (!png.Empty()) (void)png.ColorAt(png.Width - 1, png.Height - 1);
    // The mask code reads files only and decodes them as above (bitmap first): bytes that are
    // no picture, or one the mask code refuses by its size or depth alone, need no file.
    const TBitmapImage& mask = bitmap.Empty() ? png : bitmap;
    if (mask.Empty()) return 0;
    const bool sheetSize = mask.Width == 16 && mask.Height == 8;
    if (!sheetSize && mask.BitCount != 8) return 0;
    {
        std::ofstream out(setup.Folder + "/mask.bmp", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (sheetSize) {
        for (const PDirectDrawSurface& sheet : setup.Sheets) {
            try {
                ApplyMaskImage(sheet, "mask.bmp", 0);
            } catch (const std::runtime_error&) {
            }
        }
    }
    if (mask.BitCount != 8) return 0;
    try {
        const PAlphaMap map = LoadAlphaMap("mask.bmp");
        // A map of any size only ever reaches as far as it goes.
        if (map)
            AlphaMapBlend(setup.Sheets[0], setup.Sheets[0], setup.Sheets[0], TRect{0, 0, 16, 8},
                          TRect{0, 0, 16, 8}, map, true);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
