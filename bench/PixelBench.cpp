// The pixel layer against SDL2's software blitter on the same pixels: keyed copies, keyed
// stretches, constant alpha and alpha maps onto 16 bits, and the frame's background copy
// against memcpy.
#include "gamelib/EngineState.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

constexpr int SpriteW = 109, SpriteH = 94;
constexpr int ScreenW = 800, ScreenH = 600;

// One set of pixels for both sides: a 16-bit sprite with key holes, its alpha, a background.
struct TPixels {
    std::vector<uint16_t> Sprite, Background;
    std::vector<uint8_t> Alpha;
    TPixels() : Sprite(SpriteW * SpriteH), Background(ScreenW * ScreenH), Alpha(SpriteW * SpriteH) {
        uint32_t seed = 12345;
        const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
        for (int i = 0; i < SpriteW * SpriteH; ++i) {
            const int x = i % SpriteW, y = i / SpriteW;
            const int dx = x - SpriteW / 2, dy = y - SpriteH / 2;
            // A round sprite: the corners are key colour, as on a sheet.
            const bool inside = dx * dx * SpriteH * SpriteH + dy * dy * SpriteW * SpriteW <
                                SpriteW * SpriteW * SpriteH * SpriteH / 4;
            Sprite[size_t(i)] = inside ? static_cast<uint16_t>(next() | 1) : 0;
            Alpha[size_t(i)] = inside ? static_cast<uint8_t>(next()) : 0;
        }
        for (uint16_t& p : Background)
            p = static_cast<uint16_t>(next());
    }
};

const TPixels& Pixels() {
    static const TPixels pixels;
    return pixels;
}

void Fill(const PDirectDrawSurface& surface, const uint16_t* pixels, int w, int h) {
    const TSurfaceLock lock(*surface);
    for (int y = 0; y < h; ++y)
        std::memcpy(lock.Row(y), pixels + y * w, size_t(w) * 2);
}

// Our side: a headless 16-bit device with the engine state the game sets up.
struct TOurs {
    TEngineState Engine{ScreenW, ScreenH};
    PDirectDrawSurface Sprite, Background, Back;
    PAlphaMap Map;
    TOurs() {
        Engine.OpenHeadless(16);
        Sprite = CreateSurface(SpriteW, SpriteH, true);
        Background = CreateSurface(ScreenW, ScreenH, true);
        Back = CreateSurface(ScreenW, ScreenH, true);
        Fill(Sprite, Pixels().Sprite.data(), SpriteW, SpriteH);
        Fill(Background, Pixels().Background.data(), ScreenW, ScreenH);
        Fill(Back, Pixels().Background.data(), ScreenW, ScreenH);
        const TDDColorKey key{0, 0};
        Sprite->SetColorKey(DDCKEY_SRCBLT, &key);
        auto map = std::make_shared<TAlphaMap>();
        map->Width = SpriteW;
        map->Height = SpriteH;
        const int stride = (SpriteW + 3) & ~3;
        map->Bytes.assign(size_t(stride) * SpriteH, 0);
        for (int y = 0; y < SpriteH; ++y)
            std::memcpy(map->Bytes.data() + y * stride, Pixels().Alpha.data() + y * SpriteW,
                        SpriteW);
        Map = map;
    }
};

TOurs& Ours() {
    static TOurs ours;
    return ours;
}

// SDL's side: the same pixels in SDL surfaces.
struct TSdl {
    SDL_Surface *Sprite, *SpriteArgb, *Background, *Back;
    TSdl() {
        Sprite = SDL_CreateRGBSurfaceWithFormat(0, SpriteW, SpriteH, 16, SDL_PIXELFORMAT_RGB565);
        SpriteArgb =
            SDL_CreateRGBSurfaceWithFormat(0, SpriteW, SpriteH, 32, SDL_PIXELFORMAT_ARGB8888);
        Background =
            SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, 16, SDL_PIXELFORMAT_RGB565);
        Back = SDL_CreateRGBSurfaceWithFormat(0, ScreenW, ScreenH, 16, SDL_PIXELFORMAT_RGB565);
        for (int y = 0; y < SpriteH; ++y) {
            std::memcpy(static_cast<uint8_t*>(Sprite->pixels) + y * Sprite->pitch,
                        Pixels().Sprite.data() + y * SpriteW, SpriteW * 2);
            auto* argb = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(SpriteArgb->pixels) +
                                                     y * SpriteArgb->pitch);
            for (int x = 0; x < SpriteW; ++x) {
                const uint32_t p = Pixels().Sprite[size_t(y * SpriteW + x)];
                argb[x] = uint32_t(Pixels().Alpha[size_t(y * SpriteW + x)]) << 24 |
                          ((p >> 11) << 3) << 16 | (((p >> 5) & 63) << 2) << 8 | (p & 31) << 3;
            }
        }
        for (int y = 0; y < ScreenH; ++y) {
            std::memcpy(static_cast<uint8_t*>(Background->pixels) + y * Background->pitch,
                        Pixels().Background.data() + y * ScreenW, ScreenW * 2);
            std::memcpy(static_cast<uint8_t*>(Back->pixels) + y * Back->pitch,
                        Pixels().Background.data() + y * ScreenW, ScreenW * 2);
        }
        SDL_SetColorKey(Sprite, SDL_TRUE, 0);
        SDL_SetSurfaceBlendMode(SpriteArgb, SDL_BLENDMODE_BLEND);
        SDL_SetSurfaceBlendMode(Background, SDL_BLENDMODE_NONE);
    }
};

