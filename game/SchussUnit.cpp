#include "game/SchussUnit.h"

#include "game/RohrUnit.h"
#include "game/SpermUnit.h"
#include "gamelib/DDUtil.h"
#include "gamelib/SpriteUnit.h"
#include "gamelib/frmDDFullScreen.h"
#include "shell/Tools.h"

std::unique_ptr<TSchuesse> Schuesse;

namespace {

constexpr float AreaX = 800; // pieces beyond these leave the game
constexpr float AreaY = 400;
constexpr float Fall = 5000; // the home point below a piece: its gravity
constexpr float JumpSpeed = 10;
constexpr int32_t SpawnParticles = 20;
constexpr int32_t ParticleKind = 5;
// Layers between the bag's back (1) and front (3).
constexpr int32_t FallingLayer = 0;
constexpr int32_t CaughtLayer = 2;
// Animations of the bag's objects.
constexpr int32_t AniVorne = 1;
constexpr int32_t AniAufblink = 2;

float D() {
    return float(FocalLength);
}

// Counters of the game record are split by chip or pepper and by level 0 or higher.
int32_t PepperIndex(int32_t kind) {
    return kind == skPepper ? 1 : 0;
}
int32_t LevelIndex(int32_t level) {
    return level > 0 ? 1 : 0;
}

} // namespace

int32_t PiecePoints(int32_t kind) {
    if (kind < 1 || kind > SpermKindCount) return 0;
    const int32_t code = SpermKinds[size_t(kind)].Code;
    const int32_t points = code == 1 ? 10 : code == 50 ? 20 : 0;
    return points * 10;
}

// ---- TSchuss --------------------------------------------------------------------------------

TSchuss::TSchuss(TSchuesse& owner) : FOwner(owner) {
    AddBobByName("Chip1b", 0, -1, 0, 0, 0);
    SetVisible(false);
    SetZ(-D());
    HomingDivisor = 10000.0f;
    MaxHomingStep = 5.0f;
    SmoothingDivisor = 1.0f;
}

void TSchuss::Start(int32_t kind, int32_t level, float x, float y, float z, float vx) {
    Kind = kind;
    Level = level;
    if (Spermien)
        ++Spermien->Statistics.PiecesSpawned[size_t(PepperIndex(kind))][size_t(LevelIndex(level))];
    Part().SetObjectAnimation(FOwner.PieceObject(kind, level), 0);
    // A slot's last piece may have been caught; a new one falls in front of nothing.
    Part().Layer = FallingLayer;
    HomeStep = {};
    SmoothedStep = {vx, float(-JumpSpeed * RandomFloat()), 0};
    SetX(x);
    SetY(y);
    SetZ(z);
    HomeX = x;
    HomeY = y + Fall;
    HomeZ = z;
    SetVisible(true);
    Caught = false;
}

void TSchuss::Step() {
    Step(Y);
}

void TSchuss::Step(float previousY) {
    Animate();
    if (!Visible) return;
    if (X < -AreaX || X > AreaX || Y < -AreaY || Y > AreaY) {
        SetVisible(false);
        return;
    }
    if (Caught) {
        Sink();
        return;
    }
    if (!Pointers || !Pointers->Tuete->CatchTest(X, Y, Width(), Height(), previousY)) return;
    TTuete& bag = *Pointers->Tuete;
    Caught = true;
    if (Spermien)
        ++Spermien->Statistics.PiecesCaught[size_t(PepperIndex(Kind))][size_t(LevelIndex(Level))];
    // Drawn inside the bag from now on.
    Part().Layer = CaughtLayer;
    bag.Front().RestartAnimation(AniAufblink);
    bag.Front().SetFollowUp(AniVorne);
    FOwner.PlaySound("catched", 0);
    if (FOwner.Links.RequestPopup) FOwner.Links.RequestPopup(PiecePoints(Kind), X, Y, Z - 2);
}

void TSchuss::Sink() {
    if (!Pointers) return;
    const TTuete& bag = *Pointers->Tuete;
    // Kept between the bag's walls until its top has passed the bag's top.
    const float left = bag.X - bag.BagWidth() / 2, right = bag.X + bag.BagWidth() / 2;
    const float w = Width(), h = Height();
    if (X - w / 2 < left) SetX(X + (left - (X - w / 2)));
    if (X + w / 2 > right) SetX(X - ((X + w / 2) - right));
    if (Y - h / 2 > bag.Y - bag.Back().Height / 2) SetVisible(false);
}

// ---- TSchuesse ------------------------------------------------------------------------------

TSchuesse::TSchuesse() {
    FObjects[0][0] = GetAnimation("chip1b");
    FObjects[0][1] = GetAnimation("chip1c");
    FObjects[1][0] = GetAnimation("pepper1b");
    FObjects[1][1] = GetAnimation("pepper1c");
    for (int32_t slot = 1; slot <= MaxSchuesse; ++slot)
        FSchuesse[size_t(slot)] = std::make_unique<TSchuss>(*this);
}

int32_t TSchuesse::PieceObject(int32_t kind, int32_t level) const {
    return FObjects[size_t(PepperIndex(kind))][size_t(LevelIndex(level))];
}

int32_t TSchuesse::Spawn(int32_t kind, int32_t level, float x, float y, float z, float vx) {
    int32_t slot = 1;
    while (slot <= MaxSchuesse && Schuss(slot).Visible)
        ++slot;
    if (slot > MaxSchuesse) return -1; // all busy: dropped, particles and all
    Schuss(slot).Start(kind, level, x, y, z, vx);
    for (int32_t i = 0; i < SpawnParticles; ++i) {
        const int32_t r1 = int32_t(Random(100));
        const int32_t r2 = int32_t(Random(100));
        if (Links.RequestParticle)
            Links.RequestParticle(ParticleKind, x + float(r1 - 50), y + float(r2 - 50), z, vx);
    }
    return slot;
}

int32_t TSchuesse::HitTest(float x, float y) const {
    int32_t hit = -1;
    for (int32_t slot = 1; slot <= MaxSchuesse; ++slot) {
        const TSchuss& piece = Schuss(slot);
        if (!piece.Visible) continue;
        // Position and size as seen on the plane z = -D.
        const double scale = double(piece.Z) / -double(D());
        const double cx = piece.X / scale, cy = piece.Y / scale;
        const double w = piece.Width() / scale, h = piece.Height() / scale;
        if (cx - w / 2 < x && x < cx + w / 2 && cy - h / 2 < y && y < cy + h / 2) hit = slot;
    }
    return hit;
}

void TSchuesse::Move() {
    for (int32_t slot = 1; slot <= MaxSchuesse; ++slot) {
        TSchuss& piece = Schuss(slot);
        if (piece.Visible) piece.Home();
        const float previousY = piece.Y;
        piece.Move();
        piece.Step(previousY);
    }
}

void TSchuesse::HideAll() {
    for (int32_t slot = 1; slot <= MaxSchuesse; ++slot)
        Schuss(slot).SetVisible(false);
}

void TSchuesse::PlaySound(const std::string& name, int32_t pan) const {
    if (Links.PlaySound)
        Links.PlaySound(name, pan);
    else
        PlayEngineSound(name, pan);
}
