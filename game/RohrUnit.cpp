#include "game/RohrUnit.h"

#include "game/SchussUnit.h"
#include "game/SpermUnit.h"
#include "gamelib/DDUtil.h"
#include "gamelib/SpriteUnit.h"
#include "gamelib/frmDDFullScreen.h"
#include "shell/Tools.h"

#include <algorithm>

std::unique_ptr<TPointers> Pointers;

int32_t TurnCounter = 0;
int32_t GunCounter = 0;
int32_t WideCounter = 0;

namespace {

// Animations of the bag's objects.
constexpr int32_t AniHinten = 0;
constexpr int32_t AniVorne = 1;

constexpr float BagStartY = 250;
constexpr float BagStep = 9;
constexpr float BagLimit = 350;
constexpr float MascotGap = 36; // between the bag's side and a mascot's centre
constexpr float OpeningDrop = 10;
constexpr float OpeningDepth = 20;

constexpr int32_t RapidFireInterval = 5;
// Pieces are looked for half the crosshair's size up and to the left of its position.
constexpr float PieceAimOffset = 22;
constexpr int32_t ExtraParticles = 80;
constexpr int32_t ParticleKind = 5;
constexpr int32_t ExplosionShake = 50;
constexpr uint32_t HitFrequency = 44100;

float D() {
    return float(FocalLength);
}

bool Ask(const std::function<bool()>& hook) {
    return hook && hook();
}

} // namespace

// ---- TTuete ---------------------------------------------------------------------------------

TTuete::TTuete(TPointers& owner)
    : FOwner(owner), FWaitLR(GetAnimation("snackorwartlr")), FWaitRL(GetAnimation("snackorwartrl")),
      FWalkLR(GetAnimation("snackorwalklr")), FWalkRL(GetAnimation("snackorwalkrl")),
      FPushLR(GetAnimation("snackorpushlr")), FPushRL(GetAnimation("snackorpushrl")) {
    AddBobByName("Gametuete", AniHinten, -1, 0, 0, 0);
    AddBobByName("Gametuete", AniVorne, -1, 0, 0, 0);
    AddBobByName("Snackorwartlr", 0, -1, 0, 0, 0);
    AddBobByName("Snackorwartrl", 0, -1, 0, 0, 0);
    Back().Layer = 1;
    Front().Layer = 3;
    PlaceMascots();
    SetX(0);
    SetY(BagStartY);
    SetZ(-D());
    SetVisible(false);
}

void TTuete::PlaceMascots() {
    const float offset = BagWidth() / 2 + MascotGap;
    Members[2].OffsetX = -offset;
    Members[3].OffsetX = offset;
    SetX(X);
}

void TTuete::Walk(int32_t state, int32_t leftObject, int32_t rightObject) {
    // A running walk cycle goes on: the mascots change only with the walking direction.
    if (WalkState == state) return;
    WalkState = state;
    LeftMascot().SetObjectAnimation(leftObject, 0);
    RightMascot().SetObjectAnimation(rightObject, 0);
}

void TTuete::Step() {
    Animate();
    if (!Visible) return;
    bool turned = false;
    if (TurnCounter > 0) {
        // The update in which the count runs out still steers mirrored.
        turned = true;
        if (--TurnCounter == 0) FOwner.PlaySound("richtigrum");
    }
    bool left = Ask(FOwner.Links.KeyLeft), right = Ask(FOwner.Links.KeyRight);
    if (turned) std::swap(left, right);
    if (left) {
        SetX(X - BagStep);
        Walk(1, FWalkRL, FPushLR);
    } else if (right) {
        SetX(X + BagStep);
        Walk(2, FPushRL, FWalkLR);
    } else {
        Walk(0, FWaitLR, FWaitRL);
    }
    SetX(std::clamp(X, -BagLimit, BagLimit));
}

bool TTuete::CatchTest(float x, float y, float width, float height) const {
    return CatchTest(x, y, width, height, y);
}

bool TTuete::CatchTest(float x, float y, [[maybe_unused]] float width, float height,
                       float previousY) const {
    // Only the bottom edge and the centre count. A fast piece falls further than the band is
    // deep in one update, so the way down since the last update must meet the band.
    const double top = double(Y) - double(Back().Height) / 2;
    const double half = double(BagWidth()) / 2;
    const double bottom = double(y) + double(height) / 2 - OpeningDrop;
    const double before = std::min(bottom, double(previousY) + double(height) / 2 - OpeningDrop);
    return top <= bottom && before <= top + OpeningDepth && double(X) - half < double(x) &&
           double(x) < double(X) + half;
}

// ---- TCross ---------------------------------------------------------------------------------

TCross::TCross(TPointers& owner) : FOwner(owner) {
    AddBobByName("Mauszeiger", 0, -1, 0, 0, 0);
    Part().Layer = 4;
    SetZ(-D());
    SetVisible(false);
    TurnCounter = 0;
    GunCounter = 0;
    WideCounter = 0;
}

void TCross::SetBagLook(int32_t object) {
    TTuete& bag = *FOwner.Tuete;
    bag.Back().SetObjectAnimation(object, AniHinten);
    bag.Front().SetObjectAnimation(object, AniVorne);
    bag.PlaceMascots();
}

