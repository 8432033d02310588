#include "gamelib/SpriteUnit.h"

#include "ErrorOf.h"
#include "SpriteScriptBlocks.h"
#include "TestSupport.h"
#include "gamelib/EngineState.h"
#include "platform/bmp.h"
#include "shell/Tools.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

using TFrames = std::vector<uint16_t>;

class SpriteUnitTest : public ::testing::Test {
  protected:
    void SetUp() override { Engine.OpenHeadless(32); }
    void Sheet(const std::string& name, int w, int h) { WriteSheet(Folder, name, w, h, 0x404040); }
    std::string LoadError(const std::string& script) {
        return ErrorOf([&] { LoadAllObjects(SplitLines(script)); });
    }
    TTempProgramFolder Folder;
    TEngineState Engine;
};

// Where sprite n lies on its sheet: x, y, width, height.
std::vector<int32_t> Place(int n) {
    const TSprite& s = Sprites[size_t(n)];
    return {s.X, s.Y, s.W, s.H};
}

TFrames Range(int from, int to) {
    TFrames frames;
    for (int i = from; from <= to ? i <= to : i >= to; i += from <= to ? 1 : -1)
        frames.push_back(uint16_t(i));
    return frames;
}

} // namespace

TEST(SpriteScript, FrameListsFollowTheirFiveSteps) {
    EXPECT_EQ(ParseFrameList("011-003", 11), Range(11, 3));
    TFrames twice = Range(1, 7);
    twice.push_back(7);
    EXPECT_EQ(ParseFrameList("1-7,7", 7), twice);
    EXPECT_EQ(ParseFrameList("5..", 9), (TFrames{5, 5, 5}));
    EXPECT_EQ(ParseFrameList("40", 32), (TFrames{32}));
    EXPECT_EQ(ParseFrameList("0", 32), (TFrames{1}));
    EXPECT_EQ(ParseFrameList("3-3", 9), (TFrames{3, 3}));
    EXPECT_EQ(ParseFrameList("001", 1), (TFrames{1}));
    // A doubled "-" counts once, a digit right after "." is dropped, junk around is ignored.
    EXPECT_EQ(ParseFrameList("x1--3", 9), (TFrames{1, 2, 3}));
    EXPECT_EQ(ParseFrameList("5.3", 9), (TFrames{5, 5}));
    EXPECT_EQ(ParseFrameList(" 2 , 4- ", 9), (TFrames{2, 4}));
    EXPECT_TRUE(ParseFrameList("abc;-,.", 9).empty());
    EXPECT_EQ(ParseFrameList("1-999,999-1", 999).size(), size_t(MaxFrameData));
}

TEST(SpriteScript, TimingAndSoundSlots) {
    TTempProgramFolder folder;
    int32_t speed = -1, second = -1;
    ParseFlipSpeed("aufblink 011-003; (001/007)", speed, second);
    EXPECT_EQ(std::make_pair(speed, second), std::make_pair(1, 7));
    EXPECT_THROW(ParseFlipSpeed("", speed, second), EConvertError);
    EXPECT_EQ(LogLines(folder).back(), "Getsequenceflipspeed: s=");

    TSoundSlot slot;
    const std::string line = "standard 1-3; (002/000) (sounds 1:1,0,5;2,9,7,8 3:4-1-2)";
    ASSERT_TRUE(ParseSoundSlot(line, 1, slot));
    ASSERT_EQ(slot.GroupCount, 2); // the leftover 8 is dropped
    const TSoundGroup& group = slot.Groups[1];
    EXPECT_EQ(std::make_tuple(group.FramePos, group.Value8, group.Value32),
              std::make_tuple(2, uint8_t(9), 7));
    ASSERT_TRUE(ParseSoundSlot(line, 3, slot));
    EXPECT_EQ(slot.Groups[0].FramePos, 4);
    EXPECT_FALSE(ParseSoundSlot(line, 2, slot));
    EXPECT_FALSE(ParseSoundSlot("standard 1:1,2,3; (002/000)", 1, slot));
}

