#pragma once
#include <atomic>
#include <cstdint>

// The tick counter, sleeping and the beep. The source is injectable so tests run on a
// clock they advance themselves.
class TClock {
  public:
    virtual ~TClock() = default;
    virtual uint32_t Ticks() = 0; // milliseconds, wraps at 2^32
    virtual void Sleep(uint32_t ms) = 0;
    virtual void Beep() {}
};

// A clock that only moves when told; Sleep advances it.
class TManualClock : public TClock {
  public:
    explicit TManualClock(uint32_t start = 0) : Now(start) {}
    uint32_t Ticks() override { return Now; }
    void Sleep(uint32_t ms) override { Now += ms; }
    void Beep() override { ++Beeps; }
    void Advance(uint32_t ms) { Now += ms; }
    std::atomic<uint32_t> Now;
    std::atomic<int> Beeps{0};
};

uint32_t GetTickCount();
void Sleep(uint32_t ms);
void MessageBeep();
// nullptr restores the system clock. The caller keeps ownership.
void SetClock(TClock* clock);
