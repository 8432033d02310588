#include "platform/ddraw.h"

#include "platform/ddrawqt.h"
#include "platform/input.h"
#include "platform/pixels.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

// Beyond this a surface is refused, as a device without that much memory would.
constexpr int32_t MaxSurfaceSide = 16384;

// The pixel routines of the layer: every fill and copy of a surface ends here.
template <int Bytes>
void FillRows(uint8_t* first, int32_t pitch, int32_t width, int32_t height, uint32_t value) {
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = first + static_cast<ptrdiff_t>(y) * pitch;
        for (int32_t x = 0; x < width; ++x, p += Bytes)
            StorePixel<Bytes>(p, value);
    }
}

// A copy from the source rectangle onto the destination rectangle (nearest source pixel when
// the sizes differ), drawing only the part of the destination inside Clip.
struct TCopyJob {
    uint8_t* Dest;
    int32_t DestPitch;
    const uint8_t* Src;
    int32_t SrcPitch;
    TRect DestRect, SrcRect, Clip;
    bool Keyed;
    uint32_t KeyLow, KeyHigh, ColorMask;
    bool SameSurface; // Dest and Src are one surface's memory
};

// A pixel survives a keyed copy when its colour bits lie outside KeyLow..KeyHigh; one
// unsigned comparison, so that the row loops carry no branch and vectorise.
inline bool Opaque(uint32_t v, uint32_t mask, uint32_t low, uint32_t span) {
    return (v & mask) - low > span;
}

template <int Bytes, bool Keyed> void CopyRows(const TCopyJob& job) {
    const int32_t destW = job.DestRect.Width(), destH = job.DestRect.Height();
    const int32_t srcW = job.SrcRect.Width(), srcH = job.SrcRect.Height();
    const int32_t width = job.Clip.Width();
    const uint32_t mask = job.ColorMask, low = job.KeyLow, span = job.KeyHigh - job.KeyLow;
    // The nearest source column of every destination column, the same for every row.
    thread_local std::vector<int32_t> columns;
    columns.resize(size_t(width));
    for (int32_t i = 0; i < width; ++i)
        columns[size_t(i)] = static_cast<int32_t>(int64_t(job.Clip.Left + i - job.DestRect.Left) *
                                                  srcW / destW * Bytes);
    const int32_t* column = columns.data();
    for (int32_t dy = job.Clip.Top; dy < job.Clip.Bottom; ++dy) {
        const int32_t sy =
            job.SrcRect.Top + static_cast<int32_t>(int64_t(dy - job.DestRect.Top) * srcH / destH);
        const uint8_t* srcRow = job.Src + static_cast<ptrdiff_t>(sy) * job.SrcPitch +
                                ptrdiff_t(job.SrcRect.Left) * Bytes;
        uint8_t* d = job.Dest + static_cast<ptrdiff_t>(dy) * job.DestPitch +
                     ptrdiff_t(job.Clip.Left) * Bytes;
        for (int32_t i = 0; i < width; ++i, d += Bytes) {
            const uint32_t v = LoadPixel<Bytes>(srcRow + column[i]);
            if (!Keyed || Opaque(v, mask, low, span)) StorePixel<Bytes>(d, v);
        }
    }
}

// One row of an unscaled keyed copy in the pixel's own width: a compare and a blend over whole
// registers once vectorised. Kept out of line so the restrict promise survives inlining.
template <typename TPixel>
[[gnu::noinline]] void KeyedRow(TPixel* __restrict d, const TPixel* __restrict s, int32_t width,
                                uint32_t mask, uint32_t low, uint32_t span) {
    using TValue = std::remove_cv_t<TPixel>;
    // Keys of 16-bit pixels lie within 16 bits (checked by the caller), so the wrap-around
    // in the pixel's width decides exactly as the 32-bit comparison does.
    const TValue m = TValue(mask), l = TValue(low), n = TValue(span);
    for (int32_t i = 0; i < width; ++i) {
        const TValue v = s[i];
        d[i] = TValue((v & m) - l) > n ? v : d[i];
    }
}

