#include "SheetArt.h"

#include "SnackArt.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace assetgen {

namespace {

constexpr double Pi = std::numbers::pi;

// Sprites carry no drop shadows: a half-transparent blur would turn into a solid blob where
// the game draws with the colour key only.
const TColor LeftCap = Rgb(0x2A7AD8);
const TColor RightCap = Rgb(0x3AA020);

double Phase(const TFrame& frame) {
    return 2 * Pi * frame.Index / frame.Count;
}

// ---------------------------------------------------------------------------------------------
// The mascots' poses, and where they stand in their images.

// The figures beside the bag share one scale and one place: the body stands 6 pixels off the
// image centre, away from the bag, so that switching between waiting, walking and pushing
// never makes it jump; its gloves reach the bag's wall 36 pixels on the other side.
constexpr double BagMascotSize = 84;
constexpr double BagMascotGround = 55 + 52; // pixels below the image centre, plus the centre
constexpr double BagMascotOffset = 6;

void BagMascot(cairo_t* cr, const TFrame& frame, bool leftOfBag, bool facingBag,
               const TPose& pose) {
    const double cx = frame.W / 2 + (leftOfBag ? -BagMascotOffset : BagMascotOffset);
    const double ground = frame.H / 2 + (BagMascotGround - 55);
    const bool facingRight = leftOfBag == facingBag;
    DrawPosedMascot(cr, cx, ground, BagMascotSize, facingRight, leftOfBag ? LeftCap : RightCap,
                    pose);
}

TPose WaitPose(const TFrame& frame) {
    const double p = Phase(frame);
    TPose pose;
    pose.Stretch = 0.025 * std::sin(p);
    pose.Lean = 0.08 + 0.02 * std::sin(p);
    pose.NearHandX = 0.5 + 0.01 * std::sin(p);
    pose.NearHandY = -0.42 + 0.015 * std::cos(p);
    pose.FarHandX = 0.48;
    pose.FarHandY = -0.5 + 0.015 * std::cos(p);
    pose.BackFootX = -0.2;
    pose.FrontFootX = 0.1;
    // A glance over the shoulder, then a blink.
    pose.LookX = frame.Index >= 8 && frame.Index < 12 ? -0.015 : 0.025;
    pose.Blink = frame.Index == 5 || frame.Index == 13;
    return pose;
}

TPose PushPose(const TFrame& frame) {
    const double p = Phase(frame);
    TPose pose;
    pose.Lean = 0.26;
    pose.Lift = 0.015 * std::abs(std::sin(p));
    pose.BackFootX = -0.3 + 0.1 * std::sin(p);
    pose.FrontFootX = 0.06 - 0.1 * std::sin(p);
    pose.BackFootLift = 0.05 * std::max(0.0, std::cos(p));
    pose.FrontFootLift = 0.05 * std::max(0.0, -std::cos(p));
    pose.NearHandX = 0.5;
    pose.NearHandY = -0.43;
    pose.FarHandX = 0.49;
    pose.FarHandY = -0.52;
    pose.OpenMouth = true;
    return pose;
}

TPose WalkPose(const TFrame& frame) {
    const double p = Phase(frame);
    TPose pose;
    pose.Lean = 0.08;
    pose.Lift = 0.025 * std::abs(std::cos(p));
    pose.BackFootX = -0.04 - 0.17 * std::sin(p);
    pose.FrontFootX = 0.02 + 0.17 * std::sin(p);
    pose.BackFootLift = 0.06 * std::max(0.0, std::cos(p));
    pose.FrontFootLift = 0.06 * std::max(0.0, -std::cos(p));
    pose.NearHandX = 0.1 - 0.2 * std::sin(p);
    pose.NearHandY = -0.36;
    pose.FarHandX = 0.1 + 0.2 * std::sin(p);
    pose.FarHandY = -0.42;
    return pose;
}

// Dancers stand on the image's bottom margin, centred.
void Dancer(cairo_t* cr, const TFrame& frame, double size, bool facingRight, const TColor& cap,
            const TPose& pose) {
    DrawPosedMascot(cr, frame.W / 2 - (facingRight ? 0.08 : -0.08) * size, frame.H - 3, size,
                    facingRight, cap, pose);
}

double DancerSize(const TFrame& frame) {
    return (frame.H - 6) / 1.42;
}

} // namespace

void ArtWaitLeft(cairo_t* cr, const TFrame& frame) {
    BagMascot(cr, frame, true, true, WaitPose(frame));
}
void ArtWaitRight(cairo_t* cr, const TFrame& frame) {
    BagMascot(cr, frame, false, true, WaitPose(frame));
}
void ArtWalkLeft(cairo_t* cr, const TFrame& frame) {
    BagMascot(cr, frame, true, false, WalkPose(frame));
}
void ArtWalkRight(cairo_t* cr, const TFrame& frame) {
    BagMascot(cr, frame, false, false, WalkPose(frame));
}
void ArtPushLeft(cairo_t* cr, const TFrame& frame) {
    BagMascot(cr, frame, true, true, PushPose(frame));
}
void ArtPushRight(cairo_t* cr, const TFrame& frame) {
    BagMascot(cr, frame, false, true, PushPose(frame));
}

// Hopping with the arms thrown up in turn.
void ArtDance1(cairo_t* cr, const TFrame& frame) {
    const double p = Phase(frame);
    const double hop = std::abs(std::sin(p));
    TPose pose;
    pose.Lean = 0.1 * std::sin(p);
    pose.Lift = 0.1 * hop;
    pose.Stretch = 0.05 * hop - 0.03;
    pose.BackFootLift = 0.04 * hop;
    pose.FrontFootLift = 0.04 * hop;
    const double up = 0.5 + 0.5 * std::sin(p);
    pose.NearHandX = 0.46 + 0.06 * up;
    pose.NearHandY = -0.5 - 0.68 * up;
    pose.FarHandX = -0.36;
    pose.FarHandY = -1.18 + 0.6 * up;
    pose.OpenMouth = hop > 0.5;
    Dancer(cr, frame, DancerSize(frame), true, LeftCap, pose);
}

