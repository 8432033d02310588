#pragma once
// Drawing surfaces with the device model the engine was written against: result codes,
// surfaces in the display's pixel format, lock with pitch, rectangle copies with optional
// stretch and source colour key, colour fill, the flipping chain and lost surfaces.
// Presentation goes to a Qt window (see ddrawqt.h) or to a headless display in memory.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QWidget;

using HRESULT = int32_t;

constexpr HRESULT MakeDDHResult(uint32_t code) {
    return static_cast<HRESULT>(0x88760000u | code);
}

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DDERR_INVALIDMODE = MakeDDHResult(120);
constexpr HRESULT DDERR_INVALIDOBJECT = MakeDDHResult(130);
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = MakeDDHResult(145);
constexpr HRESULT DDERR_INVALIDRECT = MakeDDHResult(150);
constexpr HRESULT DDERR_NOCOOPERATIVELEVELSET = MakeDDHResult(212);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = MakeDDHResult(225);
constexpr HRESULT DDERR_COLORKEYNOTSET = MakeDDHResult(400);
constexpr HRESULT DDERR_SURFACEBUSY = MakeDDHResult(430);
constexpr HRESULT DDERR_SURFACELOST = MakeDDHResult(450);
constexpr HRESULT DDERR_TOOBIGSIZE = MakeDDHResult(480);
constexpr HRESULT DDERR_UNSUPPORTEDMODE = MakeDDHResult(590);
constexpr HRESULT DDERR_WASSTILLDRAWING = MakeDDHResult(540);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = MakeDDHResult(568);
constexpr HRESULT DDERR_NOHWND = MakeDDHResult(569);
constexpr HRESULT DDERR_NOTFLIPPABLE = MakeDDHResult(582);
constexpr HRESULT DDERR_NOTLOCKED = MakeDDHResult(584);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = MakeDDHResult(564);
constexpr HRESULT DDERR_NOTFOUND = MakeDDHResult(255);
constexpr HRESULT DDERR_ALREADYINITIALIZED = MakeDDHResult(5);
constexpr HRESULT DDERR_CANNOTATTACHSURFACE = MakeDDHResult(10);
constexpr HRESULT DDERR_CANNOTDETACHSURFACE = MakeDDHResult(20);
constexpr HRESULT DDERR_CURRENTLYNOTAVAIL = MakeDDHResult(40);
constexpr HRESULT DDERR_EXCEPTION = MakeDDHResult(55);
constexpr HRESULT DDERR_HEIGHTALIGN = MakeDDHResult(90);
constexpr HRESULT DDERR_INCOMPATIBLEPRIMARY = MakeDDHResult(95);
constexpr HRESULT DDERR_INVALIDCAPS = MakeDDHResult(100);
constexpr HRESULT DDERR_INVALIDCLIPLIST = MakeDDHResult(110);
constexpr HRESULT DDERR_LOCKEDSURFACES = MakeDDHResult(160);
constexpr HRESULT DDERR_NO3D = MakeDDHResult(170);
constexpr HRESULT DDERR_NOALPHAHW = MakeDDHResult(180);
constexpr HRESULT DDERR_NOCLIPLIST = MakeDDHResult(205);
constexpr HRESULT DDERR_NOCOLORCONVHW = MakeDDHResult(210);
constexpr HRESULT DDERR_NOCOLORKEY = MakeDDHResult(215);
constexpr HRESULT DDERR_NOCOLORKEYHW = MakeDDHResult(220);
constexpr HRESULT DDERR_NODIRECTDRAWSUPPORT = MakeDDHResult(222);
constexpr HRESULT DDERR_NOFLIPHW = MakeDDHResult(230);
constexpr HRESULT DDERR_NOGDI = MakeDDHResult(240);
constexpr HRESULT DDERR_NOMIRRORHW = MakeDDHResult(250);
constexpr HRESULT DDERR_NOOVERLAYHW = MakeDDHResult(260);
constexpr HRESULT DDERR_NORASTEROPHW = MakeDDHResult(280);
constexpr HRESULT DDERR_NOROTATIONHW = MakeDDHResult(290);
constexpr HRESULT DDERR_NOSTRETCHHW = MakeDDHResult(310);
constexpr HRESULT DDERR_NOT4BITCOLOR = MakeDDHResult(316);
constexpr HRESULT DDERR_NOT4BITCOLORINDEX = MakeDDHResult(317);
constexpr HRESULT DDERR_NOT8BITCOLOR = MakeDDHResult(320);
constexpr HRESULT DDERR_NOTEXTUREHW = MakeDDHResult(330);
constexpr HRESULT DDERR_NOVSYNCHW = MakeDDHResult(335);
constexpr HRESULT DDERR_NOZBUFFERHW = MakeDDHResult(340);
constexpr HRESULT DDERR_NOZOVERLAYHW = MakeDDHResult(350);
constexpr HRESULT DDERR_OUTOFCAPS = MakeDDHResult(360);
constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = MakeDDHResult(380);
constexpr HRESULT DDERR_OVERLAYCANTCLIP = MakeDDHResult(382);
constexpr HRESULT DDERR_OVERLAYCOLORKEYONLYONEACTIVE = MakeDDHResult(384);
constexpr HRESULT DDERR_PALETTEBUSY = MakeDDHResult(387);
constexpr HRESULT DDERR_SURFACEALREADYATTACHED = MakeDDHResult(410);
constexpr HRESULT DDERR_SURFACEALREADYDEPENDENT = MakeDDHResult(420);
constexpr HRESULT DDERR_CANTLOCKSURFACE = MakeDDHResult(435);
constexpr HRESULT DDERR_SURFACEISOBSCURED = MakeDDHResult(440);
constexpr HRESULT DDERR_SURFACENOTATTACHED = MakeDDHResult(460);
constexpr HRESULT DDERR_TOOBIGHEIGHT = MakeDDHResult(470);
constexpr HRESULT DDERR_TOOBIGWIDTH = MakeDDHResult(490);
constexpr HRESULT DDERR_UNSUPPORTEDFORMAT = MakeDDHResult(510);
constexpr HRESULT DDERR_UNSUPPORTEDMASK = MakeDDHResult(520);
constexpr HRESULT DDERR_VERTICALBLANKINPROGRESS = MakeDDHResult(537);
constexpr HRESULT DDERR_XALIGN = MakeDDHResult(560);
constexpr HRESULT DDERR_INVALIDDIRECTDRAWGUID = MakeDDHResult(561);
constexpr HRESULT DDERR_DIRECTDRAWALREADYCREATED = MakeDDHResult(562);
constexpr HRESULT DDERR_NODIRECTDRAWHW = MakeDDHResult(563);
constexpr HRESULT DDERR_NOEMULATION = MakeDDHResult(565);
constexpr HRESULT DDERR_REGIONTOOSMALL = MakeDDHResult(566);
constexpr HRESULT DDERR_CLIPPERISUSINGHWND = MakeDDHResult(567);
constexpr HRESULT DDERR_HWNDSUBCLASSED = MakeDDHResult(570);
constexpr HRESULT DDERR_HWNDALREADYSET = MakeDDHResult(571);
constexpr HRESULT DDERR_NOPALETTEATTACHED = MakeDDHResult(572);
constexpr HRESULT DDERR_NOPALETTEHW = MakeDDHResult(573);
constexpr HRESULT DDERR_BLTFASTCANTCLIP = MakeDDHResult(574);
constexpr HRESULT DDERR_NOBLTHW = MakeDDHResult(575);
constexpr HRESULT DDERR_NODDROPSHW = MakeDDHResult(576);
constexpr HRESULT DDERR_OVERLAYNOTVISIBLE = MakeDDHResult(577);
constexpr HRESULT DDERR_NOOVERLAYDEST = MakeDDHResult(578);
constexpr HRESULT DDERR_INVALIDPOSITION = MakeDDHResult(579);
constexpr HRESULT DDERR_NOTAOVERLAYSURFACE = MakeDDHResult(580);
constexpr HRESULT DDERR_EXCLUSIVEMODEALREADYSET = MakeDDHResult(581);
constexpr HRESULT DDERR_CANTDUPLICATE = MakeDDHResult(583);
constexpr HRESULT DDERR_CANTCREATEDC = MakeDDHResult(585);
constexpr HRESULT DDERR_NODC = MakeDDHResult(586);
constexpr HRESULT DDERR_WRONGMODE = MakeDDHResult(587);
constexpr HRESULT DDERR_IMPLICITLYCREATED = MakeDDHResult(588);
constexpr HRESULT DDERR_NOTPALETTIZED = MakeDDHResult(589);