// One keyed row whose source and destination share memory: pixel by pixel, in the direction
// that reads every source pixel before the copy overwrites it.
template <int Bytes>
void KeyedRowOverlapping(uint8_t* d, const uint8_t* s, int32_t width, uint32_t mask, uint32_t low,
                         uint32_t span) {
    const bool backward = d > s;
    for (int32_t n = 0; n < width; ++n) {
        const int32_t i = backward ? width - 1 - n : n;
        const uint32_t v = LoadPixel<Bytes>(s + i * Bytes);
        if (Opaque(v, mask, low, span)) StorePixel<Bytes>(d + i * Bytes, v);
    }
}

// The row of the clip rectangle to copy at step i: bottom-up when the source lies above the
// destination within one surface, so that every source row is read before it is overwritten.
inline int32_t RowAt(const TCopyJob& job, int32_t i) {
    return job.SameSurface && job.SrcRect.Top < job.DestRect.Top ? job.Clip.Bottom - 1 - i
                                                                 : job.Clip.Top + i;
}

// Unscaled keyed copy: contiguous rows, a select per pixel instead of a jump.
template <int Bytes> void CopyKeyedRows(const TCopyJob& job) {
    const int32_t width = job.Clip.Width();
    const int32_t dx = job.SrcRect.Left - job.DestRect.Left;
    const int32_t dy = job.SrcRect.Top - job.DestRect.Top;
    const uint32_t mask = job.ColorMask, low = job.KeyLow, span = job.KeyHigh - job.KeyLow;
    // Rows of one surface overlap only when source and destination share them.
    const bool sharedRows = job.SameSurface && dy == 0;
    for (int32_t i = 0; i < job.Clip.Height(); ++i) {
        const int32_t y = RowAt(job, i);
        uint8_t* d = job.Dest + ptrdiff_t(y) * job.DestPitch + ptrdiff_t(job.Clip.Left) * Bytes;
        const uint8_t* s =
            job.Src + ptrdiff_t(y + dy) * job.SrcPitch + ptrdiff_t(job.Clip.Left + dx) * Bytes;
        if (sharedRows)
            KeyedRowOverlapping<Bytes>(d, s, width, mask, low, span);
        else if constexpr (Bytes == 2)
            KeyedRow(reinterpret_cast<TPixel16*>(d), reinterpret_cast<const TPixel16*>(s), width,
                     mask, low, span);
        else if constexpr (Bytes == 4)
            KeyedRow(reinterpret_cast<TPixel32*>(d), reinterpret_cast<const TPixel32*>(s), width,
                     mask, low, span);
        else
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t v = LoadPixel<Bytes>(s + x * Bytes);
                if (Opaque(v, mask, low, span)) StorePixel<Bytes>(d + x * Bytes, v);
            }
    }
}

template <int Bytes> void CopyFor(const TCopyJob& job) {
    const bool sameSize = job.DestRect.Width() == job.SrcRect.Width() &&
                          job.DestRect.Height() == job.SrcRect.Height();
    if (sameSize && !job.Keyed) {
        const size_t rowBytes = size_t(job.Clip.Width()) * Bytes;
        const int32_t dx = job.SrcRect.Left - job.DestRect.Left;
        const int32_t dy = job.SrcRect.Top - job.DestRect.Top;
        if (size_t(job.DestPitch) == rowBytes && size_t(job.SrcPitch) == rowBytes) {
            // Whole rows of both surfaces: one block, which the library copies fastest.
            std::memmove(job.Dest + ptrdiff_t(job.Clip.Top) * job.DestPitch,
                         job.Src + ptrdiff_t(job.Clip.Top + dy) * job.SrcPitch,
                         rowBytes * size_t(job.Clip.Height()));
            return;
        }
        for (int32_t i = 0; i < job.Clip.Height(); ++i) {
            const int32_t y = RowAt(job, i);
            std::memmove(job.Dest + ptrdiff_t(y) * job.DestPitch + ptrdiff_t(job.Clip.Left) * Bytes,
                         job.Src + ptrdiff_t(y + dy) * job.SrcPitch +
                             ptrdiff_t(job.Clip.Left + dx) * Bytes,
                         rowBytes);
        }
        return;
    }
    if (sameSize && (Bytes != 2 || job.KeyHigh <= 0xFFFF))
        CopyKeyedRows<Bytes>(job);
    else if (job.Keyed)
        CopyRows<Bytes, true>(job);
    else
        CopyRows<Bytes, false>(job);
}

void CopyPixels(int bytes, const TCopyJob& job) {
    switch (bytes) {
    case 2:
        CopyFor<2>(job);
        break;
    case 3:
        CopyFor<3>(job);
        break;
    default:
        CopyFor<4>(job);
        break;
    }
}

