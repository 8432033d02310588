#include "platform/inet.h"

#include <curl/curl.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

#include <memory>
#include <mutex>
#include <thread>

namespace {

void InitCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TCurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using TCurl = std::unique_ptr<CURL, TCurlDeleter>;

struct TSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TSlist = std::unique_ptr<curl_slist, TSlistDeleter>;

std::mutex& LimitsLock() {
    static std::mutex lock;
    return lock;
}
TInetLimits& Limits() {
    static TInetLimits limits;
    return limits;
}

TCurl NewCurl() {
    InitCurl();
    TCurl curl(curl_easy_init());
    if (!curl) throw EInetError("Die Internetverbindung konnte nicht vorbereitet werden");
    // Time-outs must not raise signals: the calls also run off the main thread.
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    return curl;
}

// The address without its query, short enough for a message box.
std::string Shown(const std::string& address) {
    std::string shown = address.substr(0, address.find('?'));
    if (shown.size() > 120) shown = shown.substr(0, 117) + "...";
    return shown;
}

// ---- the connection state ----

struct TProbe {
    std::mutex Lock;
    std::string Target;
    unsigned long long Generation = 0;
    int Last = -1; // -1 not known yet, 0 offline, 1 online
    bool Running = false;
    std::thread Worker;

    ~TProbe() {
        if (Worker.joinable()) Worker.join();
    }
};

TProbe& Probe() {
    // Exit handlers run in reverse order: with the library set up first, the probe's last check
    // is joined before the library's own clean-up frees what that check may still be using.
    InitCurl();
    static TProbe probe;
    return probe;
}

std::function<void()>& ChangedHandler() {
    static std::function<void()> handler;
    return handler;
}

// Whether the server takes a connection within the probe's time-out.
bool Reachable(const std::string& address) {
    if (address.empty()) return false;
    try {
        TCurl curl = NewCurl();
        const long timeout = InetLimits().ProbeTimeoutMs;
        curl_easy_setopt(curl.get(), CURLOPT_URL, address.c_str());
        curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl.get(), CURLOPT_CONNECT_ONLY, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT_MS, timeout);
        curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, timeout);
        return curl_easy_perform(curl.get()) == CURLE_OK;
    } catch (const std::exception&) {
        return false;
    }
}

// Runs on the main thread, posted there by whoever saw the change; a change of a target that
// was replaced meanwhile is not told.
void PostChanged(unsigned long long generation) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app,
        [generation] {
            {
                TProbe& probe = Probe();
                const std::lock_guard guard(probe.Lock);
                if (generation != probe.Generation) return;
            }
            if (const std::function<void()> handler = ChangedHandler()) handler();
        },
        Qt::QueuedConnection);
}

// Stores a result found for the given target; tells the handler when it changed the state.
// A result for a target that was replaced meanwhile is dropped.
void Store(unsigned long long generation, bool online, bool finishesCheck) {
    TProbe& probe = Probe();
    bool changed = false;
    {
        const std::lock_guard guard(probe.Lock);
        if (generation != probe.Generation) return;
        const int now = online ? 1 : 0;
        changed = probe.Last != now;
        probe.Last = now;
        if (finishesCheck) probe.Running = false;
    }
    if (changed) PostChanged(generation);
}

void StartBackgroundCheck() {
    TProbe& probe = Probe();
    const std::lock_guard guard(probe.Lock);
    if (probe.Running || probe.Target.empty()) return;
    // Running is false: the last worker has left its last lock and only ends now.
    if (probe.Worker.joinable()) probe.Worker.join();
    probe.Running = true;
    const std::string target = probe.Target;
    const unsigned long long generation = probe.Generation;
    probe.Worker =
        std::thread([target, generation] { Store(generation, Reachable(target), true); });
}

TShellOpener& ShellOpener() {
    static TShellOpener opener;
    return opener;
}

size_t CollectBody(char* data, size_t size, size_t count, void* user) {
    auto* reply = static_cast<std::pair<std::string*, size_t>*>(user);
    const size_t bytes = size * count;
    if (reply->first->size() + bytes > reply->second) return 0; // aborts: too large
    reply->first->append(data, bytes);
    return bytes;
}

struct TUpload {
    const std::string* Text;
    size_t Done = 0;
};

size_t FeedMessage(char* buffer, size_t size, size_t count, void* user) {
    auto* upload = static_cast<TUpload*>(user);
    const size_t room = size * count;
    const size_t left = upload->Text->size() - upload->Done;
    const size_t n = left < room ? left : room;
    upload->Text->copy(buffer, n, upload->Done);
    upload->Done += n;
    return n;
}

} // namespace

void SetOnlineProbe(const std::string& address) {
    TProbe& probe = Probe();
    std::thread old;
    {
        const std::lock_guard guard(probe.Lock);
        if (probe.Target == address) return;
        probe.Target = address;
        ++probe.Generation;
        probe.Last = -1;
        probe.Running = false;
        old = std::move(probe.Worker);
    }
    // A check of the old target ends within its time-out and is not counted.
    if (old.joinable()) old.join();
}