// Swaying from side to side, both arms waving over the head.
void ArtDance2(cairo_t* cr, const TFrame& frame) {
    const double p = Phase(frame);
    TPose pose;
    pose.Lean = 0.22 * std::sin(p);
    pose.Lift = 0.03 * std::abs(std::cos(p));
    pose.BackFootX = -0.26;
    pose.FrontFootX = 0.16;
    pose.NearHandX = 0.48 + 0.14 * std::sin(p);
    pose.NearHandY = -1.18 + 0.05 * std::cos(2 * p);
    pose.FarHandX = -0.36 + 0.14 * std::sin(p);
    pose.FarHandY = -1.14 - 0.05 * std::cos(2 * p);
    pose.LookX = 0.025 * std::sin(p);
    pose.Blink = frame.Index == 10;
    Dancer(cr, frame, DancerSize(frame), false, RightCap, pose);
}

// Jumping jacks.
void ArtDance3(cairo_t* cr, const TFrame& frame) {
    const double p = Phase(frame);
    const double open = 0.5 - 0.5 * std::cos(2 * p);
    TPose pose;
    pose.Lean = 0;
    pose.Lift = 0.06 * std::sin(2 * p) * (std::sin(2 * p) > 0);
    pose.BackFootX = -0.12 - 0.16 * open;
    pose.FrontFootX = 0.02 + 0.16 * open;
    pose.NearHandX = 0.34 + 0.12 * open;
    pose.NearHandY = -0.42 - 0.78 * open;
    pose.FarHandX = -0.34 - 0.12 * open;
    pose.FarHandY = -0.42 - 0.78 * open;
    pose.OpenMouth = open > 0.6;
    Dancer(cr, frame, DancerSize(frame), true, LeftCap, pose);
}

// A twist: knees bending, arms swinging across.
void ArtDance4(cairo_t* cr, const TFrame& frame) {
    const double p = Phase(frame);
    TPose pose;
    pose.Lean = 0.12 * std::sin(2 * p);
    pose.Stretch = -0.05 * std::abs(std::sin(2 * p));
    pose.Lift = -0.04 * std::abs(std::sin(2 * p));
    pose.BackFootX = -0.24 + 0.06 * std::sin(2 * p);
    pose.FrontFootX = 0.14 + 0.06 * std::sin(2 * p);
    pose.NearHandX = 0.2 + 0.3 * std::sin(2 * p);
    pose.NearHandY = -0.45 - 0.12 * std::cos(p);
    pose.FarHandX = -0.15 + 0.3 * std::sin(2 * p);
    pose.FarHandY = -0.5 + 0.12 * std::cos(p);
    pose.Blink = frame.Index == 3;
    pose.OpenMouth = frame.Index % 8 >= 4;
    Dancer(cr, frame, DancerSize(frame), false, RightCap, pose);
}

// ---------------------------------------------------------------------------------------------
// Chips and their pieces, turning about an axis that lies in the picture and wanders round.

namespace {

struct TTurn {
    double Spin;  // rotation in the picture
    double Axis;  // direction of the turning axis
    double Cos;   // foreshortening across the axis; negative: the back shows
    double Light; // how much the face catches the light, 0 … 1
};

TTurn TurnOf(const TFrame& frame, double spins) {
    const double t = static_cast<double>(frame.Index) / frame.Count;
    const double phi = 2 * Pi * t;
    TTurn turn;
    turn.Spin = 2 * Pi * t * spins;
    turn.Axis = 0.6 + 0.4 * std::sin(2 * Pi * t);
    turn.Cos = std::cos(phi);
    turn.Light = 0.5 + 0.5 * std::sin(phi + 0.8);
    return turn;
}

// Sets the path's frame: centred in the cell, turned as given, scaled to fit.
void ApplyTurn(cairo_t* cr, double cx, double cy, double scale, const TTurn& turn) {
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, turn.Axis);
    const double c = std::abs(turn.Cos) < 0.14 ? (turn.Cos < 0 ? -0.14 : 0.14) : turn.Cos;
    cairo_scale(cr, scale, scale * c);
    cairo_rotate(cr, turn.Spin - turn.Axis);
}

void WholeChip(cairo_t* cr, std::uint32_t seed) {
    ChipOutlinePath(cr, 1, seed);
}

// A third of a chip, broken off along two jagged lines, centred on its middle.
void ChipShardPath(cairo_t* cr, std::uint32_t seed, double from, double to) {
    TRandom random(seed);
    std::vector<std::pair<double, double>> points;
    const double inner = 0.12;
    auto jagged = [&](double x0, double y0, double x1, double y1) {
        for (int i = 1; i < 5; ++i) {
            const double t = i / 5.0;
            const double wobble = random.Uniform(-0.07, 0.07);
            points.emplace_back(x0 + (x1 - x0) * t - (y1 - y0) * wobble,
                                y0 + (y1 - y0) * t + (x1 - x0) * wobble);
        }
    };
    const double cx = inner * std::cos((from + to) / 2),
                 cy = inner * 0.8 * std::sin((from + to) / 2);
    points.emplace_back(cx, cy);
    jagged(cx, cy, std::cos(from), 0.8 * std::sin(from));
    for (int i = 0; i <= 24; ++i) {
        const double t = from + (to - from) * i / 24;
        const double r = 1 + 0.05 * std::sin(3 * t + seed);
        points.emplace_back(r * std::cos(t), r * 0.8 * std::sin(t));
    }
    jagged(std::cos(to), 0.8 * std::sin(to), cx, cy);
    double mx = 0, my = 0;
    for (auto [x, y] : points) {
        mx += x;
        my += y;
    }
    mx /= points.size();
    my /= points.size();
    cairo_new_sub_path(cr);
    for (auto [x, y] : points)
        cairo_line_to(cr, x - mx, y - my);
    cairo_close_path(cr);
}

using TShape = void (*)(cairo_t* cr, std::uint32_t seed);

