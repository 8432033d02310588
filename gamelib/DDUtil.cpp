#include "gamelib/DDUtil.h"

#include "platform/canvas.h"
#include "platform/jpeg.h"
#include "platform/resources.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <QFile>
#include <algorithm>

PDirectDraw DirectDrawObject;
std::vector<PDirectDrawSurface> DisplaySurfaces;
PDirectDrawSurface BackgroundSurface;
PDirectDrawSurface ScratchSurface;
int32_t ScreenWidth = 800, ScreenHeight = 600;
uint16_t ClipRight = 799, ClipBottom = 599;
int32_t BottomMargin = 0;
int32_t ViewOffsetX = 0, ViewOffsetY = 0;
double FocalLength = 800.0;
int32_t CenterX = 400, CenterY = 300;
bool AlphaBlendEnabled = true;
bool AlphaMapEnabled = false;
bool SurfaceLost = false;
uint32_t ColorKeyValue = 0;

namespace {

struct TErrorText {
    HRESULT Code;
    const char* Text;
};

// The texts the device documented for the results it returns.
constexpr TErrorText ErrorTexts[] = {
    {DD_OK, "No error"},
    {DDERR_GENERIC, "DDERR_GENERIC: Generic failure."},
    {DDERR_UNSUPPORTED, "DDERR_UNSUPPORTED: Action not supported."},
    {DDERR_INVALIDPARAMS,
     "DDERR_INVALIDPARAMS: One or more of the parameters passed to the function are incorrect."},
    {DDERR_OUTOFMEMORY,
     "DDERR_OUTOFMEMORY: DirectDraw does not have enough memory to perform the operation."},
    {DDERR_INVALIDMODE, "DDERR_INVALIDMODE: DirectDraw does not support the requested mode."},
    {DDERR_INVALIDOBJECT,
     "DDERR_INVALIDOBJECT: DirectDraw received a pointer that was an invalid DIRECTDRAW object."},
    {DDERR_INVALIDPIXELFORMAT,
     "DDERR_INVALIDPIXELFORMAT: The pixel format was invalid as specified."},
    {DDERR_INVALIDRECT, "DDERR_INVALIDRECT: Rectangle provided was invalid."},
    {DDERR_NOCOOPERATIVELEVELSET,
     "DDERR_NOCOOPERATIVELEVELSET: Create function called without DirectDraw object method "
     "SetCooperativeLevel being called."},
    {DDERR_NOEXCLUSIVEMODE,
     "DDERR_NOEXCLUSIVEMODE: Operation requires the application to have exclusive mode but the "
     "application does not have exclusive mode."},
    {DDERR_NOTFOUND, "DDERR_NOTFOUND: Requested item was not found."},
    {DDERR_COLORKEYNOTSET, "DDERR_COLORKEYNOTSET: No src color key specified for this operation."},
    {DDERR_SURFACEBUSY,
     "DDERR_SURFACEBUSY: Access to this surface is being refused because the surface is already "
     "locked by another thread."},
    {DDERR_SURFACELOST,
     "DDERR_SURFACELOST: Access to this surface is being refused because the surface memory is "
     "gone. The DirectDrawSurface object representing this surface should have Restore called "
     "on it."},
    {DDERR_TOOBIGSIZE, "DDERR_TOOBIGSIZE: Size requested by DirectDraw is too large."},
    {DDERR_UNSUPPORTEDMODE,
     "DDERR_UNSUPPORTEDMODE: The display is currently in an unsupported mode."},
    {DDERR_WASSTILLDRAWING,
     "DDERR_WASSTILLDRAWING: Informs DirectDraw that the previous Blt which is transfering "
     "information to or from this Surface is incomplete."},
    {DDERR_PRIMARYSURFACEALREADYEXISTS,
     "DDERR_PRIMARYSURFACEALREADYEXISTS: This process already has created a primary surface."},
    {DDERR_NOCLIPPERATTACHED,
     "DDERR_NOCLIPPERATTACHED: No clipper object attached to surface object."},
    {DDERR_NOHWND,
     "DDERR_NOHWND: Clipper notification requires an HWND or no HWND has previously been set as "
     "the CooperativeLevel HWND."},
    {DDERR_NOTFLIPPABLE,
     "DDERR_NOTFLIPPABLE: An attempt has been made to flip a surface that is not flippable."},
    {DDERR_NOTLOCKED,
     "DDERR_NOTLOCKED: Surface was not locked. An attempt to unlock a surface that was not "
     "locked at all, or by this process, has been attempted."},
};

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

size_t NameStart(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string StripExtension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    return dot == std::string::npos || dot < NameStart(path) ? path : path.substr(0, dot);
}

std::string FileNamePart(const std::string& path) {
    return path.substr(NameStart(path));
}

std::string RectText(const TRect& r) {
    return std::to_string(r.Left) + ";" + std::to_string(r.Top) + ";" + std::to_string(r.Right) +
           ";" + std::to_string(r.Bottom);
}

std::string SurfaceText(const PDirectDrawSurface& surface) {
    if (!surface) return "nil";
    return std::to_string(surface->Width()) + "x" + std::to_string(surface->Height());
}

// The picture for a base path: the resource first, then the file beside the program.
QImage FindPicture(const std::string& base) {
    QByteArray data;
    if (FindResource("JPEG", Upper(FileNamePart(base)), &data)) return DecodeJpeg(data);
    const std::string file = base + ".jpg";
    if (!FileExists(file)) return {};
    QFile input(QString::fromStdString(ResolvePath(file)));
    if (!input.open(QIODevice::ReadOnly)) return {};
    QImage picture = DecodeJpeg(input.readAll());
    WriteLog(file + " loaded as file");
    return picture;
}

} // namespace

