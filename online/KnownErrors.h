#pragma once
// The known errors of "korvaldinternal/errors.txt" matched against the log: one known error per
// line, written as tags "<name>" or "<name=value>":
//   zn  the number n of patterns (decimal, required)
//   z1 .. zn  substrings (case-sensitive) of n consecutive log lines, z1 in the first of them
//   zl  those n lines must be the last n lines of the log
//   S   keep the log after showing the solution
//   W   the name of the solution page
// Tag names are found ignoring case; a value runs from behind "=" to the next ">" or the end
// of the line and keeps its case. Texts are bytes as the log holds them (Windows-1252).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TKnownError {
    std::string Page; // the W value
    bool KeepLog = false;
};

// A text's lines, whatever the line ends; a final line end gives no empty last line.
std::vector<std::string> SplitTextLines(std::string_view text);

// The value of the first tag of that name, "" for a tag without "="; nothing without the tag.
std::optional<std::string> ErrorTagValue(std::string_view line, std::string_view name);

// One line against the log: at the first start index s (ascending) where every pattern j
// occurs in log line s + j - 1 (and, with zl, s is the last possible start), the line's W
// value (possibly empty) and its S flag; nothing when it does not match. A zn of 0 or less, a
// zn larger than the log, a missing or empty pattern, an empty log: no match.
// Throws EConvertError (shell/Tools.h) when zn is missing or no decimal number.
std::optional<TKnownError> MatchErrorLine(std::string_view line,
                                          const std::vector<std::string>& log);

// Every line of errors.txt in order until one yields a page name that is not empty; blank
// lines are passed over. Throws EConvertError as MatchErrorLine does, when the look-up
// reaches a line without a number.
std::optional<TKnownError> MatchKnownError(std::string_view errorsText,
                                           const std::vector<std::string>& log);
