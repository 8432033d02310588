#include "game/SpermUnit.h"

#include "gamelib/DDUtil.h"
#include "gamelib/SpriteUnit.h"
#include "gamelib/frmDDFullScreen.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string_view>

std::unique_ptr<TSpermien> Spermien;

const std::array<TSpermKind, SpermKindCount + 1> SpermKinds = {{
    {"", "", false, 0},
    {"chip1", "chip1a", false, 1},
    {"umdreh", "dreieck03", false, 5},
    {"pepper1", "pepper1a", false, 50},
    {"dauerfeuer", "dreieck05", false, 36},
    {"doppelbreit", "doppelbreit", false, 25},
    {"explode", "dreieck", false, 3},
}};

namespace {

// The 18 statements of a level script.
enum TOrder {
    oSpeed,
    oBob,
    oMiddlePosition,
    oGap,
    oBobSpeed,
    oBobSpeedStep,
    oFormation,
    oEnd,
    oBobProbability,
    oBobFreePos,
    oBobFuzzyTime,
    oOrigin,
    oCurveT,
    oCurveH,
    oBobDelayTime,
    oBobVisibleTime,
    oWaveBegin,
    oWaveEnd,
    oNone
};

constexpr std::array<std::string_view, 18> Keywords = {
    "speed",          "bob",          "middleposition", "gap",
    "bobspeed",       "bobspeedstep", "formation",      "end",
    "bobprobability", "bobfreepos",   "bobfuzzytime",   "origin",
    "curvet",         "curveh",       "bobdelaytime",   "bobvisibletime",
    "wavebegin",      "waveend"};

std::string Trim(std::string_view s) {
    size_t begin = 0, end = s.size();
    while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ')
        --end;
    return std::string(s.substr(begin, end - begin));
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool ParseInt(std::string_view text, int32_t& value) {
    const std::string s = Trim(text);
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (first != last && *first == '+') ++first;
    if (first == last) return false;
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last;
}

int32_t StrToInt(const std::string& text) {
    int32_t value = 0;
    if (!ParseInt(text, value)) throw EConvertError("'" + text + "' ist kein gültiger Integerwert");
    return value;
}

std::string FloatText(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

double D() {
    return FocalLength;
}

} // namespace

// ---- TSperm ---------------------------------------------------------------------------------

TSperm::TSperm(TSpermien& owner) : FOwner(owner) {
    AddBobByName("chip1a", 0, -1, 0, 0, 0);
    SetVisible(false);
    SmoothingDivisor = 1.0f;
    HomeStep = {};
    SmoothedStep = {};
}

void TSperm::Start(int32_t object, double speed, double p, char origin, double curveTime,
                   double curveRate, int32_t visibleTime, int32_t wave) {
    VisibleCounter = visibleTime;
    Wave = wave;
    if (Wave >= 0) ++FOwner.AliveCount[size_t(Wave)];
    CurveTime = int32_t(std::nearbyint(std::clamp(curveTime, -1e9, 1e9)));
    CurveRate = curveRate / 1000.0;
    CurveStep = 0;
    SmoothedStep = {};
    HomeStep = {};
    Part().SetObjectAnimation(object, 0);
    Kind = FOwner.KindOfObject(object);
    if (Kind != skNone) ++FOwner.Statistics.Started[size_t(Kind)];
    EscapeLoses = SpermKinds[size_t(Kind)].EscapeLoses;
    SetVisible(true);
    SetZ(float(-D()));
    Gone = false;
    const double w = Width(), h = Height();
    switch (origin) {
    case 'l':
        SmoothedStep[0] = float(speed);
        SetX(float(-400 - w / 2));
        SetY(float(p));
        break;
    case 'r':
        SmoothedStep[0] = float(-speed);
        SetX(float(400 + w / 2));
        SetY(float(p));
        break;
    case 'o':
        SmoothedStep[1] = float(speed);
        SetY(float(-300 - h / 2));
        SetX(float(p));
        break;
    case 'u':
        SmoothedStep[1] = float(-speed);
        SetY(float(300 + h / 2));
        SetX(float(p));
        break;
    case 'x':
        SetX(float(int32_t(Random(800)) - 400));
        SetY(float(int32_t(Random(600)) - 300));
        break;
    default:
        break;
    }
}

void TSperm::StepHidden() {
    if (DelayCounter > 0 && --DelayCounter == 0) {
        SetVisible(true);
        if (VisibleCounter > 0) FOwner.PlaySound("extrada", SoundPan(X, Z));
    }
    if (!FOwner.AttractMode || !(RandomFloat() < 0.0005)) return;
    // A decoration crossing the attract screen at a depth of its own.
    if (RandomFloat() < 0.8)
        Part().SetObjectAnimation(FOwner.KindObjects[RandomFloat() < 0.5 ? skChip : skPepper], 0);
    SetVisible(true);
    const double z = -D() / 2 - RandomFloat() * D();
    SetZ(float(z));
    SetX(float(-400 * (z / -D()) - (Width() / 2.0) * (-D() / z)));
    SetY(float((250 - int32_t(Random(500))) * (z / D())));
    SmoothedStep[0] = float((0.4 * RandomFloat() + 0.3) * 10);
    SmoothedStep[1] = 0;
    VisibleCounter = 0;
    CurveTime = 0;
    Gone = false;
}

void TSperm::Turn() {
    // The curve swings in over CurveTime updates and out over as many again.
    const int32_t t = CurveTime, s = CurveStep;
    double f = 1;
    if (t != 0) {
        if (s <= t)
            f = double(s) / t;
        else if (s <= 2 * t)
            f = double(2 * t - s) / t;
        else
            f = 0;
        ++CurveStep;
    }
    const double turn = CurveRate * f;
    if (turn == 0) return; // a straight flight keeps its step exactly
    const double x = SmoothedStep[0], y = SmoothedStep[1];
    double length = std::sqrt(x * x + y * y);
    double angle = 0;
    if (length < 0.0001) {
        length = 0.0001; // a standing enemy keeps a practically zero step downwards
        angle = std::numbers::pi / 2;
    } else if (std::abs(x) <= 0.0001) {
        angle = y >= 0 ? std::numbers::pi / 2 : 3 * std::numbers::pi / 2;
    } else {
        angle = std::atan2(y, x);
        if (angle < 0) angle += 2 * std::numbers::pi;
    }
    angle += turn;
    SmoothedStep[0] = float(length * std::cos(angle));
    SmoothedStep[1] = float(length * std::sin(angle));
}

void TSperm::Step() {
    Animate();
    if (!Visible) {
        StepHidden();
        return;
    }
    Turn();
    const double w = Width(), h = Height();
    if (!FOwner.AttractMode && !Gone &&
        (X - w / 2 > 400 || X + w / 2 < -400 || Y - h / 2 > 300 || Y + h / 2 < -300)) {
        // Out of the picture: it escaped, and its wave stays incomplete.
        WriteLog(FloatText(X) + "/" + FloatText(Y));
        SetVisible(false);
        Gone = true;
        const TSpermLinks& links = FOwner.Links;
        if (EscapeLoses && !(links.LostState && links.LostState()) && links.LoseByEscape)
            links.LoseByEscape();
    }
    if (VisibleCounter > 0 && --VisibleCounter == 0) {
        SetVisible(false);
        FOwner.PlaySound("extraweg", SoundPan(X, Z));
    }
    if (FOwner.AttractMode && X > 400 * (Z / -D()) + (w / 2) * (-D() / Z)) SetVisible(false);
}

// ---- TSpermien ------------------------------------------------------------------------------

TSpermien::TSpermien(const std::string& levelFile) {
    for (int32_t kind = 1; kind <= SpermKindCount; ++kind)
        KindObjects[size_t(kind)] = GetAnimation(SpermKinds[size_t(kind)].ObjectName);
    // Until the level names a kind for a letter, the letter stands for the object of its
    // place in the alphabet.
    for (int32_t letter = 0; letter < 26; ++letter)
        LetterTable[size_t(letter)] = letter + 1;
    EnterProgDir();
    for (const std::string& line : SplitLines(ReadFileBytes(levelFile)))
        Lines.push_back(DecodeText(line));
}

std::string TSpermien::LevelFileName() {
    return "SPS\\Level" + std::to_string(GameData.Level) + ".txt";
}

void TSpermien::AddSperm() {
    if (FCount >= MaxSperms) throw std::runtime_error("TSpermien.Add: Too many enemies");
    FSperms[size_t(FCount + 1)] = std::make_unique<TSperm>(*this);
    ++FCount;
}

int32_t TSpermien::KindOfObject(int32_t object) const {
    for (int32_t kind = 1; kind <= SpermKindCount; ++kind)
        if (KindObjects[size_t(kind)] == object) return kind;
    return skNone;
}

void TSpermien::PlaySound(const std::string& name, int32_t pan) const {
    if (Links.PlaySound)
        Links.PlaySound(name, pan);
    else
        PlayEngineSound(name, pan);
}

void TSpermien::Start() {
    Stop();
    if (Links.HideParticles) Links.HideParticles();
    AttractMode = false;
    ScriptLine = 0;
}

void TSpermien::Stop() {
    FormationLine = -1;
    ScriptLine = -1;
    // Delayed enemies go too, so none shows up on the attract screen after the game.
    for (int32_t slot = 1; slot <= FCount; ++slot) {
        Sperm(slot).SetVisible(false);
        Sperm(slot).DelayCounter = 0;
    }
}

void TSpermien::Move() {
    ScriptStep();
    for (int32_t slot = 1; slot <= FCount; ++slot) {
        TSperm& sperm = Sperm(slot);
        if (sperm.Visible) sperm.Move();
        sperm.Step();
    }
}

int32_t TSpermien::HitTest(float x, float y) const {
    int32_t hit = -1;
    for (int32_t slot = 1; slot <= FCount; ++slot) {
        const TSperm& sperm = Sperm(slot);
        if (!sperm.Visible) continue;
        // Position and size as seen on the plane z = -D.
        const double scale = sperm.Z / -D();
        const double cx = sperm.X / scale, cy = sperm.Y / scale;
        const double w = sperm.Width() / scale, h = sperm.Height() / scale;
        if (cx - w / 2 < x && x < cx + w / 2 && cy - h / 2 < y && y < cy + h / 2) hit = slot;
    }
    return hit;
}

void TSpermien::Kill(int32_t slot) {
    if (slot < 1 || slot > FCount) return;
    TSperm& sperm = Sperm(slot);
    sperm.SetVisible(false);
    const int32_t wave = sperm.Wave;
    if (wave < 0) return;
    sperm.Wave = -1; // counted once, however often it is killed
    if (--AliveCount[size_t(wave)] != 0 || wave == CurrentWave) return;
    if (Links.WaveBonus) Links.WaveBonus();
    ++Statistics.WavesCompleted;
    PlaySound("wavedone", 0);
}

void TSpermien::RaiseWithPosition(const std::string& message) const {
    throw ELevelError(message + "\r\n (mainpointer=" + std::to_string(ScriptLine) + ")\r\n" +
                      " (order=" + FOrder + ")\r\n" + " (value=" + FValue + ")\r\n" +
                      " (xvalue=" + FSuffix + ")\r\n");
}

void TSpermien::ScriptStep() {
    try {
        if (FormationLine != -1) {
            // A row interval of 0 or less never counts down: the formation stands still.
            if (RowCountdown > 0 && --RowCountdown == 0) ReleaseRow();
            return;
        }
        if (ScriptLine != -1) Statement();
    } catch (const std::exception& e) {
        RaiseWithPosition(e.what());
    }
}

void TSpermien::Statement() {
    while (size_t(ScriptLine) < Lines.size() && Trim(Lines[size_t(ScriptLine)]).empty())
        ++ScriptLine;
    if (size_t(ScriptLine) >= Lines.size())
        throw ELevelError("The level's script has no \"end\" line");
    const std::string line = Lower(Trim(Lines[size_t(ScriptLine)]));
    ++ScriptLine;

    TOrder order = oNone;
    size_t keywordLength = 0;
    for (size_t i = 0; i < Keywords.size(); ++i) {
        if (line.starts_with(Keywords[i]) && Keywords[i].size() > keywordLength) {
            order = TOrder(i);
            keywordLength = Keywords[i].size();
        }
    }
    if (order == oNone) return;
    FOrder = std::string(Keywords[size_t(order)]);
    const std::string rest = line.substr(keywordLength);
    const size_t equals = rest.find('=');
    if (equals != std::string::npos) {
        FSuffix = rest.substr(0, equals);
        FValue = rest.substr(equals + 1, MaxStatementValue);
    } else {
        FValue = rest.substr(0, MaxStatementValue);
    }
    const std::string value = Trim(FValue);

    switch (order) {
    case oSpeed:
        RowInterval = StrToInt(value);
        break;
    case oBob: {
        // Only the first character of the suffix names the letter.
        if (FSuffix.empty() || FSuffix[0] < 'a' || FSuffix[0] > 'z') break;
        int32_t object = -1;
        for (int32_t kind = 1; kind <= SpermKindCount; ++kind)
            if (value == SpermKinds[size_t(kind)].Name) object = KindObjects[size_t(kind)];
        LetterTable[size_t(FSuffix[0] - 'a')] = object;
        break;
    }
    case oMiddlePosition:
        MiddlePosition = StrToFloatAny(value);
        break;
    case oGap:
        Gap = StrToFloatAny(value);
        break;
    case oBobSpeed:
        BaseSpeed = StrToFloatAny(value);
        break;
    case oBobSpeedStep:
        SpeedStep = StrToFloatAny(value);
        break;
    case oFormation: {
        const int32_t n = StrToInt(value);
        const std::string label = "defineformation" + std::to_string(n);
        for (size_t i = 0; i < Lines.size(); ++i) {
            if (Lower(Lines[i]) != label) continue;
            FormationLine = int32_t(i) + 1;
            RowCountdown = 1; // the first row comes with the next update
            return;
        }
        WriteLog("Formation " + std::to_string(n) + " nicht gefunden");
        break;
    }
    case oEnd:
        ScriptLine = -1;
        break;
    case oBobProbability:
        Probability = StrToFloatAny(value);
        break;
    case oBobFreePos:
        FreePosition = value == "1";
        break;
    case oBobFuzzyTime:
        FuzzyTime = StrToInt(value);
        break;
    case oOrigin:
        if (value.size() == 1) Origin = value[0];
        break;
    case oCurveT:
        CurveTimeSetting = StrToFloatAny(value);
        break;
    case oCurveH:
        CurveRateSetting = StrToFloatAny(value);
        break;
    case oBobDelayTime:
        DelayTime = StrToInt(value);
        break;
    case oBobVisibleTime:
        VisibleTime = StrToInt(value);
        break;
    case oWaveBegin:
        if (WaveCounter >= MaxWaves)
            throw ELevelError("More than " + std::to_string(MaxWaves) + " waves in the level");
        CurrentWave = WaveCounter++;
        break;
    case oWaveEnd:
        CurrentWave = -1;
        break;
    case oNone:
        break;
    }
}

void TSpermien::ReleaseRow() {
    if (size_t(FormationLine) >= Lines.size())
        throw ELevelError("The level ends inside a formation that has no \"end\" row");
    const std::string row = Lower(Trim(Lines[size_t(FormationLine)]));
    ++FormationLine;
    if (row.starts_with("end")) {
        FormationLine = -1;
        return;
    }
    // Cells end with ";"; what follows the last one is no cell.
    std::array<std::string_view, MaxRowCells> cells;
    int32_t n = 0;
    const std::string_view text = row;
    for (size_t begin = 0, end; (end = text.find(';', begin)) != std::string_view::npos;
         begin = end + 1) {
        if (n == MaxRowCells)
            throw ELevelError("A formation row holds more than " + std::to_string(MaxRowCells) +
                              " cells (line " + std::to_string(FormationLine) + ")");
        cells[size_t(n++)] = text.substr(begin, end - begin);
    }
    for (int32_t c = 1; c <= n; ++c) {
        const std::string_view cell = cells[size_t(c - 1)];
        if (cell.size() < 2) continue; // an empty cell keeps its place
        int32_t number = 0;
        if (cell[0] < 'a' || cell[0] > 'z' || !ParseInt(cell.substr(1, 2), number)) continue;
        if (Probability >= RandomFloat()) PlaceSperm(cell[0], number, c, n);
    }
    RowCountdown = RowInterval;
}

void TSpermien::PlaceSperm(char letter, int32_t number, int32_t cell, int32_t cells) {
    TSperm* sperm = nullptr;
    for (int32_t slot = 1; slot <= FCount && !sperm; ++slot)
        if (Sperm(slot).Free()) sperm = &Sperm(slot);
    if (!sperm) return; // all 50 are busy: the cell is dropped
    double p = 0;
    if (FreePosition) {
        p = int32_t(Random(500)) - 250;
    } else {
        p = MiddlePosition - (cells / 2) * Gap + (cells % 2 == 0 ? Gap / 2 : 0) + (cell - 1) * Gap;
    }
    int32_t wave = CurrentWave;
    if (letter == 'a' && RandomFloat() < 0.05) {
        letter = 'b'; // one "a" in twenty brings a "b", outside every wave
        wave = -1;
    }
    const int32_t object = LetterTable[size_t(letter - 'a')];
    // A letter named after no kind, or beyond the script's objects, brings nothing.
    if (object < 1 || object > ObjectCount) return;
    sperm->Start(object, BaseSpeed + number * SpeedStep, p, Origin, CurveTimeSetting,
                 CurveRateSetting, VisibleTime, wave);
    if (FuzzyTime > 0 || DelayTime > 0) {
        const int64_t delay =
            (FuzzyTime > 0 ? int64_t(Random(uint32_t(FuzzyTime))) : 0) + int64_t(DelayTime);
        // A delay that comes to 0 shows the enemy at once: hidden without a delay it would be
        // lost, and its wave could never be completed.
        if (delay > 0) {
            sperm->SetVisible(false);
            sperm->DelayCounter = int32_t(std::min<int64_t>(delay, INT32_MAX));
        }
    }
}
