#include "game/scoreunit.h"

#include "gamelib/DDUtil.h"
#include "gamelib/SpriteUnit.h"
#include "gamelib/frmDDFullScreen.h"
#include "gamelib/printtextunit.h"
#include "gamelib/vrDSound.h"
#include "platform/canvas.h"
#include "platform/clock.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <algorithm>
#include <exception>

std::unique_ptr<TAnzeige> Anzeige;

namespace {

// Glides: homing divisor 200 with the usual smoothing.
constexpr float GlideHomingDivisor = 200.0f;
constexpr int32_t SpriteTextAdvanceBanner = 33;
constexpr int32_t SpriteTextAdvanceNumbers = 35;
constexpr uint32_t ColorWhite = 0xFFFFFF;     // 0x00BBGGRR
constexpr uint32_t ColorEditing = 0x0000FF;   // red
constexpr uint32_t ColorHighscore = 0x080808; // very dark grey
constexpr int32_t GameOverDelay = 350;        // updates after a loss before the end

float Depth() {
    return float(FocalLength);
}

void Place(TRBob& body, float x, float y, float z) {
    body.SetX(x);
    body.SetY(y);
    body.SetZ(z);
}

void Target(TRBob& body, float x, float y, float z) {
    body.HomeX = x;
    body.HomeY = y;
    body.HomeZ = z;
}

void Glide(TRBob& body) {
    body.Home();
    body.Move();
}

TBob* AddPart(TRBob& body, const std::string& name, float offsetX, float offsetY, bool flat,
              int32_t layer) {
    const int32_t number = body.AddBobByName(name, 0, -1, offsetX, offsetY, 0);
    TBob* bob = body.Members[size_t(number - 1)].Bob;
    bob->Flat = flat;
    bob->Layer = layer;
    return bob;
}

// The surface and rectangle of an object's first image; the display's text fields are sheets
// of their own.
const TSprite& FirstImage(int32_t object) {
    return Sprites[size_t(GetSprite(object, 0, 0))];
}

const PDirectDrawSurface& SurfaceOf(const TSprite& sprite) {
    return SurfaceTable[size_t(sprite.Surface)].Surface;
}

void ClearImage(const TSprite& sprite) {
    Colorfill(SurfaceOf(sprite), sprite.X, sprite.Y, sprite.W, sprite.H, 0);
}

void PrintKorvald(const std::string& text, const std::string& target, int32_t advance) {
    PrintSpriteText(text, GetAnimation(target), 0, 0, SpriteAlignCentre, advance, KorvaldCharset,
                    GetAnimation("Korvald_font"));
}

std::string TrimmedText(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

THighscoreEntry& EntryOf(int32_t place) {
    return Env.Highscores[size_t(place - 1)];
}

// A banner gliding through the picture at twice the screen's depth, the start banner and the
// whole-wave banner alike: in from the left to the middle, 3 s there, then off to the right for
// 1 s. State 0 starts it; true in the update it has gone (state 4).
bool GlideThrough(TRBob& banner, int32_t& state, int32_t& timer) {
    const float w = banner.Members[0].Bob->Width;
    switch (state) {
    case 0:
        Place(banner, 2 * (-400 - w / 2), 0, -2 * Depth());
        Target(banner, 0, 0, -2 * Depth());
        timer = 150;
        state = 1;
        break;
    case 1:
        if (--timer == 0) state = 2;
        break;
    case 2:
        banner.HomeX = 2 * (w / 2 + 400 + 1000);
        timer = 50;
        state = 3;
        break;
    case 3:
        if (--timer == 0) {
            state = 4;
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}

// The table's lines one after another, one every sixth update: the number of the line whose
// turn it is, 0 in between.
int32_t NextLine(int32_t& timer) {
    return ++timer % 6 == 0 ? timer / 6 : 0;
}

} // namespace

// --- clock and score -------------------------------------------------------------------------

TScoretime::TScoretime() {
    AddPart(*this, "time", 0, 0, true, 1);
    AddPart(*this, "LeerZeit", 0, 1100, true, 1);
    AddPart(*this, "bigtimefeld", 6000, 5200, true, 0);
    HomingDivisor = GlideHomingDivisor;
    // A world unit at 20 D is 1/20 pixel: the label sits 300 left of and 260 above the centre.
    Place(*this, -6000, -5200, -20 * Depth());
    Target(*this, X, Y, Z);
    SetVisible(false);
}

void TScoretime::Redraw() {
    const bool big = TimeLeft <= 10;
    // A hidden clock stays hidden; only its own parts switch.
    Label()->Visible = Visible && !big;
    Field()->Visible = Visible && !big;
    BigField()->Visible = Visible && big;
    if (big)
        PrintNumber(TimeLeft, 0, GetAnimation("bigtimefeld"), 0, SpriteAlignCentre,
                    GetAnimation("bignumbers"));
    else
        PrintKorvald(std::to_string(TimeLeft), "leerzeit", SpriteTextAdvanceNumbers);
}

TScorepoints::TScorepoints() {
    AddPart(*this, "score", 0, 0, true, 1);
    AddPart(*this, "LeerPoints", 0, 1100, true, 1);
    HomingDivisor = GlideHomingDivisor;
    Place(*this, 5000, -5200, -20 * Depth());
    Target(*this, X, Y, Z);
    SetVisible(false);
}

void TScorepoints::Redraw() {
    PrintKorvald(std::to_string(Score), "leerpoints", SpriteTextAdvanceNumbers);
}

// --- game-over picture ------------------------------------------------------------------------

TScoreGameover::TScoreGameover() {
    AddPart(*this, "Gameover", 0, 0, false, 0);
    HomingDivisor = GlideHomingDivisor;
    Place(*this, 0, 0, 0);
    Target(*this, 0, 0, -Depth() - 20);
    SetVisible(false);
}

void TScoreGameover::Step(TAnzeige& anzeige) {
    if (Visible) Glide(*this);
    if (!anzeige.LostState) return;
    ++Count;
    if (Count == 1) {
        SetVisible(true);
        anzeige.PlaySound("Back", TSoundCue::Stop);
        anzeige.PlaySound("verloren");
    }
    if (Count == 50) anzeige.Helpfeld->Hide();
}

// --- help lines -------------------------------------------------------------------------------

Thelpfeld::Thelpfeld() {
    AddPart(*this, "helpfeld", 0, 0, false, 10);
    HomingDivisor = GlideHomingDivisor;
    Place(*this, 0, 220, -Depth());
    Target(*this, X, Y, Z);
    SetVisible(false);
    // Text drawn for the first time waits milliseconds for its glyphs: the help lines are drawn
    // once now, while the level is set up, so that no update of play waits for them.
    for (const char* line : HelpLines)
        DrawLine(line);
    ClearImage(FirstImage(GetAnimation("helpfeld")));
}

void Thelpfeld::DrawLine(const std::string& line) {
    const TSprite& image = FirstImage(GetAnimation("helpfeld"));
    ClearImage(image);
    PrintText(350, 0, line, SurfaceOf(image), fsBold, 24, "Arial", 1, ColorWhite, TextAlignTop,
              TextAlignCentre);
}

void Thelpfeld::Step() {
    if (Delay >= 1) {
        --Delay;
    } else if (Visible) {
        ++Count;
        const int32_t t = Count - 1;
        if (t < 85)
            Part()->Alpha = uint8_t(3 * Count);
        else if (t < 300)
            Part()->Alpha = 255;
        else if (t < 386)
            Part()->Alpha = uint8_t(3 * (386 - Count));
        if (t == 499) {
            Count = 0;
            SetVisible(false);
        }
    } else if (LineCount > 0) {
        const std::string line = Lines[0];
        std::move(Lines.begin() + 1, Lines.begin() + LineCount, Lines.begin());
        --LineCount;
        ShowLine(line);
    }
}

void Thelpfeld::Queue(const std::string& line) {
    if (LineCount < HelpLineRoom) Lines[size_t(LineCount++)] = line;
}

void Thelpfeld::ShowLine(const std::string& line) {
    DrawLine(line);
    SetVisible(true);
    Count = 0;
    Part()->Alpha = 0;
}

void Thelpfeld::Hide() {
    LineCount = 0;
    SetVisible(false);
    Delay = 0;
}

// --- banners ----------------------------------------------------------------------------------

Tpressbutton::Tpressbutton() {
    AddPart(*this, "buttontostart", 0, 0, true, 0);
    HomingDivisor = GlideHomingDivisor;
    PrintKorvald("PRESS BUTTON TO START", "buttontostart", SpriteTextAdvanceBanner);
    SetVisible(false);
}

Tganzewelle::Tganzewelle() {
    AddPart(*this, "ganzewelle", 0, 0, true, 0);
    HomingDivisor = GlideHomingDivisor;
    PrintKorvald("1000 EXTRAPUNKTE!", "ganzewelle", SpriteTextAdvanceBanner);
    SetVisible(false);
}

void Tganzewelle::Step() {
    if (GlideThrough(*this, State, Timer)) SetVisible(false);
}

void Tganzewelle::Restart() {
    State = 0;
    SetVisible(true);
}

// --- title ------------------------------------------------------------------------------------

Ttitle::Ttitle() {
    AddPart(*this, "playandwin", 0, -2460, true, 0);
    AddPart(*this, "title", 0, -1860, true, 0);
    TBob* intro = AddPart(*this, "intro", 0, 0, true, 0);
    AddPart(*this, "vrexlogo", 2520, 2640, true, 0);
    HomingDivisor = GlideHomingDivisor;
    Place(*this, 0, 0, -10 * Depth());
    Target(*this, X, Y, Z);
    intro->Visible = false;
    intro->Transparent = false;
}

void Ttitle::Step(TAnzeige& anzeige) {
    Animate();
    if (Intro()->Visible && Intro()->Animation == 1) SetVisible(false);
    if (!Playandwin()->Visible) return;

    Tpressbutton& banner = *anzeige.Pressbutton;
    if (State <= 3) {
        if (State == 0) banner.SetVisible(true);
        if (!GlideThrough(banner, State, Timer)) return;
        // The banner has gone: the table stands ready to the left, hidden.
        for (int32_t i = 1; i <= HSEntryCount; ++i) {
            THSEntry& line = *anzeige.HSEntries[size_t(i - 1)];
            const float w = line.Members[0].Bob->Width;
            line.Redraw();
            Place(line, -400 - w / 2, float((i - 1) * 28 - 90), -Depth());
            Target(line, 0, line.Y, line.Z);
            line.SetVisible(false);
        }
        return;
    }
    switch (State) {
    case 4:
        if (const int32_t i = NextLine(Timer)) {
            anzeige.HSEntries[size_t(i - 1)]->SetVisible(true);
            if (i == HSEntryCount) {
                Timer = 250;
                State = 5;
            }
        }
        break;
    case 5:
        if (--Timer == 0) State = 6;
        break;
    case 6:
        if (const int32_t i = NextLine(Timer)) {
            THSEntry& line = *anzeige.HSEntries[size_t(i - 1)];
            line.HomeX = line.Members[0].Bob->Width / 2 + 400 + 1000;
            if (i == HSEntryCount) {
                Timer = 50;
                State = 7;
            }
        }
        break;
    case 7:
        if (--Timer == 0) {
            for (auto& line : anzeige.HSEntries)
                line->SetVisible(false);
            State = 0;
        }
        break;
    default:
        break;
    }
}

// --- dancers ----------------------------------------------------------------------------------

Tdancer::Tdancer(int32_t number) {
    // Mirrored around the middle one: 1 and 7, 2 and 6, 3 and 5 dance alike.
    const int32_t kind = std::min(number, DancerCount + 1 - number);
    AddPart(*this, "snackortanz0" + std::to_string(kind), 0, 0, false, 0);
    HomingDivisor = GlideHomingDivisor;
    Place(*this, float((number - 1) * 100 - 300), 250, -Depth());
    Target(*this, X, Y, Z);
}

// --- highscore lines --------------------------------------------------------------------------

THSEntry::THSEntry(int32_t place) : Place(place) {
    AddPart(*this, "hsleerfeld" + std::to_string(place), 0, 0, false, 1);
    HomingDivisor = GlideHomingDivisor;
    SetZ(-Depth() / 10);
    Target(*this, X, Y, Z);
    SetVisible(false);
}

void THSEntry::Redraw() {
    const TSprite& image = FirstImage(GetAnimation("hsleerfeld" + std::to_string(Place)));
    const PDirectDrawSurface& surface = SurfaceOf(image);
    ClearImage(image);
    const THighscoreEntry& entry = EntryOf(Place);
    const uint32_t color = Editing ? ColorEditing : ColorHighscore;
    const uint32_t style = fsBold | fsItalic;
    PrintText(45, 0, std::to_string(Place), surface, style, 24, "Arial", 1, color, TextAlignTop,
              TextAlignEnd);
    PrintTextEx(55, 0, AnsiToUtf8(entry.Name.Get()), surface, style, 24, "Arial", 1, color,
                TextAlignTop, TextAlignStart, 0, 0, 100, 0);
    if (entry.Score > EmptyHighscore)
        PrintText(350, 0, IntToStrZero(entry.Score, 4), surface, style, 24, "Arial", 1, color,
                  TextAlignTop, TextAlignEnd);
}

void THSEntry::Blink() {
    std::string name = EntryOf(Place).Name.Get();
    // A name cut back below the cursor is filled up to it, so the cursor always has a place.
    if (int32_t(name.size()) < Cursor) name.resize(size_t(Cursor), ' ');
    const int32_t count = BlinkCount;
    BlinkCount = BlinkCount >= 100 ? 0 : BlinkCount + 1;
    EntryOf(Place).Name.Set(name);
    if (count != 0 && count != 50) return;
    name[size_t(Cursor - 1)] = count == 0 ? ' ' : '_';
    EntryOf(Place).Name.Set(name);
    TrimHighscoreNames();
    Redraw();
}

// --- the display ------------------------------------------------------------------------------

TAnzeige::TAnzeige() {
    Title = std::make_unique<Ttitle>();
    Pressbutton = std::make_unique<Tpressbutton>();
    Ganzewelle = std::make_unique<Tganzewelle>();
    Helpfeld = std::make_unique<Thelpfeld>();
    Scoretime = std::make_unique<TScoretime>();
    Scorepoints = std::make_unique<TScorepoints>();
    Gameover = std::make_unique<TScoreGameover>();
    for (int32_t i = 1; i <= DancerCount; ++i)
        Dancers[size_t(i - 1)] = std::make_unique<Tdancer>(i);
    for (int32_t i = 1; i <= HSEntryCount; ++i)
        HSEntries[size_t(i - 1)] = std::make_unique<THSEntry>(i);
}

void TAnzeige::Animate() {
    int32_t step = 0;
    try {
        Helpfeld->Step();
        Gameover->Step(*this);
        Title->Step(*this);
        step = 1;
        if (Pressbutton->Visible) Glide(*Pressbutton);
        step = 2;
        for (auto& dancer : Dancers)
            if (dancer->Visible) dancer->Animate();
        step = 3;
        if (Ganzewelle->Visible) {
            Ganzewelle->Step();
            Glide(*Ganzewelle);
        }
        step = 4;
        for (auto& line : HSEntries) {
            if (line->Visible) Glide(*line);
            if (line->Editing) line->Blink();
        }
        step = 5;
        ClockStep();
        step = 6;
        if (TimeUp || (LostState && Gameover->Count > GameOverDelay)) EndStep();
        step = 7;
    } catch (const std::exception&) {
        WriteLog("anzeige.animate: step(" + std::to_string(step) + ") ;");
        throw;
    }
}

void TAnzeige::ClockStep() {
    if (!(Host.GameRunning && *Host.GameRunning) || LostState) return;
    if (++TickCount < UpdatesPerSecond) return;
    TickCount = 0;
    if (Scoretime->TimeLeft > 0) {
        --Scoretime->TimeLeft;
        if (Scoretime->TimeLeft <= 10) PlaySound("bigtime");
        if (Scoretime->TimeLeft == 0) {
            TimeUp = true;
            Scorepoints->Redraw();
            Helpfeld->Hide();
        }
    }
    Scoretime->Redraw();
}

void TAnzeige::EndStep() {
    if (EndCount == 0) {
        Scoretime->SetVisible(false);
        Gameover->SetVisible(false);
        if (Host.StopEnemies) Host.StopEnemies();
        if (Host.HidePointers) Host.HidePointers();
        if (Host.HidePieces) Host.HidePieces();
        Rank = InsertHighscore(Scorepoints->Score);
        if (Rank > 0) {
            const std::string record = DisguisedGameRecord();
            // The records follow their entries down the list, as the scores did.
            for (int32_t place = HSEntryCount; place > Rank; --place)
                Env.GameRecords[size_t(place - 1)] = Env.GameRecords[size_t(place - 2)];
            EntryOf(Rank).Name = Env.LastPlayerName;
            Env.GameRecords[size_t(Rank - 1)].Set(record);
        }
        PlaySound("Back", TSoundCue::Stop);
    }
    ++EndCount;
    int32_t k = 0;
    if (TimeUp) {
        if (Rank > 0) {
            k = EndCount - 25;
            for (auto& dancer : Dancers)
                dancer->SetVisible(true);
        } else {
            SetFlag(Host.GameWon, true);
            SetFlag(Host.GameRunning, false);
            SetFlag(Host.Continue, true);
        }
    } else {
        if (Rank > 0) {
            k = EndCount + 5;
        } else {
            SetFlag(Host.GameLost, true);
            SetFlag(Host.GameRunning, false);
            SetFlag(Host.Continue, true);
        }
    }
    if (k <= 0 || k % 6 != 0 || k / 6 > HSEntryCount) return;
    const int32_t i = k / 6;
    THSEntry& line = *HSEntries[size_t(i - 1)];
    if (i == Rank) {
        line.Editing = true;
        line.Cursor = int32_t(EntryOf(i).Name.Get().size()) + 1;
        line.BlinkCount = 0;
    }
    line.Redraw();
    Place(line, i % 2 == 1 ? -700.0f : 700.0f, 0, -Depth());
    Target(line, 0, float((i - 1) * 28 - 90), -Depth());
    line.SetVisible(true);
    PlaySound("bigtime");
    if (i == 1) PlaySound("highscore");
    if (i == HSEntryCount) PlaySound("Track 30", TSoundCue::Loop);
}

std::string TAnzeige::DisguisedGameRecord() {
    TGameStatistics statistics = Host.Statistics ? Host.Statistics() : TGameStatistics();
    const uint32_t start = Host.StartTick ? *Host.StartTick : 0;
    const uint32_t paused = Host.PausedTime ? *Host.PausedTime : 0;
    // Unsigned, so a tick counter that wrapped during the game still gives the right span.
    statistics.SecondsPlayed = int32_t((GetTickCount() - start - paused) / 1000);
    statistics.PauseCount = Host.PauseCount ? *Host.PauseCount : 0;
    return DisguiseGameRecord(GameRecordDigits(MakeGameRecord(statistics)),
                              [](int n) { return int(Random(uint32_t(n))); });
}

void TAnzeige::StartGame() {
    Helpfeld->Hide();
    Helpfeld->Delay = 100;
    for (const char* line : HelpLines)
        Helpfeld->Queue(line);
    Scoretime->SetVisible(true);
    Scoretime->Redraw();
    // The field is a sheet that outlives the display: without a redraw it would show the last
    // game's score until the first points.
    Scorepoints->Redraw();
    Scorepoints->SetVisible(true);
    Title->Playandwin()->Visible = false;
    Title->TitlePart()->Visible = false;
    Title->Logo()->Visible = false;
    Title->Intro()->Visible = true;
    Title->Intro()->RestartAnimation(0);
    Title->Intro()->SetFollowUp(1);
    Pressbutton->SetVisible(false);
    for (auto& line : HSEntries)
        line->SetVisible(false);
    for (auto& dancer : Dancers)
        dancer->SetVisible(false);
}

THSEntry* TAnzeige::EditedLine() const {
    for (const auto& line : HSEntries)
        if (line->Editing) return line.get();
    return nullptr;
}

bool TAnzeige::Editing() const {
    return EditedLine() != nullptr;
}

void TAnzeige::KeyPress(char key) {
    THSEntry* line = EditedLine();
    if (!line) return;
    THighscoreEntry& entry = EntryOf(line->Place);
    std::string name = entry.Name.Get();
    bool finished = false;
    if (key == 8) {
        if (line->Cursor > 1) {
            --line->Cursor;
            name = name.substr(0, size_t(line->Cursor - 1)) + "_";
        }
        PlaySound("tapp");
    } else if (key == 13 || key == 27) {
        name = TrimmedText(name);
        if (!name.empty() && name.back() == '_') name.pop_back();
        name = TrimmedText(name);
        Env.LastPlayerName.Set(name);
        line->Editing = false;
        finished = true;
    } else if (static_cast<unsigned char>(key) >= ' ') {
        // Control characters have no place in a name.
        name.resize(size_t(line->Cursor - 1), ' ');
        name += key;
        name += '_';
        ++line->Cursor;
        PlaySound("tipp");
    } else {
        return;
    }
    entry.Name.Set(name);
    TrimHighscoreNames();
    line->Cursor = std::min(line->Cursor, 11);
    line->Redraw();
    if (!finished) return;
    SetFlag(Host.GameRunning, false);
    SetFlag(TimeUp ? Host.GameWon : Host.GameLost, true);
    SetFlag(Host.Continue, true);
    SaveEnv();
}

void TAnzeige::HideHelp() {
    Helpfeld->Hide();
}

void TAnzeige::AddPoints(int32_t points) {
    Scorepoints->Score += points;
    Scorepoints->Redraw();
}

void TAnzeige::ShowWaveBanner() {
    Ganzewelle->Restart();
}

void TAnzeige::SetLost() {
    LostState = true;
    TimeUp = false;
    Gameover->Count = 0;
}

void TAnzeige::PlaySound(const std::string& name, TSoundCue cue) {
    if (Host.Sound) {
        Host.Sound(name, cue);
        return;
    }
    if (!SoundEngine) return;
    TvrDSoundFile& sound = SoundEngine->Find(name);
    switch (cue) {
    case TSoundCue::Play:
        sound.Play();
        break;
    case TSoundCue::Stop:
        sound.Stop();
        break;
    case TSoundCue::Loop:
        sound.Loop = true;
        sound.Play(); // Play starts from the beginning
        break;
    }
}

void TAnzeige::SetFlag(bool* flag, bool value) {
    if (flag) *flag = value;
}
