#!/usr/bin/env python3
# Writes the seed corpus of every fuzz target into fuzz/corpus/<Target>/: small, valid inputs of
# every kind each target reads, so the fuzzers start deep inside the readers instead of at their
# first check. Deterministic; run again after changing it and commit the files it writes.
# The MP3 seeds need `lame`; without it the MP3 folders are left as they are.
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
rng = random.Random(1905)


def put(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def clear(target):
    shutil.rmtree(os.path.join(ROOT, target), ignore_errors=True)


# ---- bitmaps ---------------------------------------------------------------------------------

def stride(width, bits):
    return (width * bits + 31) // 32 * 4


def pixel_rows(width, height, bits, pattern):
    rows = []
    for y in range(height):
        row = bytearray(stride(width, bits))
        for x in range(width):
            v = pattern(x, y)
            if bits == 1:
                row[x >> 3] |= (v & 1) << (7 - (x & 7))
            elif bits == 4:
                row[x >> 1] |= (v & 15) << (0 if x & 1 else 4)
            else:
                row[x * bits // 8:(x + 1) * bits // 8] = (v & ((1 << bits) - 1)).to_bytes(bits // 8, "little")
        rows.append(bytes(row))
    return rows


def bitmap(width, height, bits, pattern, header=40, compression=0, masks=None, palette=None,
           top_down=False, file_header=True, colors_used=None):
    """A bitmap with an info header of the given size (12, 40, 108 or 124 bytes)."""
    rows = pixel_rows(width, height, bits, pattern)
    if not top_down:
        rows.reverse()
    pixels = b"".join(rows)
    if palette is None and bits <= 8:
        palette = [((i * 97) & 255, (i * 53) & 255, (i * 29) & 255) for i in range(1 << bits)]
    palette = palette or []
    if header == 12:
        info = struct.pack("<IHhHH", 12, width, -height if top_down else height, 1, bits)
        table = b"".join(bytes((b, g, r)) for r, g, b in palette)
        extra = b""
    else:
        used = len(palette) if colors_used is None else colors_used
        info = struct.pack("<IiiHHIIiiII", header, width, -height if top_down else height, 1, bits,
                           compression, len(pixels), 2835, 2835, used, 0)
        extra = b""
        if header >= 52:
            m = list(masks or (0, 0, 0)) + [0] * (4 - len(masks or ()))
            info += struct.pack("<IIII", *m[:4])
            info += b"\0" * (header - len(info))
        elif compression in (3, 6):
            extra = struct.pack("<III", *masks[:3])
            if compression == 6:
                extra += struct.pack("<I", masks[3] if len(masks) > 3 else 0)
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    body = info + extra + table
    if not file_header:
        return body + pixels
    offset = 14 + len(body)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + body + pixels


def checker(x, y):
    return (x // 2 + y // 2) & 1


def bars(x, y):
    return x * 17 + y * 3


def rgb_pattern(bits, masks):
    def channel(value, mask):
        if mask == 0:
            return 0
        shift = (mask & -mask).bit_length() - 1
        width = (mask >> shift).bit_length()
        return ((value * ((1 << width) - 1)) // 255) << shift

    def pattern(x, y):
        r, g, b = (x * 16) & 255, (y * 32) & 255, ((x + y) * 9) & 255
        if (x + y) % 5 == 0:
            r = g = b = 0  # black pixels: left alone by masks
        return channel(r, masks[0]) | channel(g, masks[1]) | channel(b, masks[2])
    return pattern


def pictures():
    t = "PictureFuzz"
    clear(t)
    # The sheets the target masks are 16 x 8: these sizes reach the mask code.
    W, H = 16, 8
    for bits in (1, 4, 8):
        put(t, f"bmp{bits}.bmp", bitmap(W, H, bits, bars if bits > 1 else checker))
        put(t, f"bmp{bits}-topdown.bmp", bitmap(W, H, bits, bars, top_down=True))
        put(t, f"bmp{bits}-core.bmp", bitmap(W, H, bits, bars, header=12))
    put(t, "bmp8-fewcolours.bmp",
        bitmap(W, H, 8, lambda x, y: (x + y) % 6, palette=[(0, 0, 0), (255, 0, 0), (0, 255, 0),
                                                          (0, 0, 255), (9, 9, 9), (255, 255, 255)]))
    put(t, "bmp8-alphamap.bmp",
        bitmap(W, H, 8, lambda x, y: x * 16, palette=[(i, i, i) for i in range(256)]))
    put(t, "bmp8-odd.bmp", bitmap(13, 5, 8, bars))
    put(t, "bmp8-bare.dib", bitmap(W, H, 8, bars, file_header=False))
    put(t, "bmp4-colorsused.bmp",
        bitmap(W, H, 4, lambda x, y: x % 3, palette=[(0, 0, 0), (200, 10, 10), (10, 200, 10)]))
    m555, m565, m888 = (0x7C00, 0x03E0, 0x001F), (0xF800, 0x07E0, 0x001F), (0xFF0000, 0xFF00, 0xFF)
    put(t, "bmp16-555.bmp", bitmap(W, H, 16, rgb_pattern(16, m555)))
    put(t, "bmp16-565.bmp", bitmap(W, H, 16, rgb_pattern(16, m565), compression=3, masks=m565))
    put(t, "bmp16-444.bmp", bitmap(W, H, 16, rgb_pattern(16, (0xF00, 0xF0, 0xF)), compression=3,
                                   masks=(0xF00, 0xF0, 0xF)))
    put(t, "bmp16-v4.bmp", bitmap(W, H, 16, rgb_pattern(16, m565), header=108, compression=3,
                                  masks=m565))
    put(t, "bmp24.bmp", bitmap(W, H, 24, rgb_pattern(24, m888)))
    put(t, "bmp24-topdown.bmp", bitmap(W, H, 24, rgb_pattern(24, m888), top_down=True))
    put(t, "bmp24-core.bmp", bitmap(W, H, 24, rgb_pattern(24, m888), header=12))
    put(t, "bmp24-odd.bmp", bitmap(7, 3, 24, rgb_pattern(24, m888)))
    put(t, "bmp32.bmp", bitmap(W, H, 32, rgb_pattern(32, m888)))
    put(t, "bmp32-fields.bmp", bitmap(W, H, 32, rgb_pattern(32, m888), compression=3, masks=m888))
    bgr = (0xFF, 0xFF00, 0xFF0000)
    put(t, "bmp32-bgr.bmp", bitmap(W, H, 32, rgb_pattern(32, bgr), compression=3, masks=bgr))
    ten = (0x3FF00000, 0xFFC00, 0x3FF)
    put(t, "bmp32-101010.bmp", bitmap(W, H, 32, rgb_pattern(32, ten), compression=3, masks=ten))
    put(t, "bmp32-alphafields.bmp", bitmap(W, H, 32, rgb_pattern(32, m888), compression=6,
                                           masks=m888 + (0xFF000000,)))
    put(t, "bmp32-v5.bmp", bitmap(W, H, 32, rgb_pattern(32, m888), header=124, compression=3,
                                  masks=m888 + (0xFF000000,)))
    put(t, "bmp32-v5-topdown.bmp", bitmap(W, H, 32, rgb_pattern(32, m888), header=124,
                                          compression=3, masks=m888, top_down=True))
    put(t, "bmp1-1x1.bmp", bitmap(1, 1, 1, lambda x, y: 1))
    for name, data in pngs():
        put(t, name, data)


# ---- PNG ---------------------------------------------------------------------------------------

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def adam7_passes(width, height):
    starts = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
              (0, 1, 1, 2)]
    for x0, y0, dx, dy in starts:
        xs = list(range(x0, width, dx))
        ys = list(range(y0, height, dy))
        if xs and ys:
            yield xs, ys


def png(width, height, colour, depth, sample, palette=None, trns=None, interlaced=False):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]

    def row_bytes(xs, y):
        if depth < 8:
            bits = 0
            count = 0
            out = bytearray()
            for x in xs:
                bits = (bits << depth) | (sample(x, y)[0] & ((1 << depth) - 1))
                count += depth
                if count == 8:
                    out.append(bits)
                    bits = count = 0
            if count:
                out.append(bits << (8 - count))
            return bytes(out)
        out = bytearray()
        for x in xs:
            for v in sample(x, y)[:channels]:
                out += (v & 0xFFFF).to_bytes(2, "big") if depth == 16 else bytes((v & 255,))
        return bytes(out)

    raw = bytearray()
    if interlaced:
        for xs, ys in adam7_passes(width, height):
            for y in ys:
                raw += b"\0" + row_bytes(xs, y)
    else:
        for y in range(height):
            raw += b"\0" + row_bytes(range(width), y)
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0,
                                      1 if interlaced else 0))
    if palette is not None:
        out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if trns is not None:
        out += chunk(b"tRNS", trns)
    out += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    out += chunk(b"IEND", b"")
    return out