// The largest scale at which the shape stays inside the cell in every image of the turn.
double FitScale(const TFrame& frame, TShape shape, std::uint32_t seed, double spins,
                double margin) {
    TCanvas probe(4, 4);
    double scale = 1e9;
    for (int i = 0; i < frame.Count; ++i) {
        TSaved saved(probe.Cr());
        cairo_new_path(probe.Cr());
        ApplyTurn(probe.Cr(), 0, 0, 1, TurnOf({i, frame.Count, frame.W, frame.H}, spins));
        shape(probe.Cr(), seed);
        cairo_identity_matrix(probe.Cr());
        double x0, y0, x1, y1;
        cairo_path_extents(probe.Cr(), &x0, &y0, &x1, &y1);
        const double halfW = std::max(-x0, x1);
        const double halfH = std::max(-y0, y1);
        scale = std::min({scale, (frame.W / 2 - margin) / halfW, (frame.H / 2 - margin) / halfH});
    }
    return scale;
}

void TurningCrisp(cairo_t* cr, const TFrame& frame, TShape shape, std::uint32_t seed,
                  double spins) {
    const double lineWidth = std::max(1.2, std::min(frame.W, frame.H) * 0.035);
    const double scale = FitScale(frame, shape, seed, spins, lineWidth / 2 + 1.5);
    const TTurn turn = TurnOf(frame, spins);
    const bool back = turn.Cos < 0;
    TSaved saved(cr);
    cairo_new_path(cr);
    ApplyTurn(cr, frame.W / 2, frame.H / 2, scale, turn);
    shape(cr, seed);
    TPattern fill =
        back ? RadialGradient(0.3, 0.25, 0, 0, 0, 1.1,
                              {{0, Rgb(0xFFE9A0)}, {0.6, Rgb(0xF2BE48)}, {1, Rgb(0xC98A2A)}})
             : ChipFaceGradient(1);
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    {
        TSaved clipped(cr);
        cairo_clip(cr);
        TRandom random = DrawChipRidges(cr, 1, seed);
        if (!back) DrawChipSpots(cr, 1, random, 8);
        // Light and shade as the face turns towards and away from the sun.
        cairo_identity_matrix(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, 0, 0, frame.W, frame.H);
        SetSource(cr, turn.Light > 0.5 ? Rgb(0xFFFFE0, (turn.Light - 0.5) * 0.5)
                                       : Rgb(0x7A3000, (0.5 - turn.Light) * 0.45));
        cairo_fill(cr);
    }
    cairo_new_path(cr);
    shape(cr, seed);
    cairo_identity_matrix(cr);
    SetSource(cr, ChipOutline);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
}

void ShardLarge(cairo_t* cr, std::uint32_t seed) {
    ChipShardPath(cr, seed, -0.4, 1.75);
}
void ShardSmall(cairo_t* cr, std::uint32_t seed) {
    ChipShardPath(cr, seed, 2.2, 3.6);
}

} // namespace

void ArtChip(cairo_t* cr, const TFrame& frame) {
    TurningCrisp(cr, frame, WholeChip, 7, 1);
}
void ArtChipPiece(cairo_t* cr, const TFrame& frame) {
    TurningCrisp(cr, frame, ShardLarge, 21, 2);
}
void ArtChipCrumb(cairo_t* cr, const TFrame& frame) {
    TurningCrisp(cr, frame, ShardSmall, 33, 2);
}

// ---------------------------------------------------------------------------------------------
// Peppers: a curved pod of round section turning about its length, swaying as it goes.

