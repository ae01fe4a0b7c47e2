// Message boxes as the engine asks for them: one style number that is the sum of a button set, an icon and a
// default button, and a result that names the pressed button (1 OK ... 7 No). The decoding is a pure function
// so that the Qt box and the scripted fake of the tests agree on what a style means.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace morven {

struct Programma;
class View;

// Results, as the callers compare them.
enum MsgResult : int {
    kMsgNone = 0,  // closed without a button (Escape on a box that has no Cancel)
    kMsgOk = 1,
    kMsgCancel = 2,
    kMsgAbort = 3,
    kMsgRetry = 4,
    kMsgIgnore = 5,
    kMsgYes = 6,
    kMsgNo = 7,
};

// Style parts.
enum MsgStyle : std::uint32_t {
    kMbOk = 0,
    kMbOkCancel = 1,
    kMbAbortRetryIgnore = 2,
    kMbYesNoCancel = 3,
    kMbYesNo = 4,
    kMbRetryCancel = 5,
    kMbIconStop = 16,
    kMbIconQuestion = 32,
    kMbIconExclamation = 48,
    kMbIconInformation = 64,
    kMbDefButton1 = 0,
    kMbDefButton2 = 256,
    kMbDefButton3 = 512,
};

enum class MsgIcon { None, Stop, Question, Exclamation, Information };

struct MsgBoxLayout {
    std::vector<int> buttons;  // results of the buttons, left to right
    MsgIcon icon = MsgIcon::None;
    int defaultButton = kMsgOk;  // result of the button that Enter presses
    int escapeResult = kMsgNone;  // what Escape gives: Cancel where there is one, OK on an OK-only box, else nothing
};

// Decodes a style sum. Unknown button sets are shown as OK only; a default button beyond the last button falls
// back to the first one, as the system box does.
MsgBoxLayout DecodeMessageBoxStyle(std::uint32_t style);

// Shows a message box owned by `owner` (every caller passes the main window) with the style
// part1 | part2 | part3 (an icon, a button set and a default button, in any order) and returns the button
// pressed, 1..7. The last two values are accepted and have no effect.
int MessagBox(Programma& p, View* owner, std::string_view title, std::string_view text, std::uint32_t part1,
              std::uint32_t part2 = 0, std::uint32_t part3 = 0, std::uint32_t further = 0, int furtherCount = 0);

}  // namespace morven
