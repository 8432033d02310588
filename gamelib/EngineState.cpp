#include "gamelib/EngineState.h"

#include "gamelib/BobhandlingUnit.h"
#include "gamelib/SpriteUnit.h"

TEngineState::TEngineState(int32_t width, int32_t height)
    : FDevice(std::move(DirectDrawObject)), FDisplaySurfaces(std::move(DisplaySurfaces)),
      FBackgroundSurface(std::move(BackgroundSurface)), FBobs(std::move(Bobs)),
      FScreenWidth(ScreenWidth), FScreenHeight(ScreenHeight), FClipRight(ClipRight),
      FClipBottom(ClipBottom), FBottomMargin(BottomMargin), FViewOffsetX(ViewOffsetX),
      FViewOffsetY(ViewOffsetY), FFocalLength(FocalLength), FCenterX(CenterX), FCenterY(CenterY),
      FAlphaBlendEnabled(AlphaBlendEnabled), FAlphaMapEnabled(AlphaMapEnabled),
      FSurfaceLost(SurfaceLost), FColorKeyValue(ColorKeyValue) {
    Release();
    SetScreenSize(width, height);
    BottomMargin = 0;
    AlphaBlendEnabled = true;
    AlphaMapEnabled = false;
    SurfaceLost = false;
    ColorKeyValue = 0;
}

TEngineState::~TEngineState() {
    Release();
    DirectDrawObject = std::move(FDevice);
    DisplaySurfaces = std::move(FDisplaySurfaces);
    BackgroundSurface = std::move(FBackgroundSurface);
    Bobs = std::move(FBobs);
    ScreenWidth = FScreenWidth;
    ScreenHeight = FScreenHeight;
    ClipRight = FClipRight;
    ClipBottom = FClipBottom;
    BottomMargin = FBottomMargin;
    ViewOffsetX = FViewOffsetX;
    ViewOffsetY = FViewOffsetY;
    FocalLength = FFocalLength;
    CenterX = FCenterX;
    CenterY = FCenterY;
    AlphaBlendEnabled = FAlphaBlendEnabled;
    AlphaMapEnabled = FAlphaMapEnabled;
    SurfaceLost = FSurfaceLost;
    ColorKeyValue = FColorKeyValue;
}

void TEngineState::SetScreenSize(int32_t width, int32_t height) {
    ScreenWidth = width;
    ScreenHeight = height;
    ClipRight = static_cast<uint16_t>(width - 1);
    ClipBottom = static_cast<uint16_t>(height - 1);
    FocalLength = width;
    CenterX = width / 2;
    CenterY = height / 2;
    ViewOffsetX = ViewOffsetY = 0;
}

void TEngineState::SetViewOffsets(int32_t x, int32_t y) {
    ViewOffsetX = x;
    ViewOffsetY = y;
}

void TEngineState::SetBottomMargin(int32_t rows) {
    BottomMargin = rows;
}

void TEngineState::SetAlphaBlend(bool on) {
    AlphaBlendEnabled = on;
}

void TEngineState::SetAlphaMaps(bool on) {
    AlphaMapEnabled = on;
}

void TEngineState::SetDevice(const PDirectDraw& device) {
    DirectDrawObject = device;
}

void TEngineState::AddDisplaySurface(const PDirectDrawSurface& surface) {
    DisplaySurfaces.push_back(surface);
}

void TEngineState::SetBackgroundSurface(const PDirectDrawSurface& surface) {
    BackgroundSurface = surface;
}

void TEngineState::CreateBobs() {
    Bobs = std::make_unique<TBobs>();
}

std::shared_ptr<THeadlessDisplay> TEngineState::OpenHeadless(int32_t bits) {
    Release();
    auto display = std::make_shared<THeadlessDisplay>(ScreenWidth, ScreenHeight, bits);
    auto device = std::make_shared<TDirectDraw>(display);
    DXCheck(device->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN));
    TDDSurfaceDesc desc;
    desc.Flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.Caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    desc.BackBufferCount = 1;
    PDirectDrawSurface front, back;
    DXCheck(device->CreateSurface(desc, front));
    DXCheck(front->GetAttachedSurface(DDSCAPS_BACKBUFFER, back));
    DirectDrawObject = device;
    DisplaySurfaces = {front, back};
    BackgroundSurface = CreateSurface(ScreenWidth, ScreenHeight, false);
    Colorfill(BackgroundSurface, 0);
    AlphaMapEnabled = true;
    CreateBobs();
    return display;
}

void TEngineState::LoseSurfaces() {
    if (DirectDrawObject) DirectDrawObject->LoseAllSurfaces();
    SurfaceLost = true;
}

void TEngineState::Release() {
    Bobs.reset();
    FreeAllSprites();
    BackgroundSurface.reset();
    DisplaySurfaces.clear();
    DirectDrawObject.reset();
}