def pngs():
    W, H = 16, 8

    def grey(depth):
        top = (1 << depth) - 1
        return lambda x, y: ((x + y * 3) * top // 25 if (x + y) % 4 else 0,)

    def rgb(depth):
        top = (1 << depth) - 1
        return lambda x, y: (x * top // 15, y * top // 7, ((x + y) % 4) * top // 3, top * (x % 2))

    for depth in (1, 2, 4, 8, 16):
        yield f"png-grey{depth}.png", png(W, H, 0, depth, grey(depth))
    for depth in (8, 16):
        yield f"png-rgb{depth}.png", png(W, H, 2, depth, rgb(depth))
        yield f"png-greyalpha{depth}.png", png(W, H, 4, depth,
                                                lambda x, y, d=depth: (x * 4, ((1 << d) - 1) * (y % 2)))
        yield f"png-rgba{depth}.png", png(W, H, 6, depth, rgb(depth))
    for depth in (1, 2, 4, 8):
        count = 1 << depth
        palette = [((i * 77) & 255, (i * 31) & 255, (i * 5) & 255) for i in range(count)]
        palette[0] = (0, 0, 0)
        yield f"png-palette{depth}.png", png(W, H, 3, depth,
                                             lambda x, y, c=count: ((x + y) % c,), palette)
    yield "png-palette8-trns.png", png(W, H, 3, 8, lambda x, y: ((x * y) % 4,),
                                       [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)],
                                       trns=bytes((0, 128)))
    yield "png-rgb8-trns.png", png(W, H, 2, 8, rgb(8), trns=struct.pack(">HHH", 0, 0, 0))
    yield "png-grey8-interlaced.png", png(W, H, 0, 8, grey(8), interlaced=True)
    yield "png-rgba8-interlaced.png", png(13, 7, 6, 8, rgb(8), interlaced=True)
    yield "png-palette8-alphamap.png", png(W, H, 3, 8, lambda x, y: (x * 16,),
                                           [(i, i, i) for i in range(256)])


# ---- waves -------------------------------------------------------------------------------------

def sine(count, channels, rate=8000, freq=440.0):
    out = []
    for i in range(count):
        for c in range(channels):
            out.append(math.sin(2 * math.pi * freq * (c + 1) * i / rate) * (0.8 if i % 50 else -1.0))
    return out


def pcm16(samples):
    return b"".join(struct.pack("<h", max(-32768, min(32767, int(s * 32767)))) for s in samples)


def alaw(sample):
    """G.711 A-law of one sample in -1..1."""
    value = max(-32768, min(32767, int(sample * 32767))) >> 3
    mask = 0xD5
    if value < 0:
        mask = 0x55
        value = -value - 1
    ends = [0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF]
    seg = next((i for i, end in enumerate(ends) if value <= end), 8)
    if seg == 8:
        return 0x7F ^ mask
    code = seg << 4 | ((value >> 1) if seg < 2 else (value >> seg)) & 0xF
    return code ^ mask


def mulaw(sample):
    """G.711 mu-law of one sample in -1..1."""
    value = max(-32768, min(32767, int(sample * 32767))) >> 2
    mask = 0xFF
    if value < 0:
        mask = 0x7F
        value = -value
    value = min(value, 8159) + (0x84 >> 2)
    ends = [0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF]
    seg = next((i for i, end in enumerate(ends) if value <= end), 8)
    if seg == 8:
        return 0x7F ^ mask
    return (seg << 4 | (value >> (seg + 1)) & 0xF) ^ mask


IMA_STEPS = [7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55,
             60, 66, 73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307,
             337, 371, 408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411,
             1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024, 3327, 3660, 4026, 4428, 4871, 5358,
             5894, 6484, 7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500,
             20350, 22385, 24623, 27086, 29794, 32767]
IMA_INDEX = [-1, -1, -1, -1, 2, 4, 6, 8]


def ima_blocks(samples, channels, align):
    """IMA ADPCM blocks: per channel a 4-byte header, then 4-byte groups of 8 nibbles."""
    per_block = (align - 4 * channels) * 2 // channels + 1
    frames = [samples[i:i + channels] for i in range(0, len(samples), channels)]
    out = b""
    for start in range(0, len(frames) - per_block + 1, per_block):
        block = frames[start:start + per_block]
        state = []
        header = b""
        for c in range(channels):
            first = int(block[0][c] * 32767)
            index = 20 + 7 * c
            header += struct.pack("<hBB", first, index, 0)
            state.append([first, index])
        codes = [[] for _ in range(channels)]
        for frame in block[1:]:
            for c in range(channels):
                pred, index = state[c]
                step = IMA_STEPS[index]
                diff = int(frame[c] * 32767) - pred
                code = 8 if diff < 0 else 0
                diff = abs(diff)
                delta = step >> 3
                for bit, part in ((4, step), (2, step >> 1), (1, step >> 2)):
                    if diff >= part:
                        code |= bit
                        diff -= part
                        delta += part
                pred = max(-32768, min(32767, pred - delta if code & 8 else pred + delta))
                index = max(0, min(88, index + IMA_INDEX[code & 7]))
                state[c] = [pred, index]
                codes[c].append(code)
        data = b""
        for group in range(0, per_block - 1, 8):
            for c in range(channels):
                nib = codes[c][group:group + 8]
                data += bytes((nib[i] | nib[i + 1] << 4) for i in range(0, 8, 2))
        out += header + data
    return out, per_block


MS_COEFS = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]


