#pragma once
// The sprite script: objects cut from sprite sheets into equally sized images, with their
// animations (lists of image numbers with a speed). Loading fills the surface table, the sprite
// table and the object table; game code finds an object by name and then draws its images by
// sprite number. All three tables are emptied together by FreeAllSprites.
#include "gamelib/DDUtil.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TvrDSoundFile;

constexpr int32_t MaxSprites = 2500;
constexpr int32_t MaxObjects = 400;
constexpr int32_t MaxAnimations = 101; // numbered 0..100
constexpr int32_t MaxFrameData = 1000; // 16-bit entries per object
constexpr int32_t SoundSlots = 8;      // numbered 1..8
constexpr int32_t MaxSoundGroups = 100;

// One image: a rectangle of a surface-table entry. The entry is referred to by number, so a
// surface re-created in that entry after a loss is seen.
struct TSprite {
    int32_t Surface = 0;      // entry of SurfaceTable
    bool UseAlphaMap = false; // Picture sprites draw without the sheet's alpha map
    int32_t X = 0, Y = 0, W = 0, H = 0;
};

struct TSoundGroup {
    int32_t FramePos = 0;
    uint8_t Value8 = 0;
    int32_t Value32 = 0;
};

struct TSoundSlot {
    std::string FileName;
    int32_t GroupCount = 0;
    std::array<TSoundGroup, MaxSoundGroups> Groups{};
    TvrDSoundFile* Sound = nullptr; // not owned; dropped with the tables
};

// The sound slots of one animation (index 1..8; 0 unused).
struct TAniSoundarray {
    std::array<TSoundSlot, SoundSlots + 1> Slots;
};

// An animation record in FrameData: count n, flip speed, second value, then n image numbers
// (1-based within the object).
struct TSpriteObject {
    std::string Name; // upper-cased
    uint16_t FirstSprite = 0;
    int32_t AnimationCount = 0;
    std::array<uint16_t, MaxAnimations> AniOffsets{};
    int32_t FrameDataCount = 0;
    std::array<uint16_t, MaxFrameData> FrameData{};
    std::array<std::unique_ptr<TAniSoundarray>, MaxAnimations> Sounds;
};

// Entries 1..SpriteCount and 1..ObjectCount; allocated once, never moved.
extern std::array<TSprite, MaxSprites + 1> Sprites;
extern int32_t SpriteCount;
extern std::array<TSpriteObject, MaxObjects + 1> Objects;
extern int32_t ObjectCount;

// The script compiled into the program.
const std::string& BuiltInSpriteScript();
// Where the game window takes the script's lines from: the menu window's memo once it exists
// (which a "gfx\sb.txt" beside the program replaces), else the built-in script.
extern std::function<std::vector<std::string>()> SpriteScriptLines;
// Lines of a text, split at LF with a CR before it dropped.
std::vector<std::string> SplitLines(const std::string& text);

// Loads every object of the script in the order of its OBJECT lines.
void LoadAllObjects(const std::vector<std::string>& script);
// Loads one object (name as in the OBJECT line, any case): the object number for Animation and
// CreateAnimation, the first sprite number for Picture, -1 otherwise.
int32_t LoadGO(const std::vector<std::string>& script, const std::string& name);

// The line after the first line from `from` on whose trimmed, upper-cased text begins with
// the keyword (cut before a ","); throws "Keyword "..." not found".
size_t FindKeyword(const std::vector<std::string>& lines, const std::string& keyword, size_t from);
// The image numbers of a frame list, each clamped to 1..imageCount.
std::vector<uint16_t> ParseFrameList(const std::string& list, int32_t imageCount);
// Flip speed and second value from the three digits after the first "(" and after the "/".
void ParseFlipSpeed(const std::string& line, int32_t& flipSpeed, int32_t& secondValue);
// Slot k's numbers of an animation line, in groups of three; false when it has none.
bool ParseSoundSlot(const std::string& line, int32_t slot, TSoundSlot& result);

// Case-insensitive; throws "Animation not found: " + NAME.
int32_t GetAnimation(const std::string& name);
// The sprite at frame position pos (0-based) of that animation; 0 when there is none.
int32_t GetSprite(int32_t object, int32_t animation, int32_t pos);
// Image count and flip speed of an animation (0 when it does not exist).
int32_t FrameCount(int32_t object, int32_t animation);
int32_t FlipSpeed(int32_t object, int32_t animation);
int32_t SecondValue(int32_t object, int32_t animation);

// Unscaled colour-keyed copy; sprite numbers outside 1..SpriteCount draw nothing.
void DrawSprite(const PDirectDrawSurface& dest, int32_t left, int32_t top, int32_t sprite,
                int32_t clipLeft, int32_t clipTop, int32_t clipRight, int32_t clipBottom);
// Scaled copy centred on (centreX, centreY) with the sheet's alpha map; a failure is logged
// with the rectangles and passes on.
void Stretchblit(const PDirectDrawSurface& dest, int32_t centreX, int32_t centreY, int32_t width,
                 int32_t height, int32_t sprite, int32_t clipLeft, int32_t clipTop,
                 int32_t clipRight, int32_t clipBottom, bool transparent, int32_t alpha);
// Plays every used slot's sound once per group at that frame position.
void PlayFrameSounds(int32_t object, int32_t animation, int32_t pos);
// Empties the surface, sprite and object tables.
void FreeAllSprites();
