#pragma once
// The internet calls of the original platform: the connection state, dialling, opening an
// address in the desktop's browser, one HTTP GET and one SMTP mail. HTTP and SMTP go through
// libcurl, each with a connect and a total time-out and a cap on what it reads, so no caller
// waits for ever. Texts of errors are German, as the player reads them.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// A failed HTTP or SMTP exchange; the message says what went wrong.
class EInetError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// ---- connection state ----------------------------------------------------------------------

// The server whose accepting a connection means "online": an address such as
// "http://localhost:8080/" (its scheme's port when it names none). Forgets the last result.
void SetOnlineProbe(const std::string& address);
// The last result of the background check; starts a new check when none is running, so the
// answer is never older than one call. False until a check has finished.
bool InternetConnected();
// Checks now and waits for the answer (at most the probe's time-out); updates the last result.
bool InternetConnectedNow();
// Called on the main thread (through the Qt event loop) when a background check finds the
// state changed; nullptr removes it.
void SetOnlineChangedHandler(std::function<void()> handler);
// Nothing to dial on this platform: the connection is there or it is not.
void InternetAutodial();

// ---- the desktop's browser -----------------------------------------------------------------

// Asks the desktop to open the address (xdg-open); false when it could not.
bool ShellOpen(const std::string& address);
// Tests see the addresses instead of a browser; nullptr restores the desktop.
using TShellOpener = std::function<bool(const std::string& address)>;
void SetShellOpener(TShellOpener opener);

// ---- HTTP and SMTP -------------------------------------------------------------------------

struct TInetLimits {
    long ConnectTimeoutMs = 5000;
    long TotalTimeoutMs = 20000;
    long ProbeTimeoutMs = 2000;
    size_t MaxReplyBytes = 1024 * 1024;
};
// The limits in force; tests shorten them.
TInetLimits InetLimits();
void SetInetLimits(const TInetLimits& limits);

struct THttpReply {
    long Status = 0;
    std::string ContentType; // as the server sent it; "" when none
    std::string Body;        // bytes, at most MaxReplyBytes
};

// A status of 400 and above; the server's reply often says why (a score script that refuses
// too many publications in a minute explains that in its reply).
class EHttpStatusError : public EInetError {
  public:
    EHttpStatusError(const std::string& message, THttpReply reply)
        : EInetError(message), Reply(std::move(reply)) {}
    THttpReply Reply;
};

// GET of an http or https address; redirects are followed. A status of 400 and above raises
// EHttpStatusError; a refused or silent server, a reply beyond the cap raise EInetError.
THttpReply HttpGet(const std::string& address);

struct TMailEnvelope {
    std::string Server;                  // "host:port" (port 25 when none is named)
    std::string From;                    // the reverse path; "" sends the null path "<>"
    std::vector<std::string> Recipients; // plain addresses
    std::string Message;                 // headers and body, lines ending in CR LF
};
// Hands the message to the mail server, without authentication; raises EInetError when the
// server cannot be reached, refuses or does not answer in time.
void SmtpSend(const TMailEnvelope& mail);
