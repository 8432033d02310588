#pragma once
// Small services every part of the program uses: the program folder, the log SPS\LOG.TXT, the
// key-value file sps\prog.cfg, the program's random generator and a few formatting helpers.
//
// Texts of the log and the configuration are Windows-1252 bytes on disk. WriteLog, ReadCfg,
// ReadCfgRaw and WriteCfg take and return those bytes exactly as given; callers holding UTF-8
// convert with Utf8ToAnsi / AnsiToUtf8 where it matters (keys and values in use are ASCII).
#include <QImage>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// A failed file operation; Code is the errno value behind it (0 when there is none).
class EInOutError : public std::runtime_error {
  public:
    EInOutError(const std::string& message, int code) : std::runtime_error(message), Code(code) {}
    int Code;
};

// The folder of the program, without a trailing separator (never shortened).
std::string ProgDir();
// Makes the program folder the current directory; throws EInOutError when it cannot.
void EnterProgDir();

// Appends line and CR LF to SPS\LOG.TXT, opening and closing the file for every line so the
// log is complete up to a crash. Creates SPS and the log when missing.
void WriteLog(const std::string& line);
// True when there is no log or its last line is exactly "OK".
bool LogIsOK();
// Deletes the log; errors are ignored.
void EraseLog();
// Where WriteLog appends, as a POSIX path, for the crash handler, which must know it beforehand.
std::string LogFileLocation();

// The value of key in sps\prog.cfg (falling back to prog.cfg in the program folder), else
// defaultValue. Keys compare ignoring ASCII case; the last matching line counts; only the first
// CfgMaxLines lines are looked at. A missing sps\prog.cfg is created empty.
std::string ReadCfg(const std::string& key, const std::string& defaultValue);
// The same without a default: empty when the key is missing.
std::string ReadCfgRaw(const std::string& key);
// Stores "key: value" in sps\prog.cfg, replacing the last line of that key or adding one. The
// file is replaced as a whole, so a crash while writing leaves the old one intact. Lines beyond
// CfgMaxLines are kept as they are; a new key in a file already that long throws EInOutError,
// since it could never be read back.
void WriteCfg(const std::string& key, const std::string& value);
constexpr int CfgMaxLines = 3000;

// Whole-file helpers over Windows-style paths; both throw EInOutError.
// ReadFileBytes reads at most maxBytes bytes from the start of the file.
std::string ReadFileBytes(const std::string& path, size_t maxBytes = SIZE_MAX);
// The size of a regular file.
uint64_t FileSizeOf(const std::string& path);
// Writes the bytes to a temporary file beside path and renames it over path, so readers see
// either the old or the new file whole.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// Waits until more than ms milliseconds have passed on the tick counter.
void DelayMs(uint32_t ms);

// A text that is no number.
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A decimal number written with a point or a comma, whatever the locale; throws EConvertError
// otherwise.
double StrToFloatAny(const std::string& s);
// Digits of |value| padded with zeros to width, then "-" in front when negative.
std::string IntToStrZero(int32_t value, int width);

// Windows-1252 <-> UTF-8. Characters Windows-1252 lacks become "?"; the five unassigned bytes
// 0x81, 0x8D, 0x8F, 0x90, 0x9D map to U+0081 etc. and back, so every byte survives a round trip.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// The program's one random generator (a 32-bit linear congruential generator).
void Randomize();             // seeds from the clock
void RandSeed(uint32_t seed); // a fixed seed, for reproducible runs and tests
uint32_t Random(uint32_t n);  // 0 .. n - 1 (0 when n is 0)
double RandomFloat();         // uniform in [0, 1), one step of the same generator

// The picture of the program resource of type "JPEG" with that name; a missing resource
// throws EResNotFound. The caller puts it into its picture control.
class EResNotFound : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
QImage LoadJpegResource(const std::string& name);