namespace {

struct TPod {
    double From; // part of the pod's length drawn, 0 (stem end) … 1 (tip)
    double To;
    bool Stem;
    bool BrokenTop;
    bool BrokenBottom;
};

// Radius of the pod at u (0 stem end, 1 tip) in units of its length.
double PodRadius(double u) {
    return 0.17 * std::sqrt(std::max(0.0, 1 - u)) * std::min(1.0, 0.55 + 2.5 * u);
}

void PodPath(cairo_t* cr, const TPod& pod, double bendCos, double lengthScale, std::uint32_t seed) {
    TRandom random(seed);
    const int steps = 40;
    auto centreX = [&](double u) { return 0.16 * std::sin(Pi * u * 0.9) * bendCos; };
    auto y = [&](double u) { return (u - 0.5) * lengthScale; };
    auto jag = [&](double u, bool leftToRight) {
        const double c = centreX(u), r = PodRadius(u);
        for (int i = 1; i < 6; ++i) {
            const double t = leftToRight ? i / 6.0 : 1 - i / 6.0;
            cairo_line_to(cr, c - r + 2 * r * t, y(u) + random.Uniform(-0.03, 0.03));
        }
    };
    cairo_new_sub_path(cr);
    for (int i = 0; i <= steps; ++i) {
        const double u = pod.From + (pod.To - pod.From) * i / steps;
        cairo_line_to(cr, centreX(u) + PodRadius(u), y(u));
    }
    if (pod.BrokenBottom) jag(pod.To, false);
    for (int i = steps; i >= 0; --i) {
        const double u = pod.From + (pod.To - pod.From) * i / steps;
        cairo_line_to(cr, centreX(u) - PodRadius(u), y(u));
    }
    if (pod.BrokenTop) jag(pod.From, true);
    cairo_close_path(cr);
}

void TurningPod(cairo_t* cr, const TFrame& frame, const TPod& pod, std::uint32_t seed) {
    const double p = Phase(frame);
    const double bendCos = std::cos(p);
    const double lengthScale = (pod.To - pod.From) > 0.9 ? 0.92 + 0.08 * std::cos(2 * p) : 1.0;
    const double sway = 0.18 * std::sin(p + 0.6);
    const double mid = (pod.From + pod.To) / 2;
    // Fit: the pod's length along the cell's height, its width along the width.
    const double length = std::min((frame.H - 4) / ((pod.To - pod.From) + (pod.Stem ? 0.16 : 0.02)),
                                   (frame.W - 4) / 0.62);
    const double lineWidth = std::max(1.2, frame.W * 0.03);
    TSaved saved(cr);
    cairo_new_path(cr);
    cairo_translate(cr, frame.W / 2, frame.H / 2 + (pod.Stem ? length * 0.06 : 0));
    cairo_rotate(cr, sway);
    cairo_scale(cr, length, length);
    cairo_translate(cr, 0, -(mid - 0.5) * lengthScale);

    PodPath(cr, pod, bendCos, lengthScale, seed);
    TPattern fill = LinearGradient(
        -0.2, 0, 0.2, 0,
        {{0, Rgb(0xFF7A50)}, {0.3, Rgb(0xEE2A12)}, {0.75, Rgb(0xB8120A)}, {1, Rgb(0x7A0805)}});
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    {
        TSaved clipped(cr);
        cairo_clip(cr);
        // A crease on the skin that runs round as the pod turns.
        const double crease = std::sin(p * 1 + 1.2);
        if (std::cos(p + 1.2) > 0) {
            cairo_new_path(cr);
            for (int i = 0; i <= 30; ++i) {
                const double u = pod.From + (pod.To - pod.From) * i / 30;
                cairo_line_to(
                    cr, 0.16 * std::sin(Pi * u * 0.9) * bendCos + PodRadius(u) * 0.85 * crease,
                    (u - 0.5) * lengthScale);
            }
            SetSource(cr, Rgb(0x6A0604, 0.35));
            cairo_set_line_width(cr, 0.025);
            cairo_stroke(cr);
        }
        // Gloss along the lit side.
        cairo_new_path(cr);
        for (int i = 0; i <= 30; ++i) {
            const double u = pod.From + (pod.To - pod.From) * (0.05 + 0.8 * i / 30);
            cairo_line_to(cr, 0.16 * std::sin(Pi * u * 0.9) * bendCos - PodRadius(u) * 0.45,
                          (u - 0.5) * lengthScale);
        }
        SetSource(cr, Rgb(0xFFFFFF, 0.6));
        cairo_set_line_width(cr, 0.035);
        cairo_stroke(cr);
        // Where it broke, the pale flesh and seeds show.
        auto flesh = [&](double u) {
            const double c = 0.16 * std::sin(Pi * u * 0.9) * bendCos;
            cairo_new_path(cr);
            EllipsePath(cr, c, (u - 0.5) * lengthScale, PodRadius(u) * 0.9, 0.05);
            SetSource(cr, Rgb(0xFFE3B0));
            cairo_fill(cr);
            TRandom random(seed + 5);
            for (int i = 0; i < 5; ++i) {
                cairo_new_path(cr);
                EllipsePath(cr, c + random.Uniform(-0.6, 0.6) * PodRadius(u),
                            (u - 0.5) * lengthScale + random.Uniform(-0.02, 0.02), 0.018, 0.012);
                SetSource(cr, Rgb(0xF2C040));
                cairo_fill(cr);
            }
        };
        if (pod.BrokenBottom) flesh(pod.To);
        if (pod.BrokenTop) flesh(pod.From);
    }
    cairo_new_path(cr);
    PodPath(cr, pod, bendCos, lengthScale, seed);
    {
        TSaved device(cr);
        cairo_identity_matrix(cr);
        SetSource(cr, Rgb(0x4A0603));
        cairo_set_line_width(cr, lineWidth);
        cairo_stroke(cr);
    }
    if (!pod.Stem) return;
    // The green cap, seen turning, and the stem bending out of it.
    const double top = (pod.From - 0.5) * lengthScale;
    const double capW = PodRadius(0.04) * 1.15;
    cairo_new_path(cr);
    for (int i = 0; i <= 6; ++i) {
        const double t = i / 6.0;
        const double x = -capW + 2 * capW * t;
        const double leaf = (i % 2 == 0) ? 0.07 : 0.035;
        cairo_line_to(cr, x, top + leaf * (0.6 + 0.4 * std::abs(std::sin(p + i))));
    }
    cairo_curve_to(cr, capW, top - 0.04, -capW, top - 0.04, -capW, top);
    cairo_close_path(cr);
    TPattern cap = LinearGradient(-capW, 0, capW, 0,
                                  {{0, Rgb(0x9BE84A)}, {0.5, Rgb(0x4DA818)}, {1, Rgb(0x23640A)}});
    SetSource(cr, cap);
    cairo_fill_preserve(cr);
    {
        TSaved device(cr);
        cairo_identity_matrix(cr);
        SetSource(cr, Rgb(0x163C05));
        cairo_set_line_width(cr, lineWidth * 0.8);
        cairo_stroke(cr);
    }
    cairo_new_path(cr);
    cairo_move_to(cr, 0, top - 0.02);
    cairo_curve_to(cr, 0, top - 0.08, 0.05 * bendCos, top - 0.1, 0.08 * bendCos, top - 0.12);
    {
        TSaved device(cr);
        cairo_identity_matrix(cr);
        StrokePepperStem(cr, length * 0.055, length * 0.028);
    }
}

} // namespace

void ArtPepper(cairo_t* cr, const TFrame& frame) {
    TurningPod(cr, frame, {0.0, 1.0, true, false, false}, 3);
}
void ArtPepperPiece(cairo_t* cr, const TFrame& frame) {
    TurningPod(cr, frame, {0.0, 0.5, true, false, true}, 4);
}
void ArtPepperTip(cairo_t* cr, const TFrame& frame) {
    TurningPod(cr, frame, {0.55, 1.0, false, true, false}, 5);
}

// ---------------------------------------------------------------------------------------------
// The open bag. The back wall shows its inside above the front's opening; caught pieces are
// drawn between the two.

