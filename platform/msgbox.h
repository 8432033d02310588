#pragma once
// Modal message boxes with German buttons ("Ja"/"Nein", "OK"). Texts are UTF-8, shown as
// plain text.
#include <functional>
#include <string>

enum class TMsgDlgType { Information, Confirmation, Warning, Error };
enum class TMsgDlgButtons { OK, YesNo };

constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

// Shows the box and returns the button pressed (mrOk, mrYes, mrNo; closing a Yes/No box
// without an answer gives mrNo).
int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
// An information box with OK.
void ShowMessage(const std::string& text);

// Tests answer the boxes instead of a player; nullptr restores the real boxes.
using TMessageHandler =
    std::function<int(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)>;
void SetMessageHandler(TMessageHandler handler);
