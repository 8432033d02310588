#include "online/PublishRecord.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cctype>

namespace {

// A "|" typed into a field would split it for the receiver.
std::string FieldText(std::string_view text) {
    std::string result(text);
    std::replace(result.begin(), result.end(), '|', '/');
    return result;
}

std::optional<int32_t> ParseInt(std::string_view text) {
    if (text.empty()) return std::nullopt;
    if (text.front() == '+') return std::nullopt;
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool StaysUnencoded(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

std::string BuildRecord(const TPublishRecord& record) {
    const std::string sex = (record.Sex == ' ' || record.Sex == '\0')
                                ? std::string()
                                : FieldText(std::string(1, record.Sex));
    const std::string fields[] = {
        std::string(RecordMark),
        FieldText(record.PublishID),
        std::to_string(record.Score),
        FieldText(record.PublishName),
        FieldText(record.Residence),
        FieldText(record.Country),
        FieldText(record.Email),
        record.Age == 0 ? std::string() : std::to_string(record.Age),
        sex,
        FieldText(record.Comment),
        std::to_string(record.GamesStarted),
        std::to_string(record.GamesWon),
        FieldText(record.GameRecord),
        std::string(RecordMark),
    };
    std::string text;
    for (const std::string& field : fields) {
        // Every empty field becomes one blank, so the receiver never sees two bars together.
        text += field.empty() ? std::string_view(" ") : std::string_view(field);
        text += '|';
    }
    return text;
}

std::optional<TPublishRecord> ParseRecord(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    const std::string head = std::string(RecordMark) + "|";
    const std::string tail = '|' + head;
    if (text.size() < head.size() + tail.size() - 1 || !text.starts_with(head) ||
        !text.ends_with(tail))
        return std::nullopt;
    std::string_view inner = text.substr(head.size(), text.size() - head.size() - tail.size() + 1);

    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t bar = inner.find('|', start);
        if (bar == std::string_view::npos) break;
        std::string field(inner.substr(start, bar - start));
        if (field == " ") field.clear();
        fields.push_back(std::move(field));
        start = bar + 1;
    }
    if (start != inner.size() || fields.size() != RecordFieldCount) return std::nullopt;

    TPublishRecord record;
    record.PublishID = fields[0];
    record.PublishName = fields[2];
    record.Residence = fields[3];
    record.Country = fields[4];
    record.Email = fields[5];
    record.Comment = fields[8];
    record.GameRecord = fields[11];
    const auto score = ParseInt(fields[1]);
    const auto started = ParseInt(fields[9]);
    const auto won = ParseInt(fields[10]);
    if (!score || !started || !won) return std::nullopt;
    record.Score = *score;
    record.GamesStarted = *started;
    record.GamesWon = *won;
    if (!fields[6].empty()) {
        const auto age = ParseInt(fields[6]);
        if (!age || *age < 1 || *age > 110) return std::nullopt;
        record.Age = *age;
    }
    if (fields[7].empty())
        record.Sex = ' ';
    else if (fields[7] == "f" || fields[7] == "m")
        record.Sex = fields[7][0];
    else
        return std::nullopt;

    if (record.PublishID.size() > MaxPublishIDLength || record.PublishName.size() > MaxNameLength ||
        record.Residence.size() > MaxResidenceLength || record.Country.size() > MaxCountryLength ||
        record.Email.size() > MaxEmailLength || record.Comment.size() > MaxCommentLength ||
        record.GameRecord.size() > MaxGameRecordLength)
        return std::nullopt;
    // The dialog refuses a name of blanks only.
    if (record.PublishName.find_first_not_of(' ') == std::string::npos) return std::nullopt;
    return record;
}

std::string EncodeRecord(std::string_view record, const TRandomIndex& random) {
    std::string padded(record);
    while (padded.size() % RecordBlockSize != 0)
        padded += ' ';

    std::string scrambled;
    scrambled.reserve(padded.size() * 2);
    for (size_t blockStart = 0; blockStart < padded.size(); blockStart += RecordBlockSize) {
        std::array<int, RecordBlockSize> p{};
        for (size_t k = 0; k < RecordBlockSize; ++k)
            p[k] = static_cast<int>(k);
        for (int swap = 0; swap < 1000; ++swap) {
            const int a = random(static_cast<int>(RecordBlockSize));
            const int b = random(static_cast<int>(RecordBlockSize));
            std::swap(p[static_cast<size_t>(a)], p[static_cast<size_t>(b)]);
        }
        for (int index : p)
            scrambled += KeyAlphabet[static_cast<size_t>(index)];
        std::string block(RecordBlockSize, ' ');
        for (size_t k = 0; k < RecordBlockSize; ++k)
            block[static_cast<size_t>(p[k])] = padded[blockStart + k];
        scrambled += block;
    }

    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(scrambled.size() * 3);
    for (char c : scrambled) {
        const auto byte = static_cast<unsigned char>(c);
        if (StaysUnencoded(byte)) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += Hex[byte >> 4];
            encoded += Hex[byte & 15];
        }
    }
    return encoded;
}

std::optional<std::string> PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<std::string> DecodeRecord(std::string_view cs) {
    if (cs.size() > MaxCsLength) return std::nullopt;
    const std::optional<std::string> decoded = PercentDecode(cs);
    if (!decoded) return std::nullopt;
    const std::string& bytes = *decoded;
    const size_t encodedBlock = 2 * RecordBlockSize;
    if (bytes.empty() || bytes.size() % encodedBlock != 0) return std::nullopt;

    std::string record;
    record.reserve(bytes.size() / 2);
    for (size_t blockStart = 0; blockStart < bytes.size(); blockStart += encodedBlock) {
        std::array<size_t, RecordBlockSize> p{};
        std::array<bool, RecordBlockSize> seen{};
        for (size_t k = 0; k < RecordBlockSize; ++k) {
            const size_t index = KeyAlphabet.find(bytes[blockStart + k]);
            if (index == std::string_view::npos || seen[index]) return std::nullopt;
            seen[index] = true;
            p[k] = index;
        }
        const size_t data = blockStart + RecordBlockSize;
        for (size_t k = 0; k < RecordBlockSize; ++k)
            record += bytes[data + p[k]];
    }
    return record;
}

std::string BuildReply(const TPublishReply& reply) {
    std::string text;
    const auto add = [&text](std::string_view name, const auto& value) {
        if (value) text += std::string(name) + "=" + std::to_string(*value) + "\r\n";
    };
    if (!reply.ID.empty()) text += "ID=" + reply.ID + "\r\n";
    add("Rang", reply.Rang);
    add("Alterrang", reply.Alterrang);
    add("Platz1", reply.Platz1);
    add("wRang", reply.wRang);
    add("wAlterrang", reply.wAlterrang);
    add("wPlatz1", reply.wPlatz1);
    return text;
}

TReplyPairs ParseReply(std::string_view text) {
    TReplyPairs pairs;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        const size_t equals = line.find('=');
        if (equals != std::string_view::npos)
            pairs.emplace_back(std::string(line.substr(0, equals)),
                               std::string(line.substr(equals + 1)));
        start = end + 1;
    }
    return pairs;
}

std::optional<std::string> ReplyValue(const TReplyPairs& pairs, std::string_view name) {
    const auto sameName = [name](const std::string& candidate) {
        return std::equal(candidate.begin(), candidate.end(), name.begin(), name.end(),
                          [](char a, char b) {
                              return std::tolower(static_cast<unsigned char>(a)) ==
                                     std::tolower(static_cast<unsigned char>(b));
                          });
    };
    for (const auto& [key, value] : pairs)
        if (sameName(key)) return value;
    return std::nullopt;
}