// Cooperative levels.
constexpr uint32_t DDSCL_FULLSCREEN = 0x1;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x2;
constexpr uint32_t DDSCL_NORMAL = 0x8;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;

// Surface capabilities.
constexpr uint32_t DDSCAPS_BACKBUFFER = 0x4;
constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr uint32_t DDSCAPS_FLIP = 0x10;
constexpr uint32_t DDSCAPS_FRONTBUFFER = 0x20;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800;
constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x4000;

// Which fields of a surface description are valid.
constexpr uint32_t DDSD_CAPS = 0x1;
constexpr uint32_t DDSD_HEIGHT = 0x2;
constexpr uint32_t DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_PITCH = 0x8;
constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x20;
constexpr uint32_t DDSD_PIXELFORMAT = 0x1000;

// Copies, fills and flips.
constexpr uint32_t DDBLT_COLORFILL = 0x400;
constexpr uint32_t DDBLT_KEYSRC = 0x8000;
constexpr uint32_t DDBLT_WAIT = 0x1000000;
constexpr uint32_t DDBLTFAST_NOCOLORKEY = 0x0;
constexpr uint32_t DDBLTFAST_SRCCOLORKEY = 0x1;
constexpr uint32_t DDBLTFAST_WAIT = 0x10;
constexpr uint32_t DDFLIP_WAIT = 0x1;
constexpr uint32_t DDLOCK_WAIT = 0x1;
constexpr uint32_t DDCKEY_SRCBLT = 0x8;

struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool Empty() const { return Right <= Left || Bottom <= Top; }
};

// The part of rect inside clip (right and bottom edges exclusive in both); Empty when nothing
// of it is. Every clipped copy cuts its rectangle here.
TRect ClipRect(const TRect& rect, const TRect& clip);

struct TDDPixelFormat {
    uint32_t RGBBitCount = 0;
    uint32_t RBitMask = 0, GBitMask = 0, BBitMask = 0;
};

struct TDDSurfaceDesc {
    uint32_t Flags = 0; // DDSD_*
    uint32_t Caps = 0;  // DDSCAPS_*
    int32_t Width = 0, Height = 0;
    int32_t Pitch = 0;
    uint32_t BackBufferCount = 0;
    TDDPixelFormat PixelFormat; // zero: the display's format
    uint8_t* Surface = nullptr; // first byte of the locked rectangle
};

struct TDDColorKey {
    uint32_t Low = 0, High = 0;
};

struct TDDBltFx {
    uint32_t FillColor = 0; // pixel value for DDBLT_COLORFILL
};

// The device's published text for a result code; nullptr for a code it never returned.
const char* DDErrorText(HRESULT code);

// The three pixel formats of the display modes.
TDDPixelFormat PixelFormatForDepth(int bits);
// The depths surfaces come in: 16, 24 and 32 bits.
bool ValidDepth(uint32_t bits);
// The same depth and the same channel masks.
bool SameFormat(const TDDPixelFormat& a, const TDDPixelFormat& b);
// Bytes from one row of a surface to the next: the row's pixels rounded up to 4 bytes.
int32_t SurfacePitch(int32_t width, uint32_t bits);

class TDirectDraw;

// A clipper bound to a window: copies into the primary surface land in the window's client
// area (screen coordinates of the primary are mapped to the window).
class TDirectDrawClipper {
  public:
    HRESULT SetHWnd(uint32_t flags, QWidget* window);
    QWidget* Window() const { return FWindow; }

  private:
    QWidget* FWindow = nullptr;
};

class TDirectDrawSurface {
  public:
    TDirectDrawSurface(TDirectDraw* owner, const TDDSurfaceDesc& desc);
    ~TDirectDrawSurface();
    TDirectDrawSurface(const TDirectDrawSurface&) = delete;
    TDirectDrawSurface& operator=(const TDirectDrawSurface&) = delete;

