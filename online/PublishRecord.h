#pragma once
// What travels between the program and the score server: the publishing record, its scrambled
// form in the query value "cs", and the server's reply. Standard library only, so that the
// server shares exactly this unit with the program and nothing else.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One publication. Texts are Windows-1252 bytes, as the settings file keeps them.
struct TPublishRecord {
    std::string PublishID; // empty at the first publication
    int32_t Score = 0;
    std::string PublishName;
    std::string Residence;
    std::string Country;
    std::string Email;
    int32_t Age = 0; // 0: not given
    char Sex = ' ';  // ' ' (or 0): not given, 'f', 'm'
    std::string Comment;
    int32_t GamesStarted = 0;
    int32_t GamesWon = 0;
    std::string GameRecord; // the best score's game record, sent unchanged

    bool operator==(const TPublishRecord&) const = default;
};

inline constexpr std::string_view RecordMark = "KVQ";
inline constexpr int RecordFieldCount = 12; // between the two marks
inline constexpr size_t RecordBlockSize = 64;
// The 64 key characters; a block's key spells its permutation in this alphabet.
inline constexpr std::string_view KeyAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-";
// No honest record comes near this; anything longer is refused unread.
inline constexpr size_t MaxCsLength = 64 * 1024;

// The longest texts the dialog lets through (the settings file's sizes), in bytes.
inline constexpr size_t MaxPublishIDLength = 32;
inline constexpr size_t MaxNameLength = 20;
inline constexpr size_t MaxResidenceLength = 20;
inline constexpr size_t MaxCountryLength = 20;
inline constexpr size_t MaxEmailLength = 40;
inline constexpr size_t MaxCommentLength = 80;
inline constexpr size_t MaxGameRecordLength = 100;

// "KVQ|id|score|name|residence|country|email|age|sex|comment|started|won|record|KVQ|":
// every empty field becomes a single blank, Age 0 counts as empty, and a "|" inside a text
// becomes "/" so that no field can split another.
std::string BuildRecord(const TPublishRecord& record);

// Reads a record as BuildRecord writes it; trailing padding blanks are allowed. A single
// blank reads as an empty field. Nothing when the shape, a number or a length is wrong.
std::optional<TPublishRecord> ParseRecord(std::string_view text);

// Draws a number 0 .. n - 1; the program passes its own seeded generator.
using TRandomIndex = std::function<int(int n)>;

// Pads the record with blanks to whole blocks of 64 bytes; each block becomes its random key
// (64 characters of KeyAlphabet) and its bytes transposed by that key; the whole is then
// percent-encoded (only digits and ASCII letters stay as they are).
std::string EncodeRecord(std::string_view record, const TRandomIndex& random);

// "%XX" escapes decoded ("+" stays); nothing when an escape is cut short or not hexadecimal.
std::optional<std::string> PercentDecode(std::string_view text);

// Undoes EncodeRecord: percent-decoding, the keys and the transposition. The padding stays.
// Nothing when the text is longer than MaxCsLength, is not whole blocks, carries a bad escape
// or a key that is not a permutation.
std::optional<std::string> DecodeRecord(std::string_view cs);

// The score server's answer: plain text, one "Name=Value" per line.
struct TPublishReply {
    std::string ID;
    std::optional<int> Rang;
    std::optional<int> Alterrang; // only when the player had a place before
    std::optional<int32_t> Platz1;
    std::optional<int> wRang;
    std::optional<int> wAlterrang;
    std::optional<int32_t> wPlatz1;
};

// The keys in the order above; absent values are left out. Lines end in CR LF.
std::string BuildReply(const TPublishReply& reply);

using TReplyPairs = std::vector<std::pair<std::string, std::string>>;
// Splits a reply into its pairs, whatever the line ends; lines without "=" are skipped.
TReplyPairs ParseReply(std::string_view text);
// The value of the first pair with this name (names compare case-insensitively), or nothing.
std::optional<std::string> ReplyValue(const TReplyPairs& pairs, std::string_view name);
