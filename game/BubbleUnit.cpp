#include "game/BubbleUnit.h"

#include "gamelib/DDUtil.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

std::unique_ptr<TBubbles> Bubbles;

namespace {

constexpr int32_t StandardAnimations = 10; // "standard" 0 .. 9, from frame 1, 3, 6, ... to 32
constexpr int32_t EmptyAnimation = 10;     // "leer"

// Uniform in [0, 1).
float Unit() {
    return float(Random(1u << 24)) / float(1u << 24);
}

} // namespace

TBubble::TBubble() {
    AddBobByName("Partikel", 0, -1, 0, 0, 0);
    HomingDivisor = 60000.0f;
    MaxHomingStep = 5.0f;
    SmoothingDivisor = 1.0f;
    SpringDivisor = 10000.0f;
    SetX(0);
    SetY(0);
    SetZ(-float(FocalLength));
    SetVisible(false);
}

void TBubble::Start(float x, float y, float z, float vx) {
    // A random one of the ten "standard" animations: each starts further on, so lives differ.
    Part()->RestartAnimation(int32_t(Random(StandardAnimations)));
    Part()->SetFollowUp(EmptyAnimation);
    HomeStep = {};
    SmoothedStep = {0.2f * vx, -0.2f * Unit(), 0.0f};
    SetX(x);
    SetY(y);
    SetZ(z);
    // Far below: with the homing divisor a slow downward pull.
    HomeX = x;
    HomeY = y + 5000;
    HomeZ = z;
    ResetSpring();
    SpringOffset[0] = (Unit() - 0.5f) * 10.0f;
    SpringVelocity[0] = (Unit() - 0.5f) * 10.0f / 200.0f;
    SetVisible(true);
}

void TBubble::Step() {
    Animate();
    if (Visible && (Y > 350 || Part()->Animation == EmptyAnimation)) SetVisible(false);
}

TBubbles::TBubbles() {
    if (Env.BubblesPercent == 0) return;
    for (auto& bubble : Items)
        bubble = std::make_unique<TBubble>();
    Count = BubbleCount;
}

void TBubbles::Request(int32_t, float x, float y, float z, float vx) {
    const int32_t r = int32_t(Random(100)) + 1;
    if (r > Env.BubblesPercent) return;
    for (int32_t i = 0; i < Count; ++i) {
        TBubble& bubble = *Items[size_t(i)];
        if (!bubble.Visible) {
            bubble.Start(x, y, z, vx);
            return;
        }
    }
}

void TBubbles::MoveAll() {
    for (int32_t i = 0; i < Count; ++i) {
        TBubble& bubble = *Items[size_t(i)];
        if (bubble.Visible) bubble.Home();
        bubble.Move();
        bubble.Step();
    }
}

void TBubbles::HideAll() {
    for (int32_t i = 0; i < Count; ++i)
        Items[size_t(i)]->SetVisible(false);
}
