#pragma once
// Reads a received mail (RFC 5322 with MIME): headers, the text, the attached files.
#include <string>
#include <string_view>
#include <vector>

struct TMailAttachment {
    std::string FileName; // UTF-8; "" when the part names none
    std::string ContentType;
    std::string Data; // decoded bytes
};

struct TMailMessage {
    std::string From; // UTF-8, as the header reads after decoding
    std::string To;
    std::string Subject;
    std::string Date;
    std::string Text; // the first text part, decoded to UTF-8
    std::vector<TMailAttachment> Attachments;
};

// Never fails: what it cannot read stays out or comes through as raw text.
TMailMessage ParseMailMessage(std::string_view raw);

// Helpers, also for tests.
std::string DecodeBase64(std::string_view text); // skips what is not base64
std::string DecodeQuotedPrintable(std::string_view text);
std::string DecodeHeaderWords(std::string_view header); // "=?charset?B|Q?...?=" words