    // rect nullptr: the whole surface. Fills desc with size, pitch, format and the pointer.
    HRESULT Lock(const TRect* rect, TDDSurfaceDesc& desc, uint32_t flags);
    HRESULT Unlock();
    // Copy src (srcRect, nullptr = whole) into destRect (nullptr = whole), stretching with the
    // nearest source pixel when the sizes differ; DDBLT_KEYSRC skips source pixels equal to the
    // source's colour key; DDBLT_COLORFILL fills destRect with fx->FillColor (src unused).
    HRESULT Blt(const TRect* destRect, TDirectDrawSurface* src, const TRect* srcRect,
                uint32_t flags, const TDDBltFx* fx);
    HRESULT BltFast(int32_t x, int32_t y, TDirectDrawSurface* src, const TRect* srcRect,
                    uint32_t flags);
    // Front surface of a flipping chain: swaps the pixel memory with the back buffer and
    // presents the new front.
    HRESULT Flip(TDirectDrawSurface* target, uint32_t flags);
    HRESULT GetAttachedSurface(uint32_t caps, std::shared_ptr<TDirectDrawSurface>& out);
    HRESULT GetSurfaceDesc(TDDSurfaceDesc& desc) const;
    HRESULT GetPixelFormat(TDDPixelFormat& format) const;
    HRESULT SetColorKey(uint32_t flags, const TDDColorKey* key); // key nullptr removes it
    HRESULT GetColorKey(uint32_t flags, TDDColorKey& key) const;
    HRESULT SetClipper(std::shared_ptr<TDirectDrawClipper> clipper);
    HRESULT IsLost() const;
    HRESULT Restore();

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    uint32_t Caps() const { return FCaps; }
    bool Locked() const { return FLocked; }
    void MarkLost() { FLost = true; }
    // Unlocked read access for presentation and tests.
    const uint8_t* Pixels() const { return FPixels.data(); }
    int32_t Pitch() const { return FPitch; }
    const TDDPixelFormat& Format() const { return FFormat; }
    // Called by the owner when it goes away, so a surface kept by someone else reports lost.
    void Detach() {
        FOwner = nullptr;
        FLost = true;
    }

  private:
    friend class TDirectDraw;
    TDirectDraw* FOwner;
    int32_t FWidth, FHeight, FPitch;
    uint32_t FCaps;
    TDDPixelFormat FFormat;
    std::vector<uint8_t> FPixels;
    bool FLocked = false;
    bool FLost = false;
    bool FHasColorKey = false;
    TDDColorKey FColorKey;
    std::shared_ptr<TDirectDrawClipper> FClipper;
    std::shared_ptr<TDirectDrawSurface> FBackBuffer; // of a flipping chain's front
};

using PDirectDrawSurface = std::shared_ptr<TDirectDrawSurface>;

// A surface locked for the guard's lifetime: the constructor locks (the whole surface, or the
// rectangle), the destructor unlocks. A refused lock leaves the guard empty with the device's
// answer in Result, so each caller turns it into its own error.
class TSurfaceLock {
  public:
    explicit TSurfaceLock(TDirectDrawSurface& surface, const TRect* rect = nullptr);
    ~TSurfaceLock();
    TSurfaceLock(const TSurfaceLock&) = delete;
    TSurfaceLock& operator=(const TSurfaceLock&) = delete;

    HRESULT Result() const { return FResult; }
    bool Locked() const { return FResult == DD_OK; }
    // Size, pitch and format of the locked surface; Surface is the first byte of the rectangle.
    const TDDSurfaceDesc& Desc() const { return FDesc; }
    uint8_t* Pixels() const { return FDesc.Surface; }
    int32_t Pitch() const { return FDesc.Pitch; }
    uint8_t* Row(int32_t y) const { return FDesc.Surface + ptrdiff_t(y) * FDesc.Pitch; }

  private:
    TDirectDrawSurface& FSurface;
    TDDSurfaceDesc FDesc;
    HRESULT FResult;
};