std::string DDErrorString(HRESULT code) {
    for (const TErrorText& entry : ErrorTexts)
        if (entry.Code == code) return entry.Text;
    return "Unrecognized Error";
}

void DXCheck(HRESULT code) {
    if (code == DD_OK) return;
    if (code == DDERR_SURFACELOST) {
        SurfaceLost = true;
        throw EDirectXSurfaceLostError();
    }
    throw EDirectXError(DDErrorString(code), code);
}

void DXCheckSurface(HRESULT code) {
    DXCheck(code);
}

void CreateSurface(const PDirectDraw& directDraw, int32_t width, int32_t height,
                   PDirectDrawSurface& surface, uint32_t caps) {
    surface.reset();
    if (!directDraw) throw std::runtime_error("Direct Draw object not created");
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.Caps = caps | DDSCAPS_OFFSCREENPLAIN;
    desc.Width = width;
    desc.Height = height;
    DXCheck(directDraw->CreateSurface(desc, surface));
}

PDirectDrawSurface CreateSurface(int32_t width, int32_t height, bool systemMemory) {
    PDirectDrawSurface surface;
    CreateSurface(DirectDrawObject, width, height, surface,
                  systemMemory ? DDSCAPS_SYSTEMMEMORY : 0);
    return surface;
}

PDirectDrawSurface GetPrimarySurface() {
    return DisplaySurfaces.empty() ? nullptr : DisplaySurfaces[0];
}

PDirectDrawSurface GetBackSurface() {
    return DisplaySurfaces.size() < 2 ? nullptr : DisplaySurfaces[1];
}

bool IsDisplaySurface(const PDirectDrawSurface& surface) {
    if (!surface) return false;
    for (size_t i = 1; i < DisplaySurfaces.size(); ++i)
        if (DisplaySurfaces[i] == surface) return true;
    return false;
}

uint32_t ColorToPixel(const PDirectDrawSurface& surface, uint32_t color) {
    TDDPixelFormat format;
    if (!surface || surface->GetPixelFormat(format) != DD_OK)
        throw std::runtime_error("Not on RGB format");
    const uint32_t bits = format.RGBBitCount;
    if ((bits != 16 && bits != 24 && bits != 32) || !format.RBitMask || !format.GBitMask ||
        !format.BBitMask)
        throw std::runtime_error("Not on RGB format");
    const uint32_t r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
    // (c + 1) * mask >> 8 scales a component onto the channel: 255 fills it, 0 clears it.
    return (format.RBitMask & ((r + 1) * format.RBitMask >> 8)) |
           (format.GBitMask & ((g + 1) * format.GBitMask >> 8)) |
           (format.BBitMask & ((b + 1) * format.BBitMask >> 8));
}

void BltToSurface(const PDirectDrawSurface& surface, const TRect* rect, uint32_t flags,
                  const TDDBltFx& fx) {
    TRect area;
    const TRect* used = rect;
    if (IsDisplaySurface(surface)) {
        area = rect ? TRect{rect->Left + ViewOffsetX, rect->Top + ViewOffsetY,
                            rect->Right + ViewOffsetX, rect->Bottom + ViewOffsetY}
                    : TRect{ViewOffsetX, ViewOffsetY, ViewOffsetX + ScreenWidth,
                            ViewOffsetY + ScreenHeight};
        used = &area;
    }
    DXCheckSurface(surface->Blt(used, nullptr, nullptr, flags, &fx));
}