TSdl& Sdl() {
    static TSdl sdl;
    return sdl;
}

void KeyedCopyOurs(benchmark::State& state) {
    TOurs& o = Ours();
    for (auto _ : state)
        ClippedBlit(o.Sprite, 0, 0, SpriteW, SpriteH, o.Back, 100, 100, true, 0, 0, ScreenW - 1,
                    ScreenH - 1);
}

void KeyedCopySdl(benchmark::State& state) {
    TSdl& s = Sdl();
    for (auto _ : state) {
        SDL_Rect dest{100, 100, SpriteW, SpriteH};
        SDL_BlitSurface(s.Sprite, nullptr, s.Back, &dest);
    }
}

void KeyedStretchOurs(benchmark::State& state) {
    TOurs& o = Ours();
    for (auto _ : state)
        DrawImageScaled(o.Sprite, nullptr, 0, 0, SpriteW, SpriteH, o.Back, 100, 100, 2 * SpriteW,
                        2 * SpriteH, true, 255, 0, 0, ScreenW - 1, ScreenH - 1);
}

void KeyedStretchSdl(benchmark::State& state) {
    TSdl& s = Sdl();
    for (auto _ : state) {
        SDL_Rect dest{100, 100, 2 * SpriteW, 2 * SpriteH};
        SDL_BlitScaled(s.Sprite, nullptr, s.Back, &dest);
    }
}

void ConstantAlphaOurs(benchmark::State& state) {
    TOurs& o = Ours();
    for (auto _ : state)
        DrawImageScaled(o.Sprite, nullptr, 0, 0, SpriteW, SpriteH, o.Back, 100, 100, SpriteW,
                        SpriteH, false, 128, 0, 0, ScreenW - 1, ScreenH - 1);
}

void ConstantAlphaSdl(benchmark::State& state) {
    TSdl& s = Sdl();
    SDL_SetColorKey(s.Sprite, SDL_FALSE, 0);
    SDL_SetSurfaceAlphaMod(s.Sprite, 128);
    SDL_SetSurfaceBlendMode(s.Sprite, SDL_BLENDMODE_BLEND);
    for (auto _ : state) {
        SDL_Rect dest{100, 100, SpriteW, SpriteH};
        SDL_BlitSurface(s.Sprite, nullptr, s.Back, &dest);
    }
    SDL_SetSurfaceAlphaMod(s.Sprite, 255);
    SDL_SetSurfaceBlendMode(s.Sprite, SDL_BLENDMODE_NONE);
    SDL_SetColorKey(s.Sprite, SDL_TRUE, 0);
}

void AlphaMapOurs(benchmark::State& state) {
    TOurs& o = Ours();
    for (auto _ : state)
        DrawImageScaled(o.Sprite, o.Map, 0, 0, SpriteW, SpriteH, o.Back, 100, 100, SpriteW, SpriteH,
                        false, 255, 0, 0, ScreenW - 1, ScreenH - 1);
}

void AlphaMapSdl(benchmark::State& state) {
    TSdl& s = Sdl();
    for (auto _ : state) {
        SDL_Rect dest{100, 100, SpriteW, SpriteH};
        SDL_BlitSurface(s.SpriteArgb, nullptr, s.Back, &dest);
    }
}

void BackgroundOurs(benchmark::State& state) {
    TOurs& o = Ours();
    for (auto _ : state)
        ClippedBlit(o.Background, 0, 0, ScreenW, ScreenH, o.Back, 0, 0, false, 0, 0, ScreenW - 1,
                    ScreenH - 1);
}

void BackgroundMemcpy(benchmark::State& state) {
    TSdl& s = Sdl();
    for (auto _ : state) {
        std::memcpy(s.Back->pixels, s.Background->pixels, size_t(ScreenW) * ScreenH * 2);
        benchmark::ClobberMemory();
    }
}

const bool Registered = [] {
    benchmark::RegisterBenchmark("keyed-copy/ours", KeyedCopyOurs);
    benchmark::RegisterBenchmark("keyed-copy/SDL2", KeyedCopySdl);
    benchmark::RegisterBenchmark("keyed-stretch/ours", KeyedStretchOurs);
    benchmark::RegisterBenchmark("keyed-stretch/SDL2", KeyedStretchSdl);
    benchmark::RegisterBenchmark("constant-alpha/ours", ConstantAlphaOurs);
    benchmark::RegisterBenchmark("constant-alpha/SDL2", ConstantAlphaSdl);
    benchmark::RegisterBenchmark("alpha-map/ours", AlphaMapOurs);
    benchmark::RegisterBenchmark("alpha-map/SDL2", AlphaMapSdl);
    benchmark::RegisterBenchmark("background/ours", BackgroundOurs);
    benchmark::RegisterBenchmark("background/memcpy", BackgroundMemcpy);
    return true;
}();

} // namespace
