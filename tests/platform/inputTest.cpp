#include "platform/input.h"

#include <QWidget>
#include <gtest/gtest.h>

namespace {
void Halve(int32_t& x, int32_t& y) {
    x /= 2;
    y /= 2;
}
} // namespace

TEST(Input, KeysFromWindowsAndTheOverride) {
    NoteKeyDown(VK_LEFT);
    EXPECT_LT(GetAsyncKeyState(VK_LEFT), 0);
    EXPECT_EQ(GetAsyncKeyState(VK_RIGHT), 0);
    // The override replaces the real devices entirely.
    TInputState state;
    state.Keys[VK_RIGHT] = true;
    SetInputOverride(&state);
    EXPECT_EQ(GetAsyncKeyState(VK_LEFT), 0);
    EXPECT_LT(GetAsyncKeyState(VK_RIGHT), 0);
    SetInputOverride(nullptr);
    NoteKeyUp(VK_LEFT);
    EXPECT_EQ(GetAsyncKeyState(VK_LEFT), 0);
    EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON), 0);
}

TEST(Input, AQuickTapBetweenTwoPollsIsSeenOnce) {
    NoteKeyDown(VK_ESCAPE);
    NoteKeyUp(VK_ESCAPE);
    EXPECT_LT(GetAsyncKeyState(VK_ESCAPE), 0);
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
    // A key already seen down is up as soon as it is released.
    NoteKeyDown(VK_SPACE);
    EXPECT_LT(GetAsyncKeyState(VK_SPACE), 0);
    EXPECT_LT(GetAsyncKeyState(VK_SPACE), 0);
    NoteKeyUp(VK_SPACE);
    EXPECT_EQ(GetAsyncKeyState(VK_SPACE), 0);
}

TEST(Input, CursorAndClientOrigin) {
    TInputState state;
    state.Cursor = TPoint{30, 40};
    state.ClientOrigin = TPoint{100, 200};
    SetInputOverride(&state);
    TPoint p;
    ASSERT_TRUE(GetCursorPos(p));
    EXPECT_EQ(p.X, 30);
    EXPECT_EQ(p.Y, 40);
    const TPoint screen = ClientToScreen(nullptr, TPoint{5, 6});
    EXPECT_EQ(screen.X, 105);
    EXPECT_EQ(screen.Y, 206);
    SetInputOverride(nullptr);

    // Real devices: the mapper turns screen coordinates into the mode's.
    QWidget window;
    window.move(40, 60);
    window.show();
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));
    TPoint plain = ClientToScreen(&window, TPoint{});
    EXPECT_EQ(plain.X, origin.x());
    SetCursorMapper(&Halve);
    const TPoint mapped = ClientToScreen(&window, TPoint{1, 1});
    EXPECT_EQ(mapped.X, origin.x() / 2 + 1);
    EXPECT_EQ(mapped.Y, origin.y() / 2 + 1);
    SetCursorMapper(nullptr);
}
