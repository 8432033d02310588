#include "server/DataFolder.h"

#include "server/Pages.h"
#include "server/Text.h"

#include <fstream>
#include <sstream>

namespace {

constexpr std::string_view ReadMe = R"(Crumble Rush Server - Datenordner

crumble.db          Datenbank: veröffentlichte Highscores und empfangene Fehlerreports
news.txt            Meldungen der Startseite im Spielmenü, eine pro Zeile, die neueste zuerst
errors.txt          bekannte Fehler, eine Zeile je Fehler:
                    <zn=ANZAHL><z1=TEXT>...<zl><S><W=SEITE>
                      zn  Anzahl der Muster, z1..zn  Texte in aufeinanderfolgenden Logzeilen,
                      zl  die Zeilen müssen am Ende des Logs stehen,
                      S   Log nach dem Anzeigen der Lösung behalten,
                      W   Name der Lösungsseite im Ordner errors/
errors/             Lösungsseiten (HTML), erreichbar unter korvaldinternal/errors/NAME
version.txt         Zeile 1: neueste Version (Textvergleich mit "1.05"),
                    Zeile 2: Download-Adresse; {server} steht für die Adresse dieses Servers
reports/            jeder empfangene Fehlerreport als vollständige Mail (NUMMER.eml)

Dateien, die fehlen, legt der Server beim Start mit seinem Standardinhalt neu an.
)";

constexpr std::string_view NewsTxt = "Willkommen beim Crumble Rush Server! Die Wochenwertung "
                                     "beginnt jeden Montag neu.\n"
                                     "Tipp: Das rote Dreieck lässt alles auf einmal platzen.\n";

// Ordered from the specific to the general: the first matching line wins.
constexpr std::string_view ErrorsTxt =
    "<zn=1><z1=Exception raised in Threadnotify while Flip(><W=grafik.html>\r\n"
    "<zn=2><z1=Loading Sound><z2=generic error:><S><W=sound.html>\r\n"
    "<zn=1><z1=Exception raised in Threadnotify while Bobs.Paint><W=grafik.html>\r\n"
    "<zn=1><z1=Exception raised in Threadnotify><W=absturz.html>\r\n";

constexpr std::string_view VersionTxt = "1.05\r\n{server}/crumblerush/download.html\r\n";

void WriteIfMissing(const std::filesystem::path& path, std::string_view content) {
    if (std::filesystem::exists(path)) return;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file << content;
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

} // namespace

TDataFolder::TDataFolder(std::filesystem::path root) : FRoot(std::move(root)) {
    std::filesystem::create_directories(FRoot);
    std::filesystem::create_directories(FRoot / "errors");
    std::filesystem::create_directories(ReportsFolder());
    FillMissing();
}

void TDataFolder::FillMissing() const {
    WriteIfMissing(FRoot / "LIESMICH.txt", ReadMe);
    WriteIfMissing(FRoot / "news.txt", NewsTxt);
    WriteIfMissing(FRoot / "errors.txt", ErrorsTxt);
    WriteIfMissing(FRoot / "version.txt", VersionTxt);
    WriteIfMissing(
        FRoot / "errors" / "grafik.html",
        SolutionPage("Die Grafik ließ sich nicht anzeigen",
                     {"Das Spiel konnte das Bild nicht auf den Bildschirm bringen. Meist hilft "
                      "ein anderer Anzeigemodus: Öffnen Sie <b>Datei &rarr; Einstellungen</b> "
                      "und wählen Sie &bdquo;Fenster&ldquo; statt &bdquo;Vollbild&ldquo;.",
                      "Aktualisieren Sie außerdem den Grafiktreiber Ihres Systems und schließen "
                      "Sie andere Programme, die den Bildschirm ganz für sich nutzen."}));
    WriteIfMissing(
        FRoot / "errors" / "sound.html",
        SolutionPage("Ein Geräusch ließ sich nicht laden",
                     {"Eine Klangdatei im Ordner &bdquo;snd&ldquo; ist beschädigt oder hat ein "
                      "Format, das das Spiel nicht kennt. Löschen Sie die .wav-Dateien, zu denen "
                      "es eine gleichnamige .mp3-Datei gibt: Beim nächsten Start werden sie neu "
                      "erzeugt.",
                      "Ist zu wenig Platz auf der Festplatte, schlägt das Umwandeln ebenfalls "
                      "fehl. Das Spiel läuft in jedem Fall weiter, nur ohne diesen Klang."}));
    WriteIfMissing(
        FRoot / "errors" / "absturz.html",
        SolutionPage("Das Spiel wurde unerwartet beendet",
                     {"Starten Sie das Spiel noch einmal. Tritt der Fehler wieder auf, wählen Sie "
                      "in den Einstellungen den Fenstermodus und schalten Sie die Musik aus.",
                      "Es hilft uns sehr, wenn Sie danach einen Fehlerreport senden: Das "
                      "Protokoll des abgestürzten Spiels wird angehängt."}));
}

std::optional<std::string> TDataFolder::Read(std::string_view relative) const {
    std::filesystem::path path;
    if (relative == "errors.txt" || relative == "version.txt" || relative == "news.txt") {
        path = FRoot / std::string(relative);
    } else if (relative.starts_with("errors/") && IsSafeFileName(relative.substr(7))) {
        path = FRoot / "errors" / std::string(relative.substr(7));
    } else {
        return std::nullopt;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::vector<std::string> TDataFolder::News() const {
    std::vector<std::string> lines;
    std::istringstream text(Read("news.txt").value_or(""));
    for (std::string line; std::getline(text, line);) {
        line = Trim(line);
        if (!line.empty()) lines.push_back(SanitizeUtf8(line));
    }
    return lines;
}

bool IsSafeFileName(std::string_view name) {
    if (name.empty() || name.size() > 100 || name.front() == '.') return false;
    for (char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!allowed) return false;
    }
    return true;
}

std::string ContentTypeFor(std::string_view name) {
    const std::string lower = ToLower(name);
    if (lower.ends_with(".html") || lower.ends_with(".htm")) return "text/html; charset=utf-8";
    if (lower.ends_with(".txt")) return "text/plain; charset=utf-8";
    if (lower.ends_with(".css")) return "text/css; charset=utf-8";
    if (lower.ends_with(".png")) return "image/png";
    if (lower.ends_with(".jpg") || lower.ends_with(".jpeg")) return "image/jpeg";
    if (lower.ends_with(".gif")) return "image/gif";
    if (lower.ends_with(".svg")) return "image/svg+xml";
    return "application/octet-stream";
}