namespace {

constexpr double BagTop = 6;
constexpr double BagMouth = 34;
constexpr double BagBottom = 126;

void BagSidesPath(cairo_t* cr, double w, double top, double bottom) {
    const double l = w * 0.07, r = w * 0.93;
    cairo_move_to(cr, l, top);
    cairo_line_to(cr, r, top);
    cairo_curve_to(cr, r + w * 0.05, top + (bottom - top) * 0.35, r + w * 0.04,
                   bottom - (bottom - top) * 0.2, r - w * 0.01, bottom);
    cairo_line_to(cr, l + w * 0.01, bottom);
    cairo_curve_to(cr, l - w * 0.04, bottom - (bottom - top) * 0.2, l - w * 0.05,
                   top + (bottom - top) * 0.35, l, top);
    cairo_close_path(cr);
}

void BagCrimp(cairo_t* cr, double w, double y0, double y1, bool toothedDown, double lineWidth) {
    const double l = w * 0.06, r = w * 0.94;
    const int teeth = static_cast<int>(w / 8);
    const double edge = toothedDown ? y1 : y0, inner = toothedDown ? y0 : y1;
    const double tooth = (y1 - y0) * 0.3 * (toothedDown ? -1 : 1);
    cairo_new_path(cr);
    cairo_move_to(cr, l, inner);
    for (int i = 0; i < teeth; ++i) {
        cairo_line_to(cr, l + (r - l) * i / teeth, edge + tooth);
        cairo_line_to(cr, l + (r - l) * (i + 0.5) / teeth, edge);
    }
    cairo_line_to(cr, r, edge + tooth);
    cairo_line_to(cr, r, inner);
    cairo_close_path(cr);
    TPattern fill = BagCrimpGradient(0, w);
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0x3E0303));
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
    for (int i = 1; i < teeth * 2; ++i) {
        const double x = l + (r - l) * i / (teeth * 2);
        cairo_move_to(cr, x, std::min(y0, y1) + 2);
        cairo_line_to(cr, x, std::max(y0, y1) - 2);
    }
    SetSource(cr, Rgb(0x5A0404, 0.35));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void BagBack(cairo_t* cr, double w) {
    const double lineWidth = 2.2;
    cairo_new_path(cr);
    BagSidesPath(cr, w, BagTop + 10, BagMouth + 30);
    TPattern inside =
        LinearGradient(0, BagTop, 0, BagMouth + 30,
                       {{0, Rgb(0xB8180E)}, {0.5, Rgb(0x6E0806)}, {1, Rgb(0x2A0302)}});
    SetSource(cr, inside);
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0x3E0303));
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
    // The silver lining of the foil catching a little light.
    cairo_new_path(cr);
    cairo_move_to(cr, w * 0.14, BagTop + 16);
    cairo_line_to(cr, w * 0.86, BagTop + 16);
    SetSource(cr, Rgb(0xFFD0C0, 0.45));
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    BagCrimp(cr, w, BagTop, BagTop + 12, false, lineWidth);
}

void BagFront(cairo_t* cr, double w, double flash) {
    const double lineWidth = 2.2;
    auto front = [&](cairo_t* c) {
        const double l = w * 0.07, r = w * 0.93;
        cairo_move_to(cr, l, BagMouth);
        cairo_curve_to(c, w * 0.35, BagMouth + 7, w * 0.65, BagMouth + 7, r, BagMouth);
        cairo_curve_to(c, r + w * 0.05, BagMouth + 30, r + w * 0.04, BagBottom - 24, r - w * 0.01,
                       BagBottom - 8);
        cairo_line_to(c, l + w * 0.01, BagBottom - 8);
        cairo_curve_to(c, l - w * 0.04, BagBottom - 24, l - w * 0.05, BagMouth + 30, l, BagMouth);
        cairo_close_path(c);
    };
    BagCrimp(cr, w, BagBottom - 10, BagBottom, true, lineWidth);
    cairo_new_path(cr);
    front(cr);
    TPattern fill = BagFoilGradient(0, w);
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    {
        TSaved clipped(cr);
        cairo_clip(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, w * 0.16, 0, w * 0.14, BagBottom);
        TPattern gloss = BagGlossGradient(w * 0.16, w * 0.3);
        SetSource(cr, gloss);
        cairo_fill(cr);
        // The print: chips and a pepper out of a bowl, under the brand.
        const double h = BagBottom - BagMouth;
        const int bowls = w > 150 ? 2 : 1;
        for (int b = 0; b < bowls; ++b) {
            const double cx = w * (b + 0.5) / bowls;
            const double unit = std::min(w / bowls, 116.0);
            DrawPepper(cr, cx + unit * 0.04, BagMouth + h * 0.7, unit * 0.3, -0.25, false);
            DrawChip(cr, cx - unit * 0.15, BagMouth + h * 0.62, unit * 0.1, -0.4, 11 + b, false);
            DrawChip(cr, cx + unit * 0.16, BagMouth + h * 0.6, unit * 0.09, 0.5, 12 + b, false);
            DrawChip(cr, cx, BagMouth + h * 0.55, unit * 0.1, 0.1, 13 + b, false);
        }
        // The rim of the opening, a lighter turned-over edge.
        cairo_new_path(cr);
        cairo_move_to(cr, w * 0.07, BagMouth + 3);
        cairo_curve_to(cr, w * 0.35, BagMouth + 10, w * 0.65, BagMouth + 10, w * 0.93,
                       BagMouth + 3);
        SetSource(cr, Rgb(0xFF9A80, 0.8));
        cairo_set_line_width(cr, 3);
        cairo_stroke(cr);
        if (flash > 0) {
            cairo_new_path(cr);
            cairo_rectangle(cr, 0, 0, w, BagBottom);
            TPattern glow =
                RadialGradient(w / 2, BagMouth + 20, 0, w / 2, BagMouth + 20, w * 0.8,
                               {{0, Rgb(0xFFF4B0, flash * 0.7)}, {1, Rgb(0xFFC830, flash * 0.25)}});
            SetSource(cr, glow);
            cairo_fill(cr);
        }
    }
    cairo_new_path(cr);
    front(cr);
    SetSource(cr, flash > 0 ? Mix(Rgb(0x3E0303), Rgb(0xFFD040), flash) : Rgb(0x3E0303));
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
    const double badgeW = std::min(w * 0.78, 96.0);
    DrawBrandMark(cr, w / 2, BagMouth + (BagBottom - BagMouth) * 0.3, badgeW, badgeW * 0.3);
    if (flash > 0) {
        // The badge lights up with the rest.
        cairo_new_path(cr);
        front(cr);
        cairo_clip(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, 0, 0, w, BagBottom);
        SetSource(cr, Rgb(0xFFF4B0, flash * 0.2));
        cairo_fill(cr);
        cairo_reset_clip(cr);
    }
}

} // namespace

void ArtBag(cairo_t* cr, const TFrame& frame) {
    if (frame.Index == 0)
        BagBack(cr, frame.W);
    else
        BagFront(cr, frame.W, frame.Index < 2 ? 0.0 : (frame.Index - 1) / 9.0);
}