bool InternetConnected() {
    TProbe& probe = Probe();
    int last = -1;
    {
        const std::lock_guard guard(probe.Lock);
        last = probe.Last;
    }
    StartBackgroundCheck();
    return last == 1;
}

bool InternetConnectedNow() {
    TProbe& probe = Probe();
    std::string target;
    unsigned long long generation = 0;
    {
        const std::lock_guard guard(probe.Lock);
        target = probe.Target;
        generation = probe.Generation;
    }
    const bool online = Reachable(target);
    Store(generation, online, false);
    return online;
}

void SetOnlineChangedHandler(std::function<void()> handler) {
    ChangedHandler() = std::move(handler);
}

void InternetAutodial() {}

bool ShellOpen(const std::string& address) {
    if (ShellOpener()) return ShellOpener()(address);
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
    const QUrl url(QString::fromStdString(address), QUrl::TolerantMode);
    if (!url.isValid() || url.isEmpty()) return false;
    return QDesktopServices::openUrl(url);
}

void SetShellOpener(TShellOpener opener) {
    ShellOpener() = std::move(opener);
}

TInetLimits InetLimits() {
    const std::lock_guard guard(LimitsLock());
    return Limits();
}

void SetInetLimits(const TInetLimits& limits) {
    const std::lock_guard guard(LimitsLock());
    Limits() = limits;
}

THttpReply HttpGet(const std::string& address) {
    const TInetLimits limits = InetLimits();
    TCurl curl = NewCurl();
    THttpReply reply;
    std::pair<std::string*, size_t> sink(&reply.Body, limits.MaxReplyBytes);
    char error[CURL_ERROR_SIZE] = {};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, address.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.ConnectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.TotalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "CrumbleRush/1.05");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    const CURLcode result = curl_easy_perform(c);
    const std::string where = Shown(address);
    switch (result) {
    case CURLE_OK:
        break;
    case CURLE_WRITE_ERROR:
        throw EInetError("Die Antwort von " + where + " ist zu groß (mehr als " +
                         std::to_string(limits.MaxReplyBytes / 1024) + " KB)");
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        throw EInetError("Ungültige Adresse: " + where);
    case CURLE_COULDNT_RESOLVE_HOST:
        throw EInetError("Der Server von " + where + " ist unbekannt");
    case CURLE_COULDNT_CONNECT:
        throw EInetError("Keine Verbindung zu " + where + " möglich");
    case CURLE_OPERATION_TIMEDOUT:
        throw EInetError("Zeitüberschreitung: " + where + " antwortet nicht");
    case CURLE_TOO_MANY_REDIRECTS:
        throw EInetError("Zu viele Weiterleitungen: " + where);
    default:
        throw EInetError("Verbindungsfehler bei " + where + ": " +
                         (error[0] ? std::string(error) : curl_easy_strerror(result)));
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.Status);
    char* type = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
        reply.ContentType = type;
    if (reply.Status >= 400)
        throw EHttpStatusError("HTTP-Fehler " + std::to_string(reply.Status) + " bei " + where,
                               std::move(reply));
    return reply;
}

void SmtpSend(const TMailEnvelope& mail) {
    const TInetLimits limits = InetLimits();
    if (mail.Server.empty() || mail.Server.find_first_of("/@?# \t\r\n") != std::string::npos)
        throw EInetError("Ungültiger Mailserver: " + mail.Server);
    if (mail.Recipients.empty()) throw EInetError("Die Mail hat keinen Empfänger");
    TCurl curl = NewCurl();
    CURL* c = curl.get();
    char error[CURL_ERROR_SIZE] = {};
    const std::string url = "smtp://" + mail.Server;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.ConnectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.TotalTimeoutMs);
    // Unset, curl sends the null reverse path "<>".
    const std::string from = "<" + mail.From + ">";
    if (!mail.From.empty()) curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
    TSlist recipients;
    for (const std::string& recipient : mail.Recipients) {
        curl_slist* grown = curl_slist_append(recipients.get(), ("<" + recipient + ">").c_str());
        if (!grown) throw EInetError("Die Mail konnte nicht vorbereitet werden");
        recipients.release();
        recipients.reset(grown);
    }
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
    TUpload upload{&mail.Message};
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, FeedMessage);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.Message.size()));
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    const CURLcode result = curl_easy_perform(c);
    switch (result) {
    case CURLE_OK:
        return;
    case CURLE_URL_MALFORMAT:
        throw EInetError("Ungültiger Mailserver: " + mail.Server);
    case CURLE_COULDNT_RESOLVE_HOST:
        throw EInetError("Der Mailserver " + mail.Server + " ist unbekannt");
    case CURLE_COULDNT_CONNECT:
        throw EInetError("Keine Verbindung zum Mailserver " + mail.Server + " möglich");
    case CURLE_OPERATION_TIMEDOUT:
        throw EInetError("Zeitüberschreitung: Der Mailserver " + mail.Server + " antwortet nicht");
    default:
        throw EInetError("Der Mailserver " + mail.Server + " hat die Mail nicht angenommen: " +
                         (error[0] ? std::string(error) : curl_easy_strerror(result)));
    }
}
