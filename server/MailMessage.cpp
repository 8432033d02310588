#include "server/MailMessage.h"

#include "server/Text.h"

#include <map>

namespace {

struct THeaderValue {
    std::string Value; // the part before the first ";"
    std::map<std::string, std::string> Params;
};

using THeaders = std::map<std::string, std::string>;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string name = ToLower(charset);
    if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1") return Latin1ToUtf8(bytes);
    if (name == "windows-1252" || name == "cp1252" || name == "iso-8859-15")
        return AnsiToUtf8(bytes);
    return SanitizeUtf8(bytes);
}

// Headers up to the first empty line, unfolded; names lower case, the first one wins.
THeaders ParseHeaders(std::string_view block) {
    THeaders headers;
    std::string name;
    std::string value;
    const auto flush = [&] {
        if (!name.empty() && !headers.contains(name)) headers[name] = Trim(value);
        name.clear();
        value.clear();
    };
    size_t start = 0;
    while (start < block.size()) {
        size_t end = block.find('\n', start);
        if (end == std::string_view::npos) end = block.size();
        const std::string_view line = block.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            if (!name.empty()) value += " " + Trim(line);
            continue;
        }
        flush();
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        name = ToLower(Trim(line.substr(0, colon)));
        value = std::string(line.substr(colon + 1));
    }
    flush();
    return headers;
}

THeaderValue ParseHeaderValue(std::string_view text) {
    THeaderValue result;
    size_t at = text.find(';');
    result.Value = ToLower(Trim(text.substr(0, at)));
    while (at != std::string_view::npos && at < text.size()) {
        ++at;
        const size_t equals = text.find('=', at);
        if (equals == std::string_view::npos) break;
        const std::string key = ToLower(Trim(text.substr(at, equals - at)));
        size_t pos = equals + 1;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        std::string value;
        if (pos < text.size() && text[pos] == '"') {
            ++pos;
            while (pos < text.size() && text[pos] != '"') {
                if (text[pos] == '\\' && pos + 1 < text.size()) ++pos;
                value += text[pos++];
            }
            at = text.find(';', pos);
        } else {
            at = text.find(';', pos);
            value = Trim(text.substr(pos, at == std::string_view::npos ? at : at - pos));
        }
        result.Params[key] = value;
    }
    return result;
}

// "UTF-8''name%20with%20blanks" (a parameter with a star, RFC 2231).
std::string DecodeExtendedParam(std::string_view value) {
    const size_t first = value.find('\'');
    const size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
    if (second == std::string_view::npos) return std::string(value);
    std::string bytes;
    for (size_t i = second + 1; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
            HexDigit(value[i + 2]) >= 0) {
            bytes += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
            i += 2;
        } else {
            bytes += value[i];
        }
    }
    return ToUtf8(bytes, value.substr(0, first));
}

std::string DecodeBody(std::string_view body, const THeaders& headers) {
    const auto encoding = headers.find("content-transfer-encoding");
    const std::string name = encoding == headers.end() ? "" : ToLower(encoding->second);
    if (name == "base64") return DecodeBase64(body);
    if (name == "quoted-printable") return DecodeQuotedPrintable(body);
    return std::string(body);
}

void ParsePart(std::string_view part, TMailMessage& message, int depth);

void ParseMultipart(std::string_view body, const std::string& boundary, TMailMessage& message,
                    int depth) {
    const std::string delimiter = "--" + boundary;
    size_t partStart = std::string_view::npos;
    size_t start = 0;
    while (start < body.size()) {
        size_t end = body.find('\n', start);
        if (end == std::string_view::npos) end = body.size();
        const std::string line = Trim(body.substr(start, end - start));
        if (line == delimiter || line == delimiter + "--") {
            if (partStart != std::string_view::npos) {
                // The line break before the delimiter belongs to the delimiter.
                size_t partEnd = start > 0 ? start - 1 : 0;
                if (partEnd < partStart) partEnd = partStart;
                ParsePart(body.substr(partStart, partEnd - partStart), message, depth + 1);
            }
            if (line != delimiter) return;
            partStart = end + 1;
        }
        start = end + 1;
    }
}

