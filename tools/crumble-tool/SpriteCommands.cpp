#include "SpriteCommands.h"

#include "gamelib/Ddcanvas.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteUnit.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <QImage>
#include <QGuiApplication>
#include <QPainter>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>

namespace {

using TArgs = std::vector<std::string>;

// The game's set-up before it loads the script: a 16-bit headless device with alpha maps on.
struct TSpriteDevice {
    TSpriteDevice() { Engine.OpenHeadless(16); }
    TEngineState Engine;
};

// Loads the script (a file of the caller's, or the built-in one) and prints what the load
// wrote to the program's log; the log itself is left as it was.
void Load(const std::string& scriptFile) {
    const std::vector<std::string> script =
        scriptFile.empty()
            ? SplitLines(BuiltInSpriteScript())
            : SplitLines(ReadFileBytes(std::filesystem::absolute(scriptFile).string()));
    const std::string logFile = ProgDir() + "\\SPS\\LOG.TXT";
    std::string before;
    bool existed = true;
    try {
        before = ReadFileBytes(logFile);
    } catch (const EInOutError&) {
        existed = false;
    }
    const auto printLog = [&] {
        std::string after;
        try {
            after = ReadFileBytes(logFile);
        } catch (const EInOutError&) {
            return;
        }
        if (after.size() <= before.size()) return;
        for (std::string& line : SplitLines(after.substr(before.size())))
            std::cout << AnsiToUtf8(line) << '\n';
        if (existed)
            WriteFileReplacing(logFile, before);
        else
            DeleteFileAt(logFile);
    };
    try {
        LoadAllObjects(script);
    } catch (...) {
        printLog();
        throw;
    }
    printLog();
}

int32_t ImageCount(int32_t object) {
    const int32_t next =
        object < ObjectCount ? Objects[size_t(object + 1)].FirstSprite : SpriteCount;
    return next - Objects[size_t(object)].FirstSprite;
}

int32_t Number(const std::string& text, const std::string& what) {
    try {
        size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size()) return value;
    } catch (const std::exception&) {
    }
    throw std::runtime_error("sprites: " + what + " is no number: " + text);
}

// A grey checkerboard, so that transparent pixels show as such.
PDirectDrawSurface Board(int32_t width, int32_t height) {
    PDirectDrawSurface surface = CreateSurface(std::max(width, 1), std::max(height, 1), true);
    for (int32_t y = 0; y < height; y += 8)
        for (int32_t x = 0; x < width; x += 8)
            Colorfill(surface, x, y, std::min(8, width - x), std::min(8, height - y),
                      ((x + y) / 8) % 2 ? 0x808080 : 0xC0C0C0);
    return surface;
}

void SavePng(const PDirectDrawSurface& surface, const std::string& fileName) {
    QImage copy;
    {
        TDDCanvas canvas(surface);
        copy = canvas->Image().copy(0, 0, canvas->Width(), canvas->Height());
    }
    if (!copy.save(QString::fromStdString(std::filesystem::absolute(fileName).string()), "PNG"))
        throw std::runtime_error("Cannot write " + fileName);
}

} // namespace

int SpritesCheck(const TArgs& args) {
    if (args.size() > 1) throw std::runtime_error("sprites check: [SCRIPT]");
    TSpriteDevice device;
    Load(args.empty() ? "" : args[0]);
    std::cout << "objects: " << ObjectCount << ", sprites: " << SpriteCount
              << ", surfaces: " << SurfaceCount << '\n';
    return 0;
}

int SpritesShow(const TArgs& args) {
    if (args.empty() || args.size() > 2) throw std::runtime_error("sprites show: OBJECT [SCRIPT]");
    TSpriteDevice device;
    Load(args.size() > 1 ? args[1] : "");
    const int32_t object = GetAnimation(args[0]);
    const TSpriteObject& o = Objects[size_t(object)];
    const int32_t first = o.FirstSprite + 1;
    const bool any = first <= SpriteCount && ImageCount(object) > 0;
    std::cout << "object " << object << ": " << o.Name << '\n'
              << "first sprite: " << first << '\n'
              << "images: " << ImageCount(object) << ", size "
              << (any ? Sprites[size_t(first)].W : 0) << "x" << (any ? Sprites[size_t(first)].H : 0)
              << '\n';
    for (int32_t a = 0; a < o.AnimationCount; ++a) {
        std::cout << "ANIM " << a << ": speed " << FlipSpeed(object, a) << " second "
                  << SecondValue(object, a) << " frames ";
        for (int32_t f = 0; f < FrameCount(object, a); ++f)
            std::cout << (f ? "," : "") << GetSprite(object, a, f) - o.FirstSprite;
        std::cout << '\n';
    }
    return 0;
}

int SpritesRender(const TArgs& args) {
    if (args.size() < 4)
        throw std::runtime_error(
            "sprites render: OBJECT ANIM FRAME OUT.png [--scale F] [--alpha A] [SCRIPT]");
    double scale = 1.0;
    int32_t alpha = 255;
    std::string script;
    for (size_t i = 4; i < args.size(); ++i) {
        if (args[i] == "--scale" && i + 1 < args.size())
            scale = StrToFloatAny(args[++i]);
        else if (args[i] == "--alpha" && i + 1 < args.size())
            alpha = Number(args[++i], "alpha");
        else if (script.empty())
            script = args[i];
        else
            throw std::runtime_error("sprites render: unknown argument " + args[i]);
    }
    if (!(scale > 0 && scale <= 16)) throw std::runtime_error("sprites render: scale beyond 0..16");
    if (alpha < 0 || alpha > 255) throw std::runtime_error("sprites render: alpha beyond 0..255");
    TSpriteDevice device;
    Load(script);
    const int32_t object = GetAnimation(args[0]);
    const int32_t animation = Number(args[1], "ANIM"), frame = Number(args[2], "FRAME");
    const int32_t sprite = GetSprite(object, animation, frame);
    if (sprite < 1 || sprite > SpriteCount)
        throw std::runtime_error("sprites render: no image at animation " + args[1] + ", frame " +
                                 args[2]);
    const int32_t w = std::max(1, int32_t(Sprites[size_t(sprite)].W * scale + 0.5));
    const int32_t h = std::max(1, int32_t(Sprites[size_t(sprite)].H * scale + 0.5));
    const PDirectDrawSurface board = Board(w, h);
    Stretchblit(board, w / 2, h / 2, w, h, sprite, 0, 0, w - 1, h - 1, true, alpha);
    SavePng(board, args[3]);
    return 0;
}

