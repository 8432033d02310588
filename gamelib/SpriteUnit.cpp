#include "gamelib/SpriteUnit.h"

#include "gamelib/SpriteScriptText.h"
#include "gamelib/frmDDFullScreen.h"
#include "gamelib/vrDSound.h"
#include "shell/Tools.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

std::array<TSprite, MaxSprites + 1> Sprites;
int32_t SpriteCount = 0;
std::array<TSpriteObject, MaxObjects + 1> Objects;
int32_t ObjectCount = 0;
std::function<std::vector<std::string>()> SpriteScriptLines = [] {
    return SplitLines(BuiltInSpriteScript());
};

namespace {

enum class TKind { None, Movielist, Picture, CreateAnimation, Animation };

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Control characters and blanks go at both ends.
std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

// 1-based, count characters from column `from`, as the script's columns are counted.
std::string Columns(const std::string& s, size_t from, size_t count) {
    if (from < 1 || from > s.size()) return {};
    return s.substr(from - 1, count);
}

// A decimal integer with optional blanks before and a sign; anything else is refused with the
// message the script's authors know.
int32_t StrToInt(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    const size_t digits = i;
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > int64_t(INT32_MAX) + 1) break;
    }
    if (i == digits || i != s.size() || value > int64_t(INT32_MAX) + (negative ? 1 : 0))
        throw EConvertError("'" + s + "' is not a valid integer value");
    return static_cast<int32_t>(negative ? -value : value);
}

const std::string& Line(const std::vector<std::string>& lines, size_t index) {
    if (index >= lines.size())
        throw std::runtime_error("List index out of bounds (" + std::to_string(index) + ")");
    return lines[index];
}

// Header numbers stand in columns 1-3, blanks removed.
int32_t HeaderNumber(const std::vector<std::string>& lines, size_t index) {
    std::string text = Columns(Line(lines, index), 1, 3);
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return StrToInt(text);
}

TKind KindOf(const std::string& objectLine) {
    if (objectLine.find("Movielist") != std::string::npos) return TKind::Movielist;
    if (objectLine.find("Picture") != std::string::npos) return TKind::Picture;
    if (objectLine.find("CreateAnimation") != std::string::npos) return TKind::CreateAnimation;
    if (objectLine.find("Animation") != std::string::npos) return TKind::Animation;
    return TKind::None;
}

std::string FolderOf(const std::string& objectLine) {
    const size_t path = objectLine.find("(path:");
    if (path == std::string::npos) return "\\gfx\\sb\\";
    const size_t start = path + 6;
    const size_t close = objectLine.find(')');
    if (close == std::string::npos || close < start) return {};
    return objectLine.substr(start, close - start);
}

void AddSprite(int32_t surface, bool useAlphaMap, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (SpriteCount >= MaxSprites)
        throw std::runtime_error("Exception raised in LoadGO: Too many sprites");
    Sprites[size_t(++SpriteCount)] = TSprite{surface, useAlphaMap, x, y, w, h};
}

void AppendFrameData(TSpriteObject& object, uint16_t value) {
    if (object.FrameDataCount >= MaxFrameData)
        throw std::runtime_error("Exception raised in LoadGO: Too many frames in " + object.Name);
    object.FrameData[size_t(object.FrameDataCount++)] = value;
}

