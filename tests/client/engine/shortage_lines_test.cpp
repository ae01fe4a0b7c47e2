#include <gtest/gtest.h>

#include "client/engine/shortage_receive.h"

namespace morven {
namespace {

TEST(ShortageLinesTest, EntryLayoutsByInterfaceClass) {
    const std::string line = "ABC123456" "0012";
    const std::string short29 = std::string("NON DISPONIBILE") + std::string(13, ' ') + "3";
    const std::string long20 = "RIPROVARE DOMANI    ";
    const std::string b29(29, ' '), b20(20, ' ');
    struct Row {
        std::string voce;
        int cls;
        bool t3;
        std::optional<std::string> rst, man;
        std::string ma1;
    } rows[] = {
        {line, 1, false, line, line + b29, line + b29 + b20},
        {line, 1, true, line, line + b29, line + b29 + b20},
        {line + short29, 2, false, line, line + short29, line + short29 + b20},
        {line + short29, 3, false, line, line + short29, line + short29 + b20},
        {line + short29 + long20, 2, true, line, line + short29, line + short29 + long20},
        // Column 42 "@": the entry is for the long answer file only.
        {line + short29.substr(0, 28) + "@" + long20, 3, true, std::nullopt, std::nullopt,
         line + short29.substr(0, 28) + "@" + long20},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.voce);
        const auto got = RigheVoceMancanti(r.voce, r.cls, r.t3);
        EXPECT_EQ(got.rst, r.rst);
        EXPECT_EQ(got.man, r.man);
        EXPECT_EQ(got.ma1, r.ma1);
    }
    EXPECT_EQ(LunghezzaVoceMancanti(4, false), 0);
}

TEST(ShortageLinesTest, ComprojectEntryPutsOutcomeInColumn42) {
    const std::string desc = "PRODOTTO MANCANTE" + std::string(11, ' ');
    const auto r = RigheVoceComproject("ABC123456" "007" "5" + desc);
    EXPECT_EQ(*r.rst, "ABC1234560007");
    EXPECT_EQ(*r.man, "ABC1234560007" + desc + "5");
    ASSERT_EQ(r.man->size(), 42u);
    EXPECT_EQ(r.ma1, *r.man + std::string(20, ' '));
}

TEST(ShortageLinesTest, HeaderLines) {
    EXPECT_EQ(TestataManLORQ("CLI42", "0007"), "CLI420007" + std::string(29, ' '));
    EXPECT_EQ(TestataManCPJ("00123450850000"), "001234508" + std::string(33, ' '));
}

}  // namespace
}  // namespace morven
