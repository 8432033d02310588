#include "gamelib/DDUtil.h"

#include "gamelib/Ddcanvas.h"
#include "platform/bmp.h"
#include "platform/pixels.h"
#include "platform/jpeg.h"
#include "platform/png.h"
#include "platform/resources.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <type_traits>

PDirectDraw DirectDrawObject;
std::vector<PDirectDrawSurface> DisplaySurfaces;
PDirectDrawSurface BackgroundSurface;
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
std::array<TSurfaceEntry, MaxSurfaces + 1> SurfaceTable;
int32_t SurfaceCount = 0;

namespace {

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

// Files larger than any picture we accept are not read in.
constexpr size_t MaxPictureFile = size_t(160) << 20;

QImage DecodeJpegOrNothing(const QByteArray& data) {
    try {
        return DecodeJpeg(data);
    } catch (const EJpegError&) {
        return {};
    }
}

QByteArray ReadPictureFile(const std::string& file) {
    try {
        const std::string bytes = ReadFileBytes(file, MaxPictureFile);
        return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    } catch (const EInOutError&) {
        return {};
    }
}

// The picture for a base path: the bitmap resource, then the files beside the program, and last
// (unless it is a sprite sheet) a JPEG resource of that name. The JPEG pictures are compiled in
// under short names ("INTRO", "BACK", "INFO") that sheets and backgrounds share, so a file of
// the folder must win over them, and a sheet never takes one: a missing sheet is made blank.
QImage FindPicture(const std::string& base, bool sheet) {
    const std::string name = Upper(FileNamePart(base));
    QByteArray data;
    if (FindResource("BITMAP", name, &data)) {
        QImage picture = BitmapToImage(DecodeBitmap(data));
        if (!picture.isNull()) return picture;
    }
    QImage picture;
    std::string file = base + ".bmp";
    if (FileExists(file)) {
        picture = BitmapToImage(DecodeBitmap(ReadPictureFile(file)));
    } else {
        file = base + ".jpg";
        if (FileExists(file)) picture = DecodeJpegOrNothing(ReadPictureFile(file));
    }
    if (!picture.isNull()) {
        WriteLog(file + " loaded as file");
        return picture;
    }
    if (!sheet && FindResource("JPEG", name, &data)) return DecodeJpegOrNothing(data);
    return {};
}

bool LoadPicture(const std::string& path, PDirectDrawSurface& surface, int32_t& width,
                 int32_t& height, bool sheet) {
    const std::string base = StripExtension(path);
    const QImage picture = FindPicture(base, sheet);
    if (picture.isNull()) {
        WriteLog(base + " not found!");
        return false;
    }
    width = picture.width();
    height = picture.height();
    if (!surface) surface = CreateSurface(width, height, true);
    TDDCanvas canvas(surface);
    canvas->Draw(0, 0, picture);
    return true;
}

// A mask or alpha-map image: the bitmap resource, the "PNG" resource, the file itself.
std::optional<QByteArray> FindMaskData(const std::string& path) {
    const std::string name = Upper(StripExtension(FileNamePart(path)));
    QByteArray data;
    if (FindResource("BITMAP", name, &data) || FindResource("PNG", name, &data)) return data;
    if (!FileExists(path)) return std::nullopt;
    return ReadPictureFile(path);
}

TBitmapImage DecodeMask(const std::string& path, const QByteArray& data) {
    TBitmapImage picture = DecodeBitmap(data);
    if (picture.Empty()) picture = DecodePng(data);
    if (picture.Empty()) throw std::runtime_error("invalid image format of " + path);
    return picture;
}

// A surface locked for the length of one operation; a refused lock raises the device's error.
class TLockedSurface : public TSurfaceLock {
  public:
    explicit TLockedSurface(TDirectDrawSurface& surface) : TSurfaceLock(surface) {
        DXCheckSurface(Result());
    }
};

uint32_t ColorBits(const TDDPixelFormat& format) {
    return format.RBitMask | format.GBitMask | format.BBitMask;
}

TDDPixelFormat FormatOf(const PDirectDrawSurface& surface) {
    TDDPixelFormat format;
    if (!surface || surface->GetPixelFormat(format) != DD_OK)
        throw std::runtime_error("Not on RGB format");
    return format;
}

uint32_t LoadAny(const uint8_t* p, int bytes) {
    return bytes == 2 ? LoadPixel<2>(p) : bytes == 3 ? LoadPixel<3>(p) : LoadPixel<4>(p);
}

void StoreAny(uint8_t* p, int bytes, uint32_t v) {
    if (bytes == 2)
        StorePixel<2>(p, v);
    else if (bytes == 3)
        StorePixel<3>(p, v);
    else
        StorePixel<4>(p, v);
}

// ---- blends ---------------------------------------------------------------------------------

// One blend, with all pointers at the top-left pixel of their rectangles.
struct TBlendJob {
    const uint8_t* Back;
    int32_t BackPitch;
    const uint8_t* Front;
    int32_t FrontPitch;
    uint8_t* Out;
    int32_t OutPitch;
    int32_t Width, Height; // of the back rectangle
    uint32_t StepX, StepY; // front pixels per back pixel, 16.16 fixed point
    uint32_t R, G, B;      // channel masks
    bool Keyed;
    uint32_t Key;
    uint32_t Alpha;
    const uint8_t* Map; // alpha map at the front rectangle's top-left, or none
    int32_t MapStride;
};

// Channel masks known at compile time for the display formats, else read from the job; the
// optimiser folds the constant ones into the row loops.
template <uint32_t R, uint32_t G, uint32_t B> struct TMasks {
    explicit TMasks(const TBlendJob& job)
        : Red(R ? R : job.R), Green(R ? G : job.G), Blue(R ? B : job.B) {}
    const uint32_t Red, Green, Blue;
};

// Per channel ((K and m) x wk + (F and m) x wf) and (m shl 8), ORed, shifted right by 8.
template <class TM>
inline uint32_t Mix(const TM& m, uint32_t k, uint32_t f, uint32_t wk, uint32_t wf) {
    return ((((k & m.Red) * wk + (f & m.Red) * wf) & (m.Red << 8)) |
            (((k & m.Green) * wk + (f & m.Green) * wf) & (m.Green << 8)) |
            (((k & m.Blue) * wk + (f & m.Blue) * wf) & (m.Blue << 8))) >>
           8;
}

// The pixel written for front pixel f over back pixel k with weight a.
template <class TM, bool Keyed, bool Mapped>
inline uint32_t BlendPixel(const TM& m, uint32_t colorMask, uint32_t key, uint32_t k, uint32_t f,
                           uint32_t a) {
    uint32_t out;
    if constexpr (Mapped)
        out = a == 0 ? k : a == 255 ? f : Mix(m, k, f, 255 - a, a);
    else
        out = Mix(m, k, f, 256 - a, a);
    if constexpr (Keyed) out = (f & colorMask) == key ? k : out;
    return out;
}

// out[x] = pixel(back[x], x) along a row of 16-bit pixels. Blending in place reads each output
// pixel just before writing it; a loop of its own keeps the compiler from having to prove that
// output and back differ.
template <class TFn>
[[gnu::always_inline]] inline void EachPixel16(TPixel16* o, const TPixel16* k, int32_t width,
                                               const TFn& pixel) {
    if (o == k)
        for (int32_t x = 0; x < width; ++x)
            o[x] = pixel(o[x], x);
    else
        for (int32_t x = 0; x < width; ++x)
            o[x] = pixel(k[x], x);
}

// The same along a row of pixels of Bytes bytes.
template <int Bytes, class TFn>
[[gnu::always_inline]] inline void EachPixel(uint8_t* o, const uint8_t* k, int32_t width,
                                             const TFn& pixel) {
    if (o == k)
        for (int32_t x = 0; x < width; ++x)
            StorePixel<Bytes>(o + x * Bytes, pixel(LoadPixel<Bytes>(o + x * Bytes), x));
    else
        for (int32_t x = 0; x < width; ++x)
            StorePixel<Bytes>(o + x * Bytes, pixel(LoadPixel<Bytes>(k + x * Bytes), x));
}

// One straight row (one front pixel per back pixel). Out of line, so that the promise that the
// front and the alpha map never overlap the output survives inlining and the loop vectorises.
template <int Bytes, class TM, bool Keyed, bool Mapped>
[[gnu::noinline]] void BlendRow(uint8_t* o, const uint8_t* k, const uint8_t* __restrict f,
                                const uint8_t* __restrict a, int32_t width, const TM m,
                                uint32_t colorMask, uint32_t key, uint32_t alpha) {
    if constexpr (Bytes == 2 && std::is_same_v<TM, TMasks<0xF800, 0x07E0, 0x001F>>) {
        // RGB565 in 16-bit lanes: with the channels shifted down, every product and sum of
        // the formula stays below 2^16 (31 x 256, 63 x 256), and shifting back gives the same
        // bits as the masked 32-bit arithmetic. Each sum is cut to 16 bits before its shift,
        // which keeps the vectoriser from widening the lanes to 32 bits.
        auto* op = reinterpret_cast<TPixel16*>(o);
        const auto* kp = reinterpret_cast<const TPixel16*>(k);
        const auto* __restrict fp = reinterpret_cast<const TPixel16*>(f);
        const uint16_t mask16 = uint16_t(colorMask), key16 = uint16_t(key);
        const auto mix = [](uint16_t kv, uint16_t fv, uint16_t wk, uint16_t wf) {
            const uint16_t r = uint16_t((kv >> 11) * wk + (fv >> 11) * wf);
            const uint16_t g = uint16_t(((kv >> 5) & 63) * wk + ((fv >> 5) & 63) * wf);
            const uint16_t b = uint16_t((kv & 31) * wk + (fv & 31) * wf);
            return uint16_t((r >> 8) << 11 | (g >> 8) << 5 | b >> 8);
        };
        const auto keyed = [&](uint16_t kv, uint16_t fv, uint16_t out) {
            if constexpr (Keyed) out = (fv & mask16) == key16 ? kv : out;
            return out;
        };
        if constexpr (Mapped) {
            EachPixel16(op, kp, width, [&](uint16_t kv, int32_t x) {
                const uint16_t fv = fp[x], w = a[x];
                const uint16_t out = mix(kv, fv, uint16_t(255 - w), w);
                return keyed(kv, fv, w == 0 ? kv : w == 255 ? fv : out);
            });
        } else if (alpha == 128) {
            // Half and half is the floor of the channel average: halve each channel with the
            // low bits masked off, and add back the carry both low bits would have made.
            EachPixel16(op, kp, width, [&](uint16_t kv, int32_t x) {
                const uint16_t fv = fp[x];
                return keyed(kv, fv,
                             uint16_t((((kv & 0xF7DE) + (fv & 0xF7DE)) >> 1) + (kv & fv & 0x0821)));
            });
        } else {
            const uint16_t wf = uint16_t(alpha), wk = uint16_t(256 - alpha);
            EachPixel16(op, kp, width, [&](uint16_t kv, int32_t x) {
                return keyed(kv, fp[x], mix(kv, fp[x], wk, wf));
            });
        }
        return;
    }
    EachPixel<Bytes>(o, k, width, [&](uint32_t kv, int32_t x) {
        return BlendPixel<TM, Keyed, Mapped>(m, colorMask, key, kv, LoadPixel<Bytes>(f + x * Bytes),
                                             Mapped ? a[x] : alpha);
    });
}

// Where a stretch of the alpha map is all 0 the back stays, where it is all 255 the front is
// copied (the back under the key); only the rest needs the blend.
enum class TWeights { Back, Front, Mixed };

constexpr int32_t WeightBlock = 16;

// The weights of one block of up to WeightBlock pixels, read as two words that overlap when
// the block is short: their OR is 0 when all are 0, their AND all ones when all are 255.
inline TWeights WeightsOf(const uint8_t* a, int32_t n) {
    const auto judge = [](uint64_t any, uint64_t all, uint64_t ones) {
        return any == 0 ? TWeights::Back : all == ones ? TWeights::Front : TWeights::Mixed;
    };
    if (n >= 8) {
        uint64_t low, high;
        std::memcpy(&low, a, 8);
        std::memcpy(&high, a + n - 8, 8);
        return judge(low | high, low & high, ~uint64_t(0));
    }
    if (n >= 4) {
        uint32_t low, high;
        std::memcpy(&low, a, 4);
        std::memcpy(&high, a + n - 4, 4);
        return judge(low | high, low & high, 0xFFFFFFFFu);
    }
    uint8_t any = 0, all = 255;
    for (int32_t x = 0; x < n; ++x) {
        any = uint8_t(any | a[x]);
        all = uint8_t(all & a[x]);
    }
    return judge(any, all, 255);
}

// The back copied to a separate output, in the blend's own order.
template <int Bytes> [[gnu::noinline]] void BackRow(uint8_t* o, const uint8_t* k, int32_t width) {
    for (int32_t x = 0; x < width; ++x)
        StorePixel<Bytes>(o + x * Bytes, LoadPixel<Bytes>(k + x * Bytes));
}

// The front copied, its keyed pixels leaving the back.
template <int Bytes, bool Keyed>
[[gnu::noinline]] void FrontRow(uint8_t* o, const uint8_t* k, const uint8_t* __restrict f,
                                int32_t width, uint32_t colorMask, uint32_t key) {
    if constexpr (Keyed) {
        EachPixel<Bytes>(o, k, width, [&](uint32_t kv, int32_t x) {
            const uint32_t fv = LoadPixel<Bytes>(f + x * Bytes);
            return (fv & colorMask) == key ? kv : fv;
        });
    } else {
        std::memmove(o, f, size_t(width) * Bytes);
    }
}

// One straight alpha-map row, run by run of blocks of like weights.
template <int Bytes, class TM, bool Keyed>
void MappedRow(uint8_t* o, const uint8_t* k, const uint8_t* f, const uint8_t* a, int32_t width,
               const TM& m, uint32_t colorMask, uint32_t key) {
    const auto blockAt = [&](int32_t x) {
        return WeightsOf(a + x, std::min(WeightBlock, width - x));
    };
    TWeights run = blockAt(0);
    for (int32_t x = 0; x < width;) {
        int32_t end = std::min(x + WeightBlock, width);
        TWeights next = run;
        while (end < width && (next = blockAt(end)) == run)
            end = std::min(end + WeightBlock, width);
        const ptrdiff_t at = ptrdiff_t(x) * Bytes;
        if (run == TWeights::Mixed)
            BlendRow<Bytes, TM, Keyed, true>(o + at, k + at, f + at, a + x, end - x, m, colorMask,
                                             key, 0);
        else if (run == TWeights::Front)
            FrontRow<Bytes, Keyed>(o + at, k + at, f + at, end - x, colorMask, key);
        else if (o != k)
            BackRow<Bytes>(o + at, k + at, end - x);
        x = end;
        run = next;
    }
}

template <int Bytes, uint32_t R, uint32_t G, uint32_t B, bool Keyed, bool Mapped>
void BlendRows(const TBlendJob& job) {
    const TMasks<R, G, B> m(job);
    const uint32_t colorMask = m.Red | m.Green | m.Blue, key = job.Key, alpha = job.Alpha;
    const int32_t width = job.Width;
    if (job.StepX == 0x10000 && job.StepY == 0x10000) {
        // One front pixel per back pixel: straight rows the vectoriser can take.
        for (int32_t y = 0; y < job.Height; ++y) {
            uint8_t* o = job.Out + ptrdiff_t(y) * job.OutPitch;
            const uint8_t* k = job.Back + ptrdiff_t(y) * job.BackPitch;
            const uint8_t* f = job.Front + ptrdiff_t(y) * job.FrontPitch;
            if constexpr (Mapped)
                MappedRow<Bytes, TMasks<R, G, B>, Keyed>(
                    o, k, f, job.Map + ptrdiff_t(y) * job.MapStride, width, m, colorMask, key);
            else
                BlendRow<Bytes, TMasks<R, G, B>, Keyed, false>(o, k, f, nullptr, width, m,
                                                               colorMask, key, alpha);
        }
        return;
    }
    // The front column of every back column: the accumulated x shr 16.
    thread_local std::vector<int32_t> columns;
    columns.resize(size_t(width));
    uint64_t accX = 0;
    for (int32_t x = 0; x < width; ++x, accX += job.StepX)
        columns[size_t(x)] = static_cast<int32_t>(accX >> 16);
    const int32_t* column = columns.data();
    const uint8_t* frontRow = job.Front;
    const uint8_t* mapRow = job.Map;
    uint32_t accY = 0;
    for (int32_t y = 0; y < job.Height; ++y) {
        const uint8_t* k = job.Back + ptrdiff_t(y) * job.BackPitch;
        uint8_t* o = job.Out + ptrdiff_t(y) * job.OutPitch;
        for (int32_t x = 0; x < width; ++x)
            StorePixel<Bytes>(o + x * Bytes, BlendPixel<TMasks<R, G, B>, Keyed, Mapped>(
                                                 m, colorMask, key, LoadPixel<Bytes>(k + x * Bytes),
                                                 LoadPixel<Bytes>(frontRow + column[x] * Bytes),
                                                 Mapped ? mapRow[column[x]] : alpha));
        // At each row's end the front advances by the whole rows accumulated, keeping the rest.
        accY += job.StepY;
        frontRow += ptrdiff_t(accY >> 16) * job.FrontPitch;
        if (Mapped) mapRow += ptrdiff_t(accY >> 16) * job.MapStride;
        accY &= 0xFFFF;
    }
}

template <int Bytes, uint32_t R, uint32_t G, uint32_t B, bool Mapped>
void BlendKeyed(const TBlendJob& job) {
    if (job.Keyed)
        BlendRows<Bytes, R, G, B, true, Mapped>(job);
    else
        BlendRows<Bytes, R, G, B, false, Mapped>(job);
}

template <bool Mapped> void BlendFor(const TBlendJob& job, uint32_t bits) {
    const bool rgb888 = job.R == 0xFF0000 && job.G == 0xFF00 && job.B == 0xFF;
    if (bits == 16 && job.R == 0xF800 && job.G == 0x07E0 && job.B == 0x001F)
        BlendKeyed<2, 0xF800, 0x07E0, 0x001F, Mapped>(job);
    else if (bits == 16)
        BlendKeyed<2, 0, 0, 0, Mapped>(job);
    else if (bits == 24 && rgb888)
        BlendKeyed<3, 0xFF0000, 0xFF00, 0xFF, Mapped>(job);
    else if (bits == 24)
        BlendKeyed<3, 0, 0, 0, Mapped>(job);
    else if (rgb888)
        BlendKeyed<4, 0xFF0000, 0xFF00, 0xFF, Mapped>(job);
    else
        BlendKeyed<4, 0, 0, 0, Mapped>(job);
}

bool RectInside(const TRect& r, int32_t width, int32_t height) {
    return r.Left >= 0 && r.Top >= 0 && r.Right <= width && r.Bottom <= height;
}

// The checks and locks both blends share, then the row loops.
// The output rectangle starts at (0, 0) of output, or, with inPlace, is the back rectangle itself
// (each output pixel depends only on the back pixel at its own place, so no surface is needed to
// compose the blend in first).
void Blend(const PDirectDrawSurface& back, const PDirectDrawSurface& front,
           const PDirectDrawSurface& output, const TRect& frontRect, const TRect& backRect,
           int32_t alpha, const TAlphaMap* map, bool useColorKey, bool inPlace = false) {
    const TDDPixelFormat format = FormatOf(back);
    if (!format.RBitMask || !format.GBitMask || !format.BBitMask)
        throw std::runtime_error("Not on RGB format");
    if (!ValidDepth(format.RGBBitCount)) throw std::runtime_error("Invalid bit count");
    if (ColorBits(format) & 0xFF000000u) throw std::runtime_error("Pixel format not supported");
    const auto same = [&](const PDirectDrawSurface& other) {
        return SameFormat(FormatOf(other), format);
    };
    if (!same(front)) throw std::runtime_error("Back and front surface pixel formats don't match");
    if (!same(output))
        throw std::runtime_error("Back and destination surface pixel formats don't match");

    // One lock per distinct surface.
    const TLockedSurface backLock(*back);
    std::optional<TLockedSurface> frontLock, outputLock;
    if (front != back) frontLock.emplace(*front);
    if (output != back && output != front) outputLock.emplace(*output);
    const TDDSurfaceDesc& backDesc = backLock.Desc();
    const TDDSurfaceDesc& frontDesc = frontLock ? frontLock->Desc() : backDesc;
    const TDDSurfaceDesc& outDesc = outputLock       ? outputLock->Desc()
                                    : output == back ? backDesc
                                                     : frontDesc;

    if (!RectInside(backRect, backDesc.Width, backDesc.Height))
        throw std::runtime_error("Back rectangle outside surface boundaries");
    if (!RectInside(frontRect, frontDesc.Width, frontDesc.Height))
        throw std::runtime_error("Front rectangle outside surface boundaries");
    if (backRect.Width() > outDesc.Width || backRect.Height() > outDesc.Height)
        throw std::runtime_error("Dest rectangle outside surface boundaries");
    if (backRect.Width() <= 0 || backRect.Height() <= 0 || frontRect.Width() <= 0 ||
        frontRect.Height() <= 0)
        return;

    const int bytes = static_cast<int>(format.RGBBitCount / 8);
    TBlendJob job{};
    job.Back = backDesc.Surface + ptrdiff_t(backRect.Top) * backDesc.Pitch +
               ptrdiff_t(backRect.Left) * bytes;
    job.BackPitch = backDesc.Pitch;
    job.Front = frontDesc.Surface + ptrdiff_t(frontRect.Top) * frontDesc.Pitch +
                ptrdiff_t(frontRect.Left) * bytes;
    job.FrontPitch = frontDesc.Pitch;
    job.Out = inPlace ? backDesc.Surface + ptrdiff_t(backRect.Top) * backDesc.Pitch +
                            ptrdiff_t(backRect.Left) * bytes
                      : outDesc.Surface;
    job.OutPitch = outDesc.Pitch;
    job.Width = backRect.Width();
    job.Height = backRect.Height();
    job.StepX = static_cast<uint32_t>((uint64_t(frontRect.Width()) << 16) / uint32_t(job.Width));
    job.StepY = static_cast<uint32_t>((uint64_t(frontRect.Height()) << 16) / uint32_t(job.Height));
    job.R = format.RBitMask;
    job.G = format.GBitMask;
    job.B = format.BBitMask;
    job.Alpha = static_cast<uint32_t>(alpha);
    if (useColorKey) {
        // A surface without a key describes it as 0, and 0 it is.
        TDDColorKey key;
        job.Keyed = true;
        job.Key = front->GetColorKey(DDCKEY_SRCBLT, key) == DD_OK ? key.Low & ColorBits(format) : 0;
    }
    if (map) {
        // Rows as long as the sheet is wide; the map must reach the last pixel drawn.
        job.MapStride = BitmapStride(frontDesc.Width, 8);
        const size_t last =
            size_t(frontRect.Bottom - 1) * size_t(job.MapStride) + size_t(frontRect.Right);
        if (last > map->Bytes.size())
            throw std::runtime_error("Alpha map smaller than its surface");
        job.Map = map->Bytes.data() + ptrdiff_t(frontRect.Top) * job.MapStride + frontRect.Left;
        BlendFor<true>(job, format.RGBBitCount);
    } else {
        BlendFor<false>(job, format.RGBBitCount);
    }
}

// ---- masks ----------------------------------------------------------------------------------

// Which mask pixels of one row are set (not black), in the mask's own format.
void MaskRow(const TBitmapImage& mask, int32_t y, const std::array<bool, 256>& paletteSet,
             std::vector<uint8_t>& set) {
    const uint8_t* row = mask.Row(y);
    for (int32_t x = 0; x < mask.Width; ++x) {
        switch (mask.Pixels()) {
        case TPicturePixels::Bits1:
            set[size_t(x)] = (row[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        case TPicturePixels::Bits8:
            set[size_t(x)] = paletteSet[row[x]];
            break;
        case TPicturePixels::Bits15:
            set[size_t(x)] = (LoadPixel<2>(row + 2 * x) & 0x7FFF) != 0;
            break;
        case TPicturePixels::Bits16:
            set[size_t(x)] = LoadPixel<2>(row + 2 * x) != 0;
            break;
        case TPicturePixels::Bits24:
            set[size_t(x)] = (LoadPixel<3>(row + 3 * x) & 0xFFFFFF) != 0;
            break;
        default: // 32
            set[size_t(x)] = (LoadPixel<4>(row + 4 * x) & 0xFFFFFF) != 0;
            break;
        }
    }
}

template <int Bytes>
void ApplyMaskRow(uint8_t* pixels, const std::vector<uint8_t>& set, int32_t width,
                  uint32_t colorMask, uint32_t keyPixel) {
    for (int32_t x = 0; x < width; ++x) {
        uint8_t* p = pixels + x * Bytes;
        const uint32_t v = LoadPixel<Bytes>(p);
        if (set[size_t(x)])
            StorePixel<Bytes>(p, (v & ~colorMask) | keyPixel);
        else if ((v & colorMask) == keyPixel)
            StorePixel<Bytes>(p, v ^ 1); // opaque black must not turn transparent
    }
}

} // namespace

std::string DDErrorString(HRESULT code) {
    const char* text = DDErrorText(code);
    return text ? text : "Unrecognized Error";
}

void DXCheck(HRESULT code) {
    if (code != DD_OK) throw EDirectXError(DDErrorString(code), code);
}

void DXCheckSurface(HRESULT code) {
    if (code == DDERR_SURFACELOST) {
        SurfaceLost = true;
        throw EDirectXSurfaceLostError();
    }
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
    if (!ValidDepth(format.RGBBitCount) || !format.RBitMask || !format.GBitMask || !format.BBitMask)
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
    const TRect visible = ClipRect(TRect{destLeft, destTop, destLeft + width, destTop + height},
                                   TRect{clipLeft, clipTop, clipRight + 1, clipBottom + 1});
    if (visible.Empty()) return;
    const TRect source{srcLeft + visible.Left - destLeft, srcTop + visible.Top - destTop,
                       srcLeft + visible.Right - destLeft, srcTop + visible.Bottom - destTop};
    TRect target = visible;
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
    return SheetExists(base) || ResourceExists("JPEG", Upper(FileNamePart(base)));
}

bool SheetExists(const std::string& path) {
    const std::string base = StripExtension(path);
    return FileExists(base + ".bmp") || FileExists(base + ".jpg") ||
           ResourceExists("BITMAP", Upper(FileNamePart(base)));
}

bool LoadImageToSurface(const std::string& path, PDirectDrawSurface& surface, int32_t& width,
                        int32_t& height) {
    return LoadPicture(path, surface, width, height, false);
}

bool LoadImageToSurface(const std::string& path, PDirectDrawSurface& surface) {
    int32_t width = 0, height = 0;
    return LoadImageToSurface(path, surface, width, height);
}

bool LoadSheetToSurface(const std::string& path, PDirectDrawSurface& surface, int32_t& width,
                        int32_t& height) {
    return LoadPicture(path, surface, width, height, true);
}

bool LoadSheetToSurface(const std::string& path, PDirectDrawSurface& surface) {
    int32_t width = 0, height = 0;
    return LoadSheetToSurface(path, surface, width, height);
}

// ---- the surface table ----------------------------------------------------------------------

void FreeSurfaceTable() {
    for (TSurfaceEntry& entry : SurfaceTable)
        entry = TSurfaceEntry{};
    SurfaceCount = 0;
}

int32_t CreateMemSurface(const std::string& fileName, int32_t& width, int32_t& height,
                         PDirectDrawSurface& surface, uint32_t caps, bool setColorKey) {
    if (SurfaceCount >= MaxSurfaces)
        throw std::runtime_error("Exception raised in creatememsurface: Too many surfaces");
    if (!fileName.empty()) {
        surface.reset();
        LoadSheetToSurface(fileName, surface, width, height);
    } else {
        CreateSurface(DirectDrawObject, width, height, surface, caps);
    }
    const int32_t number = ++SurfaceCount;
    SurfaceTable[size_t(number)] = TSurfaceEntry{surface, nullptr, fileName};
    if (setColorKey) {
        const TDDColorKey key{ColorKeyValue, ColorKeyValue};
        if (!surface || surface->SetColorKey(DDCKEY_SRCBLT, &key) != DD_OK)
            throw std::runtime_error("SetColorKey failed");
    }
    return number;
}

// ---- single pixels and colours --------------------------------------------------------------

uint32_t ColorToPixelShifted(const PDirectDrawSurface& surface, uint32_t color) {
    const TDDPixelFormat format = FormatOf(surface);
    const auto place = [](uint32_t component, int topBit, uint32_t mask) -> uint32_t {
        int maskTop = 31;
        while (maskTop > 0 && !((mask >> maskTop) & 1))
            --maskTop;
        const int shift = topBit - maskTop;
        return shift >= 0 ? component >> shift : component << -shift;
    };
    return place(color & 0xFF0000, 23, format.RBitMask) |
           place(color & 0xFF00, 15, format.GBitMask) | place(color & 0xFF, 7, format.BBitMask);
}

uint32_t GetPixelColor(const PDirectDrawSurface& surface, int32_t x, int32_t y) {
    const TDDPixelFormat format = FormatOf(surface);
    const TLockedSurface lock(*surface);
    if (!ValidDepth(format.RGBBitCount)) throw std::runtime_error("Invalid bit count");
    if (x < 0 || y < 0 || x >= lock.Desc().Width || y >= lock.Desc().Height)
        DXCheckSurface(DDERR_INVALIDRECT);
    const int bytes = static_cast<int>(format.RGBBitCount / 8);
    return LoadAny(lock.Row(y) + ptrdiff_t(x) * bytes, bytes) & ColorBits(format);
}

void OpaqueRowEdges(const PDirectDrawSurface& surface, const TRect& rect, uint32_t key,
                    std::vector<int32_t>& left, std::vector<int32_t>& right) {
    const int32_t width = rect.Width(), height = std::max(rect.Height(), 0);
    left.assign(size_t(height), width - 1);
    right.assign(size_t(height), 0);
    if (width <= 0 || height == 0) return;
    const TDDPixelFormat format = FormatOf(surface);
    const TLockedSurface lock(*surface);
    if (!ValidDepth(format.RGBBitCount)) throw std::runtime_error("Invalid bit count");
    if (!RectInside(rect, lock.Desc().Width, lock.Desc().Height)) DXCheckSurface(DDERR_INVALIDRECT);
    const uint32_t colorMask = ColorBits(format);
    const int bytes = static_cast<int>(format.RGBBitCount / 8);
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* p = lock.Row(rect.Top + row) + ptrdiff_t(rect.Left) * bytes;
        for (int32_t column = 0; column < width; ++column, p += bytes) {
            if ((LoadAny(p, bytes) & colorMask) == key) continue;
            left[size_t(row)] = std::min(left[size_t(row)], column);
            right[size_t(row)] = column;
        }
    }
}

void ReplaceColor(const PDirectDrawSurface& surface, uint32_t oldColor, uint32_t newColor) {
    const uint32_t from = ColorToPixel(surface, oldColor), to = ColorToPixel(surface, newColor);
    const TDDPixelFormat format = FormatOf(surface);
    const TLockedSurface lock(*surface);
    if (!ValidDepth(format.RGBBitCount)) throw std::runtime_error("Invalid bit count");
    const uint32_t colorMask = ColorBits(format);
    const int bytes = static_cast<int>(format.RGBBitCount / 8);
    for (int32_t y = 0; y < lock.Desc().Height; ++y) {
        uint8_t* p = lock.Row(y);
        for (int32_t x = 0; x < lock.Desc().Width; ++x, p += bytes) {
            const uint32_t v = LoadAny(p, bytes);
            if ((v & colorMask) == from) StoreAny(p, bytes, (v & ~colorMask) | to);
        }
    }
}

// ---- masks and alpha maps -------------------------------------------------------------------

void ApplyMaskImage(const PDirectDrawSurface& surface, const std::string& path, uint32_t keyColor) {
    const std::optional<QByteArray> data = FindMaskData(path);
    if (!data) return;
    const TBitmapImage mask = DecodeMask(path, *data);
    const TDDPixelFormat format = FormatOf(surface);
    const TLockedSurface lock(*surface);
    if (mask.Width != lock.Desc().Width || mask.Height != lock.Desc().Height)
        throw std::runtime_error("Surface and mask image have different dimensions");
    if (!ValidDepth(format.RGBBitCount)) throw std::runtime_error("Invalid bit count");
    const uint32_t keyPixel = ColorToPixelShifted(surface, keyColor);
    std::array<bool, 256> paletteSet{};
    for (size_t i = 0; i < mask.Palette.size() && i < paletteSet.size(); ++i)
        paletteSet[i] = mask.Palette[i] != 0;
    switch (mask.Pixels()) {
    case TPicturePixels::Bits1:
    case TPicturePixels::Bits8:
    case TPicturePixels::Bits15:
    case TPicturePixels::Bits16:
    case TPicturePixels::Bits24:
    case TPicturePixels::Bits32:
        break;
    default:
        throw std::runtime_error("Invalid pixel format");
    }
    const uint32_t colorMask = ColorBits(format);
    std::vector<uint8_t> set(size_t(mask.Width));
    for (int32_t y = 0; y < mask.Height; ++y) {
        MaskRow(mask, y, paletteSet, set);
        uint8_t* row = lock.Row(y);
        if (format.RGBBitCount == 16)
            ApplyMaskRow<2>(row, set, mask.Width, colorMask, keyPixel);
        else if (format.RGBBitCount == 24)
            ApplyMaskRow<3>(row, set, mask.Width, colorMask, keyPixel);
        else
            ApplyMaskRow<4>(row, set, mask.Width, colorMask, keyPixel);
    }
}

PAlphaMap LoadAlphaMap(const std::string& path) {
    if (!AlphaMapEnabled) return nullptr;
    const std::optional<QByteArray> data = FindMaskData(path);
    if (!data) return nullptr;
    const TBitmapImage picture = DecodeMask(path, *data);
    if (picture.BitCount != 8) throw std::runtime_error("Bitmap isn't 8bpp");
    auto map = std::make_shared<TAlphaMap>();
    map->Width = picture.Width;
    map->Height = picture.Height;
    // An 8-bit bitmap row is already the width rounded up to 4 bytes.
    map->Bytes = picture.Bits;
    return map;
}

// ---- scaled drawing and blends --------------------------------------------------------------

void AlphaBlendScaled(const PDirectDrawSurface& back, const PDirectDrawSurface& front,
                      const PDirectDrawSurface& output, const TRect& frontRect,
                      const TRect& backRect, int32_t alpha, bool useColorKey) {
    Blend(back, front, output, frontRect, backRect, alpha, nullptr, useColorKey);
}

void AlphaMapBlend(const PDirectDrawSurface& back, const PDirectDrawSurface& front,
                   const PDirectDrawSurface& output, const TRect& frontRect, const TRect& backRect,
                   const PAlphaMap& alphaMap, bool useColorKey) {
    if (!alphaMap) throw std::runtime_error("No alpha map");
    Blend(back, front, output, frontRect, backRect, 0, alphaMap.get(), useColorKey);
}

void DrawImageScaled(const PDirectDrawSurface& src, const PAlphaMap& alphaMap, int32_t sx,
                     int32_t sy, int32_t sw, int32_t sh, const PDirectDrawSurface& dest, int32_t x,
                     int32_t y, int32_t w, int32_t h, bool transparent, int32_t alpha,
                     int32_t clipLeft, int32_t clipTop, int32_t clipRight, int32_t clipBottom) {
    if (sw == 0 || sh == 0) return;
    const TRect visible = ClipRect(TRect{x, y, x + w, y + h},
                                   TRect{clipLeft, clipTop, clipRight + 1, clipBottom + 1});
    if (visible.Empty()) return;
    const int32_t top = visible.Top - y, bottom = y + h - visible.Bottom;
    const int32_t left = visible.Left - x, right = x + w - visible.Right;
    // Source cuts in proportion, rounded to the nearest whole pixel, ties to even.
    int32_t srcLeft = 0, srcRight = 0, srcTop = 0, srcBottom = 0;
    if (left != 0 || right != 0) {
        const double ratio = double(w) / double(sw);
        srcLeft = static_cast<int32_t>(std::nearbyint(left / ratio));
        srcRight = static_cast<int32_t>(std::nearbyint(right / ratio));
    }
    if (top != 0 || bottom != 0) {
        const double ratio = double(h) / double(sh);
        srcTop = static_cast<int32_t>(std::nearbyint(top / ratio));
        srcBottom = static_cast<int32_t>(std::nearbyint(bottom / ratio));
    }
    if (sw - srcLeft - srcRight < 1 || sh - srcTop - srcBottom < 1) return;
    const TRect source{sx + srcLeft, sy + srcTop, sx + sw - srcRight, sy + sh - srcBottom};
    const int32_t destW = w - left - right, destH = h - top - bottom;
    const TRect target{ViewOffsetX + x + left, ViewOffsetY + y + top,
                       ViewOffsetX + x + left + destW, ViewOffsetY + y + top + destH};
    if (!src || !dest) throw std::runtime_error("Cannot copy from or to a NIL surface");
    if (AlphaBlendEnabled && alpha < 255) {
        Blend(dest, src, dest, source, target, alpha, nullptr, transparent, true);
    } else if (AlphaMapEnabled && alphaMap) {
        Blend(dest, src, dest, source, target, 0, alphaMap.get(), transparent, true);
    } else {
        DXCheckSurface(dest->Blt(&target, src.get(), &source,
                                 DDBLT_WAIT | (transparent ? DDBLT_KEYSRC : 0), nullptr));
    }
}

// ---- status line and screenshots ------------------------------------------------------------

void ShowStatusText(const std::string& text) {
    if (BottomMargin <= 0) return;
    const int32_t top = ScreenHeight - BottomMargin;
    Colorfill(BackgroundSurface, 0, top, ScreenWidth, BottomMargin, 0);
    {
        TDDCanvas canvas(BackgroundSurface);
        canvas->SetFontName("Arial");
        canvas->SetFontSize(8);
        canvas->SetFontStyle(fsBold);
        canvas->SetFontColor(0xFFFFFF);
        canvas->TextOut((ScreenWidth - canvas->TextWidth(text)) / 2,
                        ScreenHeight - canvas->TextHeight(text), text);
    }
    // The front shows it at once; the back keeps it over the next flip.
    ClippedBlit(BackgroundSurface, 0, top, ScreenWidth, BottomMargin, GetPrimarySurface(), 0, top,
                false, 0, 0, ClipRight, ClipBottom);
    ClippedBlit(BackgroundSurface, 0, top, ScreenWidth, BottomMargin, GetBackSurface(), 0, top,
                false, 0, 0, ClipRight, ClipBottom);
}

void SaveSurfaceAsJpeg(const PDirectDrawSurface& surface, const std::string& fileName) {
    QImage copy;
    {
        TDDCanvas canvas(surface);
        copy = canvas->Image().copy(0, 0, canvas->Width(), canvas->Height());
    }
    const std::vector<uint8_t> bytes = EncodeJpeg(copy, 100);
    WriteFileReplacing(fileName,
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TakeScreenshot() {
    EnterProgDir();
    CreateDir("Screenshots");
    int n = 1;
    while (FileExists("Screenshots\\Shot_" + std::to_string(n) + ".jpg"))
        ++n;
    SaveSurfaceAsJpeg(GetBackSurface(), "Screenshots\\Shot_" + std::to_string(n) + ".jpg");
}