void ParsePart(std::string_view part, TMailMessage& message, int depth) {
    if (depth > 8) return;
    size_t split = part.find("\n\n");
    std::string_view headerBlock = part.substr(0, split);
    std::string_view body = split == std::string_view::npos ? "" : part.substr(split + 2);
    if (part.starts_with("\n")) {
        headerBlock = "";
        body = part.substr(1);
    }
    const THeaders headers = ParseHeaders(headerBlock);
    const auto typeHeader = headers.find("content-type");
    const THeaderValue type =
        ParseHeaderValue(typeHeader == headers.end() ? "text/plain" : typeHeader->second);
    if (type.Value.starts_with("multipart/")) {
        const auto boundary = type.Params.find("boundary");
        if (boundary != type.Params.end() && !boundary->second.empty()) {
            ParseMultipart(body, boundary->second, message, depth);
            return;
        }
    }

    const auto dispositionHeader = headers.find("content-disposition");
    const THeaderValue disposition =
        ParseHeaderValue(dispositionHeader == headers.end() ? "" : dispositionHeader->second);
    std::string fileName;
    if (disposition.Params.contains("filename*"))
        fileName = DecodeExtendedParam(disposition.Params.at("filename*"));
    else if (disposition.Params.contains("filename"))
        fileName = DecodeHeaderWords(disposition.Params.at("filename"));
    else if (type.Params.contains("name"))
        fileName = DecodeHeaderWords(type.Params.at("name"));

    std::string data = DecodeBody(body, headers);
    const bool isText = type.Value.empty() || type.Value.starts_with("text/");
    if (isText && disposition.Value != "attachment" && fileName.empty() && message.Text.empty()) {
        const auto charset = type.Params.find("charset");
        message.Text = ToUtf8(data, charset == type.Params.end() ? "" : charset->second);
        return;
    }
    message.Attachments.push_back({fileName, type.Value, std::move(data)});
}

} // namespace

std::string DecodeBase64(std::string_view text) {
    std::string out;
    uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else if (c == '=')
            break;
        else
            continue;
        buffer = (buffer << 6) | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\n') { // soft line break
            ++i;
        } else if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            i += 2;
        } else if (i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
                   HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += '=';
        }
    }
    return out;
}

std::string DecodeHeaderWords(std::string_view header) {
    std::string out;
    std::string pendingBlank;
    bool lastWasEncoded = false;
    size_t i = 0;
    while (i < header.size()) {
        if (header.substr(i, 2) == "=?") {
            const size_t q1 = header.find('?', i + 2);
            const size_t q2 = q1 == std::string_view::npos ? q1 : header.find('?', q1 + 1);
            const size_t end = q2 == std::string_view::npos ? q2 : header.find("?=", q2 + 1);
            if (end != std::string_view::npos && q2 == q1 + 2) {
                const std::string_view charset = header.substr(i + 2, q1 - i - 2);
                const char encoding = static_cast<char>(std::toupper(header[q1 + 1]));
                const std::string_view payload = header.substr(q2 + 1, end - q2 - 1);
                std::string bytes;
                if (encoding == 'B') {
                    bytes = DecodeBase64(payload);
                } else {
                    std::string underscores(payload);
                    for (char& c : underscores)
                        if (c == '_') c = ' ';
                    bytes = DecodeQuotedPrintable(underscores);
                }
                // Blanks between two encoded words are folding, not text.
                if (!lastWasEncoded) out += pendingBlank;
                pendingBlank.clear();
                out += ToUtf8(bytes, charset);
                lastWasEncoded = true;
                i = end + 2;
                continue;
            }
        }
        if (header[i] == ' ' || header[i] == '\t') {
            pendingBlank += header[i++];
            continue;
        }
        out += pendingBlank;
        pendingBlank.clear();
        out += header[i++];
        lastWasEncoded = false;
    }
    out += pendingBlank;
    return SanitizeUtf8(out);
}

TMailMessage ParseMailMessage(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) text += raw[i];

    TMailMessage message;
    const size_t split = text.find("\n\n");
    const THeaders headers = ParseHeaders(std::string_view(text).substr(0, split));
    const auto header = [&headers](const char* name) {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : DecodeHeaderWords(found->second);
    };
    message.From = header("from");
    message.To = header("to");
    message.Subject = header("subject");
    message.Date = header("date");
    ParsePart(text, message, 0);
    return message;
}