TEST(SpriteScript, KeywordsArePrefixesOfTrimmedUpperCaseLines) {
    const std::vector<std::string> lines = {"x", "  object HSLeerfeld10:CreateAnimation", "ANIEND"};
    EXPECT_EQ(FindKeyword(lines, "OBJECT HSLEERFELD1", 0), 2u);
    EXPECT_EQ(FindKeyword(lines, "ANI,whatever", 0), 3u);
    EXPECT_EQ(ErrorOf([&] { FindKeyword(lines, "ANI", 3); }), "Keyword \"ANI\" not found");
}

TEST_F(SpriteUnitTest, TheBuiltInScriptLoadsEveryObject) {
    // No sheet is drawn yet. The intro's shares its name with the compiled-in 800 x 600 intro
    // picture, which must not stand in for it.
    ASSERT_TRUE(ImageExists("gfx\\sb\\intro"));
    ASSERT_FALSE(SheetExists("gfx\\sb\\intro"));
    LoadAllObjects(SplitLines(BuiltInSpriteScript()));
    EXPECT_EQ(ObjectCount, 51);
    EXPECT_EQ(SpriteCount, 568);
    EXPECT_EQ(SurfaceCount, 51);
    const int32_t bag = GetAnimation("gametuete");
    EXPECT_EQ(Objects[size_t(bag)].Name, "GAMETUETE");
    EXPECT_EQ(GetSprite(bag, 2, 0), Objects[size_t(bag)].FirstSprite + 11);
    EXPECT_EQ(GetSprite(bag, 2, 8), Objects[size_t(bag)].FirstSprite + 3);
    EXPECT_EQ(GetSprite(bag, 2, 9), 0);
    EXPECT_EQ(FlipSpeed(GetAnimation("points"), 0), 0);
    // Sheets not drawn yet are logged and made blank at their declared size.
    const std::vector<std::string> log = LogLines(Folder);
    for (const std::string name : {"TITLE", "INTRO"})
        EXPECT_NE(std::find(log.begin(), log.end(),
                            ProgDir() + "\\gfx\\sb\\" + name + ".bmp/.jpg not found, created"),
                  log.end());
    const TDirectDrawSurface& intro =
        *SurfaceTable[size_t(Sprites[size_t(Objects[size_t(GetAnimation("intro"))].FirstSprite + 1)]
                                 .Surface)]
             .Surface;
    EXPECT_EQ(intro.Width(), 800);
    EXPECT_EQ(intro.Height(), 412 * 7);
    EXPECT_EQ(SurfaceTable[size_t(Sprites[size_t(SpriteCount)].Surface)].Surface->Width(), 56);
    EXPECT_EQ(ErrorOf([] { GetAnimation("nothing"); }), "Animation not found: NOTHING");
    FreeAllSprites();
    EXPECT_EQ(ObjectCount + SpriteCount + SurfaceCount, 0);
}

TEST_F(SpriteUnitTest, ObjectLinesAndBlankSheets) {
    // A ":" in column 8 leaves no name: that object is not loaded.
    LoadAllObjects(SplitLines("OBJECT :CreateAnimation\n" +
                              Block("helpfeld", "CreateAnimation", 700, 50, 1, 1, 1,
                                    {"standard 001; (002/000)", "standard 001; (002/000)"})));
    ASSERT_EQ(ObjectCount, 1);
    EXPECT_EQ(SpriteCount, 1);
    EXPECT_EQ(Place(1), (std::vector<int32_t>{0, 0, 700, 50}));
    // Same labels, two animations.
    EXPECT_EQ(Objects[1].AnimationCount, 2);
    const std::string movie = "OBJECT film:Movielist\n";
    EXPECT_EQ(LoadGO(SplitLines(movie), "FILM"), -1);
}