// Where the front surface goes. Implementations: the headless display below, the Qt window.
class TDisplay {
  public:
    virtual ~TDisplay() = default;
    virtual int32_t DesktopWidth() const = 0;
    virtual int32_t DesktopHeight() const = 0;
    virtual int32_t DesktopBits() const = 0;
    // The window takes part (nullptr in tests); flags as SetCooperativeLevel.
    virtual void Attach(QWidget* window, uint32_t flags) = 0;
    // A mode change (fullscreen only); the Qt display scales the mode to the screen.
    virtual void ModeChanged(int32_t width, int32_t height, int32_t bits) = 0;
    virtual void ModeRestored() = 0;
    // The primary surface has new content (after a flip or a copy into it).
    virtual void Present(const TDirectDrawSurface& primary) = 0;
    virtual void Detach() = 0;
    // false while a fullscreen window is in the background: lost surfaces cannot be restored.
    virtual bool Active() const { return true; }
    // A surface is going away; a display that keeps a pointer to it must drop it.
    virtual void SurfaceGone(const TDirectDrawSurface& surface) { (void)surface; }
    // Set by the DirectDraw object presenting here: what a fullscreen deactivation calls.
    std::function<void()> LoseSurfaces;
    const void* LoseSurfacesOwner = nullptr;
};

// Memory only: remembers the presented frames' count and the last one's pixels.
class THeadlessDisplay : public TDisplay {
  public:
    THeadlessDisplay(int32_t width = 1024, int32_t height = 768, int32_t bits = 32)
        : Width(width), Height(height), Bits(bits) {}
    int32_t DesktopWidth() const override { return Width; }
    int32_t DesktopHeight() const override { return Height; }
    int32_t DesktopBits() const override { return Bits; }
    void Attach(QWidget* window, uint32_t flags) override;
    void ModeChanged(int32_t width, int32_t height, int32_t bits) override;
    void ModeRestored() override;
    void Present(const TDirectDrawSurface& primary) override;
    void Detach() override {}

    int32_t Width, Height, Bits;
    QWidget* Window = nullptr;
    uint32_t CooperativeFlags = 0;
    bool ModeSet = false;
    int32_t ModeWidth = 0, ModeHeight = 0, ModeBits = 0;
    int Presented = 0;
    std::vector<uint8_t> LastFrame; // rows of the primary, packed without padding
    int32_t FrameWidth = 0, FrameHeight = 0, FrameBits = 0;
};

class TDirectDraw {
  public:
    explicit TDirectDraw(std::shared_ptr<TDisplay> display);
    ~TDirectDraw();
    TDirectDraw(const TDirectDraw&) = delete;
    TDirectDraw& operator=(const TDirectDraw&) = delete;

    HRESULT SetCooperativeLevel(QWidget* window, uint32_t flags);
    HRESULT SetDisplayMode(int32_t width, int32_t height, int32_t bits, int32_t refresh,
                           uint32_t flags);
    HRESULT RestoreDisplayMode();
    // The current mode: Width, Height and PixelFormat.
    HRESULT GetDisplayMode(TDDSurfaceDesc& desc) const;
    // Primary (with DDSCAPS_FLIP | DDSCAPS_COMPLEX and BackBufferCount: a flipping chain),
    // off-screen plain, system memory. Without a pixel format the display's format is used.
    HRESULT CreateSurface(const TDDSurfaceDesc& desc, PDirectDrawSurface& out);
    HRESULT CreateClipper(uint32_t flags, std::shared_ptr<TDirectDrawClipper>& out);
    // Every surface this object created that is still alive, in creation order.
    HRESULT EnumSurfaces(const std::function<void(const PDirectDrawSurface&)>& each);
    // All surfaces report lost until restored (what a fullscreen deactivation does).
    void LoseAllSurfaces();
    TDisplay& Display() { return *FDisplay; }
    int32_t ModeBits() const;

  private:
    friend class TDirectDrawSurface;
    void Forget(TDirectDrawSurface* surface);
    std::shared_ptr<TDisplay> FDisplay;
    QWidget* FWindow = nullptr;
    uint32_t FCooperativeFlags = 0;
    bool FModeSet = false;
    int32_t FModeWidth = 0, FModeHeight = 0, FModeBits = 0;
    std::vector<std::weak_ptr<TDirectDrawSurface>> FSurfaces;
    bool FHasPrimary = false;
};

using PDirectDraw = std::shared_ptr<TDirectDraw>;

// The display new DirectDraw objects present to. Default: the Qt display when a
// QGuiApplication exists with a real screen, otherwise a headless one of 1024 x 768 x 32.
void SetDefaultDisplay(std::shared_ptr<TDisplay> display);
std::shared_ptr<TDisplay> DefaultDisplay();
HRESULT DirectDrawCreate(PDirectDraw& out);
