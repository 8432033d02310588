#pragma once
// Bobs: sprite instances in a simple 3-D view. A TBob shows the current image of an animation
// of a sprite-script object and steps through it; the one TBobs list sorts all bobs by layer
// and depth and paints them each frame; a TRBob is a body of member bobs that move together,
// drawn towards a home point with a spring on top.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// What a bob switches to when its animation ends.
struct TQueuedAnimation {
    int32_t Object = 0;
    int32_t Kind = -1;
    int32_t OffsetX = 0, OffsetY = 0;
};

class TBob {
  public:
    // Made only by TBobs::Add. Kind -1 is a sprite bob; others only hold a position and a size.
    TBob(int32_t object, int32_t animation, int32_t kind);

    void Animate();
    void SetAnimation(const TQueuedAnimation& queued, int32_t animation);
    void SetObjectAnimation(int32_t object, int32_t animation);
    void RestartAnimation(int32_t animation);
    void SetFollowUp(int32_t animation);
    void Paint();
    // Centre and size on the screen, as Paint draws it.
    void ScreenRect(int32_t& centreX, int32_t& centreY, int32_t& width, int32_t& height) const;
    int32_t CurrentSprite() const;

    bool Visible = true;
    int32_t Kind;
    int32_t Object;
    int32_t Animation;
    TQueuedAnimation Queued;
    int32_t FollowUp;
    uint16_t FramePos = 0;
    uint16_t FlipCounter = 0;
    float Width = 0, Height = 0;
    int32_t ClipTop = 0;
    int32_t ClipBottom = -1; // -1: the screen's bottom clip
    bool Flat = false;
    float X, Y, Z;
    float ScaleX = 1.0f, ScaleY = 1.0f;
    int32_t Layer = 0;
    int32_t OffsetX = 0, OffsetY = 0;
    bool Projected = true;
    bool Centred = true;
    std::function<void()> OnAnimationSet;
    bool Transparent = true;
    uint8_t Alpha = 255;
    std::string Hint; // at most 30 characters
    int32_t Loops = -1;

  private:
    void TakeFirstImageSize();
};

constexpr int32_t MaxBobs = 1500;

// The paint list: each entry is the owner's variable holding the bob, which identifies it.
class TBobs {
  public:
    TBobs() = default;
    TBobs(const TBobs&) = delete;
    TBobs& operator=(const TBobs&) = delete;

    // Creates the bob into *owner and appends the entry; returns the list count.
    int32_t Add(int32_t object, int32_t animation, int32_t kind, TBob** owner);
    // Frees the bob of that variable; an unknown variable is ignored.
    void Delete(TBob** owner);
    void Paint();
    void Sortz();

    int32_t Count = 0;
    int32_t SortCounter = 0;
    TBob* Item(int32_t index) const { return FEntries[size_t(index)].Bob.get(); }
    TBob** Owner(int32_t index) const { return FEntries[size_t(index)].Owner; }

  private:
    struct TEntry {
        TBob** Owner = nullptr;
        std::unique_ptr<TBob> Bob;
    };
    std::array<TEntry, MaxBobs> FEntries;
};

// The list of the window that is shown; created by InitDDraw, freed by FreeDDraw.
extern std::unique_ptr<TBobs> Bobs;

constexpr int32_t MaxMembers = 50;

class TRBob {
  public:
    // An empty body at a random place.
    TRBob();
    virtual ~TRBob();
    TRBob(const TRBob&) = delete;
    TRBob& operator=(const TRBob&) = delete;

    int32_t AddBob(int32_t object, int32_t animation, int32_t kind, float offsetX, float offsetY,
                   float offsetZ);
    int32_t AddBobByName(const std::string& name, int32_t animation, int32_t kind, float offsetX,
                         float offsetY, float offsetZ);
    void SetX(float x);
    void SetY(float y);
    void SetZ(float z);
    void SetVisible(bool visible);
    void Animate();
    void Home();
    void Move();
    void ResetSpring();

    struct TMember {
        TBob* Bob = nullptr;
        float OffsetX = 0, OffsetY = 0, OffsetZ = 0;
    };
    std::array<TMember, MaxMembers> Members;
    int32_t MemberCount = 0;
    float X = 0, Y = 0, Z = 0;
    bool Visible = true;
    float HomeX = 0, HomeY = 0, HomeZ = 0;
    std::array<float, 3> HomeStep{}, SmoothedStep{};
    std::array<float, 3> SpringOffset{}, SpringVelocity{}, SpringAcceleration{};
    float SpringDivisor = 10000.0f;
    float HomingDivisor = 10000.0f;
    float MaxHomingStep = 5.0f;
    float SmoothingDivisor = 1.1f;
};

// Stereo pan of a sound made at world x and depth z: -10000 left .. 10000 right.
int32_t SoundPan(float x, float z);
