#include "OnlineCommands.h"

#include "online/GameRecord.h"
#include "online/InfoUnit.h"
#include "online/KnownErrors.h"
#include "online/PublishHighscoreUnit.h"
#include "online/PublishRecord.h"
#include "online/WebsendUnit.h"
#include "platform/msgbox.h"
#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace {

using TArgs = std::vector<std::string>;

// The program's messages go to the terminal: errors to stderr, the rest to stdout. Nobody
// answers questions, so they are declined and nothing is opened.
void PrintMessages() {
    SetMessageHandler([](const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
        std::string line = text;
        for (char& c : line)
            if (c == '\r') c = '\n';
        (type == TMsgDlgType::Error || type == TMsgDlgType::Warning ? std::cerr : std::cout)
            << line << std::endl;
        return buttons == TMsgDlgButtons::YesNo ? mrNo : mrOk;
    });
}

// Takes the address options out of args; `allowed` names the other options with a value.
TArgs AddressOptions(const TArgs& args) {
    TArgs rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--webserver" || arg == "--scoreserver" || arg == "--mailserver" ||
            arg == "--website") {
            if (i + 1 >= args.size()) throw std::runtime_error(arg + " needs a value");
            OverrideOnlineAddress(arg.substr(2), args[++i]);
        } else {
            rest.push_back(arg);
        }
    }
    return rest;
}

// One line per field in UTF-8; control characters as \xNN.
std::string Printable(const std::string& text) {
    std::string out;
    for (char c : DisplayText(text, SIZE_MAX)) {
        if (c == '\r' || c == '\n')
            out += c == '\r' ? "\\r" : "\\n";
        else
            out += c;
    }
    return out;
}

std::string Absolute(const std::string& path) {
    return std::filesystem::absolute(path).string();
}

} // namespace

int Publish(const TArgs& arguments) {
    const TArgs args = AddressOptions(arguments);
    if (args.size() != 1) throw std::runtime_error("publish: ENV.DAT");
    PrintMessages();
    Randomize();
    TEnvData env = ReadEnvFile(Absolute(args[0]));
    if (env.Highscores[0].Score == EmptyHighscore)
        throw std::runtime_error("Ihre Highscoreliste ist noch leer.");
    // What the dialog sends when nothing is changed: the best entry's name, no comment.
    std::string name = env.Highscores[0].Name.Get();
    for (char& c : name)
        if (c == '|') c = '/';
    env.PublishName.Set(name);
    env.Comment.Set("");
    if (name.find_first_not_of(' ') == std::string::npos) throw std::runtime_error(NoNameMessage);
    try {
        const TPublishResult result = SendHighscore(env);
        for (const auto& [key, value] : result.Pairs)
            std::cout << Printable(key) << "=" << Printable(value) << "\n";
    } catch (const EPublishError& e) {
        throw std::runtime_error(PublishFailureText(e.what(), e.Reply));
    }
    return 0;
}

int ReportSend(const TArgs& arguments) {
    const TArgs args = AddressOptions(arguments);
    std::string from, text, log;
    bool haveFrom = false, haveText = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i + 1 >= args.size()) throw std::runtime_error("report send: " + args[i] + "?");
        if (args[i] == "--from") {
            from = args[++i];
            haveFrom = true;
        } else if (args[i] == "--text") {
            text = args[++i];
            haveText = true;
        } else if (args[i] == "--log") {
            log = Absolute(args[++i]);
        } else {
            throw std::runtime_error("report send: unknown option " + args[i]);
        }
    }
    if (!haveFrom || !haveText)
        throw std::runtime_error("report send: --from ADDR --text TEXT [--log FILE]");
    PrintMessages();
    Randomize();
    return SendErrorMail(from, text, log) ? 0 : 1;
}

int VersionCheck(const TArgs& arguments) {
    if (!AddressOptions(arguments).empty()) throw std::runtime_error("version check: no arguments");
    PrintMessages();
    const auto reply = FetchText(WebPageAddress("korvaldinternal/version.txt"));
    if (!reply) return 1;
    if (!reply->empty()) TellVersion(*reply);
    return 0;
}

int ErrorsMatch(const TArgs& args) {
    const std::vector<std::string> log = SplitTextLines(ReadFileBytes(Absolute(args[0])));
    const std::string errors = ReadFileBytes(Absolute(args[1]));
    // As the program reads errors.txt from the server: UTF-8 when it is, else Windows-1252.
    const auto known = MatchKnownError(Utf8ToAnsi(ReplyText(errors, "")), log);
    if (!known)
        std::cout << "no match\n";
    else
        std::cout << "match " << Printable(AnsiToUtf8(known->Page)) << " "
                  << (known->KeepLog ? "keep" : "erase") << "\n";
    return 0;
}

int CsDecode(const TArgs& args) {
    const auto record = DecodeRecord(args[0]);
    if (!record) throw std::runtime_error("Kein gültiger cs-Wert");
    std::string text = *record;
    while (!text.empty() && text.back() == ' ')
        text.pop_back(); // the padding
    std::cout << Printable(AnsiToUtf8(text)) << "\n";
    return 0;
}

int RecordDecode(const TArgs& args) {
    const std::optional<std::string> digits = RevealGameRecord(args[0]);
    if (!digits) throw std::runtime_error("Kein gültiger Spielverlauf");
    const TGameRecord record = *ParseGameRecordDigits(*digits);
    std::cout << "Digits: " << *digits << "\n";
    for (const TGameRecordField& field : GameRecordLayout)
        std::cout << field.Name << ": " << record.*field.Value << "\n";
    const std::optional<int32_t> seconds = GameRecordSeconds(record);
    std::cout << "SecondsPlayed: " << (seconds ? std::to_string(*seconds) : "<50") << "\n";
    std::cout << "Hits: " << GameRecordHits(record) << "\n";
    std::cout << "ScoreBound: " << GameRecordScoreBound(record) << "\n";
    return 0;
}