// ---------------------------------------------------------------------------------------------
// Pointer and extras.

void ArtCrosshair(cairo_t* cr, const TFrame& frame) {
    const double cx = frame.W / 2, cy = frame.H / 2, r = frame.W / 2 - 5;
    auto shape = [&] {
        cairo_new_path(cr);
        cairo_arc(cr, cx, cy, r * 0.66, 0, 2 * Pi);
        for (int i = 0; i < 4; ++i) {
            const double a = i * Pi / 2;
            cairo_move_to(cr, cx + std::cos(a) * r, cy + std::sin(a) * r);
            cairo_line_to(cr, cx + std::cos(a) * r * 0.36, cy + std::sin(a) * r * 0.36);
        }
    };
    shape();
    SetSource(cr, Rgb(0x3A0800));
    cairo_set_line_width(cr, 5.5);
    cairo_stroke(cr);
    shape();
    SetSource(cr, Rgb(0xFFFFFF));
    cairo_set_line_width(cr, 2.6);
    cairo_stroke(cr);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, 2.6, 0, 2 * Pi);
    SetSource(cr, Rgb(0xFF2A10));
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0x3A0800));
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
}

namespace {

// A rounded warning triangle filling the cell, its symbol area returned as centre and size.
void ExtraTriangle(cairo_t* cr, const TFrame& frame, const TColor& light, const TColor& dark,
                   double& symbolX, double& symbolY, double& symbolSize) {
    const double m = 4;
    auto tri = [&](cairo_t* c, double inset) {
        cairo_new_sub_path(c);
        cairo_move_to(c, frame.W / 2, m + inset * 1.6);
        cairo_line_to(c, frame.W - m - inset * 1.4, frame.H - m - inset);
        cairo_line_to(c, m + inset * 1.4, frame.H - m - inset);
        cairo_close_path(c);
    };
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_new_path(cr);
    tri(cr, 3);
    SetSource(cr, Rgb(0x3A0800));
    cairo_set_line_width(cr, 8);
    cairo_stroke_preserve(cr);
    SetSource(cr, Rgb(0xFFFFFF));
    cairo_set_line_width(cr, 4.5);
    cairo_stroke_preserve(cr);
    TPattern fill = LinearGradient(0, m, 0, frame.H - m, {{0, light}, {1, dark}});
    SetSource(cr, fill);
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, frame.W / 2, m + 10);
    cairo_line_to(cr, frame.W * 0.66, frame.H * 0.42);
    cairo_line_to(cr, frame.W * 0.34, frame.H * 0.42);
    cairo_close_path(cr);
    SetSource(cr, Rgb(0xFFFFFF, 0.3));
    cairo_fill(cr);
    symbolX = frame.W / 2;
    symbolY = frame.H * 0.63;
    symbolSize = frame.H * 0.28;
}

} // namespace

// A bomb with a lit fuse.
void ArtExtraExplosion(cairo_t* cr, const TFrame& frame) {
    double x, y, s;
    ExtraTriangle(cr, frame, Rgb(0xFFB060), Rgb(0xE0300C), x, y, s);
    StarPath(cr, x + s * 0.5, y - s * 0.72, s * 0.42, s * 0.18, 8, 0.2);
    SetSource(cr, Rgb(0xFFF060));
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0xFF6A00));
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, x + s * 0.3, y - s * 0.42);
    cairo_curve_to(cr, x + s * 0.38, y - s * 0.58, x + s * 0.45, y - s * 0.6, x + s * 0.5,
                   y - s * 0.7);
    SetSource(cr, Rgb(0x3A2008));
    cairo_set_line_width(cr, 2.2);
    cairo_stroke(cr);
    cairo_new_path(cr);
    cairo_arc(cr, x - s * 0.05, y + s * 0.05, s * 0.55, 0, 2 * Pi);
    TPattern ball = RadialGradient(x - s * 0.25, y - s * 0.18, 0, x, y, s * 0.6,
                                   {{0, Rgb(0x8A8AA0)}, {0.4, Rgb(0x303040)}, {1, Rgb(0x08080C)}});
    SetSource(cr, ball);
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, x + s * 0.12, y - s * 0.5, s * 0.22, s * 0.18);
    SetSource(cr, Rgb(0x505060));
    cairo_fill(cr);
}

// The bag upside down inside a circling arrow: steering turns round.
void ArtExtraTurn(cairo_t* cr, const TFrame& frame) {
    double x, y, s;
    ExtraTriangle(cr, frame, Rgb(0xC8A0FF), Rgb(0x6A30D0), x, y, s);
    {
        TSaved turned(cr);
        cairo_translate(cr, x, y);
        cairo_rotate(cr, Pi);
        DrawSnackBag(cr, 0, 0, s * 1.0, s * 1.15);
    }
    for (int side = 0; side < 2; ++side) {
        const double a0 = side == 0 ? Pi * 0.75 : -Pi * 0.25;
        cairo_new_path(cr);
        cairo_arc(cr, x, y, s * 0.9, a0, a0 + Pi * 0.6);
        SetSource(cr, Rgb(0x2A0850));
        cairo_set_line_width(cr, 5);
        cairo_stroke(cr);
        cairo_new_path(cr);
        cairo_arc(cr, x, y, s * 0.9, a0, a0 + Pi * 0.6);
        SetSource(cr, Rgb(0xFFFFFF));
        cairo_set_line_width(cr, 2.5);
        cairo_stroke(cr);
        const double a1 = a0 + Pi * 0.6;
        const double hx = x + std::cos(a1) * s * 0.9, hy = y + std::sin(a1) * s * 0.9;
        const double tx = -std::sin(a1), ty = std::cos(a1);
        cairo_new_path(cr);
        cairo_move_to(cr, hx + tx * 6, hy + ty * 6);
        cairo_line_to(cr, hx - ty * 5, hy + tx * 5);
        cairo_line_to(cr, hx + ty * 5, hy - tx * 5);
        cairo_close_path(cr);
        SetSource(cr, Rgb(0xFFFFFF));
        cairo_fill_preserve(cr);
        SetSource(cr, Rgb(0x2A0850));
        cairo_set_line_width(cr, 1.3);
        cairo_stroke(cr);
    }
}

