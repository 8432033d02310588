#include "shell/Tools.h"

#include "platform/clock.h"
#include "platform/jpeg.h"
#include "platform/resources.h"
#include "platform/winpath.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char* const LogFile = "SPS\\LOG.TXT";
const char* const CfgFile = "sps\\prog.cfg";
const char* const FallbackCfgFile = "prog.cfg";

struct TFileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using TFileHandle = std::unique_ptr<FILE, TFileCloser>;

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path, int code) {
    throw EInOutError(what + " \"" + path + "\": " + std::strerror(code), code);
}

// Closes the file, reporting a failed final write as an error.
void CloseChecked(TFileHandle& file, const std::string& path) {
    FILE* f = file.release();
    if (std::fclose(f) != 0) ThrowIo("Cannot write", path, errno);
}

void CreateEmptyFile(const std::string& path) {
    TFileHandle file(std::fopen(ResolveWritePath(path).c_str(), "wb"));
    if (!file) ThrowIo("Cannot create", path, errno);
    CloseChecked(file, path);
}

// Lines ended by CR LF, LF or a lone CR; a final line end adds no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

// Index of the last line among the first CfgMaxLines whose key matches, or -1.
int FindKeyLine(const std::vector<std::string>& lines, const std::string& key) {
    const std::string wanted = UpperAscii(key);
    int found = -1;
    const int count = static_cast<int>(std::min<size_t>(lines.size(), CfgMaxLines));
    for (int i = 0; i < count; ++i) {
        const auto& line = lines[static_cast<size_t>(i)];
        const auto colon = line.find(':');
        const std::string lineKey =
            colon == std::string::npos ? std::string() : line.substr(0, colon);
        if (UpperAscii(lineKey) == wanted) found = i;
    }
    return found;
}

std::string ValueInFile(const std::string& fileName, const std::string& key) {
    EnterProgDir();
    if (!FileExists(fileName)) CreateEmptyFile(fileName);
    const auto lines = SplitLines(ReadFileBytes(fileName));
    const int index = FindKeyLine(lines, key);
    if (index < 0) return {};
    // Key, colon and one blank go; a line lacking the blank loses a character of its value.
    const auto& line = lines[static_cast<size_t>(index)];
    const size_t skip = key.size() + 2;
    return line.size() > skip ? line.substr(skip) : std::string();
}

void CreateSpsFolder() {
    CreateDir(ProgDir() + "\\sps");
}

uint32_t RandomState = 0;

// Code points of the bytes 0x80..0x9F in Windows-1252; the unassigned five map to themselves.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

char AnsiOf(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return char(cp);
    for (int i = 0; i < 32; ++i)
        if (Cp1252High[i] == cp) return char(0x80 + i);
    return '?';
}

// Decodes one UTF-8 sequence at text[i]; false (and one byte consumed) when it is malformed.
bool DecodeUtf8(std::string_view text, size_t& i, uint32_t& cp) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        cp = lead;
        ++i;
        return true;
    }
    // Continuation bytes, payload bits of the lead byte, and the least value that needs them.
    int extra = 0;
    uint32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1Fu;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0Fu;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07u;
        smallest = 0x10000;
    } else {
        ++i;
        return false;
    }
    if (i + static_cast<size_t>(extra) >= text.size()) {
        ++i;
        return false;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto c = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += static_cast<size_t>(extra) + 1;
    return true;
}

// Strict "[sign]digits[.digits][e[sign]digits]" with surrounding blanks, decimal point only.
bool ParsePointNumber(const std::string& s, double& value) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && s[begin] == ' ')
        ++begin;
    while (end > begin && s[end - 1] == ' ')
        --end;
    std::string text = s.substr(begin, end - begin);
    if (!text.empty() && text[0] == '+') text.erase(0, 1);
    size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        int expDigits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != text.size()) return false;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last;
}

} // namespace

std::string ProgDir() {
    return ProgramFolder();
}

void EnterProgDir() {
    const std::string dir = ProgDir();
    if (!SetCurrentDir(dir)) {
        const int code = errno;
        throw EInOutError("Cannot enter the program folder \"" + dir + "\": " + std::strerror(code),
                          code);
    }
}

void WriteLog(const std::string& line) {
    CreateSpsFolder();
    EnterProgDir();
    if (!FileExists(LogFile)) CreateEmptyFile(LogFile);
    TFileHandle file(std::fopen(ResolveAppendPath(LogFile).c_str(), "ab"));
    if (!file) ThrowIo("Cannot open", LogFile, errno);
    const std::string text = line + "\r\n";
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0)
        ThrowIo("Cannot write", LogFile, errno);
    CloseChecked(file, LogFile);
}