// The animation lines between "ANI" and "ANIEND" of the object become its frame data.
int32_t ReadAnimations(const std::vector<std::string>& lines, const std::string& name,
                       int32_t imageCount) {
    if (ObjectCount >= MaxObjects)
        throw std::runtime_error("Exception raised in LoadGO: Too many objects");
    const int32_t number = ObjectCount + 1;
    TSpriteObject& object = Objects[size_t(number)];
    object = TSpriteObject{};
    object.Name = Upper(name);
    object.FirstSprite = static_cast<uint16_t>(SpriteCount);
    ObjectCount = number;

    size_t index = FindKeyword(lines, "ANI", FindKeyword(lines, "OBJECT " + name, 0));
    for (int32_t animation = 0;; ++animation, ++index) {
        const std::string& line = Line(lines, index);
        if (line.compare(0, 6, "ANIEND") == 0) break;
        if (animation >= MaxAnimations)
            throw std::runtime_error("Exception raised in LoadGO: Too many animations in " +
                                     object.Name);
        object.AniOffsets[size_t(animation)] = static_cast<uint16_t>(object.FrameDataCount);
        object.AnimationCount = animation + 1;
        const size_t semicolon = line.find(';');
        const std::string list =
            semicolon == std::string::npos || semicolon < 9 ? "" : line.substr(9, semicolon - 9);
        const std::vector<uint16_t> frames = ParseFrameList(list, imageCount);
        int32_t flipSpeed = 0, secondValue = 0;
        ParseFlipSpeed(line, flipSpeed, secondValue);
        AppendFrameData(object, static_cast<uint16_t>(frames.size()));
        AppendFrameData(object, static_cast<uint16_t>(flipSpeed));
        AppendFrameData(object, static_cast<uint16_t>(secondValue));
        for (uint16_t frame : frames)
            AppendFrameData(object, frame);

        const std::string label = Trim(Columns(line, 1, 9));
        for (int32_t slot = 1; slot <= SoundSlots; ++slot) {
            TSoundSlot parsed;
            if (!ParseSoundSlot(line, slot, parsed)) continue;
            auto& sounds = object.Sounds[size_t(animation)];
            if (!sounds) sounds = std::make_unique<TAniSoundarray>();
            parsed.FileName = ProgDir() + "\\gfx\\sb\\" + object.Name + "_" + label + "_" +
                              std::to_string(slot) + ".wav";
            sounds->Slots[size_t(slot)] = std::move(parsed);
        }
    }
    return number;
}

[[noreturn]] void SheetError(const std::string& name, int32_t sheet, int32_t image, int32_t count,
                             bool horizontal) {
    throw std::runtime_error(
        "LoadGO: Maße von " + name + " nicht stimmig: " +
        (horizontal ? "Gesamtbreite(" : "Gesamthoehe(") + std::to_string(sheet) +
        (horizontal ? "),Animationsbreite(" : "),Animationshoehe(") + std::to_string(image) +
        (horizontal ? "),hor. Animationsanzahl(" : "),ver. Animationsanzahl(") +
        std::to_string(count) + ")");
}

void CheckSheet(const std::string& name, int32_t sheet, int32_t image, int32_t count,
                bool horizontal) {
    if (image * count != sheet) SheetError(name, sheet, image, count, horizontal);
}

const TSprite* SpriteAt(int32_t sprite) {
    if (sprite < 1 || sprite > SpriteCount) return nullptr;
    const TSprite& s = Sprites[size_t(sprite)];
    return SurfaceTable[size_t(s.Surface)].Surface ? &s : nullptr;
}

const TSpriteObject* AnimationRecord(int32_t object, int32_t animation, size_t& offset) {
    if (object < 1 || object > ObjectCount) return nullptr;
    const TSpriteObject& o = Objects[size_t(object)];
    if (animation < 0 || animation >= o.AnimationCount) return nullptr;
    offset = o.AniOffsets[size_t(animation)];
    return &o;
}

} // namespace