// A lightning bolt over a crosshair: shots come thick and fast.
void ArtExtraRapidFire(cairo_t* cr, const TFrame& frame) {
    double x, y, s;
    ExtraTriangle(cr, frame, Rgb(0x9AF0FF), Rgb(0x1A8AD0), x, y, s);
    DrawCrosshair(cr, x, y, s * 0.9, Rgb(0x0A3A60, 0.6));
    cairo_new_path(cr);
    cairo_move_to(cr, x + s * 0.18, y - s * 0.85);
    cairo_line_to(cr, x - s * 0.4, y + s * 0.1);
    cairo_line_to(cr, x - s * 0.02, y + s * 0.06);
    cairo_line_to(cr, x - s * 0.2, y + s * 0.8);
    cairo_line_to(cr, x + s * 0.42, y - s * 0.18);
    cairo_line_to(cr, x + s * 0.04, y - s * 0.14);
    cairo_close_path(cr);
    TPattern bolt = LinearGradient(0, y - s, 0, y + s, {{0, Rgb(0xFFFFA0)}, {1, Rgb(0xFFC010)}});
    SetSource(cr, bolt);
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0x3A2000));
    cairo_set_line_width(cr, 1.8);
    cairo_stroke(cr);
}

// A round badge: the bag between two arrows pointing apart.
void ArtExtraWide(cairo_t* cr, const TFrame& frame) {
    const double cx = frame.W / 2, cy = frame.H / 2, r = std::min(frame.W, frame.H) / 2 - 4;
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * Pi);
    SetSource(cr, Rgb(0x123F05));
    cairo_set_line_width(cr, 5);
    cairo_stroke_preserve(cr);
    SetSource(cr, Rgb(0xFFFFFF));
    cairo_set_line_width(cr, 2.5);
    cairo_stroke_preserve(cr);
    TPattern fill =
        LinearGradient(0, cy - r, 0, cy + r,
                       {{0, GreenButton.Light}, {0.5, GreenButton.Base}, {1, GreenButton.Dark}});
    SetSource(cr, fill);
    cairo_fill(cr);
    DrawSnackBag(cr, cx, cy + 1, r * 0.78, r * 0.95);
    for (int side = -1; side <= 1; side += 2) {
        const double tip = cx + side * r * 0.92, base = cx + side * r * 0.52;
        cairo_new_path(cr);
        cairo_move_to(cr, tip, cy);
        cairo_line_to(cr, base, cy - r * 0.28);
        cairo_line_to(cr, base, cy + r * 0.28);
        cairo_close_path(cr);
        SetSource(cr, Rgb(0xFFFFFF));
        cairo_fill_preserve(cr);
        SetSource(cr, Rgb(0x123F05));
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
    }
}

// ---------------------------------------------------------------------------------------------
// Lettering: one golden style for title, banners, clock and score.

namespace {

void GoldenText(cairo_t* cr, const TFont& font, const std::string& text, double cx, double baseline,
                double rim, const TColor& top, const TColor& bottom) {
    cairo_text_extents_t extents = MeasureText(cr, font, text);
    TSaved saved(cr);
    cairo_new_path(cr);
    SelectFont(cr, font);
    cairo_move_to(cr, cx - extents.x_bearing - extents.width / 2, baseline);
    cairo_text_path(cr, text.c_str());
    SetSource(cr, Rgb(0xFFF6E0));
    cairo_set_line_width(cr, rim * 2);
    cairo_stroke_preserve(cr);
    SetSource(cr, Rgb(0x5A1400));
    cairo_set_line_width(cr, rim);
    cairo_stroke_preserve(cr);
    TPattern fill = LinearGradient(0, baseline - font.Size * 0.75, 0, baseline,
                                   {{0, top}, {0.5, Mix(top, bottom, 0.5)}, {1, bottom}});
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    cairo_clip(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, cx - extents.width, baseline - font.Size, extents.width * 2,
                    font.Size * 0.45);
    SetSource(cr, Rgb(0xFFFFFF, 0.35));
    cairo_fill(cr);
}

const TColor GoldTop = Rgb(0xFFF7A8);
const TColor GoldBottom = Rgb(0xFF6A08);

// The largest font size at which the text, rim included, fits width × height.
double FitSize(cairo_t* cr, TFont font, const std::string& text, double width, double height,
               double rimPerSize) {
    double size = height;
    for (int i = 0; i < 40; ++i) {
        font.Size = size;
        const cairo_text_extents_t e = MeasureText(cr, font, text);
        const double rim = size * rimPerSize * 2;
        if (e.width + rim <= width && e.height + rim <= height) break;
        size *= 0.96;
    }
    return size;
}

void FittedLabel(cairo_t* cr, const TFrame& frame, const std::string& text, const TColor& top,
                 const TColor& bottom) {
    TFont font{"DejaVu Sans", 10, true};
    font.Size = FitSize(cr, font, text, frame.W - 4, frame.H - 4, 0.1);
    const cairo_text_extents_t e = MeasureText(cr, font, text);
    GoldenText(cr, font, text, frame.W / 2, frame.H / 2 - e.y_bearing - e.height / 2,
               font.Size * 0.1, top, bottom);
}

} // namespace

void ArtTitle(cairo_t* cr, const TFrame& frame) {
    DrawTitleWord(cr, "CRUMBLE RUSH", frame.W / 2, frame.H * 0.76, frame.H * 0.64, 1.0);
}

void ArtPlayAndWin(cairo_t* cr, const TFrame& frame) {
    FittedLabel(cr, frame, "PLAY & WIN!", Rgb(0xFFFFFF), Rgb(0xFFD21E));
}

void ArtBrandLogo(cairo_t* cr, const TFrame& frame) {
    DrawBrandMark(cr, frame.W / 2, frame.H / 2 - 2, frame.W - 14, frame.H - 16);
}

