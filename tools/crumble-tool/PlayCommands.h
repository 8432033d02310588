#pragma once
// crumble-tool play: the game without a screen. The game window runs headless (offscreen
// platform, headless 800 x 600 display, silent sound, a clock of its own, a seeded generator)
// and is driven step by step by a script of input events. Each step moves the clock on by one
// 20 ms period and runs the frame that the loop thread would run; the first frame carries ten
// updates, as the loop's first frame always does. It prints the log lines of the run, each
// after the step that wrote it, and writes PNG pictures of the screen when asked.
//
// The script, one event a line ("#" starts a comment, blank lines are skipped):
//   AT <step> <event>
// with the events
//   mouse X Y            the cursor to X, Y (screen pixels)
//   down KEY | up KEY    a key held or released: enter, button (left mouse button),
//                        cursor-left, cursor-right, x, y
//   press KEY            down at this step, up at the next
//   click [X Y]          press button (after moving the cursor there)
//   key C | ctrl C       a typed key through the window's key events: a character, or escape,
//                        enter, space, backspace (ctrl: with Ctrl held; ctrl p is a screenshot)
//   escape               key escape
//   shot                 a picture of the screen after this step (with --shots)
// Events of one step apply in their order, before the step's frame.
#include <string>
#include <vector>

// [SCRIPT|-] [--seed N] [--updates N] [--shots DIR] [--every N] [--folder DIR]
int Play(const std::vector<std::string>& args);