void FillPixels(int bytes, uint8_t* first, int32_t pitch, int32_t w, int32_t h, uint32_t value) {
    switch (bytes) {
    case 2:
        FillRows<2>(first, pitch, w, h, value);
        break;
    case 3:
        FillRows<3>(first, pitch, w, h, value);
        break;
    default:
        FillRows<4>(first, pitch, w, h, value);
        break;
    }
}

bool Inside(const TRect& r, int32_t width, int32_t height) {
    return r.Left >= 0 && r.Top >= 0 && r.Left < r.Right && r.Top < r.Bottom && r.Right <= width &&
           r.Bottom <= height;
}

std::shared_ptr<TDisplay>& DefaultDisplaySlot() {
    static std::shared_ptr<TDisplay> display;
    return display;
}

} // namespace

TRect ClipRect(const TRect& rect, const TRect& clip) {
    return TRect{std::max(rect.Left, clip.Left), std::max(rect.Top, clip.Top),
                 std::min(rect.Right, clip.Right), std::min(rect.Bottom, clip.Bottom)};
}

bool ValidDepth(uint32_t bits) {
    return bits == 16 || bits == 24 || bits == 32;
}

bool SameFormat(const TDDPixelFormat& a, const TDDPixelFormat& b) {
    return a.RGBBitCount == b.RGBBitCount && a.RBitMask == b.RBitMask && a.GBitMask == b.GBitMask &&
           a.BBitMask == b.BBitMask;
}

int32_t SurfacePitch(int32_t width, uint32_t bits) {
    return (width * static_cast<int32_t>(bits / 8) + 3) & ~3;
}

TDDPixelFormat PixelFormatForDepth(int bits) {
    TDDPixelFormat format;
    format.RGBBitCount = static_cast<uint32_t>(bits);
    if (bits == 16) {
        format.RBitMask = 0xF800;
        format.GBitMask = 0x07E0;
        format.BBitMask = 0x001F;
    } else {
        format.RBitMask = 0xFF0000;
        format.GBitMask = 0x00FF00;
        format.BBitMask = 0x0000FF;
    }
    return format;
}

// ---------------------------------------------------------------------------------------------

HRESULT TDirectDrawClipper::SetHWnd(uint32_t, QWidget* window) {
    if (!window) return DDERR_INVALIDPARAMS;
    FWindow = window;
    return DD_OK;
}

// ---------------------------------------------------------------------------------------------

TDirectDrawSurface::TDirectDrawSurface(TDirectDraw* owner, const TDDSurfaceDesc& desc)
    : FOwner(owner), FWidth(desc.Width), FHeight(desc.Height), FPitch(0), FCaps(desc.Caps),
      FFormat(desc.PixelFormat) {
    if (FFormat.RGBBitCount == 0) FFormat = PixelFormatForDepth(owner ? owner->ModeBits() : 32);
    FPitch = SurfacePitch(FWidth, FFormat.RGBBitCount);
    FPixels.assign(static_cast<size_t>(FPitch) * static_cast<size_t>(FHeight), 0);
}

TDirectDrawSurface::~TDirectDrawSurface() {
    if (FOwner) {
        FOwner->Display().SurfaceGone(*this);
        FOwner->Forget(this);
    }
}

HRESULT TDirectDrawSurface::Lock(const TRect* rect, TDDSurfaceDesc& desc, uint32_t) {
    if (FLost) return DDERR_SURFACELOST;
    if (FLocked) return DDERR_SURFACEBUSY;
    const TRect whole{0, 0, FWidth, FHeight};
    const TRect r = rect ? *rect : whole;
    if (!Inside(r, FWidth, FHeight)) return DDERR_INVALIDRECT;
    GetSurfaceDesc(desc);
    desc.Surface = FPixels.data() + static_cast<ptrdiff_t>(r.Top) * FPitch +
                   static_cast<ptrdiff_t>(r.Left) * (FFormat.RGBBitCount / 8);
    FLocked = true;
    return DD_OK;
}

HRESULT TDirectDrawSurface::Unlock() {
    if (!FLocked) return DDERR_NOTLOCKED;
    FLocked = false;
    // Drawing straight into the visible surface shows at once.
    if ((FCaps & DDSCAPS_PRIMARYSURFACE) && FOwner) FOwner->Display().Present(*this);
    return DD_OK;
}