void Colorfill(const PDirectDrawSurface& surface, int32_t left, int32_t top, int32_t width,
               int32_t height, uint32_t color) {
    try {
        TDDBltFx fx;
        fx.FillColor = ColorToPixel(surface, color);
        const TRect rect{left, top, left + width, top + height};
        BltToSurface(surface, &rect, DDBLT_COLORFILL | DDBLT_WAIT, fx);
    } catch (const std::exception& e) {
        WriteLog(std::string("Error in Colorfill: ") + e.what() + " (" + std::to_string(left) +
                 "," + std::to_string(top) + "," + std::to_string(width) + "," +
                 std::to_string(height) + "," + std::to_string(color) + ")");
        throw;
    }
}

void Colorfill(const PDirectDrawSurface& surface, uint32_t color) {
    TDDBltFx fx;
    fx.FillColor = ColorToPixel(surface, color);
    BltToSurface(surface, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, fx);
}

void ClippedBlit(const PDirectDrawSurface& src, int32_t srcLeft, int32_t srcTop, int32_t width,
                 int32_t height, const PDirectDrawSurface& dest, int32_t destLeft, int32_t destTop,
                 bool transparent, int32_t clipLeft, int32_t clipTop, int32_t clipRight,
                 int32_t clipBottom) {
    const int32_t cutTop = std::max(0, clipTop - destTop);
    const int32_t cutBottom = std::max(0, destTop + height - 1 - clipBottom);
    const int32_t cutLeft = std::max(0, clipLeft - destLeft);
    const int32_t cutRight = std::max(0, destLeft + width - 1 - clipRight);
    if (!(cutTop < height && destTop <= clipBottom && cutLeft < width && destLeft <= clipRight))
        return;
    const int32_t w = width - cutLeft - cutRight, h = height - cutTop - cutBottom;
    const TRect source{srcLeft + cutLeft, srcTop + cutTop, srcLeft + cutLeft + w,
                       srcTop + cutTop + h};
    TRect target{destLeft + cutLeft, destTop + cutTop, destLeft + cutLeft + w,
                 destTop + cutTop + h};
    if (IsDisplaySurface(dest)) {
        target.Left += ViewOffsetX;
        target.Right += ViewOffsetX;
        target.Top += ViewOffsetY;
        target.Bottom += ViewOffsetY;
    }
    try {
        if (!src || !dest) throw std::runtime_error("Cannot copy from or to a NIL surface");
        DXCheckSurface(dest->Blt(&target, src.get(), &source,
                                 DDBLT_WAIT | (transparent ? DDBLT_KEYSRC : 0), nullptr));
    } catch (const std::exception& e) {
        WriteLog(e.what());
        for (const std::string& line :
             {SurfaceText(src), std::to_string(srcLeft), std::to_string(srcTop),
              std::to_string(width), std::to_string(height), SurfaceText(dest),
              std::to_string(destLeft), std::to_string(destTop), std::to_string(transparent),
              std::to_string(clipLeft), std::to_string(clipTop), std::to_string(clipRight),
              std::to_string(clipBottom)})
            WriteLog(line);
        WriteLog("ARect:" + RectText(source));
        WriteLog("DRect:" + RectText(target));
        throw;
    }
}

void ClippedBlit(const PDirectDrawSurface& dest, int32_t x, int32_t y,
                 const PDirectDrawSurface& src, const TRect& srcRect, int32_t clipRight,
                 int32_t clipBottom, bool colorKey) {
    ClippedBlit(src, srcRect.Left, srcRect.Top, srcRect.Width(), srcRect.Height(), dest, x, y,
                colorKey, 0, 0, clipRight, clipBottom);
}

bool ImageExists(const std::string& path) {
    const std::string base = StripExtension(path);
    const std::string name = Upper(FileNamePart(base));
    return ResourceExists("JPEG", name) || ResourceExists("BITMAP", name) ||
           FileExists(base + ".jpg");
}

bool LoadImageToSurface(const std::string& path, PDirectDrawSurface& surface, int32_t& width,
                        int32_t& height) {
    const std::string base = StripExtension(path);
    const QImage picture = FindPicture(base);
    if (picture.isNull()) {
        WriteLog(base + " not found!");
        return false;
    }
    width = picture.width();
    height = picture.height();
    if (!surface) surface = CreateSurface(width, height, true);
    try {
        TCanvas canvas(surface);
        canvas.Draw(0, 0, picture);
    } catch (const ECanvasError& e) {
        DXCheckSurface(e.Code);
        throw;
    }
    return true;
}

bool LoadImageToSurface(const std::string& path, PDirectDrawSurface& surface) {
    int32_t width = 0, height = 0;
    return LoadImageToSurface(path, surface, width, height);
}
