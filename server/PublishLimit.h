#pragma once
// How many publications one client address may send in a minute. A sliding window: the 61st
// publication within any 60 seconds is refused, and each one leaves the window a minute after
// it came. IPv6 clients count by their /64 network, which one household usually holds whole.
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TPublishLimit {
  public:
    using TTime = std::chrono::system_clock::time_point;

    // perMinute 0: no limit. At most maxAddresses are remembered; when that many sent
    // publications within the last minute, further addresses are refused until some expire.
    explicit TPublishLimit(size_t perMinute, size_t maxAddresses = 100000);

    // True when address may publish at now, and then counted; a refused attempt is not.
    bool Allow(std::string_view address, TTime now);

  private:
    void Sweep(TTime now);

    size_t FPerMinute;
    size_t FMaxAddresses;
    std::mutex FLock;
    std::unordered_map<std::string, std::vector<TTime>> FRecent; // oldest first
};

// The key an address counts under: an IPv4 address as it is, an IPv6 address by its first 64
// bits (an IPv4 address written as IPv6 as the IPv4 address).
std::string PublishLimitKey(std::string_view address);
