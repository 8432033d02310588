#include "game/BubblepointUnit.h"

#include "game/scoreunit.h"
#include "gamelib/DDUtil.h"
#include "shell/Tools.h"

std::unique_ptr<TBubblpoints> Bubblpoints;

namespace {

constexpr int32_t PopUpLife = 50;
constexpr int32_t FadeLife = 16; // the last 15 updates fade out

// Uniform in [0, 1).
float Unit() {
    return float(Random(1u << 24)) / float(1u << 24);
}

} // namespace

int32_t PointsFrame(int32_t value) {
    if (value == 500) return 50;
    if (value % 10 != 0) return 25;
    if (value >= -250 && value <= -10) return value / 10 + 25;
    if (value >= 10 && value <= 250) return value / 10 + 24;
    return 25;
}

TBubblepoint::TBubblepoint() {
    AddBobByName("points", 0, -1, 0, 0, 0);
    Part()->Flat = true;
    HomingDivisor = 200000.0f;
    MaxHomingStep = 5.0f;
    SmoothingDivisor = 1.5f;
    SpringDivisor = 200.0f;
    SetX(0);
    SetY(0);
    SetZ(-float(FocalLength));
    SmoothedStep = {};
    SetVisible(false);
}

void TBubblepoint::Start(int32_t value, float x, float y, float z) {
    Life = PopUpLife;
    SetX(x);
    SetY(y);
    SetZ(z + 20);
    // The object's one animation stands still, so the picture chosen stays.
    Part()->FramePos = uint16_t(PointsFrame(value));
    Part()->Alpha = 255;
    SetVisible(true);
    // Far up and to the right: the speed settles near one unit per update on each axis.
    HomeX = 100000;
    HomeY = -100000;
    HomeZ = Z;
    ResetSpring();
    SpringOffset[0] = (Unit() - 0.5f) * 10.0f;
    SpringVelocity[0] = (Unit() - 0.5f) * 10.0f / 200.0f;
    SmoothedStep = {};
    HomeStep = {};
}

void TBubblepoint::Step() {
    Animate();
    if (!Visible) return;
    --Life;
    if (Life < FadeLife) Part()->Alpha = uint8_t(Life * 16);
    if (Life <= 0 || Y < -350) SetVisible(false);
}

TBubblpoints::TBubblpoints() {
    for (auto& point : Items)
        point = std::make_unique<TBubblepoint>();
}

void TBubblpoints::Request(int32_t value, float x, float y, float z) {
    if (Anzeige) Anzeige->AddPoints(value);
    for (auto& point : Items) {
        if (!point->Visible) {
            point->Start(value, x, y, z);
            return;
        }
    }
}

void TBubblpoints::MoveAll() {
    for (auto& point : Items) {
        if (point->Visible) point->Home();
        point->Move();
        point->Step();
    }
}