// ---------------------------------------------------------------------------------------------

TSurfaceLock::TSurfaceLock(TDirectDrawSurface& surface, const TRect* rect)
    : FSurface(surface), FResult(surface.Lock(rect, FDesc, DDLOCK_WAIT)) {}

TSurfaceLock::~TSurfaceLock() {
    if (FResult == DD_OK) FSurface.Unlock();
}

HRESULT TDirectDrawSurface::Blt(const TRect* destRect, TDirectDrawSurface* src,
                                const TRect* srcRect, uint32_t flags, const TDDBltFx* fx) {
    if (FLost) return DDERR_SURFACELOST;
    if (FLocked) return DDERR_SURFACEBUSY;
    const TRect whole{0, 0, FWidth, FHeight};
    const TRect dest = destRect ? *destRect : whole;
    if (dest.Left >= dest.Right || dest.Top >= dest.Bottom) return DDERR_INVALIDRECT;

    // A clipper bound to a window cuts copies to the window's client area; without one a
    // rectangle leaving the surface is refused.
    TRect clip = dest;
    QWidget* window = FClipper ? FClipper->Window() : nullptr;
    if (window) {
        const TPoint origin = ClientToScreen(window, TPoint{});
        const TRect client{origin.X, origin.Y, origin.X + window->width(),
                           origin.Y + window->height()};
        clip = ClipRect(ClipRect(dest, whole), client);
    } else if (!Inside(dest, FWidth, FHeight)) {
        return DDERR_INVALIDRECT;
    }
    const bool visible = !clip.Empty();
    const int bytes = static_cast<int>(FFormat.RGBBitCount / 8);

    if (flags & DDBLT_COLORFILL) {
        if (!fx) return DDERR_INVALIDPARAMS;
        if (visible)
            FillPixels(bytes,
                       FPixels.data() + ptrdiff_t(clip.Top) * FPitch + ptrdiff_t(clip.Left) * bytes,
                       FPitch, clip.Width(), clip.Height(), fx->FillColor);
    } else {
        if (!src) return DDERR_INVALIDPARAMS;
        if (src->FLost) return DDERR_SURFACELOST;
        if (src->FLocked) return DDERR_SURFACEBUSY;
        if (!SameFormat(FFormat, src->FFormat)) return DDERR_INVALIDPIXELFORMAT;
        const TRect source = srcRect ? *srcRect : TRect{0, 0, src->FWidth, src->FHeight};
        if (!Inside(source, src->FWidth, src->FHeight)) return DDERR_INVALIDRECT;
        if (visible) {
            TCopyJob job{FPixels.data(),
                         FPitch,
                         src->FPixels.data(),
                         src->FPitch,
                         dest,
                         source,
                         clip,
                         false,
                         0,
                         0,
                         FFormat.RBitMask | FFormat.GBitMask | FFormat.BBitMask,
                         src == this};
            if ((flags & DDBLT_KEYSRC) && src->FHasColorKey) {
                job.KeyLow = src->FColorKey.Low & job.ColorMask;
                job.KeyHigh = src->FColorKey.High & job.ColorMask;
                // An empty key range keeps every pixel.
                job.Keyed = job.KeyLow <= job.KeyHigh;
            }
            // Within one surface an unscaled copy orders its rows and pixels as memmove does.
            // A stretch has no such order; where its rectangles overlap (nothing the game draws)
            // it reads from a copy of its source rectangle.
            const bool sameSize =
                dest.Width() == source.Width() && dest.Height() == source.Height();
            if (src == this && !sameSize && !ClipRect(source, clip).Empty()) {
                thread_local std::vector<uint8_t> aside;
                const size_t rowBytes = size_t(source.Width()) * size_t(bytes);
                aside.resize(rowBytes * size_t(source.Height()));
                for (int32_t y = 0; y < source.Height(); ++y)
                    std::memcpy(aside.data() + rowBytes * size_t(y),
                                FPixels.data() + ptrdiff_t(source.Top + y) * FPitch +
                                    ptrdiff_t(source.Left) * bytes,
                                rowBytes);
                job.Src = aside.data();
                job.SrcPitch = static_cast<int32_t>(rowBytes);
                job.SrcRect = TRect{0, 0, source.Width(), source.Height()};
                job.SameSurface = false;
            }
            CopyPixels(bytes, job);
        }
    }
    if ((FCaps & DDSCAPS_PRIMARYSURFACE) && FOwner) FOwner->Display().Present(*this);
    return DD_OK;
}