void ArtFontGlyph(cairo_t* cr, const TFrame& frame) {
    const std::string glyph(1, FontCharacters[frame.Index]);
    if (glyph == " ") return;
    TFont font{"DejaVu Sans", 40, true};
    const double rim = 3.6;
    // Wide letters are condensed so every glyph keeps inside its cell.
    const cairo_text_extents_t e = MeasureText(cr, font, glyph);
    const double squeeze = std::min(1.0, (frame.W - 4 - rim * 2) / e.width);
    TSaved saved(cr);
    cairo_translate(cr, frame.W / 2, 0);
    cairo_scale(cr, squeeze, 1);
    GoldenText(cr, font, glyph, 0, 46, rim, GoldTop, GoldBottom);
}

void ArtBigDigit(cairo_t* cr, const TFrame& frame) {
    const std::string digit(1, static_cast<char>('0' + frame.Index));
    TFont font{"DejaVu Sans", 230, true};
    const cairo_text_extents_t e = MeasureText(cr, font, "0");
    GoldenText(cr, font, digit, frame.W / 2, frame.H / 2 - e.y_bearing - e.height / 2, 14,
               Rgb(0xFFF3A0), Rgb(0xF0280A));
}

void ArtScoreLabel(cairo_t* cr, const TFrame& frame) {
    FittedLabel(cr, frame, "SCORE", GoldTop, GoldBottom);
}

void ArtTimeLabel(cairo_t* cr, const TFrame& frame) {
    FittedLabel(cr, frame, "TIME", GoldTop, GoldBottom);
}

void ArtParticle(cairo_t* cr, const TFrame& frame) {
    const int last = frame.Count - 1;
    if (frame.Index >= last) return;
    const double t = static_cast<double>(frame.Index) / last;
    const double r = 1.2 + 6.8 * (1 - t);
    TSaved saved(cr);
    cairo_translate(cr, frame.W / 2, frame.H / 2);
    cairo_rotate(cr, t * 5);
    cairo_new_path(cr);
    TRandom random(17);
    for (int i = 0; i < 7; ++i) {
        const double a = 2 * Pi * i / 7;
        const double k = random.Uniform(0.7, 1.0);
        cairo_line_to(cr, std::cos(a) * r * k, std::sin(a) * r * k * 0.85);
    }
    cairo_close_path(cr);
    TPattern fill = RadialGradient(-r * 0.3, -r * 0.3, 0, 0, 0, r,
                                   {{0, Rgb(0xFFF6C0)}, {0.6, Rgb(0xFFC840)}, {1, Rgb(0xE08A20)}});
    SetSource(cr, fill);
    cairo_fill_preserve(cr);
    SetSource(cr, Rgb(0x7A3A0C));
    cairo_set_line_width(cr, std::max(0.6, r * 0.18));
    cairo_stroke(cr);
}

int PointsOfFrame(int index) {
    if (index < 25) return -250 + index * 10;
    if (index < 50) return (index - 24) * 10;
    return 500;
}

void ArtPoints(cairo_t* cr, const TFrame& frame) {
    const int value = PointsOfFrame(frame.Index);
    const std::string text = (value > 0 ? "+" : "") + std::to_string(value);
    const TFont font{"DejaVu Sans", 16, true};
    const cairo_text_extents_t e = MeasureText(cr, font, text);
    const double baseline = frame.H / 2 - e.y_bearing - e.height / 2;
    if (value < 0)
        GoldenText(cr, font, text, frame.W / 2, baseline, 2.2, Rgb(0xFFB0A0), Rgb(0xE0100A));
    else if (value == 500)
        GoldenText(cr, font, text, frame.W / 2, baseline, 2.2, Rgb(0xE8FFB0), Rgb(0x30C010));
    else
        GoldenText(cr, font, text, frame.W / 2, baseline, 2.2, GoldTop, GoldBottom);
}

// ---------------------------------------------------------------------------------------------
// The count-down shown when play starts.

void ArtIntro(cairo_t* cr, const TFrame& frame) {
    const double w = frame.W, h = frame.H;
    static const std::array<const char*, 7> words = {"FERTIG?", "3",    "2",   "1",
                                                     "LOS!",    "LOS!", "LOS!"};
    const bool go = frame.Index >= 4;
    TPattern sky =
        RadialGradient(w / 2, h * 0.45, 0, w / 2, h * 0.45, w * 0.6,
                       go ? std::initializer_list<TStop>{{0, Rgb(0xFFF6B0)},
                                                         {0.4, Rgb(0xFFC030)},
                                                         {1, Rgb(0xF05A10)}}
                          : std::initializer_list<TStop>{
                                {0, Rgb(0xFFE47E)}, {0.4, Rgb(0xFFAE40)}, {1, Rgb(0xD8361A)}});
    SetSource(cr, sky);
    cairo_paint(cr);
    Sunburst(cr, w / 2, h * 0.45, w, 24, frame.Index * 0.06, Rgb(0xFFFFFF, go ? 0.35 : 0.22));
    // Chips and peppers flying out from the centre, further each image.
    TRandom random(99);
    for (int i = 0; i < 14; ++i) {
        const double a = random.Uniform(0, 2 * Pi);
        const double d = random.Uniform(0.45, 0.95) * (0.75 + frame.Index * 0.06);
        const double x = w / 2 + std::cos(a) * d * w * 0.55;
        const double y = h * 0.45 + std::sin(a) * d * h * 0.6;
        const double spin = random.Uniform(0, 2 * Pi) + frame.Index * 0.3;
        if (i % 4 == 3)
            DrawPepper(cr, x, y, 60, spin);
        else
            DrawChip(cr, x, y, 26, spin, 40 + i);
    }
    // The bag and its two pushers waiting at the bottom.
    DrawSnackBag(cr, w / 2, h - 62, 110, 124);
    DrawMascot(cr, w / 2 - 55 - MascotReach(90) + 3, h - 6, 90, true, LeftCap);
    DrawMascot(cr, w / 2 + 55 + MascotReach(90) - 3, h - 6, 90, false, RightCap);
    const double grow = go ? 0.7 + 0.15 * (frame.Index - 4) : 1.0;
    const double size = (std::string(words[frame.Index]).size() > 4 ? 96 : 150) * grow;
    DrawTitleWord(cr, words[frame.Index], w / 2, h * 0.45 + size * 0.36, size, 1.0);
}

} // namespace assetgen
