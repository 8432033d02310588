// What servers answer, on arbitrary bytes: the score script's reply (pairs, the kept ID, the
// rank check, the labels), the version file and the text conversion of replies. Nothing may
// crash; what reaches a label or a message box is valid UTF-8 without control characters.
#include "online/HighscoreuploadedUnit.h"
#include "online/InfoUnit.h"
#include "online/PublishHighscoreUnit.h"
#include "online/WebsendUnit.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool Displayable(const std::string& text) {
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 32 && c != '\r' && c != '\n') || b == 0x7F) return false;
    }
    // Valid UTF-8 survives the round trip through QString unchanged.
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString() ==
           text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    const TReplyPairs pairs = ParseReply(input);
    for (const auto& [key, value] : pairs) {
        if (key.find('=') != std::string::npos || key.find_first_of("\r\n") != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos)
            std::abort();
        if (!ReplyValue(pairs, key)) std::abort();
    }
    std::string id;
    try {
        const TPublishResult result = ReadPublishReply(input, &id);
        const auto rank = ReplyValue(result.Pairs, "Rang");
        if (!rank || rank->empty()) std::abort();
    } catch (const EPublishError& e) {
        if (e.Reply != input) std::abort();
    }
    if (id.size() > MaxPublishIDLength) std::abort();
    for (char c : id)
        if (c <= ' ' || c >= 127) std::abort();
    const QString label = WithReplyValue("Ihre Platzierung:", pairs, "Rang", " Punkte");
    if (label.size() > 64) std::abort();
    if (!Displayable(PublishFailureText("Unbekannte Antwort", input))) std::abort();

    const std::string text = ReplyText(input, "");
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) std::abort();
    if (QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString() != text)
        std::abort();

    const TVersionCheck check = JudgeVersionFile(text);
    if (check.Verdict == TVersionVerdict::Newer && !Displayable(NewerVersionQuestion(check)))
        std::abort();
    if (check.Verdict == TVersionVerdict::NoLink &&
        !Displayable(NewerVersionWithoutLinkMessage(check)))
        std::abort();
    return 0;
}
