#include "online/WebsendUnit.h"

#include "platform/inet.h"
#include "platform/msgbox.h"
#include "shell/Tools.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cctype>
#include <map>

namespace {

std::map<std::string, std::string>& Overrides() {
    static std::map<std::string, std::string> overrides;
    return overrides;
}

std::string Trimmed(std::string text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The override, else the line of prog.cfg, else "".
std::string Configured(const std::string& key) {
    const auto found = Overrides().find(key);
    if (found != Overrides().end()) return found->second;
    try {
        return Trimmed(AnsiToUtf8(ReadCfgRaw(key)));
    } catch (const std::exception&) {
        return {}; // an unreadable prog.cfg leaves the built-in addresses
    }
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool ValidUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (extra == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string CrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string Base64(const std::string& bytes, bool wrap) {
    static constexpr char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        out += Alphabet[(group >> 18) & 63];
        out += Alphabet[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? Alphabet[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? Alphabet[group & 63] : '=';
        column += 4;
        if (wrap && column >= 76) {
            out += "\r\n";
            column = 0;
        }
    }
    if (wrap && column > 0) out += "\r\n";
    return out;
}

// Quoted-printable (RFC 2045) of text whose lines end in CR LF.
std::string QuotedPrintable(const std::string& text) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    size_t column = 0;
    const auto put = [&](const std::string& piece) {
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        const bool lineEnds = i + 1 == text.size() || text[i + 1] == '\r';
        const bool literal =
            (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnds);
        if (literal)
            put(std::string(1, static_cast<char>(c)));
        else
            put(std::string{'=', Hex[c >> 4], Hex[c & 15]});
    }
    return out;
}

// A header value from the player: one line, non-ASCII as an RFC 2047 word.
std::string HeaderText(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (IsAscii(text)) return text;
    return "=?UTF-8?B?" + Base64(text, false) + "?=";
}

// Bytes taken by Base64(n bytes, wrapped).
size_t WrappedBase64Size(size_t n) {
    const size_t chars = (n + 2) / 3 * 4;
    return chars + (chars + 75) / 76 * 2;
}

// At most maxBytes of UTF-8 text, cut before a character's continuation bytes.
std::string Utf8Prefix(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string MailDate() {
    // RFC 5322 wants English names whatever the locale.
    return QLocale::c()
               .toString(QDateTime::currentDateTimeUtc(), "ddd, dd MMM yyyy hh:mm:ss")
               .toStdString() +
           " +0000";
}

std::string RandomToken(size_t length) {
    static constexpr char Chars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string token;
    for (size_t i = 0; i < length; ++i)
        token += Chars[Random(36)];
    return token;
}

} // namespace

// ---- addresses ----

std::string WebServerAddress() {
    std::string address = Configured("webserver");
    if (address.empty()) address = DefaultWebServer;
    if (address.back() != '/') address += '/';
    return address;
}

std::string ScoreServerAddress() {
    const std::string address = Configured("scoreserver");
    return address.empty() ? WebServerAddress() + "score.php" : address;
}

std::string WebsiteAddress() {
    const std::string address = Configured("website");
    return address.empty() ? WebServerAddress() + "korvald/" : address;
}

std::string MailServerAddress() {
    std::string address = Configured("mailserver");
    if (address.empty()) address = DefaultMailServer;
    // "host", "host:port", "[v6]" or "[v6]:port".
    const size_t bracket = address.rfind(']');
    const size_t colon = address.rfind(':');
    const bool hasPort =
        colon != std::string::npos &&
        (bracket == std::string::npos ? address.find(':') == colon : colon > bracket);
    if (!hasPort) address += ":25";
    return address;
}

std::string WebPageAddress(const std::string& path) {
    return WebServerAddress() + path;
}

std::string StartPageAddress() {
    return WebPageAddress("korvaldinternal");
}

void OverrideOnlineAddress(const std::string& key, const std::string& value) {
    if (value.empty())
        Overrides().erase(key);
    else
        Overrides()[key] = value;
}

// ---- the internet layer ----

void OpenURL(const std::string& address) {
    if (!ShellOpen(address))
        MessageDlg("Internet Browser konnte nicht gestartet werden. Goto\r" + address,
                   TMsgDlgType::Error, TMsgDlgButtons::OK);
}

bool IsOnline() {
    SetOnlineProbe(WebServerAddress());
    return InternetConnected();
}

bool CheckOnline() {
    SetOnlineProbe(WebServerAddress());
    return InternetConnectedNow();
}

void DialUp() {
    InternetAutodial();
}

std::optional<std::string> FetchText(const std::string& address) {
    DialUp();
    if (!CheckOnline()) {
        ShowMessage(NoConnectionMessage);
        return std::nullopt;
    }
    const THttpReply reply = HttpGet(address);
    return ReplyText(reply.Body, reply.ContentType);
}

std::string HTTPGetText(const std::string& address) {
    return FetchText(address).value_or(std::string());
}

std::string ReplyText(const std::string& body, const std::string& contentType) {
    const std::string type = Lower(contentType);
    const size_t at = type.find("charset=");
    std::string charset;
    if (at != std::string::npos) {
        charset = type.substr(at + 8);
        charset = charset.substr(0, charset.find_first_of("; "));
        if (charset.size() >= 2 && charset.front() == '"')
            charset = charset.substr(1, charset.size() - 2);
    }
    const bool latin = charset == "iso-8859-1" || charset == "windows-1252" ||
                       charset == "latin1" || charset == "cp1252" || charset == "us-ascii";
    const bool utf8 = !latin && ValidUtf8(body);
    return CrLf(utf8 ? body : AnsiToUtf8(body));
}

std::string EnvelopeSender(const std::string& typed) {
    const std::string text = Trimmed(typed);
    const size_t at = text.find('@');
    if (text.empty() || text.size() > 254 || at == 0 || at == std::string::npos ||
        at + 1 == text.size() || text.find('@', at + 1) != std::string::npos)
        return {};
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 32 || b >= 127 ||
            std::string_view("<>()[]\\,;:\"").find(c) != std::string_view::npos)
            return {};
    }
    return text;
}

std::string BuildErrorMail(const std::string& from, const std::string& body,
                           const std::string& attachmentName, const std::string& attachment) {
    const std::string boundary = "----------crumble" + RandomToken(24);
    std::string mail;
    const std::string sender = HeaderText(Trimmed(from));
    if (!sender.empty()) mail += "From: " + sender + "\r\n";
    mail += std::string("To: <") + ErrorReportAddress + ">\r\n";
    mail += "Subject: Korvald Fehlermeldung\r\n";
    mail += "Date: " + MailDate() + "\r\n";
    mail += "Message-ID: <" + RandomToken(20) + "@crumblerush.invalid>\r\n";
    mail += "X-Priority: 3 (Normal)\r\n";
    mail += "X-Mailer: Crumble Rush " + std::string(ProgramVersion) + "\r\n";
    mail += "MIME-Version: 1.0\r\n";
    mail += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n";
    mail += "\r\n";
    mail += "This is a multi-part message in MIME format.\r\n";
    mail += "--" + boundary + "\r\n";
    mail += "Content-Type: text/plain; charset=UTF-8\r\n";
    mail += "Content-Transfer-Encoding: quoted-printable\r\n";
    mail += "\r\n";
    mail += QuotedPrintable(CrLf(body)) + "\r\n";
    if (!attachmentName.empty()) {
        const std::string name = HeaderText(attachmentName);
        mail += "--" + boundary + "\r\n";
        mail += "Content-Type: text/plain; charset=windows-1252; name=\"" + name + "\"\r\n";
        mail += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n";
        mail += "Content-Transfer-Encoding: base64\r\n";
        mail += "\r\n";
        mail += Base64(attachment, true);
    }
    mail += "--" + boundary + "--\r\n";
    return mail;
}

std::string FitErrorMail(const std::string& from, const std::string& body,
                         const std::string& attachmentName, const std::string& attachment,
                         size_t maxBytes) {
    std::string mail = BuildErrorMail(from, body, attachmentName, attachment);
    if (mail.size() <= maxBytes) return mail;

    // Quoted-printable makes at most three bytes of one.
    std::string text = body;
    const size_t textShare = maxBytes / 4;
    if (QuotedPrintable(CrLf(text)).size() > textShare)
        text = Utf8Prefix(text, std::max<size_t>(textShare / 3, 8) - 8) + "\n[...]";
    if (attachmentName.empty()) return BuildErrorMail(from, text, attachmentName, attachment);

    const size_t frame = BuildErrorMail(from, text, attachmentName, std::string()).size();
    if (frame >= maxBytes) throw EInetError("Der Fehlerreport ist zu groß");
    const size_t budget = maxBytes - frame;
    size_t fits = budget / 78 * 57;
    while (fits > 0 && WrappedBase64Size(fits) > budget)
        --fits;
    // The note's number is never longer than the whole log's size.
    const auto note = [](size_t leftOut) {
        return "[" + std::to_string(leftOut) + " bytes at the start of the log left out]\r\n";
    };
    const size_t noteRoom = note(attachment.size()).size();
    std::string tail;
    if (fits > noteRoom && attachment.size() > 0) {
        tail = attachment.substr(attachment.size() - std::min(attachment.size(), fits - noteRoom));
        // Whole lines only: the first one kept starts behind a line end.
        const size_t lineEnd = tail.find('\n');
        tail = lineEnd == std::string::npos ? std::string() : tail.substr(lineEnd + 1);
    }
    mail = BuildErrorMail(from, text, attachmentName, note(attachment.size() - tail.size()) + tail);
    if (mail.size() > maxBytes) throw EInetError("Der Fehlerreport ist zu groß");
    return mail;
}

bool SendErrorMail(const std::string& from, const std::string& body,
                   const std::string& attachmentFile) {
    DialUp();
    if (!CheckOnline()) {
        ShowMessage(NoConnectionMessage);
        return false;
    }
    std::string name, attachment;
    if (!attachmentFile.empty()) {
        attachment = ReadFileBytes(attachmentFile);
        name = attachmentFile.substr(attachmentFile.find_last_of("\\/") + 1);
    }
    TMailEnvelope mail;
    mail.Server = MailServerAddress();
    mail.From = EnvelopeSender(from);
    mail.Recipients = {ErrorReportAddress};
    mail.Message = FitErrorMail(from, body, name, attachment);
    SmtpSend(mail);
    ShowMessage("Vielen Dank für Ihre Hilfe!");
    return true;
}

std::string DisplayText(const std::string& text, size_t maxChars) {
    const std::string utf8 = ValidUtf8(text) ? text : AnsiToUtf8(text);
    std::string out;
    size_t chars = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) != 0x80) {
            if (chars == maxChars) {
                out += "...";
                break;
            }
            ++chars;
        }
        if (c < 32 && c != '\r' && c != '\n')
            out += ' ';
        else if (c == 0x7F)
            out += ' ';
        else
            out += static_cast<char>(c);
    }
    return out;
}
