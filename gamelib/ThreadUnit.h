#pragma once
// The frame loop thread: it only reads the tick counter and hands each frame, with the number
// of elapsed 20 ms periods, to the game window on the main thread, waiting until it returns.
#include <QThread>
#include <atomic>
#include <cstdint>
#include <memory>

class TDDFullScreenForm;

class TLoopThread : public QThread {
  public:
    // Creates the thread for the window and starts it.
    static std::unique_ptr<TLoopThread> Create(TDDFullScreenForm* form);
    // Not started: Tick can be driven by hand.
    explicit TLoopThread(TDDFullScreenForm* form);
    ~TLoopThread() override;

    // One poll of the tick counter; runs the window's frame when a period has passed.
    // Returns the periods handed over (0 when none).
    int32_t Tick();
    void Terminate() { requestInterruption(); }
    bool Done() const { return FDone; }
    uint32_t Identifier() const { return FIdentifier; }

    TDDFullScreenForm* Form;
    int32_t Frames = 0;
    uint32_t LastTick = 0;
    uint32_t Elapsed = 0;

    static constexpr uint32_t Period = 20;
    static constexpr int32_t MaxFrames = 50;

  protected:
    void run() override;

  private:
    std::atomic<bool> FDone{false};
    uint32_t FIdentifier;
};