std::string LogFileLocation() {
    return ResolveAppendPath(ProgDir() + "\\" + LogFile);
}

bool LogIsOK() {
    EnterProgDir();
    if (!FileExists(LogFile)) return true;
    const auto lines = SplitLines(ReadFileBytes(LogFile));
    return !lines.empty() && lines.back() == "OK";
}

void EraseLog() {
    try {
        EnterProgDir();
        DeleteFileAt(LogFile);
    } catch (const std::exception&) {
        // A log that cannot be erased is harmless; it is looked at again next time.
    }
}

std::string ReadCfg(const std::string& key, const std::string& defaultValue) {
    CreateSpsFolder();
    std::string value = ValueInFile(CfgFile, key);
    if (value.empty() && FileExists(FallbackCfgFile)) value = ValueInFile(FallbackCfgFile, key);
    return value.empty() ? defaultValue : value;
}

std::string ReadCfgRaw(const std::string& key) {
    return ReadCfg(key, std::string());
}

void WriteCfg(const std::string& key, const std::string& value) {
    CreateSpsFolder();
    EnterProgDir();
    std::vector<std::string> lines;
    if (FileExists(CfgFile)) lines = SplitLines(ReadFileBytes(CfgFile));
    int index = FindKeyLine(lines, key);
    if (index < 0) {
        if (lines.size() >= static_cast<size_t>(CfgMaxLines))
            throw EInOutError(std::string(CfgFile) + " holds " + std::to_string(lines.size()) +
                                  " lines; no room for the key \"" + key + "\"",
                              0);
        index = static_cast<int>(lines.size());
        lines.emplace_back();
    }
    lines[static_cast<size_t>(index)] = key + ": " + value;
    std::string text;
    for (const auto& line : lines)
        text += line + "\r\n";
    WriteFileReplacing(CfgFile, text);
}

std::string ReadFileBytes(const std::string& path, size_t maxBytes) {
    TFileHandle file(std::fopen(ResolvePath(path).c_str(), "rb"));
    if (!file) ThrowIo("Cannot open", path, errno);
    std::string bytes;
    char buffer[65536];
    while (bytes.size() < maxBytes) {
        const size_t want = std::min(sizeof buffer, maxBytes - bytes.size());
        const size_t got = std::fread(buffer, 1, want, file.get());
        bytes.append(buffer, got);
        if (got < want) {
            if (std::ferror(file.get())) ThrowIo("Cannot read", path, errno);
            break;
        }
    }
    return bytes;
}

uint64_t FileSizeOf(const std::string& path) {
    uint64_t size = 0;
    if (const int error = RegularFileSize(path, size); error != 0)
        ThrowIo("Cannot open", path, error);
    return size;
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
    const TReplaceResult result = ReplaceFileContents(path, bytes);
    if (result.Error != 0)
        ThrowIo(result.Created ? "Cannot write" : "Cannot create", path, result.Error);
}

void DelayMs(uint32_t ms) {
    const uint32_t start = GetTickCount();
    while (GetTickCount() - start <= ms)
        Sleep(1);
}

double StrToFloatAny(const std::string& s) {
    double value = 0;
    if (ParsePointNumber(s, value)) return value;
    const auto comma = s.find(',');
    if (comma != std::string::npos) {
        std::string withPoint = s;
        withPoint[comma] = '.';
        if (ParsePointNumber(withPoint, value)) return value;
    }
    throw EConvertError(s + " ist kein gültiger Gleitkommastring");
}

std::string IntToStrZero(int32_t value, int width) {
    const int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
    std::string digits = std::to_string(magnitude);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    return value < 0 ? "-" + digits : digits;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, (b >= 0x80 && b <= 0x9F) ? Cp1252High[b - 0x80] : b);
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        uint32_t cp = 0;
        out += DecodeUtf8(utf8, i, cp) ? AnsiOf(cp) : '?';
    }
    return out;
}

void Randomize() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    RandSeed(static_cast<uint32_t>(nanos) ^ static_cast<uint32_t>(nanos >> 32) ^ GetTickCount());
}

void RandSeed(uint32_t seed) {
    RandomState = seed;
}

uint32_t Random(uint32_t n) {
    RandomState = RandomState * 134775813u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(RandomState) * n) >> 32);
}

double RandomFloat() {
    RandomState = RandomState * 134775813u + 1u;
    return RandomState / 4294967296.0;
}

QImage LoadJpegResource(const std::string& name) {
    QByteArray data;
    if (!FindResource("JPEG", name, &data)) throw EResNotFound("Resource " + name + " not found");
    return DecodeJpeg(data);
}