TEST_F(SpriteUnitTest, SheetsAreCutAlongRowsOrDownColumns) {
    Sheet("tanz", 173, 2080);
    LoadAllObjects(
        SplitLines(Block("tanz", "Animation", 1, 1, 16, 1, 16, {"s        1-16; (002/000)"})));
    ASSERT_EQ(SpriteCount, 16);
    EXPECT_EQ(Place(16), (std::vector<int32_t>{0, 15 * 130, 173, 130}));

    FreeAllSprites();
    Sheet("grid", 20, 30);
    Sheet("gridv", 20, 30);
    LoadAllObjects(
        SplitLines(Block("grid", "Animation", 10, 10, 6, 2, 3, {"s        1-6; (002/000)"}) +
                   Block("gridv", "Animation", 10, 10, 6, 2, 3, {"s        1-6; (002/000)"},
                         "vertikale Anordnung")));
    // Image 2 (0-based 1): along the rows the next column; down the columns the next row.
    EXPECT_EQ(Place(2), (std::vector<int32_t>{10, 0, 10, 10}));
    EXPECT_EQ(Place(8), (std::vector<int32_t>{0, 10, 10, 10}));
    EXPECT_EQ(Place(10), (std::vector<int32_t>{10, 0, 10, 10})); // second column, first row
}

TEST_F(SpriteUnitTest, SheetSizesMustDivide) {
    Sheet("tanz", 173, 2081);
    EXPECT_EQ(LoadError(Block("tanz", "Animation", 1, 1, 16, 1, 16, {"s        1-16; (002/000)"})),
              "LoadGO: Maße von TANZ nicht stimmig: Gesamthoehe(2081),Animationshoehe(130),ver. "
              "Animationsanzahl(16)");
    Sheet("breit", 175, 10);
    EXPECT_EQ(LoadError(Block("breit", "Animation", 1, 1, 2, 2, 1, {"s        1-2; (002/000)"})),
              "LoadGO: Maße von BREIT nicht stimmig: Gesamtbreite(175),Animationsbreite(87),hor. "
              "Animationsanzahl(2)");
    // Objects loaded before a failure stay.
    EXPECT_EQ(ObjectCount, 0);
    EXPECT_EQ(SurfaceCount, 2);
}

TEST_F(SpriteUnitTest, PicturesTakeTheirRectanglesFromFixedColumns) {
    Sheet("bild", 64, 32);
    const std::string script = "OBJECT bild:Picture\n10\n10\n2\n1\n1\n"
                               "a   0010 0002  020 0030\n"
                               "b      0    0   64   32\n";
    EXPECT_EQ(LoadGO(SplitLines(script), "bild"), 1);
    ASSERT_EQ(SpriteCount, 2);
    EXPECT_EQ(Place(1), (std::vector<int32_t>{10, 2, 20, 30}));
    EXPECT_FALSE(Sprites[1].UseAlphaMap);
    EXPECT_EQ(Place(2), (std::vector<int32_t>{0, 0, 64, 32}));
}

