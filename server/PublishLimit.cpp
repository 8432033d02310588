#include "server/PublishLimit.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr auto Window = std::chrono::minutes(1);

} // namespace

std::string PublishLimitKey(std::string_view address) {
    if (address.find(':') == std::string_view::npos) return std::string(address);
    std::array<unsigned char, 16> bytes{};
    if (inet_pton(AF_INET6, std::string(address).c_str(), bytes.data()) != 1)
        return std::string(address);
    static constexpr unsigned char MappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::equal(bytes.begin(), bytes.begin() + 12, MappedPrefix)) {
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, bytes.data() + 12, text, sizeof text);
        return text;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%02x%02x:%02x%02x:%02x%02x:%02x%02x::/64", bytes[0], bytes[1],
                  bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]);
    return text;
}

TPublishLimit::TPublishLimit(size_t perMinute, size_t maxAddresses)
    : FPerMinute(perMinute), FMaxAddresses(std::max<size_t>(maxAddresses, 1)) {}

void TPublishLimit::Sweep(TTime now) {
    std::erase_if(FRecent,
                  [now](const auto& entry) { return entry.second.back() + Window <= now; });
}

bool TPublishLimit::Allow(std::string_view address, TTime now) {
    if (FPerMinute == 0) return true;
    const std::string key = PublishLimitKey(address);
    const std::lock_guard guard(FLock);
    auto found = FRecent.find(key);
    if (found == FRecent.end()) {
        if (FRecent.size() >= FMaxAddresses) Sweep(now);
        if (FRecent.size() >= FMaxAddresses) return false;
        found = FRecent.emplace(key, std::vector<TTime>()).first;
    }
    std::vector<TTime>& recent = found->second;
    std::erase_if(recent, [now](TTime at) { return at + Window <= now; });
    if (recent.size() >= FPerMinute) return false;
    recent.push_back(now);
    return true;
}
