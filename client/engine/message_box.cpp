#include "client/engine/message_box.h"

#include "client/engine/programma.h"

namespace morven {

MsgBoxLayout DecodeMessageBoxStyle(std::uint32_t style) {
    MsgBoxLayout m;
    switch (style & 0x0F) {
        case kMbOkCancel: m.buttons = {kMsgOk, kMsgCancel}; break;
        case kMbAbortRetryIgnore: m.buttons = {kMsgAbort, kMsgRetry, kMsgIgnore}; break;
        case kMbYesNoCancel: m.buttons = {kMsgYes, kMsgNo, kMsgCancel}; break;
        case kMbYesNo: m.buttons = {kMsgYes, kMsgNo}; break;
        case kMbRetryCancel: m.buttons = {kMsgRetry, kMsgCancel}; break;
        default: m.buttons = {kMsgOk}; break;
    }
    switch (style & 0xF0) {
        case kMbIconStop: m.icon = MsgIcon::Stop; break;
        case kMbIconQuestion: m.icon = MsgIcon::Question; break;
        case kMbIconExclamation: m.icon = MsgIcon::Exclamation; break;
        case kMbIconInformation: m.icon = MsgIcon::Information; break;
        default: m.icon = MsgIcon::None; break;
    }
    const std::size_t def = (style & 0xF00) >> 8;
    m.defaultButton = def < m.buttons.size() ? m.buttons[def] : m.buttons.front();
    m.escapeResult = kMsgNone;
    for (int b : m.buttons)
        if (b == kMsgCancel) m.escapeResult = kMsgCancel;
    if (m.buttons.size() == 1 && m.buttons.front() == kMsgOk) m.escapeResult = kMsgOk;
    return m;
}

int MessagBox(Programma& p, View* owner, std::string_view title, std::string_view text, std::uint32_t part1,
              std::uint32_t part2, std::uint32_t part3, std::uint32_t, int) {
    const auto style = static_cast<int>(part1 | part2 | part3);
    return p.MsgBox().MsgBox(text, style, title, owner);
}

}  // namespace morven