def ms_blocks(samples, channels, align, coefs=MS_COEFS):
    """MS ADPCM blocks coded with a plain fixed step per predictor (valid, not optimal)."""
    per_block = (align - 7 * channels) * 2 // channels + 2
    frames = [samples[i:i + channels] for i in range(0, len(samples), channels)]
    adapt = [230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230]
    out = b""
    for start in range(0, len(frames) - per_block + 1, per_block):
        block = frames[start:start + per_block]
        preds = [(start // per_block + c) % len(coefs) for c in range(channels)]
        deltas = [32 + 16 * c for c in range(channels)]
        s1 = [int(block[1][c] * 32767) for c in range(channels)]
        s2 = [int(block[0][c] * 32767) for c in range(channels)]
        header = bytes(preds) + b"".join(struct.pack("<h", d) for d in deltas)
        header += b"".join(struct.pack("<h", v) for v in s1) + b"".join(struct.pack("<h", v) for v in s2)
        nibbles = []
        for frame in block[2:]:
            for c in range(channels):
                c1, c2 = coefs[preds[c]]
                guess = (s1[c] * c1 + s2[c] * c2) >> 8
                err = int(frame[c] * 32767) - guess
                code = max(-8, min(7, round(err / deltas[c])))
                value = max(-32768, min(32767, guess + code * deltas[c]))
                s2[c], s1[c] = s1[c], value
                deltas[c] = max(16, (adapt[code & 15] * deltas[c]) >> 8)
                nibbles.append(code & 15)
        if len(nibbles) % 2:
            nibbles.append(0)
        out += header + bytes((nibbles[i] << 4 | nibbles[i + 1]) for i in range(0, len(nibbles), 2))
    return out, per_block


def riff(fmt, data, extra_chunks=b"", fact=None):
    body = b"WAVE" + chunk_le(b"fmt ", fmt)
    if fact is not None:
        body += chunk_le(b"fact", struct.pack("<I", fact))
    body += extra_chunks + chunk_le(b"data", data)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def chunk_le(kind, data):
    pad = b"\0" if len(data) % 2 else b""
    return kind + struct.pack("<I", len(data)) + data + pad


def fmt(tag, channels, rate, align, bits, extra=None):
    out = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    if extra is not None:
        out += struct.pack("<H", len(extra)) + extra
    return out


def waves():
    t = "WaveReadFuzz"
    clear(t)
    for channels in (1, 2):
        s = sine(200, channels)
        put(t, f"pcm16-{channels}ch.wav", riff(fmt(1, channels, 8000, 2 * channels, 16), pcm16(s)))
        put(t, f"pcm8-{channels}ch.wav", riff(fmt(1, channels, 8000, channels, 8),
                                              bytes(int(v * 127) + 128 for v in s)))
        put(t, f"float-{channels}ch.wav", riff(fmt(3, channels, 8000, 4 * channels, 32, b""),
                                               b"".join(struct.pack("<f", v) for v in s),
                                               fact=200))
        put(t, f"alaw-{channels}ch.wav", riff(fmt(6, channels, 8000, channels, 8, b""),
                                              bytes(alaw(v) for v in s), fact=200))
        put(t, f"mulaw-{channels}ch.wav", riff(fmt(7, channels, 8000, channels, 8, b""),
                                               bytes(mulaw(v) for v in s), fact=200))
        align = 64 * channels
        data, per_block = ima_blocks(sine(400, channels), channels, align)
        put(t, f"ima-{channels}ch.wav", riff(fmt(0x11, channels, 8000, align, 4,
                                                 struct.pack("<H", per_block)), data, fact=400))
        data, per_block = ms_blocks(sine(400, channels), channels, align)
        extra = struct.pack("<HH", per_block, len(MS_COEFS)) + b"".join(
            struct.pack("<hh", a, b) for a, b in MS_COEFS)
        put(t, f"msadpcm-{channels}ch.wav", riff(fmt(2, channels, 8000, align, 4, extra), data,
                                                 fact=400))
    s = sine(101, 1)
    put(t, "pcm16-list-odd.wav", riff(fmt(1, 1, 22050, 2, 16), pcm16(s)[:-1],
                                      extra_chunks=chunk_le(b"LIST", b"INFOISFT\x05\0\0\0test\0")))
    put(t, "pcm16-44k-stereo.wav", riff(fmt(1, 2, 44100, 4, 16), pcm16(sine(64, 2, 44100))))
    put(t, "pcm16-truncated.wav", riff(fmt(1, 1, 8000, 2, 16), pcm16(s))[:120])
    put(t, "mp3-nodriver.wav", riff(fmt(0x55, 1, 8000, 1, 0, struct.pack("<HIHHH", 1, 2, 26, 1, 1393)),
                                    bytes(rng.randrange(256) for _ in range(52))))
    put(t, "gsm-unsupported.wav", riff(fmt(0x31, 1, 8000, 65, 0, struct.pack("<H", 320)),
                                       bytes(65)))

    # The decoder targets: first bytes choose the shape, the rest is data.
    for target, tag in (("ALawFuzz", alaw), ("MuLawFuzz", mulaw)):
        clear(target)
        for channels in (1, 2):
            for n, freq in ((1, 440.0), (2, 440.0), (7, 3000.0), (40, 440.0), (300, 1200.0)):
                put(target, f"{channels}ch-{n}", bytes((channels - 1,)) +
                    bytes(tag(v) for v in sine(n, channels, freq=freq)))
        put(target, "all-codes", bytes((0,)) + bytes(range(256)))
        put(target, "all-codes-stereo", bytes((1,)) + bytes(range(256)) + b"\x01")
    clear("FloatFuzz")
    for channels in (1, 2):
        for n in (1, 2, 5, 150):
            put("FloatFuzz", f"{channels}ch-{n}",
                bytes((channels - 1,)) + b"".join(struct.pack("<f", v) for v in sine(n, channels)))
    edges = [0.0, -0.0, 1.0, -1.0, 2.5, -7.0, float("inf"), float("-inf"), float("nan"),
             1e-40, 3.4e38, -3.4e38]
    put("FloatFuzz", "limits-and-nan", b"\0" + b"".join(struct.pack("<f", v) for v in edges))
    put("FloatFuzz", "odd-bytes", b"\1" + b"".join(struct.pack("<f", v) for v in edges) + b"\x7f\x7f")

    clear("ImaAdpcmFuzz")
    for channels in (1, 2):
        for units in (1, 16, 64, 256):
            align = 4 * channels * units
            data, _ = ima_blocks(sine(3 * ((align - 4 * channels) * 2 // channels + 1), channels),
                                 channels, align)
            put("ImaAdpcmFuzz", f"{channels}ch-align{align}",
                bytes((channels - 1, (units - 1) & 255, (units - 1) >> 8)) + data)
    put("ImaAdpcmFuzz", "max-index", bytes((0, 1, 0)) + struct.pack("<hBB", 32767, 88, 0) + b"\x77" * 4)
    put("ImaAdpcmFuzz", "partial-block", bytes((1, 15, 0)) + bytes(rng.randrange(256) for _ in range(90)))

    clear("MsAdpcmFuzz")
    for channels in (1, 2):
        for extra_bytes in (1, 32, 250, 1000):
            align = 7 * channels + extra_bytes
            for coefs in (MS_COEFS, MS_COEFS[:2]):
                data, _ = ms_blocks(sine(3 * ((align - 7 * channels) * 2 // channels + 2), channels),
                                    channels, align, coefs)
                head = bytes((channels - 1, extra_bytes & 255, extra_bytes >> 8, len(coefs) - 1))
                head += b"".join(struct.pack("<hh", a, b) for a, b in coefs)
                put("MsAdpcmFuzz", f"{channels}ch-align{align}-coef{len(coefs)}", head + data)
    put("MsAdpcmFuzz", "bad-predictor", bytes((0, 20, 0, 0)) + struct.pack("<hh", 256, 0) +
        bytes((5,)) + struct.pack("<hhh", 16, 100, -100) + bytes(20))


# ---- MP3 ---------------------------------------------------------------------------------------

def lame_encode(samples, channels, rate, options):
    with tempfile.TemporaryDirectory() as folder:
        wav = os.path.join(folder, "in.wav")
        mp3 = os.path.join(folder, "out.mp3")
        with open(wav, "wb") as f:
            f.write(riff(fmt(1, channels, rate, 2 * channels, 16), pcm16(samples)))
        subprocess.run(["lame", "--quiet", "--noreplaygain", "--resample", str(rate / 1000), *options,
                        wav, mp3], check=True)
        with open(mp3, "rb") as f:
            return f.read()


def mp3s():
    if not shutil.which("lame"):
        print("make_corpus: lame not found; MP3 seeds left as they are", file=sys.stderr)
        return
    cases = [  # name, channels, rate, lame options
        ("mono8k-cbr8", 1, 8000, ["-b", "8", "-t"]),
        ("mono22k-cbr32", 1, 22050, ["-b", "32"]),
        ("stereo44k-cbr128", 2, 44100, ["-b", "128", "-t"]),
        ("stereo44k-vbr", 2, 44100, ["-V", "6"]),
        ("joint32k-cbr64", 2, 32000, ["-b", "64", "-m", "j", "-t"]),
        ("mono11k-mpeg25", 1, 11025, ["-b", "16", "-t"]),
        ("mono16k-id3", 1, 16000, ["-b", "24", "--add-id3v2", "--tt", "Crumble", "--ta", "Rush"]),
        ("mono48k-crc", 1, 48000, ["-b", "48", "-p", "-t"]),
    ]
    clear("Mp3PluginFuzz")
    clear("Mp3DriverFuzz")
    for name, channels, rate, options in cases:
        data = lame_encode(sine(rate // 10, channels, rate), channels, rate, options)
        put("Mp3PluginFuzz", name + ".mp3", data)
        if "--add-id3v2" in options:
            continue
        # The driver target: the 30-byte layer-3 format, then the frames.
        frame = 1152 if rate >= 32000 else 576
        bitrate = int(options[options.index("-b") + 1]) if "-b" in options else 64
        block = 144 * bitrate * 1000 // rate if rate >= 32000 else 72 * bitrate * 1000 // rate
        head = struct.pack("<HHIIHHH", 0x55, channels, rate, bitrate * 125, 1, 0, 12)
        head += struct.pack("<HIHHH", 1, 2, block, 1, 1393)
        assert len(head) == 30
        put("Mp3DriverFuzz", name, head + data)
    mono = lame_encode(sine(800, 1), 1, 8000, ["-b", "8", "-t"])
    head = struct.pack("<HHIIHHH", 0x55, 2, 44100, 16000, 1, 0, 12) + struct.pack("<HIHHH", 1, 2, 417, 1, 1393)
    put("Mp3DriverFuzz", "format-disagrees", head + mono)
    put("Mp3DriverFuzz", "truncated", head[:30] + mono[:100])
    put("Mp3PluginFuzz", "truncated.mp3", lame_encode(sine(800, 1), 1, 8000, ["-b", "8", "-t"])[:150])
    put("Mp3PluginFuzz", "id3-only.mp3", b"ID3\x03\0\0\0\0\0\x0aTIT2\0\0\0\x01\0\0x")


# ---- sprite scripts ----------------------------------------------------------------------------

DASHES = "-" * 74


def sprite_object(name, kind, w, h, count, across, down, animations, arrangement="horizontale",
                  extra=""):
    lines = [f"OBJECT {name}:{kind}{extra}", f"{w:<3} Punkte breit", f"{h:<3} Punkte hoch",
             f"{count:<3} Image", f"{across:<3} horizontal", f"{down:<3} vertikal",
             f"{arrangement} Anordnung", "", "ANI"]
    lines += animations
    lines += ["ANIEND", DASHES]
    return lines


def scripts():
    t = "SpriteScriptFuzz"
    clear(t)
    objects = [
        sprite_object("tanz", "Animation", 12, 10, 16, 1, 16, ["standard 1-16; (002/000)"]),
        sprite_object("wart", "Animation", 9, 11, 8, 4, 2,
                      ["standard 1-8; (006/000)", "aufblink 008-003; (001/000)",
                       "end      1-7,7; (015/000)"]),
        sprite_object("feld", "CreateAnimation", 60, 6, 1, 1, 1, ["standard 001; (002/000)"]),
        sprite_object("punkte", "Animation", 10, 4, 51, 1, 51, ["standard 1-51; (000/000)"]),
        sprite_object("knall", "Animation", 8, 8, 6, 3, 2,
                      ["standard 1-6; (003/000) (SOUNDS 1:1,255,0 2:3,128,-500)",
                       "wieder   5..,1-2; (001/002) (sounds 8:2,1,1,4,2,2)"], "vertikale"),
        sprite_object("bild", "Picture", 0, 0, 3, 0, 0, []),
        sprite_object("film", "Movielist", 0, 0, 0, 0, 0, []),
        sprite_object("weg", "Animation", 16, 8, 2, 2, 1, ["standard 1,2; (004/000)"],
                      extra=" (path:\\gfx\\fb\\)"),
    ]
    # A Picture's rectangles stand in the lines under its five header numbers: x, y, width and
    # height in columns 5-8, 10-13, 15-18 and 20-23.
    objects[5] = ["OBJECT bild:Picture", "16  Punkte breit", "8   Punkte hoch", "3   Image",
                  "0   horizontal", "0   vertikal", "r1  0001 0000 0004 0004",
                  "r2  0004 0000 0004 0004", "r3  0000 0004 0016 0004", DASHES]
    for i, obj in enumerate(objects):
        put(t, f"object{i}.txt", "\r\n".join(obj) + "\r\n")
    put(t, "all.txt", "\r\n".join(line for obj in objects for line in obj) + "\r\n")
    put(t, "all-lf.txt", "\n".join(line for obj in objects[:4] for line in obj) + "\n")
    lists = ["standard 1-16; (002/000)", "x        011-003; (001/000)", "y        5..,7-7; (010/005)",
             "z        --1,,2..3-; (999/999)", "q        40-1.2; (0a0/000)",
             "s        1; (002/000) (SOUNDS 1:1,2,3 3:4,5,6,7 8:0,0,0)"]
    put(t, "frame-lists.txt", "\n".join(lists) + "\n")
    put(t, "bad-flipspeed.txt", "\n".join(sprite_object("kaputt", "Animation", 4, 4, 2, 2, 1,
                                                        ["standard 1-2; (x02/000)"])) + "\n")
    put(t, "no-aniend.txt", "\n".join(sprite_object("offen", "Animation", 4, 4, 2, 2, 1,
                                                    ["standard 1-2; (002/000)"])[:-2]) + "\n")
    put(t, "zero-across.txt", "\n".join(sprite_object("null", "Animation", 4, 4, 2, 0, 1,
                                                      ["standard 1-2; (002/000)"])) + "\n")


# ---- level scripts ------------------------------------------------------------------------------

def level(*lines):
    return "\r\n".join(lines) + "\r\n"


def levels():
    t = "LevelScriptFuzz"
    clear(t)
    shipped = os.path.join(os.path.dirname(ROOT), "..", "assets", "levels", "Level1.txt")
    with open(shipped, "rb") as f:
        put(t, "shipped.txt", f.read())
    kinds = ["boba=chip1", "bobb=pepper1", "bobc=umdreh", "bobd=dauerfeuer", "bobe=doppelbreit",
             "bobf=explode"]
    put(t, "every-statement.txt", level(
        *kinds, "bobspeed=2,5", "bobspeedstep=0.5", "gap=60", "speed=5", "origin=r",
        "middleposition=-40", "curvet=20", "curveh=-6", "bobprobability=0.9", "bobfuzzytime=10",
        "bobdelaytime=3", "bobvisibletime=120", "wavebegin", "formation1", "waveend", "bobfreepos=1",
        "origin=x", "formation2", "end", "defineformation1", "a1;b2;;c3;d1;e2;f1;", "a3;;a3;",
        "end", "defineformation2", "f1;e1;d1;", "end"))
    put(t, "four-sides.txt", level(
        "boba=chip1", "speed=3", *[line for side in "lrou" for line in
                                   (f"origin={side}", "wavebegin", "formation1", "waveend")],
        "end", "defineformation1", "a1;a2;a1;", "a2;;a2;", "end"))
    put(t, "frozen.txt", level("boba=chip1", "speed=0", "formation1", "end",
                               "defineformation1", "a1;a1;", "a1;", "end"))
    put(t, "bad-cells.txt", level(
        "boba=chip1", "bob=chip1", "bob1=pepper1", "bobz=nichts", "speed=2", "formation1", "end",
        "defineformation1", "a;1a;aa;A1;z9;a99999;;;;", "{1;`2;a-1;a+1;", "a1" * 60 + ";" * 101,
        "end"))
    put(t, "bad-numbers.txt", level("speed=zwei", "formation1", "end"))
    put(t, "huge-numbers.txt", level(
        "boba=chip1", "bobspeed=1e300", "gap=-1e308", "curvet=1e20", "curveh=1e20",
        "bobdelaytime=2147483647", "bobfuzzytime=2147483647", "speed=1", "formation1", "end",
        "defineformation1", "a1;a1;", "end"))
    put(t, "no-end.txt", level("boba=chip1", "speed=2", "formation1",
                               "defineformation1", "a1;"))
    put(t, "many-waves.txt", level(*["wavebegin", "waveend"] * 302, "end"))
    put(t, "lf-missing-formation.txt", "formation9\nspeed=1\nend\n")


# ---- online: errors.txt, replies, cs -------------------------------------------------------------

def errors():
    t = "ErrorsMatchFuzz"
    clear(t)
    log = ("Program Version 1.05\r\nStarting game\r\nDirectDraw init\r\n"
           "Access violation at address 0040A1B2\r\nin module crumble.exe\r\nERROR\r\n")
    lines = [
        "<zn=1><z1=Access violation><W=av.html>",
        "<zn=2><z1=Access violation><z2=in module><W=module.html><S>",
        "<ZN=2><Z1=in module><z2=ERROR><zl><w=last.html>",
        "<zn=3><z1=Starting><z2=DirectDraw><z3=Access><W=dd.html>",
        "<zn=1><z1=nirgends><W=none.html>\r\n<zn=1><z1=ERROR><W=fallback.html>",
        "\r\n   \r\n<zn=1><z1=Program Version><W>\r\n<zn=1><z1=Version><W=second.html>",
        "<zn=0><z1=x><W=zero.html>",
        "<zn=9><z1=x><W=toomany.html>",
        "<z1=no number><W=nonumber.html>",
        "<zn=abc><z1=x><W=x.html>",
        "<zn=1><z1=><W=empty.html>",
        "<zn=2><z1=DirectDraw<z2=Access><W=unclosed.html",
        "<zn=1><z1=ERROR><zl><S><W=a.html>\n<zn=1><z1=ERROR><W=b.html>",
    ]
    for i, text in enumerate(lines):
        put(t, f"errors{i:02d}", text + "\0" + log)
    put(t, "errors-no-log", lines[0])
    put(t, "errors-lf-log", lines[2] + "\0" + log.replace("\r\n", "\n"))
    put(t, "errors-empty-log", lines[1] + "\0")
    put(t, "errors-cp1252", "<zn=1><z1=Fehler: Datei \xe4\xf6\xfc><W=umlaut.html>\0Fehler: Datei \xe4\xf6\xfc fehlt\r\n")


def replies():
    t = "ReplyFuzz"
    clear(t)
    texts = [
        "ID=a1b2c3\r\nRang=5\r\nPlatz1=123456\r\nwRang=2\r\nwPlatz1=98765\r\n",
        "ID=a1b2c3\r\nRang=5\r\nAlterrang=9\r\nPlatz1=123456\r\nwRang=2\r\nwAlterrang=4\r\nwPlatz1=98765\r\n",
        "Rang=1\nPlatz1=500\n",
        "ID=\r\nRang=\r\n",
        "ID=has space\r\nRang=12\r\n",
        "id=" + "x" * 40 + "\r\nrang=3\r\n",
        "Fehler=Datenbank nicht erreichbar\r\n",
        "<html><body>500 Internal Server Error</body></html>",
        "Rang=7\rPlatz1=8\rID=cr\r",
        "Rang=-3\r\nID=\x01\x02\r\n",
        "Rang=\xe4\xf6\xfc\r\nID=\xc3\xa4\r\n",
        "1.06\r\nhttp://example.invalid/download/crumble106.exe\r\n",
        "1.05\r\nhttp://example.invalid/\r\n",
        "1.04\n",
        "2.00\r\n\r\n",
        "1.10\r\nhttp://example.invalid/\xe4\x7f\r\n",
        "",
        "=\r\n==\r\nRang==5\r\n",
    ]
    for i, text in enumerate(texts):
        put(t, f"reply{i:02d}", text)


def cs_encode(record):
    alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-"
    record = record.encode("latin-1")
    record += b" " * (-len(record) % 64)
    scrambled = b""
    for start in range(0, len(record), 64):
        p = list(range(64))
        for _ in range(1000):
            a, b = rng.randrange(64), rng.randrange(64)
            p[a], p[b] = p[b], p[a]
        scrambled += "".join(alphabet[i] for i in p).encode()
        block = bytearray(b" " * 64)
        for k in range(64):
            block[p[k]] = record[start + k]
        scrambled += bytes(block)
    out = ""
    for byte in scrambled:
        c = chr(byte)
        out += c if c.isascii() and c.isalnum() else "%%%02X" % byte
    return out


def records():
    t = "csDecodeFuzz"
    clear(t)
    fields = [
        ["", "12345", "Krümel", "Berlin", "Deutschland", "a@b.de", "31", "m", "Hallo", "12", "3", "R1"],
        ["abc123", "-100", " ", " ", " ", " ", " ", " ", " ", "0", "0", " "],
        ["id", "999999", "Name/mit", "Ort", "Land", "x@y.z", "99", "f", "Kommentar " * 8, "5", "5",
         "G" * 100],
        ["", "0", "N", "R", "C", "E", "", "", "", "1", "0", ""],
    ]
    for i, f in enumerate(fields):
        f = [v if v else " " for v in f]
        record = "KVQ|" + "|".join(f) + "|KVQ|"
        put(t, f"record{i}", cs_encode(record))
    put(t, "split-field", cs_encode("KVQ| |5|Name|mit| | | | | | | 1| 1| |KVQ|"))
    put(t, "not-a-record", cs_encode("nur Text ohne Marken"))
    put(t, "bad-number", cs_encode("KVQ| |12a| | | | | | | | 1| 1| |KVQ|"))
    put(t, "bad-escape", "%G1" + "A" * 127)
    put(t, "short", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-")


def main():
    pictures()
    waves()
    mp3s()
    scripts()
    levels()
    errors()
    replies()
    records()


if __name__ == "__main__":
    main()
