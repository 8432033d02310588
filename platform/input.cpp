#include "platform/input.h"

#include <QCursor>
#include <QGuiApplication>
#include <QWidget>

namespace {

TInputState* Override = nullptr;
TCursorMapper Mapper = nullptr;
bool KeysDown[256] = {};
// A key released before anyone polled it stays down for one poll, so a quick tap between two
// frames is still seen.
bool SeenDown[256] = {};
bool ReleasePending[256] = {};

bool HaveGui() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

bool ButtonDown(int vk) {
    if (!HaveGui()) return false;
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    if (vk == VK_LBUTTON) return buttons & Qt::LeftButton;
    if (vk == VK_RBUTTON) return buttons & Qt::RightButton;
    return false;
}

} // namespace

void SetInputOverride(TInputState* state) {
    Override = state;
}

int16_t GetAsyncKeyState(int vk) {
    const int index = vk & 0xFF;
    bool down;
    if (Override)
        down = Override->Keys[index];
    else {
        down = KeysDown[index] || ButtonDown(index);
        if (KeysDown[index]) {
            SeenDown[index] = true;
            if (ReleasePending[index]) {
                KeysDown[index] = false;
                ReleasePending[index] = false;
            }
        }
    }
    return down ? static_cast<int16_t>(0x8000) : 0;
}

bool GetCursorPos(TPoint& point) {
    if (Override) {
        point = Override->Cursor;
        return true;
    }
    if (!HaveGui()) {
        point = TPoint{};
        return false;
    }
    const QPoint pos = QCursor::pos();
    point = TPoint{pos.x(), pos.y()};
    if (Mapper) Mapper(point.X, point.Y);
    return true;
}

TPoint ClientToScreen(QWidget* window, TPoint point) {
    if (Override)
        return TPoint{Override->ClientOrigin.X + point.X, Override->ClientOrigin.Y + point.Y};
    if (!window) return point;
    const QPoint origin = window->mapToGlobal(QPoint(0, 0));
    TPoint result{origin.x(), origin.y()};
    if (Mapper) Mapper(result.X, result.Y);
    return TPoint{result.X + point.X, result.Y + point.Y};
}

void NoteKeyDown(int vk) {
    const int index = vk & 0xFF;
    KeysDown[index] = true;
    SeenDown[index] = false;
    ReleasePending[index] = false;
}

void NoteKeyUp(int vk) {
    const int index = vk & 0xFF;
    if (KeysDown[index] && !SeenDown[index])
        ReleasePending[index] = true;
    else
        KeysDown[index] = false;
}

void SetCursorMapper(TCursorMapper mapper) {
    Mapper = mapper;
}