HRESULT TDirectDrawSurface::BltFast(int32_t x, int32_t y, TDirectDrawSurface* src,
                                    const TRect* srcRect, uint32_t flags) {
    if (!src) return DDERR_INVALIDPARAMS;
    const TRect source = srcRect ? *srcRect : TRect{0, 0, src->FWidth, src->FHeight};
    const TRect dest{x, y, x + source.Width(), y + source.Height()};
    return Blt(&dest, src, &source, (flags & DDBLTFAST_SRCCOLORKEY) ? DDBLT_KEYSRC : 0, nullptr);
}

HRESULT TDirectDrawSurface::Flip(TDirectDrawSurface* target, uint32_t) {
    if (FLost) return DDERR_SURFACELOST;
    if (!FBackBuffer) return DDERR_NOTFLIPPABLE;
    if (FBackBuffer->FLost) return DDERR_SURFACELOST;
    if (target && target != FBackBuffer.get()) return DDERR_INVALIDPARAMS;
    if (FLocked || FBackBuffer->FLocked) return DDERR_SURFACEBUSY;
    FPixels.swap(FBackBuffer->FPixels);
    if (FOwner) FOwner->Display().Present(*this);
    return DD_OK;
}

HRESULT TDirectDrawSurface::GetAttachedSurface(uint32_t caps,
                                               std::shared_ptr<TDirectDrawSurface>& out) {
    if ((caps & DDSCAPS_BACKBUFFER) && FBackBuffer) {
        out = FBackBuffer;
        return DD_OK;
    }
    return DDERR_NOTFOUND;
}

HRESULT TDirectDrawSurface::GetSurfaceDesc(TDDSurfaceDesc& desc) const {
    desc.Flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc.Caps = FCaps;
    desc.Width = FWidth;
    desc.Height = FHeight;
    desc.Pitch = FPitch;
    desc.BackBufferCount = FBackBuffer ? 1 : 0;
    if (FBackBuffer) desc.Flags |= DDSD_BACKBUFFERCOUNT;
    desc.PixelFormat = FFormat;
    desc.Surface = nullptr;
    return DD_OK;
}

HRESULT TDirectDrawSurface::GetPixelFormat(TDDPixelFormat& format) const {
    format = FFormat;
    return DD_OK;
}

HRESULT TDirectDrawSurface::SetColorKey(uint32_t flags, const TDDColorKey* key) {
    if (!(flags & DDCKEY_SRCBLT)) return DDERR_UNSUPPORTED;
    FHasColorKey = key != nullptr;
    FColorKey = key ? *key : TDDColorKey{};
    return DD_OK;
}

HRESULT TDirectDrawSurface::GetColorKey(uint32_t flags, TDDColorKey& key) const {
    if (!(flags & DDCKEY_SRCBLT)) return DDERR_UNSUPPORTED;
    if (!FHasColorKey) return DDERR_COLORKEYNOTSET;
    key = FColorKey;
    return DD_OK;
}

HRESULT TDirectDrawSurface::SetClipper(std::shared_ptr<TDirectDrawClipper> clipper) {
    FClipper = std::move(clipper);
    return DD_OK;
}

HRESULT TDirectDrawSurface::IsLost() const {
    return FLost ? DDERR_SURFACELOST : DD_OK;
}

HRESULT TDirectDrawSurface::Restore() {
    if (!FOwner) return DDERR_INVALIDOBJECT;
    if (!FLost) return DD_OK;
    // Exclusive surfaces come back only once the window is in front again.
    if ((FOwner->FCooperativeFlags & DDSCL_EXCLUSIVE) && !FOwner->Display().Active())
        return DDERR_NOEXCLUSIVEMODE;
    FLost = false;
    if (FBackBuffer) FBackBuffer->FLost = false;
    return DD_OK;
}

// ---------------------------------------------------------------------------------------------

void THeadlessDisplay::Attach(QWidget* window, uint32_t flags) {
    Window = window;
    CooperativeFlags = flags;
}

void THeadlessDisplay::ModeChanged(int32_t width, int32_t height, int32_t bits) {
    ModeSet = true;
    ModeWidth = width;
    ModeHeight = height;
    ModeBits = bits;
}