const std::string& BuiltInSpriteScript() {
    static const std::string text = SpriteScriptText;
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

size_t FindKeyword(const std::vector<std::string>& lines, const std::string& keyword, size_t from) {
    const std::string key = Upper(keyword.substr(0, keyword.find(',')));
    for (size_t i = from; i < lines.size(); ++i)
        if (Upper(Trim(lines[i])).compare(0, key.size(), key) == 0 &&
            Trim(lines[i]).size() >= key.size())
            return i + 1;
    throw std::runtime_error("Keyword \"" + keyword + "\" not found");
}

std::vector<uint16_t> ParseFrameList(const std::string& list, int32_t imageCount) {
    // 1. Only digits and the three joiners, starting at the first digit.
    std::string kept;
    for (char c : list)
        if ((c >= '0' && c <= '9') || c == ',' || c == '-' || c == '.') kept += c;
    const size_t firstDigit = kept.find_first_of("0123456789");
    kept = firstDigit == std::string::npos ? "" : kept.substr(firstDigit);
    // 2. Drop what may not follow the character kept before it.
    std::string joined;
    for (char c : kept) {
        const bool digit = c >= '0' && c <= '9';
        if (!joined.empty()) {
            const char last = joined.back();
            if ((last == ',' || last == '-') && !digit) continue;
            if (last == '.' && c != ',' && c != '.') continue;
        }
        joined += c;
    }
    // 3. End on a digit or a full stop, and close the last number.
    while (!joined.empty() && !(joined.back() >= '0' && joined.back() <= '9') &&
           joined.back() != '.')
        joined.pop_back();
    if (!joined.empty()) joined += ',';
    // 4. and 5. Walk the numbers; "-" steps from the last number added towards the next.
    std::vector<uint16_t> frames;
    const auto add = [&](int64_t n, char separator) {
        n = std::min<int64_t>(n, imageCount);
        n = std::max<int64_t>(n, 1);
        if (separator == '-' && !frames.empty()) {
            // Every step to n, n included; a range onto itself adds n once more.
            int64_t at = frames.back();
            do {
                if (at != n) at += n > at ? 1 : -1;
                if (frames.size() >= MaxFrameData) return;
                frames.push_back(static_cast<uint16_t>(at));
            } while (at != n);
        } else if (frames.size() < MaxFrameData) {
            frames.push_back(static_cast<uint16_t>(n));
        }
    };
    int64_t number = 0;
    char separator = ',';
    for (char c : joined) {
        if (c >= '0' && c <= '9') {
            number = std::min<int64_t>(number * 10 + (c - '0'), 1000000);
            continue;
        }
        add(number, separator);
        separator = c;
        if (c != '.') number = 0;
    }
    return frames;
}

void ParseFlipSpeed(const std::string& line, int32_t& flipSpeed, int32_t& secondValue) {
    const size_t open = line.find('(');
    const size_t column = open == std::string::npos ? 0 : open + 1; // 0-based
    try {
        flipSpeed = StrToInt(column < line.size() ? line.substr(column, 3) : "");
        secondValue = StrToInt(column + 4 < line.size() ? line.substr(column + 4, 3) : "");
    } catch (const std::exception&) {
        WriteLog("Getsequenceflipspeed: s=" + line);
        throw;
    }
}

bool ParseSoundSlot(const std::string& line, int32_t slot, TSoundSlot& result) {
    const size_t sounds = Upper(line).find("(SOUNDS");
    if (sounds == std::string::npos) return false;
    const std::string part = line.substr(sounds);
    const size_t entry = part.find(" " + std::to_string(slot) + ":");
    if (entry == std::string::npos) return false;
    const size_t start = part.find(':', entry) + 1;
    const size_t end = std::min(part.find(' ', start), part.find(')', start));
    const std::string numbers = part.substr(start, end == std::string::npos ? end : end - start);
    std::vector<int64_t> values;
    bool inNumber = false;
    for (char c : numbers) {
        if (c >= '0' && c <= '9') {
            if (!inNumber) values.push_back(0);
            values.back() = std::min<int64_t>(values.back() * 10 + (c - '0'), INT32_MAX);
            inNumber = true;
        } else {
            inNumber = false;
        }
    }
    result.GroupCount = 0;
    for (size_t i = 0; i + 2 < values.size() && result.GroupCount < MaxSoundGroups; i += 3)
        result.Groups[size_t(result.GroupCount++)] =
            TSoundGroup{static_cast<int32_t>(values[i]), static_cast<uint8_t>(values[i + 1]),
                        static_cast<int32_t>(values[i + 2])};
    return result.GroupCount > 0;
}

void LoadAllObjects(const std::vector<std::string>& script) {
    for (const std::string& raw : script) {
        const std::string line = Upper(Trim(raw));
        const size_t colon = line.find(':');
        // The name starts in column 8, so the ":" must stand after it.
        if (line.compare(0, 6, "OBJECT") == 0 && colon != std::string::npos && colon > 7)
            LoadGO(script, line.substr(7, colon - 7));
    }
}

int32_t LoadGO(const std::vector<std::string>& script, const std::string& name) {
    const size_t first = FindKeyword(script, "OBJECT " + name, 0); // line under OBJECT
    const std::string& objectLine = script[first - 1];
    const TKind kind = KindOf(objectLine);
    if (kind == TKind::Movielist) return -1;
    const std::string folder = FolderOf(objectLine);
    const int32_t width = HeaderNumber(script, first), height = HeaderNumber(script, first + 1);
    const int32_t count = HeaderNumber(script, first + 2);
    const int32_t across = HeaderNumber(script, first + 3), down = HeaderNumber(script, first + 4);
    const std::string base = ProgDir() + folder + name;

    if (kind == TKind::Picture) {
        PDirectDrawSurface surface;
        int32_t w = 0, h = 0;
        const int32_t entry =
            CreateMemSurface(base + ".bmp", w, h, surface, DDSCAPS_SYSTEMMEMORY, true);
        SurfaceTable[size_t(entry)].AlphaMap = LoadAlphaMap(base + "_mask.bmp");
        const int32_t result = SpriteCount + 1;
        for (int32_t i = 0; i < count; ++i) {
            const std::string& rect = Line(script, first + 5 + size_t(i));
            const auto field = [&rect](size_t column) {
                return StrToInt(Trim(Columns(rect, column, 4)));
            };
            AddSprite(entry, false, field(5), field(10), field(15), field(20));
        }
        return result;
    }
    if (kind == TKind::None) return -1;
    // No images across or down cannot divide a sheet.
    if (across <= 0) SheetError(name, width * across, 0, across, true);
    if (down <= 0) SheetError(name, height * down, 0, down, false);

    PDirectDrawSurface surface;
    int32_t sheetW = width * across, sheetH = height * down;
    int32_t entry = 0;
    if (kind == TKind::CreateAnimation) {
        entry = CreateMemSurface("", sheetW, sheetH, surface, DDSCAPS_SYSTEMMEMORY, true);
    } else {
        if (SheetExists(base + ".bmp")) {
            entry = CreateMemSurface(base + ".bmp", sheetW, sheetH, surface, DDSCAPS_SYSTEMMEMORY,
                                     true);
        } else {
            entry = CreateMemSurface("", sheetW, sheetH, surface, DDSCAPS_SYSTEMMEMORY, true);
            WriteLog(base + ".bmp/.jpg not found, created");
        }
        SurfaceTable[size_t(entry)].AlphaMap = LoadAlphaMap(base + "_mask.bmp");
        ApplyMaskImage(surface, base + "m.png", 0);
    }
    if (surface) {
        sheetW = surface->Width();
        sheetH = surface->Height();
    }
    const int32_t imageW = sheetW / across, imageH = sheetH / down;
    CheckSheet(name, sheetW, imageW, across, true);
    CheckSheet(name, sheetH, imageH, down, false);
    const std::string arrangement = Line(script, first + 5);
    const bool downColumns =
        !arrangement.empty() && (arrangement[0] == 'V' || arrangement[0] == 'v');

    const int32_t number = ReadAnimations(script, name, count);
    for (int32_t n = 0; n < count; ++n) {
        const int32_t row = downColumns ? n % down : n / across;
        const int32_t column = downColumns ? n / down : n % across;
        AddSprite(entry, true, imageW * column, imageH * row, imageW, imageH);
    }
    return number;
}

int32_t GetAnimation(const std::string& name) {
    const std::string upper = Upper(name);
    for (int32_t i = 1; i <= ObjectCount; ++i)
        if (Objects[size_t(i)].Name == upper) return i;
    throw std::runtime_error("Animation not found: " + upper);
}

int32_t GetSprite(int32_t object, int32_t animation, int32_t pos) {
    size_t offset = 0;
    const TSpriteObject* o = AnimationRecord(object, animation, offset);
    if (!o || pos < 0 || pos >= o->FrameData[offset]) return 0;
    return o->FrameData[offset + 3 + size_t(pos)] + o->FirstSprite;
}

int32_t FrameCount(int32_t object, int32_t animation) {
    size_t offset = 0;
    const TSpriteObject* o = AnimationRecord(object, animation, offset);
    return o ? o->FrameData[offset] : 0;
}

int32_t FlipSpeed(int32_t object, int32_t animation) {
    size_t offset = 0;
    const TSpriteObject* o = AnimationRecord(object, animation, offset);
    return o ? o->FrameData[offset + 1] : 0;
}

int32_t SecondValue(int32_t object, int32_t animation) {
    size_t offset = 0;
    const TSpriteObject* o = AnimationRecord(object, animation, offset);
    return o ? o->FrameData[offset + 2] : 0;
}

void DrawSprite(const PDirectDrawSurface& dest, int32_t left, int32_t top, int32_t sprite,
                int32_t clipLeft, int32_t clipTop, int32_t clipRight, int32_t clipBottom) {
    const TSprite* s = SpriteAt(sprite);
    if (!s) return;
    ClippedBlit(SurfaceTable[size_t(s->Surface)].Surface, s->X, s->Y, s->W, s->H, dest, left, top,
                true, clipLeft, clipTop, clipRight, clipBottom);
}

void Stretchblit(const PDirectDrawSurface& dest, int32_t centreX, int32_t centreY, int32_t width,
                 int32_t height, int32_t sprite, int32_t clipLeft, int32_t clipTop,
                 int32_t clipRight, int32_t clipBottom, bool transparent, int32_t alpha) {
    const TSprite* s = SpriteAt(sprite);
    if (!s) return;
    const TSurfaceEntry& entry = SurfaceTable[size_t(s->Surface)];
    try {
        DrawImageScaled(entry.Surface, s->UseAlphaMap ? entry.AlphaMap : nullptr, s->X, s->Y, s->W,
                        s->H, dest, centreX - width / 2, centreY - height / 2, width, height,
                        transparent, alpha, clipLeft, clipTop, clipRight, clipBottom);
    } catch (const std::exception& e) {
        WriteLog("Error in Stretchblit: " + std::string(e.what()) + " (" + std::to_string(s->X) +
                 "," + std::to_string(s->Y) + "," + std::to_string(s->W) + "," +
                 std::to_string(s->H) + "," + std::to_string(centreX) + "," +
                 std::to_string(centreY) + "," + std::to_string(width) + "," +
                 std::to_string(height) + ")");
        throw;
    }
}

void PlayFrameSounds(int32_t object, int32_t animation, int32_t pos) {
    size_t offset = 0;
    const TSpriteObject* o = AnimationRecord(object, animation, offset);
    if (!o || !o->Sounds[size_t(animation)]) return;
    for (int32_t k = 1; k <= SoundSlots; ++k) {
        const TSoundSlot& slot = o->Sounds[size_t(animation)]->Slots[size_t(k)];
        if (slot.FileName.empty() || slot.GroupCount == 0) continue;
        TvrDSoundFile* sound = slot.Sound;
        if (!sound && SoundEngine) {
            // Sounds are known by their file name without folder and extension.
            const size_t name = slot.FileName.find_last_of('\\') + 1;
            sound = &SoundEngine->Find(slot.FileName.substr(name, slot.FileName.size() - name - 4));
        }
        if (!sound) continue;
        for (int32_t g = 0; g < slot.GroupCount; ++g)
            if (slot.Groups[size_t(g)].FramePos == pos) sound->Play();
    }
}

void FreeAllSprites() {
    FreeSurfaceTable();
    for (int32_t i = 1; i <= ObjectCount; ++i)
        Objects[size_t(i)] = TSpriteObject{};
    SpriteCount = 0;
    ObjectCount = 0;
}