void TCross::Step() {
    Animate();
    if (!Visible) return;
    const TPointerLinks& links = FOwner.Links;
    if (links.MouseY) SetY(float(links.MouseY() - 300));
    if (links.MouseX) SetX(float(links.MouseX() - 400));
    if (GunCounter > 0 && --GunCounter == 0) FOwner.PlaySound("gun");
    if (WideCounter > 0 && --WideCounter == 0) {
        SetBagLook(GetAnimation("gametuete"));
        FOwner.PlaySound("schmaler");
    }
    // Every press gathered since the last update makes one shot together.
    const int32_t requests = links.TakeShotRequests ? links.TakeShotRequests() : 0;
    const bool rapid =
        GunCounter >= 1 && GunCounter % RapidFireInterval == 0 && Ask(links.ButtonHeld);
    if (requests >= 1 || rapid) Shoot();
}

void TCross::Shoot() {
    const int32_t pan = SoundPan(X, Z);
    if (Ask(FOwner.Links.LostState)) {
        FOwner.PlaySound("leer", pan);
        return;
    }
    if (!Spermien) return;
    ++Spermien->Statistics.ShotsFired;
    FOwner.PlaySound("schussab", pan);
    const int32_t slot = Spermien->HitTest(X, Y);
    if (slot < 1) {
        if (!Schuesse) return;
        const int32_t piece = Schuesse->HitTest(X - PieceAimOffset, Y - PieceAimOffset);
        if (piece >= 1) HitPiece(piece);
        return;
    }
    const int32_t kind = Spermien->Sperm(slot).Kind;
    if (kind >= 1 && kind <= SpermKindCount) ++Spermien->Statistics.Hits[size_t(kind)];
    switch (kind) {
    case skUmdreh:
        if (TurnCounter == 0) {
            Spermien->Kill(slot);
            FOwner.PlaySound("falschrum");
            TurnCounter += ExtraDuration;
        } else {
            // Turned back; the enemy stays to turn the bag once more.
            TurnCounter = 0;
            FOwner.PlaySound("richtigrum");
        }
        Particles();
        break;
    case skDauerfeuer:
        Spermien->Kill(slot);
        if (GunCounter == 0) FOwner.PlaySound("machinegun");
        GunCounter += ExtraDuration;
        Particles();
        break;
    case skDoppelbreit:
        Spermien->Kill(slot);
        if (WideCounter == 0) {
            SetBagLook(GetAnimation("gametuetedoppelt"));
            FOwner.PlaySound("breiter");
        }
        WideCounter += ExtraDuration;
        Particles();
        break;
    case skExplode:
        if (FOwner.Links.SetShakeAmount) FOwner.Links.SetShakeAmount(ExplosionShake);
        FOwner.PlaySound("explosion");
        Spermien->Kill(slot);
        // Pieces first, so the enemies' new pieces stay whole; pieces made during the sweep
        // in slots still ahead are split again.
        if (Schuesse)
            for (int32_t piece = 1; piece <= Schuesse->Count(); ++piece)
                if (Schuesse->Schuss(piece).Visible) HitPiece(piece);
        for (int32_t enemy = 1; enemy <= Spermien->Count(); ++enemy)
            if (Spermien->Sperm(enemy).Visible) HitEnemy(enemy);
        break;
    default:
        HitEnemy(slot);
        break;
    }
}

void TCross::Particles() {
    const TPointerLinks& links = FOwner.Links;
    for (int32_t i = 0; i < ExtraParticles; ++i) {
        const int32_t r1 = int32_t(Random(100));
        const int32_t r2 = int32_t(Random(100));
        if (links.RequestParticle)
            links.RequestParticle(ParticleKind, X + float(r1 - 50), Y + float(r2 - 50), Z, 0);
    }
}

void TCross::HitEnemy(int32_t slot) {
    if (!Spermien || slot < 1 || slot > Spermien->Count()) return;
    const TSperm& sperm = Spermien->Sperm(slot);
    if (sperm.Kind != skChip && sperm.Kind != skPepper) return;
    Spermien->Kill(slot);
    FOwner.PlaySound("treffer", SoundPan(X, Z), HitFrequency);
    if (!Schuesse) return;
    const float x = sperm.X, y = sperm.Y, z = sperm.Z, vx = sperm.VelocityX();
    Schuesse->Spawn(sperm.Kind, 0, x, y - 40, z, vx);
    Schuesse->Spawn(sperm.Kind, 0, x - 30, y + 20, z, vx);
    Schuesse->Spawn(sperm.Kind, 0, x + 30, y + 20, z, vx);
}

void TCross::HitPiece(int32_t slot) {
    if (!Schuesse || slot < 1 || slot > Schuesse->Count()) return;
    TSchuss& piece = Schuesse->Schuss(slot);
    piece.SetVisible(false);
    FOwner.PlaySound("treffer", SoundPan(X, Z));
    // The slot may be taken again by the first of its own pieces: read it before.
    const int32_t kind = piece.Kind, level = piece.Level + 1;
    const float x = piece.X, y = piece.Y, z = piece.Z, vx = piece.VelocityX();
    Schuesse->Spawn(kind, level, x, y - 40, z, vx);
    Schuesse->Spawn(kind, level, x - 30, y + 20, z, vx);
    Schuesse->Spawn(kind, level, x + 30, y + 20, z, vx);
}

// ---- TPointers ------------------------------------------------------------------------------

TPointers::TPointers() {
    Tuete = std::make_unique<TTuete>(*this);
    Cross = std::make_unique<TCross>(*this);
}

void TPointers::Move() {
    Tuete->Step();
    Cross->Step();
}

void TPointers::Show() {
    Tuete->SetVisible(true);
    Cross->SetVisible(true);
}

void TPointers::Hide() {
    Tuete->SetVisible(false);
    Cross->SetVisible(false);
}

void TPointers::PlaySound(const std::string& name, int32_t pan, uint32_t frequency) const {
    if (Links.PlaySound)
        Links.PlaySound(name, pan, frequency);
    else
        PlayEngineSound(name, pan, frequency);
}