TEST_F(SpriteUnitTest, BadScriptsEndTheLoadWithAMessage) {
    const std::vector<std::string> one = {"standard 001; (002/000)"};
    // A block of one animation, count characters from where find is replaced by with.
    const auto edited = [&](const std::string& name, const std::string& find, size_t count,
                            const std::string& with) {
        std::string block = Block(name, "CreateAnimation", 10, 10, 1, 1, 1, one);
        return block.replace(block.find(find), count, with);
    };
    // "ANI" is a prefix of "ANIEND": the lines after that are read as animations.
    EXPECT_EQ(LoadError(edited("a", "ANI\n", 4, "")), "'---' is not a valid integer value");
    EXPECT_EQ(LoadError("OBJECT z:CreateAnimation\n1\n1\n1\n1\n1\nh\n"),
              "Keyword \"ANI\" not found");
    EXPECT_EQ(LoadError(edited("b", "ANIEND", std::string::npos, "")),
              "List index out of bounds (10)");
    // The dashes after a missing ANIEND are no timing numbers.
    EXPECT_EQ(LoadError(edited("c", "ANIEND", 7, "")), "'---' is not a valid integer value");
    EXPECT_EQ(LoadError(Block("d", "CreateAnimation", 10, 10, 1, 1, 1, {""})),
              "'' is not a valid integer value");
    EXPECT_EQ(
        LoadError(Block("e", "CreateAnimation", 10, 10, 1, 1, 1, {"standard abc; (002/000)"})), "");
    EXPECT_EQ(FrameCount(GetAnimation("e"), 0), 0);
    EXPECT_EQ(LoadError(edited("f", "10  Punkte breit", 2, "zz")),
              "'zz' is not a valid integer value");
    EXPECT_EQ(LoadError(Block("g", "CreateAnimation", 10, 10, 1, 0, 1, one)),
              "LoadGO: Maße von G nicht stimmig: Gesamtbreite(0),Animationsbreite(0),hor. "
              "Animationsanzahl(0)");
    EXPECT_EQ(LoadError(Block("h", "CreateAnimation", 10, 10, 1, 1, 1,
                              std::vector<std::string>(102, "standard 001; (002/000)"))),
              "Exception raised in LoadGO: Too many animations in H");
    EXPECT_EQ(LoadError(Block("i", "CreateAnimation", 10, 10, 999, 1, 999,
                              {"standard 1-999; (002/000)"})),
              "Exception raised in LoadGO: Too many frames in I");
    EXPECT_EQ(LoadError(Block(std::string(5000, 'N'), "CreateAnimation", 1, 1, 1, 1, 1, one)), "");
    EXPECT_EQ(Objects[size_t(ObjectCount)].Name.size(), 5000u);

    FreeAllSprites();
    std::string many;
    for (int i = 0; i < 6; ++i)
        many += Block("m" + std::to_string(i), "CreateAnimation", 1, 1, 450, 1, 450, one);
    EXPECT_EQ(LoadError(many), "Exception raised in LoadGO: Too many sprites");
    EXPECT_EQ(SpriteCount, MaxSprites);
}

TEST_F(SpriteUnitTest, DrawingBySpriteNumber) {
    LoadAllObjects(
        SplitLines(Block("feld", "CreateAnimation", 10, 10, 2, 2, 1, {"standard 1-2; (002/000)"})));
    const PDirectDrawSurface sheet = SurfaceTable[1].Surface;
    Colorfill(sheet, 0, 0, 10, 10, 0xFF0000);
    const PDirectDrawSurface dest = CreateSurface(40, 40, true);
    Colorfill(dest, 0x0000FF);
    DrawSprite(dest, 5, 5, 1, 0, 0, 39, 39);
    DrawSprite(dest, 20, 20, 2, 0, 0, 39, 39); // blank: all colour key
    DrawSprite(dest, 0, 0, 3, 0, 0, 39, 39);   // no such sprite
    EXPECT_EQ(GetPixelColor(dest, 5, 5), 0xFF0000u);
    EXPECT_EQ(GetPixelColor(dest, 14, 14), 0xFF0000u);
    EXPECT_EQ(GetPixelColor(dest, 15, 15), 0x0000FFu);
    EXPECT_EQ(GetPixelColor(dest, 25, 25), 0x0000FFu);
    // Centred on (30, 30) at double size.
    Stretchblit(dest, 30, 30, 20, 20, 1, 0, 0, 39, 39, true, 255);
    EXPECT_EQ(GetPixelColor(dest, 20, 20), 0xFF0000u);
    EXPECT_EQ(GetPixelColor(dest, 39, 39), 0xFF0000u);
    EXPECT_EQ(GetPixelColor(dest, 19, 30), 0x0000FFu);

    dest->MarkLost();
    EXPECT_THROW(Stretchblit(dest, 7, 7, 5, 5, 1, 0, 0, 39, 39, true, 255),
                 EDirectXSurfaceLostError);
    EXPECT_EQ(LogLines(Folder).back(), "Error in Stretchblit: Surface Lost (0,0,10,10,7,7,5,5)");
    PlayFrameSounds(1, 0, 0); // no slots, no engine: nothing to play
}
