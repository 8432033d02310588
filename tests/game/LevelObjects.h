#pragma once
// The level objects of one game without a window, for the bag, pointer and piece tests: a
// headless engine, the sprite objects they use at the sizes of the built-in script (blank
// sheets), an enemy pool on a level that does nothing, the bag and pointer, the 100 pieces, and
// every hook wired to what a test sets and records.
#include "TestSupport.h"
#include "game/RohrUnit.h"
#include "game/SchussUnit.h"
#include "game/SpermUnit.h"
#include "gamelib/EngineState.h"
#include "gamelib/SpriteScriptBlocks.h"
#include "gamelib/SpriteUnit.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

struct TSoundPlayed {
    std::string Name;
    int32_t Pan = 0;
    uint32_t Frequency = 0;
};

struct TParticleRequest {
    int32_t Kind;
    float X, Y, Z, VX;
};

struct TPopupRequest {
    int32_t Value;
    float X, Y, Z;
};

// A sprite object of one image in two animations.
inline std::string Single(const char* name, int w, int h) {
    return Block(name, "CreateAnimation", w, h, 1, 1, 1,
                 {"standard 001; (002/000)", "schnell  001; (002/000)"});
}

// The enemies' objects, in the order the level's letters name them by default.
inline std::string EnemySprites() {
    return Single("chip1a", 109, 94) + Single("dreieck03", 93, 80) + Single("pepper1a", 114, 195) +
           Single("dreieck05", 93, 80) + Single("doppelbreit", 68, 64) + Single("dreieck", 93, 80);
}

inline std::string LevelSprites() {
    const std::vector<std::string> bag = {"hinten   001; (002/000)", "vorne    002; (002/000)",
                                          "aufblink 011-003; (001/000)"};
    std::string script = EnemySprites() +
                         Block("Gametuete", "CreateAnimation", 116, 131, 11, 1, 11, bag) +
                         Block("Gametuetedoppelt", "CreateAnimation", 232, 131, 11, 1, 11, bag);
    for (const char* mascot : {"snackorwalklr", "snackorwalkrl", "snackorpushlr", "snackorpushrl"})
        script += Block(mascot, "CreateAnimation", 109, 110, 5, 1, 5, {"standard 1-5; (002/000)"});
    return script + Single("snackorwartlr", 109, 110) + Single("snackorwartrl", 109, 110) +
           Single("Mauszeiger", 44, 44) + Single("chip1b", 61, 52) + Single("pepper1b", 63, 107) +
           Single("chip1c", 28, 24) + Single("pepper1c", 29, 49);
}

class LevelObjectsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Engine.OpenHeadless(32);
        LoadAllObjects(SplitLines(LevelSprites()));
        MakeLevelObjects();
        Pointers->Show();
    }
    void TearDown() override {
        Schuesse.reset();
        Pointers.reset();
        Spermien.reset();
    }

    // The pool of 50 enemies on the level in the folder; their sounds and wave bonuses come here.
    TSpermien& MakeEnemies() {
        Spermien = std::make_unique<TSpermien>("SPS\\Level1.txt");
        for (int i = 0; i < MaxSperms; ++i)
            Spermien->AddSperm();
        Spermien->Links.PlaySound = [this](const std::string& name, int32_t pan) {
            Sounds.push_back({name, pan, 0});
        };
        Spermien->Links.WaveBonus = [this] { ++Bonuses; };
        return *Spermien;
    }

    // As InitLevel makes them: enemies, pointers (hidden), pieces; the hooks go to this test.
    void MakeLevelObjects() {
        RandSeed(20240611);
        Folder.Put("SPS/Level1.txt", EncodeText("end") + "\r\n");
        // No decorations crossing by chance.
        MakeEnemies().AttractMode = false;
        Pointers = std::make_unique<TPointers>();
        TPointerLinks& links = Pointers->Links;
        links.KeyLeft = [this] { return Left; };
        links.KeyRight = [this] { return Right; };
        links.ButtonHeld = [this] { return Held; };
        links.MouseX = [this] { return MouseX; };
        links.MouseY = [this] { return MouseY; };
        links.TakeShotRequests = [this] { return std::exchange(ShotRequests, 0); };
        links.PlaySound = [this](const std::string& name, int32_t pan, uint32_t frequency) {
            Sounds.push_back({name, pan, frequency});
        };
        links.LostState = [this] { return LostState; };
        links.SetShakeAmount = [this](int32_t amount) { ShakeAmount = amount; };
        links.RequestParticle = [this](int32_t kind, float x, float y, float z, float vx) {
            Particles.push_back({kind, x, y, z, vx});
        };
        Schuesse = std::make_unique<TSchuesse>();
        Schuesse->Links.PlaySound = Spermien->Links.PlaySound;
        Schuesse->Links.RequestParticle = links.RequestParticle;
        Schuesse->Links.RequestPopup = [this](int32_t value, float x, float y, float z) {
            Popups.push_back({value, x, y, z});
        };
    }

    // An enemy of that sprite object at (x, y) on the screen plane, flying at vx.
    TSperm& PlaceEnemy(int32_t slot, const std::string& object, float x, float y, float vx = 0) {
        TSperm& sperm = Spermien->Sperm(slot);
        sperm.Start(GetAnimation(object), vx, 0, 'l', 0, 0, 0, -1);
        sperm.SetX(x);
        sperm.SetY(y);
        return sperm;
    }
    // The cursor over the world point (x, y).
    void Aim(float x, float y) {
        MouseX = int32_t(400 + x);
        MouseY = int32_t(300 + y);
    }
    int32_t Count(const std::string& sound) const {
        return int32_t(std::count_if(Sounds.begin(), Sounds.end(),
                                     [&](const TSoundPlayed& s) { return s.Name == sound; }));
    }
    std::vector<int32_t> VisiblePieces() const {
        std::vector<int32_t> visible;
        for (int32_t slot = 1; slot <= Schuesse->Count(); ++slot)
            if (Schuesse->Schuss(slot).Visible) visible.push_back(slot);
        return visible;
    }

    TTempProgramFolder Folder;
    TEngineState Engine;
    bool Left = false, Right = false, Held = false, LostState = false;
    int32_t MouseX = 400, MouseY = 300, ShotRequests = 0, ShakeAmount = 0, Bonuses = 0;
    std::vector<TSoundPlayed> Sounds;
    std::vector<TParticleRequest> Particles;
    std::vector<TPopupRequest> Popups;
};
