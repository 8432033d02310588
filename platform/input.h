#pragma once
// Keyboard and mouse state as the game polls it, with an override for tests.
#include <cstdint>

class QWidget;

// Virtual key codes the game asks for.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_F1 = 0x70;
constexpr int VK_F9 = 0x78;
constexpr int VK_F12 = 0x7B;

struct TPoint {
    int32_t X = 0, Y = 0;
};

// Replaces the real devices while set (tests, the headless game).
class TInputState {
  public:
    bool Keys[256] = {};
    TPoint Cursor;
    TPoint ClientOrigin; // screen position of any window's client area
};
void SetInputOverride(TInputState* state); // nullptr: the real devices

// Bit 15 set while the key is down (as the game tests it: result < 0).
int16_t GetAsyncKeyState(int vk);
// The cursor in the coordinates of the display mode: in a scaled fullscreen mode the
// logical mode's pixels, otherwise the desktop's.
bool GetCursorPos(TPoint& point);
// Screen position of the window's client area origin, same coordinates as GetCursorPos.
TPoint ClientToScreen(QWidget* window, TPoint point);

// Fed by the Qt windows: key and button transitions from their events.
void NoteKeyDown(int vk);
void NoteKeyUp(int vk);
// Maps window-system screen coordinates to display-mode coordinates (set by the Qt display
// in a scaled mode; identity otherwise).
using TCursorMapper = void (*)(int32_t& x, int32_t& y);
void SetCursorMapper(TCursorMapper mapper);
