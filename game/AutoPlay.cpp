#include "game/AutoPlay.h"

#include "game/DDrawUnit.h"
#include "game/RohrUnit.h"
#include "game/SchussUnit.h"
#include "game/SpermUnit.h"
#include "game/scoreunit.h"
#include "gamelib/DDUtil.h"
#include "shell/DecodeUnit.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace {

constexpr int32_t CentreX = 400, CentreY = 300;
// The piece hit test looks half the pointer's size up and left of the crosshair.
constexpr float PieceAimOffset = 22;
// A piece is worth splitting while it is this far above the bag's opening.
constexpr float SplitHeight = 150;
// The bag stands still when it is this close to where it should be (it walks 9 per update).
constexpr float SteerDeadZone = 5;
constexpr int32_t MaxNameLength = 10;

struct TAim {
    float X, Y; // the cursor, in screen pixels
};

// Position and size of a body on the plane z = -FocalLength, as the hit tests see it.
float Scale(const TRBob& body) {
    return float(body.Z / -FocalLength);
}

bool OnScreen(float x, float y) {
    return x > -CentreX + 10 && x < CentreX - 10 && y > -CentreY + 10 && y < CentreY - 10;
}

float Distance(const TAim& a, float x, float y) {
    return std::hypot(a.X - x, a.Y - y);
}

} // namespace

TAutoPlay::TAutoPlay(TInputState& input, std::string name)
    : FInput(input), FName(std::move(name)) {}

void TAutoPlay::Step(TDDFullScreenForm1& form) {
    // A key pressed in the last frame comes up; the window must see it up before the next press.
    FReleasedNow = std::exchange(FReleaseKey, 0);
    if (FReleasedNow != 0) FInput.Keys[FReleasedNow] = false;
    FInput.Keys[VK_LEFT] = FInput.Keys[VK_RIGHT] = false;
    if (Anzeige && Anzeige->Editing()) {
        TypeName(form);
        return;
    }
    FTypingCount = 0;
    FTyped = 0;
    FErasures = 0;
    if (GameRunning && Spermien && Pointers && Schuesse) {
        FWaited = 0;
        Play();
    } else if (!GameRunning && !GameWon && !GameLost) {
        Attract();
    }
}

void TAutoPlay::Attract() {
    if (++FWaited < AttractWait) return;
    FWaited = 0;
    Pulse(VK_RETURN);
}

void TAutoPlay::Play() {
    const TTuete& bag = *Pointers->Tuete;
    const float bagTop = bag.Y - bag.Back().Height / 2;
    const TAim cursor{float(FInput.Cursor.X), float(FInput.Cursor.Y)};

    // The nearest target to the crosshair: a chip or pepper where it will be after the enemies'
    // next move, or a piece falling above the bag where it is now (pieces move after the shot).
    std::optional<TAim> aim;
    float aimWorldX = bag.X;
    const auto consider = [&](float screenX, float screenY, float worldX) {
        if (aim && Distance(cursor, screenX, screenY) >= Distance(cursor, aim->X, aim->Y)) return;
        aim = TAim{screenX, screenY};
        aimWorldX = worldX;
    };
    for (int32_t slot = 1; slot <= Spermien->Count(); ++slot) {
        const TSperm& sperm = Spermien->Sperm(slot);
        if (!sperm.Visible || (sperm.Kind != skChip && sperm.Kind != skPepper)) continue;
        const float scale = Scale(sperm);
        const float x = (sperm.X + sperm.VelocityX()) / scale;
        const float y = (sperm.Y + sperm.VelocityY()) / scale;
        if (OnScreen(x, y)) consider(CentreX + x, CentreY + y, sperm.X);
    }
    // The lowest piece still falling towards the bag's opening.
    const TSchuss* lowest = nullptr;
    for (int32_t slot = 1; slot <= Schuesse->Count(); ++slot) {
        const TSchuss& piece = Schuesse->Schuss(slot);
        if (!piece.Visible || piece.Caught) continue;
        if (piece.Y + piece.Height() / 2 - 10 > bagTop + 20) continue; // past the opening
        if (!lowest || piece.Y > lowest->Y) lowest = &piece;
        const float scale = Scale(piece);
        const float x = piece.X / scale, y = piece.Y / scale;
        // Only a whole piece: splitting the small ones again and again would keep a fountain
        // of them over the bag, and no player plays like that.
        const bool aboveBag = piece.Level == 0 && std::abs(piece.X - bag.X) < bag.BagWidth() / 2 &&
                              piece.Y + piece.Height() / 2 < bagTop - SplitHeight;
        if (aboveBag && OnScreen(x, y))
            consider(CentreX + x + PieceAimOffset, CentreY + y + PieceAimOffset, piece.X);
    }
    Steer(lowest ? lowest->X : aimWorldX);
    if (!aim) return;

    // The cursor glides to its aim and shoots once it is there; a press lasts one frame.
    const float dx = aim->X - cursor.X, dy = aim->Y - cursor.Y;
    const float distance = std::hypot(dx, dy);
    const float step = std::min(distance, float(CursorStep));
    const float x = distance > 0 ? cursor.X + dx * step / distance : cursor.X;
    const float y = distance > 0 ? cursor.Y + dy * step / distance : cursor.Y;
    FInput.Cursor.X = std::clamp(int32_t(std::lround(x)), 0, 2 * CentreX - 1);
    FInput.Cursor.Y = std::clamp(int32_t(std::lround(y)), 0, 2 * CentreY - 1);
    if (step == distance) Pulse(VK_LBUTTON);
}

void TAutoPlay::Steer(float aimX) {
    const float bagX = Pointers->Tuete->X;
    bool left = aimX < bagX - SteerDeadZone;
    bool right = aimX > bagX + SteerDeadZone;
    // A turned bag walks the other way.
    if (TurnCounter > 0) std::swap(left, right);
    FInput.Keys[VK_LEFT] = left;
    FInput.Keys[VK_RIGHT] = right;
}

void TAutoPlay::TypeName(TDDFullScreenForm1& form) {
    if (++FTypingCount < TypingPause) return;
    FTypingCount = 0;
    // The entry starts with the last player's name: away with it first (ten characters at
    // most, the cursor blinking behind them).
    const std::string current = Env.Highscores[size_t(Anzeige->Rank - 1)].Name.Get();
    const bool blank = current.find_first_not_of(" _") == std::string::npos;
    if (FTyped == 0 && !blank && FErasures <= MaxNameLength) {
        ++FErasures;
        form.FormKeyPress('\b');
        return;
    }
    if (FTyped < FName.size()) {
        form.FormKeyPress(FName[FTyped++]);
        return;
    }
    form.FormKeyPress('\r');
}

void TAutoPlay::Pulse(int key) {
    if (key == FReleasedNow || FInput.Keys[key]) return;
    FInput.Keys[key] = true;
    FReleaseKey = key;
}