void THeadlessDisplay::ModeRestored() {
    ModeSet = false;
}

void THeadlessDisplay::Present(const TDirectDrawSurface& primary) {
    ++Presented;
    FrameWidth = primary.Width();
    FrameHeight = primary.Height();
    FrameBits = static_cast<int32_t>(primary.Format().RGBBitCount);
    const size_t rowBytes = size_t(FrameWidth) * size_t(FrameBits / 8);
    LastFrame.resize(rowBytes * size_t(FrameHeight));
    for (int32_t y = 0; y < FrameHeight; ++y)
        std::memcpy(LastFrame.data() + rowBytes * size_t(y),
                    primary.Pixels() + ptrdiff_t(y) * primary.Pitch(), rowBytes);
}

// ---------------------------------------------------------------------------------------------

TDirectDraw::TDirectDraw(std::shared_ptr<TDisplay> display) : FDisplay(std::move(display)) {
    FDisplay->LoseSurfacesOwner = this;
    FDisplay->LoseSurfaces = [this] { LoseAllSurfaces(); };
}

TDirectDraw::~TDirectDraw() {
    for (const auto& weak : FSurfaces)
        if (const PDirectDrawSurface surface = weak.lock()) {
            FDisplay->SurfaceGone(*surface);
            surface->Detach();
        }
    FSurfaces.clear();
    if (FDisplay->LoseSurfacesOwner == this) {
        FDisplay->LoseSurfaces = nullptr;
        FDisplay->LoseSurfacesOwner = nullptr;
    }
    if (FModeSet) FDisplay->ModeRestored();
    FDisplay->Detach();
}

HRESULT TDirectDraw::SetCooperativeLevel(QWidget* window, uint32_t flags) {
    const bool exclusive = flags & DDSCL_EXCLUSIVE, fullscreen = flags & DDSCL_FULLSCREEN;
    const bool normal = flags & DDSCL_NORMAL;
    if (exclusive != fullscreen || normal == exclusive) return DDERR_INVALIDPARAMS;
    if (!exclusive && FModeSet) RestoreDisplayMode();
    FWindow = window;
    FCooperativeFlags = flags;
    FDisplay->Attach(window, flags);
    return DD_OK;
}