int SpritesSheet(const TArgs& args) {
    if (args.size() < 2 || args.size() > 3)
        throw std::runtime_error("sprites sheet: OBJECT OUT.png [SCRIPT]");
    TSpriteDevice device;
    Load(args.size() > 2 ? args[2] : "");
    const int32_t object = GetAnimation(args[0]);
    const int32_t first = Objects[size_t(object)].FirstSprite + 1, count = ImageCount(object);
    int32_t width = 0, height = 0;
    for (int32_t i = 0; i < count; ++i) {
        width += Sprites[size_t(first + i)].W;
        height = std::max(height, Sprites[size_t(first + i)].H);
    }
    if (int64_t(width) * height > 64 << 20) throw std::runtime_error("sprites sheet: too large");
    const PDirectDrawSurface board = Board(width, height);
    for (int32_t i = 0, x = 0; i < count; x += Sprites[size_t(first + i)].W, ++i) {
        const TSprite& s = Sprites[size_t(first + i)];
        Stretchblit(board, x + s.W / 2, s.H / 2, s.W, s.H, first + i, 0, 0, width - 1, height - 1,
                    true, 255);
    }
    SavePng(board, args[1]);
    return 0;
}

int SpritesContact(const TArgs& args) {
    if (args.empty() || args.size() > 2)
        throw std::runtime_error("sprites contact: OUT.png [SCRIPT]");
    TSpriteDevice device;
    Load(args.size() > 1 ? args[1] : "");
    constexpr int32_t cellW = 220, cellH = 170, labelH = 34, columns = 6, shownMax = 4;
    const int32_t rows = std::max(1, (ObjectCount + columns - 1) / columns);
    const int32_t width = columns * cellW, height = rows * cellH;
    const PDirectDrawSurface board = Board(width, height);
    for (int32_t object = 1; object <= ObjectCount; ++object) {
        const int32_t left = ((object - 1) % columns) * cellW,
                      top = ((object - 1) / columns) * cellH;
        const int32_t first = Objects[size_t(object)].FirstSprite + 1;
        const int32_t shown = std::min(ImageCount(object), shownMax);
        int32_t rowW = 0, rowH = 0;
        for (int32_t i = 0; i < shown; ++i) {
            rowW += Sprites[size_t(first + i)].W + 4;
            rowH = std::max(rowH, Sprites[size_t(first + i)].H);
        }
        if (shown == 0) continue;
        // The first images side by side, shrunk (never enlarged) to the cell's picture area.
        const double scale =
            std::min({1.0, double(cellW - 10) / rowW, double(cellH - labelH - 8) / rowH});
        double x = left + (cellW - rowW * scale) / 2;
        for (int32_t i = 0; i < shown; ++i) {
            const TSprite& s = Sprites[size_t(first + i)];
            const int32_t w = std::max(1, int32_t(s.W * scale)),
                          h = std::max(1, int32_t(s.H * scale));
            Stretchblit(board, int32_t(x) + w / 2, top + 4 + (cellH - labelH - 8) / 2, w, h,
                        first + i, left, top, left + cellW - 1, top + cellH - labelH - 1, true,
                        255);
            x += (s.W + 4) * scale;
        }
    }
    QImage picture;
    {
        TDDCanvas canvas(board);
        picture = canvas->Image().copy(0, 0, width, height);
    }
    // Text needs a font database, which needs an application; no window is ever opened.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "crumble-tool";
    char* argv[] = {name, nullptr};
    std::optional<QGuiApplication> application;
    if (!QGuiApplication::instance()) application.emplace(argc, argv);
    QPainter painter(&picture);
    painter.setFont(QFont("Liberation Sans", 10, QFont::Bold));
    for (int32_t object = 1; object <= ObjectCount; ++object) {
        const int32_t left = ((object - 1) % columns) * cellW,
                      top = ((object - 1) / columns) * cellH;
        const QRect label(left, top + cellH - labelH, cellW, labelH);
        painter.fillRect(label, QColor(40, 24, 16));
        painter.setPen(QColor(255, 230, 160));
        const int32_t first = Objects[size_t(object)].FirstSprite + 1, count = ImageCount(object);
        const QString size = count > 0 ? QString("%1 x %2, %3 image%4")
                                             .arg(Sprites[size_t(first)].W)
                                             .arg(Sprites[size_t(first)].H)
                                             .arg(count)
                                             .arg(count == 1 ? "" : "s")
                                       : QString("no images");
        painter.drawText(label, Qt::AlignCenter,
                         QString::fromStdString(Objects[size_t(object)].Name) + "\n" + size);
        painter.setPen(QColor(60, 40, 30));
        painter.drawRect(left, top, cellW - 1, cellH - 1);
    }
    painter.end();
    if (!picture.save(QString::fromStdString(std::filesystem::absolute(args[0]).string()), "PNG"))
        throw std::runtime_error("Cannot write " + args[0]);
    return 0;
}
