#include "client/engine/message_box.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

TEST(MessageBoxStyleTest, DecodesButtonsIconDefaultAndEscape) {
    using B = std::vector<int>;
    struct Row {
        std::uint32_t style;
        B buttons;
        MsgIcon icon;
        int def;
        int escape;
    } rows[] = {
        {0, {kMsgOk}, MsgIcon::None, kMsgOk, kMsgOk},
        {16, {kMsgOk}, MsgIcon::Stop, kMsgOk, kMsgOk},
        {49, {kMsgOk, kMsgCancel}, MsgIcon::Exclamation, kMsgOk, kMsgCancel},
        {36, {kMsgYes, kMsgNo}, MsgIcon::Question, kMsgYes, kMsgNone},
        {276, {kMsgYes, kMsgNo}, MsgIcon::Stop, kMsgNo, kMsgNone},
        {48 + 4 + 0, {kMsgYes, kMsgNo}, MsgIcon::Exclamation, kMsgYes, kMsgNone},
        {68, {kMsgYes, kMsgNo}, MsgIcon::Information, kMsgYes, kMsgNone},
        {16 + 2 + 256, {kMsgAbort, kMsgRetry, kMsgIgnore}, MsgIcon::Stop, kMsgRetry, kMsgNone},
        {3 + 32 + 512, {kMsgYes, kMsgNo, kMsgCancel}, MsgIcon::Question, kMsgCancel, kMsgCancel},
        {5 + 64, {kMsgRetry, kMsgCancel}, MsgIcon::Information, kMsgRetry, kMsgCancel},
        // Default button beyond the set falls back to the first; unknown sets show OK.
        {1 + 512, {kMsgOk, kMsgCancel}, MsgIcon::None, kMsgOk, kMsgCancel},
        {6, {kMsgOk}, MsgIcon::None, kMsgOk, kMsgOk},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.style);
        const auto m = DecodeMessageBoxStyle(r.style);
        EXPECT_EQ(m.buttons, r.buttons);
        EXPECT_EQ(m.icon, r.icon);
        EXPECT_EQ(m.defaultButton, r.def);
        EXPECT_EQ(m.escapeResult, r.escape);
    }
}

}  // namespace
}  // namespace morven
