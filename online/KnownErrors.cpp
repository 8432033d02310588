#include "online/KnownErrors.h"

#include "shell/Tools.h"

#include <cctype>
#include <charconv>
#include <cstdint>

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

struct TTag {
    std::string_view Name;
    std::optional<std::string_view> Value;
};

// The tags of a line in order. "<" starts a tag only when letters or digits follow and then
// ">" or "="; anything else is text between tags. A value without ">" runs to the line's end.
std::vector<TTag> Tags(std::string_view line) {
    std::vector<TTag> tags;
    size_t at = 0;
    while ((at = line.find('<', at)) != std::string_view::npos) {
        size_t end = at + 1;
        while (end < line.size() && IsNameChar(line[end]))
            ++end;
        if (end == at + 1 || end >= line.size() || (line[end] != '>' && line[end] != '=')) {
            ++at;
            continue;
        }
        TTag tag{line.substr(at + 1, end - at - 1), std::nullopt};
        if (line[end] == '>') {
            at = end + 1;
        } else {
            const size_t close = line.find('>', end + 1);
            const size_t stop = close == std::string_view::npos ? line.size() : close;
            tag.Value = line.substr(end + 1, stop - end - 1);
            at = stop == line.size() ? stop : stop + 1;
        }
        tags.push_back(tag);
    }
    return tags;
}

std::optional<TTag> FindTag(const std::vector<TTag>& tags, std::string_view name) {
    for (const TTag& tag : tags)
        if (SameName(tag.Name, name)) return tag;
    return std::nullopt;
}

// The number of patterns, read as the original's StrToInt read it: blanks around it, an
// optional sign, decimal digits that fit 32 bits.
int32_t PatternCount(std::optional<std::string_view> value) {
    std::string_view text = value.value_or(std::string_view());
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int32_t n = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        std::string shown(value.value_or(std::string_view()).substr(0, 40));
        throw EConvertError("'" + AnsiToUtf8(shown) + "' ist kein gültiger ganzzahliger Wert");
    }
    return n;
}

} // namespace

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start =
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

std::optional<std::string> ErrorTagValue(std::string_view line, std::string_view name) {
    const auto tag = FindTag(Tags(line), name);
    if (!tag) return std::nullopt;
    return std::string(tag->Value.value_or(std::string_view()));
}

std::optional<TKnownError> MatchErrorLine(std::string_view line,
                                          const std::vector<std::string>& log) {
    const std::vector<TTag> tags = Tags(line);
    const auto zn = FindTag(tags, "zn");
    const int32_t n = PatternCount(zn ? zn->Value : std::nullopt);
    if (n <= 0 || static_cast<size_t>(n) > log.size()) return std::nullopt;
    const size_t count = static_cast<size_t>(n);

    std::vector<std::string_view> patterns;
    patterns.reserve(count);
    for (size_t j = 1; j <= count; ++j) {
        const auto tag = FindTag(tags, "z" + std::to_string(j));
        // A missing or empty pattern occurs nowhere, as an empty search never found anything.
        if (!tag || !tag->Value || tag->Value->empty()) return std::nullopt;
        patterns.push_back(*tag->Value);
    }
    const bool atEnd = FindTag(tags, "zl").has_value();
    const size_t last = log.size() - count;
    for (size_t s = atEnd ? last : 0; s <= last; ++s) {
        bool all = true;
        for (size_t j = 0; j < count && all; ++j)
            all = log[s + j].find(patterns[j]) != std::string::npos;
        if (!all) continue;
        TKnownError found;
        if (const auto page = FindTag(tags, "W")) found.Page = page->Value.value_or("");
        found.KeepLog = FindTag(tags, "S").has_value();
        return found;
    }
    return std::nullopt;
}

std::optional<TKnownError> MatchKnownError(std::string_view errorsText,
                                           const std::vector<std::string>& log) {
    for (const std::string& line : SplitTextLines(errorsText)) {
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const auto found = MatchErrorLine(line, log);
        if (found && !found->Page.empty()) return found;
    }
    return std::nullopt;
}
