#include "online/GameRecord.h"

#include <stdexcept>

namespace {

// The letters that stand for each digit: ten disjoint sets covering the 52 ASCII letters.
constexpr std::array<std::string_view, 10> DigitLetters = {
    "RUCbwP", "cIlrj", "hEYSq", "ksgipd", "MNZvf", "eKGAn", "LFoWa", "DHzTO", "ByutX", "JQVxm",
};

// Letter i of a disguised record stands for digit Permutation[i].
constexpr std::array<uint8_t, GameRecordLength> Permutation = {
    15, 22, 47, 37, 5,  48, 12, 31, 40, 10, 14, 19, 30, 24, 9,  51, 35, 8,  2,
    4,  29, 54, 34, 16, 49, 39, 27, 41, 32, 17, 45, 43, 0,  50, 13, 20, 18, 46,
    11, 38, 36, 7,  3,  53, 28, 26, 42, 6,  23, 25, 33, 44, 52, 21, 1,
};

constexpr int FieldWidthSum() {
    int sum = 0;
    for (const TGameRecordField& field : GameRecordLayout)
        sum += field.Width;
    return sum;
}
static_assert(size_t(FieldWidthSum()) == GameRecordLength);

constexpr bool IsPermutation() {
    std::array<bool, GameRecordLength> seen{};
    for (const uint8_t p : Permutation) {
        if (p >= GameRecordLength || seen[p]) return false;
        seen[p] = true;
    }
    return true;
}
static_assert(IsPermutation());

constexpr bool LettersDisjoint() {
    std::array<int, 128> owner{};
    for (size_t d = 0; d < DigitLetters.size(); ++d)
        for (const char c : DigitLetters[d]) {
            const auto code = static_cast<unsigned char>(c);
            if (code >= 128 || owner[code] != 0) return false;
            owner[code] = int(d) + 1;
        }
    return true;
}
static_assert(LettersDisjoint());

int32_t Power10(int width) {
    int32_t p = 1;
    for (int i = 0; i < width; ++i)
        p *= 10;
    return p;
}

int32_t Reduce(int64_t figure, int width) {
    const int64_t magnitude = figure < 0 ? -figure : figure;
    return static_cast<int32_t>(magnitude % Power10(width));
}

// The digit a letter stands for, or -1.
int DigitOf(char c) {
    for (size_t d = 0; d < DigitLetters.size(); ++d)
        if (DigitLetters[d].find(c) != std::string_view::npos) return int(d);
    return -1;
}

bool AllDigits(std::string_view text) {
    if (text.size() != GameRecordLength) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

} // namespace

TGameRecord MakeGameRecord(const TGameStatistics& s) {
    TGameRecord r;
    r.SecondsOver50 = s.SecondsPlayed < 50 ? 99 : Reduce(int64_t(s.SecondsPlayed) - 50, 2);
    r.ShotsHundreds = Reduce(s.ShotsFired, 3) / 100;
    r.WavesCompleted = Reduce(s.WavesCompleted, 2);
    r.PauseCount = Reduce(s.PauseCount, 2);
    r.Started1 = Reduce(s.Started[1], 3);
    r.Hits1 = Reduce(s.Hits[1], 3);
    r.Started3 = Reduce(s.Started[3], 3);
    r.Hits3 = Reduce(s.Hits[3], 3);
    r.Started2 = Reduce(s.Started[2], 1);
    r.Hits2 = Reduce(s.Hits[2], 1);
    r.Started4 = Reduce(s.Started[4], 1);
    r.Hits4 = Reduce(s.Hits[4], 1);
    r.Started5 = Reduce(s.Started[5], 1);
    r.Hits5 = Reduce(s.Hits[5], 1);
    r.Started6 = Reduce(s.Started[6], 1);
    r.Hits6 = Reduce(s.Hits[6], 1);
    r.ChipSpawned0 = Reduce(s.ChipSpawned0, 3);
    r.ChipCaught0 = Reduce(s.ChipCaught0, 3);
    r.PepperSpawned0 = Reduce(s.PepperSpawned0, 3);
    r.PepperCaught0 = Reduce(s.PepperCaught0, 3);
    r.ChipSpawnedHigher = Reduce(s.ChipSpawnedHigher, 4);
    r.ChipCaughtHigher = Reduce(s.ChipCaughtHigher, 4);
    r.PepperSpawnedHigher = Reduce(s.PepperSpawnedHigher, 4);
    r.PepperCaughtHigher = Reduce(s.PepperCaughtHigher, 4);
    return r;
}

std::string GameRecordDigits(const TGameRecord& record) {
    std::string digits;
    for (const TGameRecordField& field : GameRecordLayout) {
        const std::string value = std::to_string(Reduce(record.*field.Value, field.Width));
        digits += std::string(size_t(field.Width) - value.size(), '0') + value;
    }
    return digits;
}

std::optional<TGameRecord> ParseGameRecordDigits(std::string_view digits) {
    if (!AllDigits(digits)) return std::nullopt;
    TGameRecord record;
    size_t at = 0;
    for (const TGameRecordField& field : GameRecordLayout) {
        int32_t value = 0;
        for (int i = 0; i < field.Width; ++i)
            value = value * 10 + (digits[at++] - '0');
        record.*field.Value = value;
    }
    return record;
}

std::string DisguiseGameRecord(std::string_view digits, const TGameRecordRandom& random) {
    if (!AllDigits(digits)) throw std::invalid_argument("A game record is 55 decimal digits");
    std::string text(GameRecordLength, ' ');
    for (size_t i = 0; i < GameRecordLength; ++i) {
        const std::string_view letters = DigitLetters[size_t(digits[Permutation[i]] - '0')];
        const int pick = random(int(letters.size()));
        text[i] = letters[size_t(pick) % letters.size()];
    }
    return text;
}

std::optional<std::string> RevealGameRecord(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.size() != GameRecordLength) return std::nullopt;
    std::string digits(GameRecordLength, '0');
    for (size_t i = 0; i < GameRecordLength; ++i) {
        const int digit = DigitOf(text[i]);
        if (digit < 0) return std::nullopt;
        digits[Permutation[i]] = char('0' + digit);
    }
    return digits;
}

int64_t GameRecordScoreBound(const TGameRecord& r) {
    return 100 * (int64_t(r.ChipCaught0) + r.ChipCaughtHigher) +
           200 * (int64_t(r.PepperCaught0) + r.PepperCaughtHigher) +
           1000 * int64_t(r.WavesCompleted) - 1000 * int64_t(r.PauseCount);
}

std::optional<int32_t> GameRecordSeconds(const TGameRecord& record) {
    if (record.SecondsOver50 == 99) return std::nullopt;
    return record.SecondsOver50 + 50;
}

int32_t GameRecordHits(const TGameRecord& r) {
    return r.Hits1 + r.Hits2 + r.Hits3 + r.Hits4 + r.Hits5 + r.Hits6;
}