HRESULT TDirectDraw::SetDisplayMode(int32_t width, int32_t height, int32_t bits, int32_t,
                                    uint32_t) {
    if (!(FCooperativeFlags & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
    if (width <= 0 || height <= 0 || width > MaxSurfaceSide || height > MaxSurfaceSide ||
        !ValidDepth(static_cast<uint32_t>(bits)))
        return DDERR_INVALIDMODE;
    // Surfaces of the old mode do not survive a mode change.
    LoseAllSurfaces();
    FModeSet = true;
    FModeWidth = width;
    FModeHeight = height;
    FModeBits = bits;
    FDisplay->ModeChanged(width, height, bits);
    return DD_OK;
}

HRESULT TDirectDraw::RestoreDisplayMode() {
    if (FModeSet) {
        FModeSet = false;
        FDisplay->ModeRestored();
    }
    return DD_OK;
}

HRESULT TDirectDraw::GetDisplayMode(TDDSurfaceDesc& desc) const {
    desc = TDDSurfaceDesc{};
    desc.Flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc.Width = FModeSet ? FModeWidth : FDisplay->DesktopWidth();
    desc.Height = FModeSet ? FModeHeight : FDisplay->DesktopHeight();
    desc.PixelFormat = PixelFormatForDepth(ModeBits());
    desc.Pitch = SurfacePitch(desc.Width, desc.PixelFormat.RGBBitCount);
    return DD_OK;
}

int32_t TDirectDraw::ModeBits() const {
    if (FModeSet) return FModeBits;
    const int32_t bits = FDisplay->DesktopBits();
    return ValidDepth(static_cast<uint32_t>(bits)) ? bits : 32;
}

HRESULT TDirectDraw::CreateSurface(const TDDSurfaceDesc& desc, PDirectDrawSurface& out) {
    if (!(desc.Flags & DDSD_CAPS)) return DDERR_INVALIDPARAMS;
    TDDSurfaceDesc made = desc;
    made.Surface = nullptr;
    if (desc.Caps & DDSCAPS_PRIMARYSURFACE) {
        if (FCooperativeFlags == 0) return DDERR_NOCOOPERATIVELEVELSET;
        if (FHasPrimary) return DDERR_PRIMARYSURFACEALREADYEXISTS;
        const bool chain = desc.Caps & DDSCAPS_FLIP;
        if (chain) {
            if (!(desc.Caps & DDSCAPS_COMPLEX) || !(desc.Flags & DDSD_BACKBUFFERCOUNT) ||
                desc.BackBufferCount == 0)
                return DDERR_INVALIDPARAMS;
            if (!(FCooperativeFlags & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
            if (desc.BackBufferCount > 1) return DDERR_UNSUPPORTED;
        }
        TDDSurfaceDesc mode;
        GetDisplayMode(mode);
        made.Width = mode.Width;
        made.Height = mode.Height;
        made.PixelFormat = mode.PixelFormat;
        made.Caps = desc.Caps | DDSCAPS_VIDEOMEMORY | (chain ? DDSCAPS_FRONTBUFFER : 0);
        auto front = std::make_shared<TDirectDrawSurface>(this, made);
        FSurfaces.push_back(front);
        if (chain) {
            TDDSurfaceDesc back = made;
            back.Caps = DDSCAPS_BACKBUFFER | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
            front->FBackBuffer = std::make_shared<TDirectDrawSurface>(this, back);
            FSurfaces.push_back(front->FBackBuffer);
        }
        FHasPrimary = true;
        out = std::move(front);
        return DD_OK;
    }
    if ((desc.Flags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT) ||
        desc.Width <= 0 || desc.Height <= 0)
        return DDERR_INVALIDPARAMS;
    if (desc.Width > MaxSurfaceSide || desc.Height > MaxSurfaceSide) return DDERR_TOOBIGSIZE;
    if (!(desc.Flags & DDSD_PIXELFORMAT) || desc.PixelFormat.RGBBitCount == 0)
        made.PixelFormat = PixelFormatForDepth(ModeBits());
    else if (!ValidDepth(desc.PixelFormat.RGBBitCount))
        return DDERR_INVALIDPIXELFORMAT;
    if (!(made.Caps & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY)))
        made.Caps |= DDSCAPS_VIDEOMEMORY;
    auto surface = std::make_shared<TDirectDrawSurface>(this, made);
    FSurfaces.push_back(surface);
    out = std::move(surface);
    return DD_OK;
}

HRESULT TDirectDraw::CreateClipper(uint32_t, std::shared_ptr<TDirectDrawClipper>& out) {
    out = std::make_shared<TDirectDrawClipper>();
    return DD_OK;
}

HRESULT TDirectDraw::EnumSurfaces(const std::function<void(const PDirectDrawSurface&)>& each) {
    // A snapshot: the callback may create or drop surfaces.
    std::vector<PDirectDrawSurface> alive;
    for (const auto& weak : FSurfaces)
        if (PDirectDrawSurface surface = weak.lock()) alive.push_back(std::move(surface));
    for (const PDirectDrawSurface& surface : alive)
        each(surface);
    return DD_OK;
}

void TDirectDraw::LoseAllSurfaces() {
    for (const auto& weak : FSurfaces)
        if (const PDirectDrawSurface surface = weak.lock()) surface->MarkLost();
}

void TDirectDraw::Forget(TDirectDrawSurface*) {
    // The surface being destroyed has no owners left, so its entry has expired.
    std::erase_if(FSurfaces,
                  [](const std::weak_ptr<TDirectDrawSurface>& w) { return w.expired(); });
    FHasPrimary = false;
    for (const auto& weak : FSurfaces)
        if (const PDirectDrawSurface surface = weak.lock())
            if (surface->Caps() & DDSCAPS_PRIMARYSURFACE) FHasPrimary = true;
}

// ---------------------------------------------------------------------------------------------

void SetDefaultDisplay(std::shared_ptr<TDisplay> display) {
    DefaultDisplaySlot() = std::move(display);
}

std::shared_ptr<TDisplay> DefaultDisplay() {
    if (DefaultDisplaySlot()) return DefaultDisplaySlot();
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return std::make_shared<TQtDisplay>();
    return std::make_shared<THeadlessDisplay>();
}

HRESULT DirectDrawCreate(PDirectDraw& out) {
    out = std::make_shared<TDirectDraw>(DefaultDisplay());
    return DD_OK;
}
