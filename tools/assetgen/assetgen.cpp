// Draws the program's pictures at build time: assetgen <assetdir> <gamedir>, and the icons of
// the desktop's menus: assetgen --icons <dir>.
// Each picture is one drawing function in the table below, written as a resource file
// <assetdir>/<type>/<NAME> (no extension, named as the program asks for it).

#include "Draw.h"
#include "Icon.h"
#include "JpegWriter.h"
#include "MenuPictures.h"
#include "Music.h"
#include "Pictures.h"
#include "Sheets.h"
#include "Sounds.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using namespace assetgen;

constexpr int JpegQuality = 92;

struct TPictureEntry {
    std::string_view Type;
    std::string_view Name;
    int Width;
    int Height;
    void (*Draw)(TCanvas&);
};

constexpr TPictureEntry Pictures[] = {
    {"JPEG", "MENUE", MenuWidth, MenuHeight, DrawMenue},
    {"JPEG", "MENUE_NET", MenuWidth, MenuHeight, DrawMenueNet},
    {"JPEG", "LOADERPIC", ScreenWidth, ScreenHeight, DrawLoaderPic},
    {"JPEG", "MENUBACK", MenuBackWidth, MenuBackHeight, DrawMenuBack},
    {"JPEG", "INFO", ScreenWidth, ScreenHeight, DrawInfoSb},
    {"JPEG", "BACK", ScreenWidth, ScreenHeight, DrawBackSb},
    {"JPEG", "INTRO", ScreenWidth, ScreenHeight, DrawIntro},
};

void WritePictures(const std::filesystem::path& assetDir) {
    for (const TPictureEntry& entry : Pictures) {
        const std::filesystem::path folder = assetDir / entry.Type;
        std::filesystem::create_directories(folder);
        TCanvas canvas(entry.Width, entry.Height);
        entry.Draw(canvas);
        if (cairo_status(canvas.Cr()) != CAIRO_STATUS_SUCCESS)
            throw std::runtime_error(
                std::string("drawing ") + std::string(entry.Name) +
                " failed: " + cairo_status_to_string(cairo_status(canvas.Cr())));
        WriteJpeg(canvas.Surface(), folder / entry.Name, JpegQuality);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: assetgen <assetdir> <gamedir>\n"
                             "       assetgen --icons <dir>\n");
        return 2;
    }
    try {
        if (std::string_view(argv[1]) == "--icons") {
            WriteIcons(argv[2]);
            return 0;
        }
        WritePictures(argv[1]);
        WriteGamePictures(argv[2], JpegQuality);
        WriteSounds(std::filesystem::path(argv[2]) / "snd");
        WriteMusic(std::filesystem::path(argv[2]) / "snd");
        WriteSheets(argv[2], std::filesystem::path(argv[1]) / "sheets.stamp");
        // The program folder (argv[2]) receives the loose files once sheets and sounds are drawn.
    } catch (const std::exception& error) {
        std::fprintf(stderr, "assetgen: %s\n", error.what());
        return 1;
    }
    return 0;
}
