#pragma once
// Shared by the unit tests: temporary folders, file helpers, surfaces and their pixels, bitmap
// files and runs of crumble-tool.
#include "platform/bmp.h"
#include "platform/ddraw.h"
#include "platform/winpath.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// A fresh folder below the temporary directory, removed with everything in it at the end; a
// folder that cannot be made stops the test, one that cannot be removed fails it.
class TTempFolder {
  public:
    explicit TTempFolder(const std::string& prefix = "crumble") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder " + pattern + ": " +
                                     std::strerror(errno));
        Path = pattern;
    }
    ~TTempFolder() {
        std::error_code error;
        std::filesystem::remove_all(Path, error);
        if (error) ADD_FAILURE() << "cannot remove " << Path << ": " << error.message();
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    std::string Path;
};

// A temporary folder that is the program folder and the current folder while it lives.
class TTempProgramFolder : public TTempFolder {
  public:
    TTempProgramFolder() : FOldFolder(ProgramFolder()), FOldCurrent(GetCurrentDir()) {
        SetProgramFolder(Path);
        SetCurrentDir(Path);
    }
    ~TTempProgramFolder() {
        SetProgramFolder(FOldFolder);
        SetCurrentDir(FOldCurrent);
    }

    // Names match case-insensitively, as the program's own paths do.
    std::string File(const std::string& relative) const {
        return ResolvePath(Path + "/" + relative);
    }
    // Writes a file below the folder, creating the folders on the way.
    void Put(const std::string& relative, const std::string& content) const {
        const std::filesystem::path path = std::filesystem::path(Path) / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    std::string Get(const std::string& relative) const;

  private:
    std::string FOldFolder, FOldCurrent;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string TTempProgramFolder::Get(const std::string& relative) const {
    return ReadWholeFile((std::filesystem::path(Path) / relative).string());
}

// An installed program folder, which cannot be written (the probe says so, since chmod does not
// stop root), overlaid by the player's folder under XDG_DATA_HOME in a temporary folder.
class TOverlaidProgramFolder {
  public:
    TOverlaidProgramFolder() {
        if (const char* old = std::getenv("XDG_DATA_HOME")) FOldData = old;
        setenv("XDG_DATA_HOME", Data.Path.c_str(), 1);
        SetWritableProbe([](const std::string&) { return false; });
    }
    ~TOverlaidProgramFolder() {
        SetWritableProbe(nullptr);
        if (FOldData)
            setenv("XDG_DATA_HOME", FOldData->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }
    TOverlaidProgramFolder(const TOverlaidProgramFolder&) = delete;
    TOverlaidProgramFolder& operator=(const TOverlaidProgramFolder&) = delete;

    // Every folder and file below the program folder with its contents.
    std::map<std::string, std::string> ProgramFiles() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Program.Path)) {
            const std::string name = entry.path().string().substr(Program.Path.size());
            files[name] = entry.is_directory() ? "<folder>" : ReadWholeFile(entry.path().string());
        }
        return files;
    }

    TTempProgramFolder Program;
    TTempFolder Data{"crumble-data"};
    std::string Player = Data.Path + "/crumble-rush";

  private:
    std::optional<std::string> FOldData;
};

// The lines of a text without their CR LF or LF ends.
inline std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> LogLines(const TTempProgramFolder& folder) {
    return TextLines(ReadWholeFile(folder.File("SPS/LOG.TXT")));
}

// --- surfaces --------------------------------------------------------------------------------

// An off-screen surface of the device, in the display's format when bits is 0.
inline PDirectDrawSurface MakeSurface(TDirectDraw& device, int32_t w, int32_t h, int bits = 0) {
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (bits ? DDSD_PIXELFORMAT : 0);
    desc.Caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.Width = w;
    desc.Height = h;
    if (bits) desc.PixelFormat = PixelFormatForDepth(bits);
    PDirectDrawSurface out;
    EXPECT_EQ(device.CreateSurface(desc, out), DD_OK);
    return out;
}

// The raw value of one pixel, read straight from the surface memory.
inline uint32_t PixelAt(const TDirectDrawSurface& s, int32_t x, int32_t y) {
    const int bytes = static_cast<int>(s.Format().RGBBitCount / 8);
    uint32_t v = 0;
    std::memcpy(&v, s.Pixels() + y * s.Pitch() + x * bytes, bytes);
    return v;
}

// --- bitmap files ----------------------------------------------------------------------------

// Writes a bitmap file of a picture made by the caller: palette indices for 1, 4 and 8 bits,
// 0x7C00/0x03E0/0x001F for 16 bits, RGB for 24 and 32 bits.
inline void WriteBitmap(const std::string& path, int32_t w, int32_t h, int32_t bits,
                        const std::vector<uint32_t>& palette,
                        const std::function<uint32_t(int32_t, int32_t)>& value) {
    TBitmapImage picture;
    picture.Width = w;
    picture.Height = h;
    picture.BitCount = bits;
    picture.Palette = palette;
    picture.SetPlainMasks();
    picture.Stride = BitmapStride(w, bits);
    picture.Bits.assign(size_t(picture.Stride) * size_t(h), 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t v = value(x, y);
            uint8_t* row = picture.Row(y);
            if (bits == 1)
                row[x / 8] |= static_cast<uint8_t>((v & 1) << (7 - x % 8));
            else if (bits == 4)
                row[x / 2] |= static_cast<uint8_t>((v & 15) << (x % 2 ? 0 : 4));
            else
                std::memcpy(row + x * bits / 8, &v, size_t(bits / 8));
        }
    const std::vector<uint8_t> bytes = EncodeBitmap(picture);
    WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
}

// A sprite sheet of one colour under gfx\sb, where the sprite loader looks for it.
inline void WriteSheet(const TTempProgramFolder& folder, const std::string& name, int32_t w,
                       int32_t h, uint32_t colour = 0) {
    std::filesystem::create_directories(folder.Path + "/gfx/sb");
    WriteBitmap(folder.Path + "/gfx/sb/" + name + ".bmp", w, h, 24, {},
                [colour](int32_t, int32_t) { return colour; });
}

// --- crumble-tool ----------------------------------------------------------------------------

struct TToolRun {
    int ExitCode;
    std::string Out;
    std::string Err;
};

// Runs the tool (CRUMBLE_TOOL overrides the built one) in the folder and waits for its end. A
// whole game played by the sanitizer build takes about half a minute on a busy machine.
inline TToolRun RunTool(const QStringList& args, const std::string& folder = ".") {
    const char* tool = std::getenv("CRUMBLE_TOOL");
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(folder));
    process.start(QString::fromUtf8(tool ? tool : CRUMBLE_TOOL_PATH), args);
    EXPECT_TRUE(process.waitForFinished(180000)) << "crumble-tool " << args.join(' ').toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << args.join(' ').toStdString();
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}
