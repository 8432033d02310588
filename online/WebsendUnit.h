#pragma once
// The small internet layer the online dialogs share: the addresses of the game's servers,
// the connection state, opening an address in the system browser, fetching a text over HTTP
// and sending the error-report mail. Everything runs on the calling (main) thread and blocks,
// bounded by the time-outs of platform/inet.
#include <optional>
#include <string>

constexpr const char* ProgramVersion = "1.05";

// ---- addresses -----------------------------------------------------------------------------
// Built-in defaults point at the companion server on this machine (crumble-server); each is
// replaced by a line of prog.cfg: "webserver" (the base address under which the pages lie),
// "scoreserver" (the full address of the score script), "website", "mailserver" (host:port).
// The score script and the web site follow "webserver" unless they have a line of their own.
constexpr const char* DefaultWebServer = "http://localhost:8080/";
constexpr const char* DefaultMailServer = "localhost:2525";
// Where the error reports go.
constexpr const char* ErrorReportAddress = "fehlerreport@korvald.example";
// The largest report mail the mail server takes, as sent (headers, encoded text and log);
// crumble-server's mail receiver takes the same. A longer log is sent as its last part.
constexpr size_t MaxReportMailBytes = 1024 * 1024;

// The game's web server, always ending in "/".
std::string WebServerAddress();
std::string ScoreServerAddress();
std::string WebsiteAddress();
// "host:port"; port 25 when the line names none.
std::string MailServerAddress();
// A page of the game's web server: its address followed by path.
std::string WebPageAddress(const std::string& path);
// The embedded browser's start page, "korvaldinternal" on the game's web server.
std::string StartPageAddress();
// The command-line tool sets addresses for one run; an empty value removes the override.
// Keys as in prog.cfg.
void OverrideOnlineAddress(const std::string& key, const std::string& value);

// ---- the internet layer --------------------------------------------------------------------

// Opens the address in the system browser; when that fails, an error box "Internet Browser
// konnte nicht gestartet werden. Goto" + CR + the address.
void OpenURL(const std::string& address);
// Whether the game's web server took a connection at the last background check; never waits.
bool IsOnline();
// The same, checked now: waits for the answer (at most the probe's short time-out).
bool CheckOnline();
// Nothing to dial on this platform.
void DialUp();

constexpr const char* NoConnectionMessage =
    "Verbindung zum Internet konnte nicht hergestellt werden";

// The body of an HTTP GET as UTF-8 text with CR LF line ends; nothing when there is no
// connection (the message has been shown then). HTTP and network errors raise EInetError.
std::optional<std::string> FetchText(const std::string& address);
// FetchText, an empty text without a connection.
std::string HTTPGetText(const std::string& address);
// A reply's bytes as UTF-8 text with CR LF line ends: the charset named by contentType, else
// UTF-8 when the bytes are valid UTF-8, else Windows-1252.
std::string ReplyText(const std::string& body, const std::string& contentType);

// Sends the error report (sender as typed, body UTF-8, the attachment file when not empty) and
// thanks the player. Without a connection it shows the message and returns false; mail server
// and file errors raise.
bool SendErrorMail(const std::string& from, const std::string& body,
                   const std::string& attachmentFile);

// The report mail as sent: MIME, CR LF line ends, the body quoted-printable, the attachment
// (Windows-1252 text) in base64. Without attachmentName no attachment part is made.
std::string BuildErrorMail(const std::string& from, const std::string& body,
                           const std::string& attachmentName, const std::string& attachment);
// BuildErrorMail kept within maxBytes: a log too large goes as its last whole lines after a
// first line saying how many bytes were left out; a description beyond a quarter of the
// limit is cut as well.
std::string FitErrorMail(const std::string& from, const std::string& body,
                         const std::string& attachmentName, const std::string& attachment,
                         size_t maxBytes = MaxReportMailBytes);
// The reverse path for what the player typed: the address when it is one, else "".
std::string EnvelopeSender(const std::string& typed);

// A text from elsewhere made fit for a message box or label: control characters become
// blanks (line ends stay), invalid UTF-8 is replaced, and it is cut after maxChars.
std::string DisplayText(const std::string& text, size_t maxChars);
