#pragma once
// Small text helpers of the server: everything a player sent is shown only through HtmlEscape.
#include <string>
#include <string_view>

// Escapes &, <, >, " and ' so that a text can stand in element content and attribute values.
std::string HtmlEscape(std::string_view text);

// Windows-1252 bytes (what the program sends) to UTF-8 (what pages and the database hold).
std::string AnsiToUtf8(std::string_view ansi);
// ISO-8859-1 is Windows-1252 without the printable characters of 0x80..0x9F.
std::string Latin1ToUtf8(std::string_view latin1);

// Replaces every byte that is not part of a well-formed UTF-8 sequence by "?", so that
// whatever arrives can be stored and shown as text.
std::string SanitizeUtf8(std::string_view text);
// A text a client sent, fit for the operator's terminal and log: malformed UTF-8 and every
// control character (C0, DEL and C1, line breaks and escapes included) become "?", so that it
// can neither break a log line nor drive the terminal.
std::string PrintableText(std::string_view text);

// A text from a client as the operator's terminal or log may show it: well-formed UTF-8 with
// every control character (C0, DEL, C1; line breaks and tabs too) replaced by "?", so that no
// client can break a log line or send the terminal escape sequences.
std::string PrintableText(std::string_view text);
// The same for a text of several lines: line breaks (LF, CR LF) and tabs stay.
std::string PrintableLines(std::string_view text);

std::string ToLower(std::string_view text);
std::string Trim(std::string_view text);
