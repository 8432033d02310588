#pragma once
// The game record: the statistics of a game that reached the highscore list, as 55 decimal
// digits kept beside the entry and sent unchanged with a publication. It is stored disguised:
// each digit becomes a letter drawn at random from the digit's own set of letters, and the 55
// letters are then reordered by a fixed permutation. Standard library only, so that the game,
// the tool and the score server share exactly this unit.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The figures of one game as the game counts them.
struct TGameStatistics {
    int32_t SecondsPlayed = 0; // play time without the pauses
    int32_t ShotsFired = 0;
    int32_t WavesCompleted = 0;
    int32_t PauseCount = 0;
    std::array<int32_t, 7> Started{}; // enemies started, by kind 1..6 (entry 0 unused)
    std::array<int32_t, 7> Hits{};    // hits, by kind 1..6
    // Pieces spawned and caught, of chips and peppers, at level 0 and at the higher levels.
    int32_t ChipSpawned0 = 0, ChipCaught0 = 0, PepperSpawned0 = 0, PepperCaught0 = 0;
    int32_t ChipSpawnedHigher = 0, ChipCaughtHigher = 0, PepperSpawnedHigher = 0,
            PepperCaughtHigher = 0;
};

// What a record holds: every figure as the absolute value modulo 10 to the width of its field.
struct TGameRecord {
    int32_t SecondsOver50 = 0; // seconds played - 50; 99 for fewer than 50 seconds
    int32_t ShotsHundreds = 0; // the hundreds digit of the shots fired
    int32_t WavesCompleted = 0;
    int32_t PauseCount = 0;
    int32_t Started1 = 0, Hits1 = 0, Started3 = 0, Hits3 = 0;
    int32_t Started2 = 0, Hits2 = 0, Started4 = 0, Hits4 = 0;
    int32_t Started5 = 0, Hits5 = 0, Started6 = 0, Hits6 = 0;
    int32_t ChipSpawned0 = 0, ChipCaught0 = 0, PepperSpawned0 = 0, PepperCaught0 = 0;
    int32_t ChipSpawnedHigher = 0, ChipCaughtHigher = 0, PepperSpawnedHigher = 0,
            PepperCaughtHigher = 0;

    bool operator==(const TGameRecord&) const = default;
};

struct TGameRecordField {
    std::string_view Name;
    int Width; // digits
    int32_t TGameRecord::*Value;
};

// The fields in the order of the digits.
inline constexpr std::array<TGameRecordField, 24> GameRecordLayout = {{
    {"SecondsOver50", 2, &TGameRecord::SecondsOver50},
    {"ShotsHundreds", 1, &TGameRecord::ShotsHundreds},
    {"WavesCompleted", 2, &TGameRecord::WavesCompleted},
    {"PauseCount", 2, &TGameRecord::PauseCount},
    {"Started1", 3, &TGameRecord::Started1},
    {"Hits1", 3, &TGameRecord::Hits1},
    {"Started3", 3, &TGameRecord::Started3},
    {"Hits3", 3, &TGameRecord::Hits3},
    {"Started2", 1, &TGameRecord::Started2},
    {"Hits2", 1, &TGameRecord::Hits2},
    {"Started4", 1, &TGameRecord::Started4},
    {"Hits4", 1, &TGameRecord::Hits4},
    {"Started5", 1, &TGameRecord::Started5},
    {"Hits5", 1, &TGameRecord::Hits5},
    {"Started6", 1, &TGameRecord::Started6},
    {"Hits6", 1, &TGameRecord::Hits6},
    {"ChipSpawned0", 3, &TGameRecord::ChipSpawned0},
    {"ChipCaught0", 3, &TGameRecord::ChipCaught0},
    {"PepperSpawned0", 3, &TGameRecord::PepperSpawned0},
    {"PepperCaught0", 3, &TGameRecord::PepperCaught0},
    {"ChipSpawnedHigher", 4, &TGameRecord::ChipSpawnedHigher},
    {"ChipCaughtHigher", 4, &TGameRecord::ChipCaughtHigher},
    {"PepperSpawnedHigher", 4, &TGameRecord::PepperSpawnedHigher},
    {"PepperCaughtHigher", 4, &TGameRecord::PepperCaughtHigher},
}};

inline constexpr size_t GameRecordLength = 55;

// Each figure reduced to its field.
TGameRecord MakeGameRecord(const TGameStatistics& statistics);
// The 55 digits, every field zero-padded to its width.
std::string GameRecordDigits(const TGameRecord& record);
// Nothing unless the text is exactly 55 decimal digits.
std::optional<TGameRecord> ParseGameRecordDigits(std::string_view digits);

// Draws a number 0 .. n - 1; the program passes its own seeded generator.
using TGameRecordRandom = std::function<int(int n)>;
// The 55 letters that stand for the 55 digits; throws std::invalid_argument for anything but
// 55 decimal digits.
std::string DisguiseGameRecord(std::string_view digits, const TGameRecordRandom& random);
// The 55 digits behind a disguised record; nothing when the text is not 55 letters of the
// disguise (blanks around it are allowed, as the publishing record pads empty fields).
std::optional<std::string> RevealGameRecord(std::string_view text);

// The highest score the recorded game can have reached: 100 for each chip piece and 200 for
// each pepper piece caught, 1000 for each completed wave, less 1000 for each pause. Exact while
// no count has outgrown its field.
int64_t GameRecordScoreBound(const TGameRecord& record);
// Seconds played; nothing for fewer than 50.
std::optional<int32_t> GameRecordSeconds(const TGameRecord& record);
// Hits on enemies of every kind.
int32_t GameRecordHits(const TGameRecord& record);
