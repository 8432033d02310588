#include "gamelib/BobhandlingUnit.h"

#include "gamelib/DDUtil.h"
#include "gamelib/SpriteUnit.h"
#include "shell/Tools.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>

std::unique_ptr<TBobs> Bobs;

namespace {

// Nearest integer, ties to even; far-off values (a bob almost at the camera) are held to a
// range that later sums cannot overflow.
int32_t Round(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int32_t>(std::nearbyint(std::clamp(value, -1e9, 1e9)));
}

std::string FloatText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

// ---- TBob -----------------------------------------------------------------------------------

TBob::TBob(int32_t object, int32_t animation, int32_t kind)
    : Kind(kind), Object(object), Animation(animation), Queued{object, kind, 0, 0},
      FollowUp(animation), X(float(CenterX)), Y(float(CenterY)), Z(float(FocalLength)) {
    if (Kind == -1) TakeFirstImageSize();
}

void TBob::TakeFirstImageSize() {
    const int32_t first =
        Object >= 1 && Object <= ObjectCount ? Objects[size_t(Object)].FirstSprite + 1 : 0;
    const bool valid = first >= 1 && first <= SpriteCount;
    Width = valid ? float(Sprites[size_t(first)].W) : 0.0f;
    Height = valid ? float(Sprites[size_t(first)].H) : 0.0f;
}

int32_t TBob::CurrentSprite() const {
    return GetSprite(Object, Animation, FramePos);
}

void TBob::Animate() {
    if (Kind != -1) return;
    try {
        const int32_t frames = FrameCount(Object, Animation);
        const int32_t speed = FlipSpeed(Object, Animation);
        if (speed == 0) return;
        if (FlipCounter == 0 && Visible) PlayFrameSounds(Object, Animation, FramePos);
        if (++FlipCounter < speed) return;
        FlipCounter = 0;
        if (++FramePos < frames) return;
        // The pass is complete.
        if (Loops == -1) {
            SetAnimation(Queued, FollowUp);
        } else if (Loops != INT32_MIN && --Loops == 0) {
            SetAnimation(Queued, FollowUp);
            Loops = -1;
        } else {
            const TQueuedAnimation queued = Queued;
            const int32_t followUp = FollowUp;
            SetAnimation(TQueuedAnimation{Object, Kind, OffsetX, OffsetY}, Animation);
            Queued = queued;
            FollowUp = followUp;
        }
    } catch (const std::exception&) {
        WriteLog("*Exception raised in Bob.animate. Bob.hint=" + Hint + " w=" + FloatText(Width) +
                 " h=" + FloatText(Height));
        throw;
    }
}

void TBob::SetAnimation(const TQueuedAnimation& queued, int32_t animation) {
    if (Kind == -1) {
        Object = queued.Object;
        TakeFirstImageSize();
        FramePos = 0;
        FlipCounter = 0;
    }
    if (animation != -1) {
        Animation = FollowUp = animation;
    } else {
        Animation = FollowUp = Kind == -1 ? 0 : -1;
        Visible = false;
    }
    OffsetX = queued.OffsetX;
    OffsetY = queued.OffsetY;
    Queued = queued;
    if (OnAnimationSet) OnAnimationSet();
}

void TBob::SetObjectAnimation(int32_t object, int32_t animation) {
    SetAnimation(TQueuedAnimation{object, -1, 0, 0}, animation);
}

void TBob::RestartAnimation(int32_t animation) {
    if (Kind != -1) return;
    FramePos = 0;
    FlipCounter = 0;
    if (animation != -1) Animation = FollowUp = animation;
}

void TBob::SetFollowUp(int32_t animation) {
    Queued = TQueuedAnimation{Object, Kind, OffsetX, OffsetY};
    FollowUp = animation;
}

void TBob::ScreenRect(int32_t& centreX, int32_t& centreY, int32_t& width, int32_t& height) const {
    double w = Width, h = Height;
    if (Kind == -1) {
        const int32_t sprite = CurrentSprite();
        const bool valid = sprite >= 1 && sprite <= SpriteCount;
        w = (valid ? Sprites[size_t(sprite)].W : 0) * double(ScaleX);
        h = (valid ? Sprites[size_t(sprite)].H : 0) * double(ScaleY);
    }
    const double px = double(OffsetX) + X, py = double(OffsetY) + Y, z = Z;
    if (!Flat || Projected) {
        centreX = CenterX - Round(FocalLength * px / z);
        centreY = CenterY - Round(FocalLength * py / z);
    } else if (Centred) {
        centreX = Round(px);
        centreY = Round(py);
    } else {
        centreX = Round(px + w / 2);
        centreY = Round(py + h / 2);
    }
    if (!Flat) {
        width = std::abs(Round(FocalLength * w / z));
        height = std::abs(Round(FocalLength * h / z));
    } else {
        width = Round(w);
        height = Round(h);
    }
}

void TBob::Paint() {
    if (!Visible || !(Z < 0) || Kind != -1) return;
    int32_t centreX = 0, centreY = 0, width = 0, height = 0;
    ScreenRect(centreX, centreY, width, height);
    const int32_t screenBottom = int32_t(::ClipBottom) - BottomMargin;
    const int32_t bottom =
        ClipBottom == -1 || ClipBottom > screenBottom ? screenBottom : ClipBottom;
    Stretchblit(GetBackSurface(), centreX, centreY, width, height, CurrentSprite(), 0, ClipTop,
                ::ClipRight, bottom, Transparent, Alpha);
}

// ---- TBobs ----------------------------------------------------------------------------------

int32_t TBobs::Add(int32_t object, int32_t animation, int32_t kind, TBob** owner) {
    if (Count >= MaxBobs) throw std::runtime_error("TBobs.Add: Too many bobs");
    auto bob = std::make_unique<TBob>(object, animation, kind);
    *owner = bob.get();
    FEntries[size_t(Count)] = TEntry{owner, std::move(bob)};
    return ++Count;
}

void TBobs::Delete(TBob** owner) {
    try {
        for (int32_t i = 0; i < Count; ++i) {
            if (FEntries[size_t(i)].Owner != owner) continue;
            std::move(FEntries.begin() + i + 1, FEntries.begin() + Count, FEntries.begin() + i);
            FEntries[size_t(--Count)] = TEntry{};
            return;
        }
    } catch (const std::exception& e) {
        WriteLog(std::string(e.what()) + "in TBobs.delete");
    }
}

void TBobs::Sortz() {
    ++SortCounter;
    int32_t i = 0;
    try {
        // Neighbour swaps only, so equal layer and depth keep last frame's order; a list that
        // has not changed costs one pass.
        for (bool swapped = true; swapped;) {
            swapped = false;
            for (i = 0; i + 1 < Count; ++i) {
                const TBob& a = *FEntries[size_t(i)].Bob;
                const TBob& b = *FEntries[size_t(i + 1)].Bob;
                if (a.Layer > b.Layer || (a.Layer == b.Layer && a.Z > b.Z)) {
                    std::swap(FEntries[size_t(i)], FEntries[size_t(i + 1)]);
                    swapped = true;
                }
            }
        }
    } catch (const std::exception&) {
        WriteLog("TBobs.paint.sortz: callcounter(" + std::to_string(SortCounter) + ") bobcount(" +
                 std::to_string(Count) + ") i(" + std::to_string(i) + ")");
        const bool pair = i + 1 < Count;
        WriteLog("TBobs.paint.sortz: z1(" +
                 (pair ? FloatText(FEntries[size_t(i)].Bob->Z) : std::string("-")) + ") z2(" +
                 (pair ? FloatText(FEntries[size_t(i + 1)].Bob->Z) : std::string("-")) + ")");
        throw;
    }
}

void TBobs::Paint() {
    if (Count == 0) return;
    int32_t i = -1; // -1 while sorting
    try {
        if (Count >= 2) Sortz();
        for (i = 0; i < Count; ++i)
            FEntries[size_t(i)].Bob->Paint();
    } catch (const std::exception&) {
        WriteLog("TBobs.paint:" + (i < 0 ? std::string("sortz")
                                         : "bobarray[" + std::to_string(i) + "]^.paint " +
                                               FEntries[size_t(i)].Bob->Hint));
        throw;
    }
}

// ---- TRBob ----------------------------------------------------------------------------------

TRBob::TRBob() {
    X = float(int32_t(Random(500)) - 250);
    Y = float(int32_t(Random(500)) - 250);
    Z = float(-100 - int32_t(Random(1000)));
    HomeX = X;
    HomeY = Y;
    HomeZ = Z;
}

TRBob::~TRBob() {
    if (!Bobs) return; // the list has gone with its window and freed the bobs
    for (int32_t i = 0; i < MemberCount; ++i)
        Bobs->Delete(&Members[size_t(i)].Bob);
}

int32_t TRBob::AddBob(int32_t object, int32_t animation, int32_t kind, float offsetX, float offsetY,
                      float offsetZ) {
    if (MemberCount >= MaxMembers) throw std::runtime_error("TRBob.AddBob: Too many members");
    if (!Bobs) throw std::runtime_error("TRBob.AddBob: no bob list");
    TMember& member = Members[size_t(MemberCount)];
    member.OffsetX = offsetX;
    member.OffsetY = offsetY;
    member.OffsetZ = offsetZ;
    Bobs->Add(object, animation, kind, &member.Bob);
    member.Bob->X = X + offsetX;
    member.Bob->Y = Y + offsetY;
    member.Bob->Z = Z + offsetZ;
    member.Bob->Visible = Visible;
    return ++MemberCount;
}

int32_t TRBob::AddBobByName(const std::string& name, int32_t animation, int32_t kind, float offsetX,
                            float offsetY, float offsetZ) {
    const int32_t object = GetAnimation(name);
    const int32_t number = AddBob(object, animation, kind, offsetX, offsetY, offsetZ);
    Members[size_t(number - 1)].Bob->Hint = name.substr(0, 30);
    return number;
}

void TRBob::SetX(float x) {
    X = x;
    for (int32_t i = 0; i < MemberCount; ++i)
        Members[size_t(i)].Bob->X = x + Members[size_t(i)].OffsetX;
}

void TRBob::SetY(float y) {
    Y = y;
    for (int32_t i = 0; i < MemberCount; ++i)
        Members[size_t(i)].Bob->Y = y + Members[size_t(i)].OffsetY;
}

void TRBob::SetZ(float z) {
    Z = z;
    for (int32_t i = 0; i < MemberCount; ++i)
        Members[size_t(i)].Bob->Z = z + Members[size_t(i)].OffsetZ;
}

void TRBob::SetVisible(bool visible) {
    Visible = visible;
    for (int32_t i = 0; i < MemberCount; ++i)
        Members[size_t(i)].Bob->Visible = visible;
}

void TRBob::Animate() {
    for (int32_t i = 0; i < MemberCount; ++i)
        Members[size_t(i)].Bob->Animate();
}

void TRBob::Home() {
    const float home[3] = {HomeX, HomeY, HomeZ};
    const float position[3] = {X, Y, Z};
    for (size_t axis = 0; axis < 3; ++axis) {
        HomeStep[axis] = std::clamp((home[axis] - position[axis]) / HomingDivisor, -MaxHomingStep,
                                    MaxHomingStep);
        SpringAcceleration[axis] = -SpringOffset[axis] / SpringDivisor;
    }
}

void TRBob::Move() {
    for (size_t axis = 0; axis < 3; ++axis) {
        SpringVelocity[axis] += SpringAcceleration[axis];
        SpringOffset[axis] += SpringVelocity[axis];
    }
    for (size_t axis = 0; axis < 3; ++axis)
        SmoothedStep[axis] = (SmoothedStep[axis] + HomeStep[axis]) / SmoothingDivisor;
    SetX(X + SmoothedStep[0] + SpringOffset[0]);
    SetY(Y + SmoothedStep[1] + SpringOffset[1]);
    SetZ(Z + SmoothedStep[2] + SpringOffset[2]);
}

void TRBob::ResetSpring() {
    SpringOffset = {};
    SpringVelocity = {};
    SpringAcceleration = {};
}

int32_t SoundPan(float x, float z) {
    const double pan = double(x) * -0.2 * (FocalLength / double(z)) * (20000.0 / ScreenWidth);
    return std::clamp(Round(pan), -10000, 10000);
}
