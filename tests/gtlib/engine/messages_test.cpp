#include "gtlib/engine/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "engine_test_support.h"

namespace gtlib {
namespace {

using test::LogEnvironment;
using test::RecordingUi;
using test::ScriptedHost;

TEST(MessageTableTest, HoldsUniqueIdsAndEndsWithTheEmptyPair) {
    const MessageEntry* t = MessageTable();
    std::set<uint32_t> ids;
    std::size_t n = 0;
    for (; t[n].id != 0; ++n) {
        EXPECT_TRUE(ids.insert(t[n].id).second) << "duplicate id " << t[n].id;
        ASSERT_NE(t[n].text, nullptr);
    }
    EXPECT_EQ(n, kMessageCount);
    EXPECT_STREQ(t[n].text, "");
}

TEST(MessageTableTest, TextsStandAsTheyAre) {
    struct Case {
        uint32_t id;
        const char* text;
    };
    const Case cases[] = {
        {106, "\\SBGT32.LOG"},
        {701, "\\SBGTLOG.TXT"},
        {190, "--- Selbrik-GT Diagnostic Log - %s ---\r\n"},
        {191, "ulgtStructSize:  %ld \r\n"},
        {210, "lpszExludeList: %#08lx \r\n"},
        {234, "lResv4: %#08lx \r\n"},
        {261, "Operation aborted"},
        {262, "ItemList does not match any file names"},
        {805, "Operation Aborted"},
        {806, "Filepec does not match any file names"},
        {817, "Disk full"},
        {851, "%s exists, do you want to overwrite it?"},
        {895, "You are trying to GUNZIP/UNTAR from this file on top of itself, which is not permitted. \n"
              "Skipping this item..."},
        {896, "dwUGTSubOptions: %#04x \r\n"},
        {706, "Version: 5.00.02 - %s  %s"},
        {913, "TARINFO missing or invalid."},
    };
    for (const auto& c : cases) {
        ASSERT_NE(FindMessage(c.id), nullptr) << c.id;
        EXPECT_STREQ(FindMessage(c.id), c.text) << c.id;
    }
    for (uint32_t missing : {200u, 213u, 864u, 868u, 0u, 818u, 272u}) EXPECT_EQ(FindMessage(missing), nullptr) << missing;
}

TEST(MessageTableTest, ResultTextsOfBothEngines) {
    EXPECT_EQ(ResultText(EngineKind::Compress, GTE_OK), "-");
    EXPECT_EQ(ResultText(EngineKind::Compress, GTE_TEMP), "Temp file error");
    EXPECT_EQ(ResultText(EngineKind::Compress, GTE_INCOMPLETE), "Operation did not complete");
    EXPECT_EQ(ResultText(EngineKind::Compress, 16), "");
    EXPECT_EQ(ResultText(EngineKind::Decompress, UGTE_BADCRC), "Bad CRC");
    EXPECT_EQ(ResultText(EngineKind::Decompress, UGTE_SKIP), "File was skipped");
    EXPECT_EQ(ResultText(EngineKind::Decompress, 18), "");
    EXPECT_EQ(ResultText(EngineKind::Decompress, -1), "");
}

TEST(MessageLookupTest, SlotsAreClampedAndIndependent) {
    MessageSlots slots{};
    const char* a = GetMessageText(&slots, 102, 0);
    const char* b = GetMessageText(&slots, 103, 1);
    const char* c = GetMessageText(&slots, 105, 7);  // clamped to slot 2
    const char* d = GetMessageText(&slots, 104, -3);  // clamped to slot 0, overwriting a
    EXPECT_EQ(c, slots.text[2]);
    EXPECT_EQ(d, slots.text[0]);
    EXPECT_EQ(a, d);
    EXPECT_STREQ(slots.text[0], "Selbrik-GT Request");
    EXPECT_STREQ(b, "Selbrik-GT Warning");
    EXPECT_STREQ(c, "Selbrik-GT Error");
}

TEST(MessageLookupTest, UnknownIdOrNoStateGivesEmptyText) {
    MessageSlots slots{};
    std::strcpy(slots.text[1], "old");
    EXPECT_STREQ(GetMessageText(&slots, 868, 1), "");
    EXPECT_STREQ(GetMessageText(nullptr, 102, 0), "");
}

TEST(MessageLookupTest, CompressionLookupOffersFoundTextsToTheHost) {
    MessageSlots slots{};
    struct Host {
        static int32_t Proc(int32_t kind, int32_t type, int32_t n1, int32_t n2, char* t1, char* t2, void* user) {
            auto* calls = static_cast<std::vector<std::string>*>(user);
            calls->push_back(std::to_string(kind) + "/" + std::to_string(type) + "/" + std::to_string(n1) + "/" +
                             std::to_string(n2) + "/" + t1 + "/[" + t2 + "]");
            if (n1 == 263) std::strcpy(t1, "Troppo poco spazio");
            return 0;
        }
    };
    std::vector<std::string> calls;
    const MessageHost host{&Host::Proc, &calls};
    EXPECT_STREQ(GtGetMessageText(&slots, host, 262, 0), "ItemList does not match any file names");
    EXPECT_STREQ(GtGetMessageText(&slots, host, 263, 1), "Troppo poco spazio");
    EXPECT_STREQ(GtGetMessageText(&slots, host, 868, 2), "");  // nothing found, nothing offered
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "7/0/262/0/ItemList does not match any file names/[ ]");
    // The plain lookup makes no offer.
    EXPECT_STREQ(GetMessageText(&slots, 263, 0), "File open error");
    EXPECT_EQ(calls.size(), 2u);
}

// Title and text the display hands on, by engine, kind and code.
TEST(MessageDisplayTest, TitleAndTextByKind) {
    struct Case {
        EngineKind engine;
        int32_t kind;
        int32_t code;
        const char* title;
        const char* text;
    };
    const auto C = EngineKind::Compress;
    const auto D = EngineKind::Decompress;
    const Case cases[] = {
        {C, MSGID_GTOPEN, 0, "Selbrik-GT Error", "Selbrik-GT File open error!"},
        {D, MSGID_GTREAD, 0, "Selbrik-GT Error", "Selbrik-GT File read error!"},
        {C, MSGID_GTWRITE, 0, "Selbrik-GT Error", "Selbrik-GT File write error!"},
        {C, MSGID_GTERROR, 15, "Selbrik-GT Error", "given"},
        {C, MSGID_GTERROR, 16, "Selbrik-GT Error", ""},
        {D, MSGID_GTERROR, 8, "Selbrik-GT Error", "given"},
        {D, MSGID_GTERROR, 9, "Selbrik-GT Error", ""},
        {D, MSGID_GTERROR, 10, "Selbrik-GT Error", ""},
        {D, MSGID_GTERROR, 17, "Selbrik-GT Error", "given"},
        {C, MSGID_GTWARN, 0, "Selbrik-GT Warning", "given"},
        {D, MSGID_GTOVERWRT, 0, "Selbrik-GT Warning", "given"},
        {C, MSGID_GTOVERWRT, 0, "Selbrik-GT Error", ""},
        {D, MSGID_GTPWERR, 0, "Selbrik-GT Error", "given"},
        {C, MSGID_GTPWERR, 0, "Selbrik-GT Error", ""},
        {C, MSGID_GTCHANGE, 0, "Selbrik-GT Error", "given"},
        {D, MSGID_GTCHANGE, 0, "Selbrik-GT Error", ""},
        {C, 42, 0, "Selbrik-GT Error", "given"},
        {D, -1, 0, "Selbrik-GT Error", ""},
    };
    LogEnvironment env;
    for (const auto& c : cases) {
        ScriptedHost host;
        host.answers = {1};
        DisplayMessage(c.engine, host.Host(), c.kind, 0, c.code, 0, "given");
        ASSERT_EQ(host.calls.size(), 1u);
        EXPECT_EQ(host.calls[0].text2, c.title) << c.kind << "/" << c.code;
        EXPECT_EQ(host.calls[0].text1, c.text) << c.kind << "/" << c.code;
    }
}

// Which host answers are taken for which style; an answer that does not fit shows the box (or dialog).
TEST(MessageDisplayTest, HostAnswerIsTakenOnlyWhenItFitsTheStyle) {
    struct Case {
        EngineKind engine;
        uint32_t style;
        int32_t answer;
        bool taken;
    };
    const auto C = EngineKind::Compress;
    const auto D = EngineKind::Decompress;
    const Case cases[] = {
        {C, 0, 1, true},     {C, 0, 6, false},    {C, 0, 2, false},  {C, 1, 1, true},    {C, 1, 2, true},
        {C, 2, 3, true},     {C, 2, 4, true},     {C, 2, 5, true},   {C, 2, 1, false},   {C, 3, 2, true},
        {C, 3, 6, true},     {C, 3, 7, true},     {C, 4, 6, true},   {C, 4, 2, false},   {C, 5, 4, true},
        {C, 5, 2, true},     {C, 5, 5, false},    {C, 36, 6, true},  {C, 276, 7, true},  {C, 49, 2, true},
        {C, 0, 0, false},    {C, 15, 100, false}, {C, 0, 101, false}, {D, 0, 101, true}, {D, 4, 101, true},
        {D, 15, 100, true},  {D, 15, 6, true},    {D, 15, 7, true},  {D, 15, 2, true},   {D, 15, 3, true},
        {D, 15, 5, true},    {D, 15, 1, false},   {D, 15, 4, false}, {D, 3, 100, false}, {D, 0, 1, true},
    };
    LogEnvironment env;
    for (const auto& c : cases) {
        RecordingUi ui;
        ui.boxAnswer = 1234;
        ui.dialogAnswers = {4321};
        ui.Install(env.context);
        ScriptedHost host;
        host.answers = {c.answer};
        const int32_t got = DisplayMessage(c.engine, host.Host(), MSGID_GTWARN, c.style, 0, 0, "t", env.context.ui);
        const bool dialog = (c.style & 0x0F) == 15;
        EXPECT_EQ(got, c.taken ? c.answer : (dialog ? 4321 : 1234)) << c.style << "/" << c.answer;
        EXPECT_EQ(ui.shown.size(), c.taken ? 0u : 1u) << c.style << "/" << c.answer;
        if (!c.taken && !dialog) {
            EXPECT_EQ(ui.shown[0].style, c.style | 0x2000u | 0x10000u);
            EXPECT_EQ(ui.shown[0].title, "Selbrik-GT Warning");
            EXPECT_EQ(ui.shown[0].text, "t");
        }
    }
}

TEST(MessageDisplayTest, WithoutHooksTheDefaultButtonAnswers) {
    LogEnvironment env;
    struct Case {
        uint32_t style;
        int32_t answer;
    };
    const Case cases[] = {{0, 1}, {49, 1}, {36, 6}, {276, 7}, {0x203, 2}, {0x102, 4}, {5, 4}, {15, 7}};
    for (const auto& c : cases)
        EXPECT_EQ(DisplayMessage(EngineKind::Decompress, {}, MSGID_GTWARN, c.style, 0, 0, "t"), c.answer) << c.style;
}

TEST(CompressionErrorReportTest, OnlyTheFirstNonZeroCodeIsShownAndLogged) {
    LogEnvironment env;
    RecordingUi ui;
    ui.Install(env.context);
    ScriptedHost host;
    MessageSlots slots{};
    MessageContext ctx{&slots, host.Host(), true, false, &env.context};
    FirstError latch;
    EXPECT_EQ(GtReportError(ctx, latch, GTE_OK, "ignored", true), 0);
    EXPECT_FALSE(latch.latched);
    EXPECT_EQ(GtReportError(ctx, latch, GTE_OPEN, "could not open for reading: /x/y", true), GTE_OPEN);
    EXPECT_EQ(GtReportError(ctx, latch, GTE_MEM, "second", true), GTE_OPEN);
    EXPECT_EQ(latch.code, GTE_OPEN);

    // One offer of the error text (kind 7), then one error box (kind 5) not taken from the host.
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0].kind, MSGID_GTCHANGE);
    EXPECT_EQ(host.calls[0].number1, 263);
    EXPECT_EQ(host.calls[1].kind, MSGID_GTERROR);
    EXPECT_EQ(host.calls[1].style, 0);
    EXPECT_EQ(host.calls[1].number1, GTE_OPEN);
    EXPECT_EQ(host.calls[1].text1, "File open error (could not open for reading: /x/y)\n");
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].title, "Selbrik-GT Error");
    EXPECT_EQ(env.Diagnostic(), "\r\nFile open error (could not open for reading: /x/y)\n\r\n");
}

TEST(CompressionErrorReportTest, DetailIsCutSoTheWholeStaysWithin250) {
    LogEnvironment env;
    MessageContext ctx = env.Messages();
    ctx.diagnostic = true;
    FirstError latch;
    GtReportError(ctx, latch, GTE_CREATE, std::string(400, 'p'), false);
    const std::string text = "File create error (" + std::string(250 - 17 - 3, 'p') + ")\n";
    EXPECT_EQ(env.Diagnostic(), "\r\n" + text + "\r\n");
}

TEST(CompressionErrorReportTest, QuietRunShowsNothingButStillLogs) {
    LogEnvironment env;
    RecordingUi ui;
    ui.Install(env.context);
    MessageContext ctx = env.Messages();
    ctx.diagnostic = true;
    ctx.quiet = true;
    FirstError latch;
    GtReportError(ctx, latch, GTE_NONE, "", !ctx.quiet);
    GtShowWarning(ctx, "text", "detail");
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_EQ(env.Diagnostic(), "\r\nItemList does not match any file names\n\r\n");
}

TEST(CompressionErrorReportTest, WarningJoinsTextAndDetailCutTo259) {
    LogEnvironment env;
    RecordingUi ui;
    ui.Install(env.context);
    MessageContext ctx = env.Messages();
    GtShowWarning(ctx, "could not open for reading, will just copy entry over: ", std::string(300, 'x'));
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].title, "Selbrik-GT Warning");
    EXPECT_EQ(ui.shown[0].text.size(), 259u);
    EXPECT_EQ(ui.shown[0].text.substr(0, 10), "could not ");
}

TEST(DecompressionMessageTest, ErrorTextsWithAndWithoutDetail) {
    EXPECT_EQ(UgtErrorText(UGTE_PARMS, "Unknown function requested"),
              "Selbrik-GT Error Parameters missing or bad (Unknown function requested)\n");
    EXPECT_EQ(UgtErrorText(UGTE_BUSY, ""), "Selbrik-GT Error Busy, can't re-enter now \n");
}

TEST(DecompressionMessageTest, ShowMessageLogsAndDisplaysUnlessQuiet) {
    LogEnvironment env;
    RecordingUi ui;
    ui.Install(env.context);
    MessageContext ctx = env.Messages();
    ctx.diagnostic = true;
    UgtShowMessage(ctx, UGTE_OPEN, "Selbrik-GT File read error!");
    ctx.quiet = true;
    UgtShowMessage(ctx, UGTE_PARMS, "invalid option(s)");
    ctx.quiet = false;
    ctx.diagnostic = false;
    UgtShowMessage(ctx, UGTE_READ, "x");
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[0].text, "Selbrik-GT Error File open error (Selbrik-GT File read error!)\n");
    EXPECT_EQ(ui.shown[0].title, "Selbrik-GT Error");
    EXPECT_EQ(ui.shown[1].text, "");  // codes 9 and 10 show an empty box
    EXPECT_EQ(env.Diagnostic(),
              "\r\nSelbrik-GT Error File open error (Selbrik-GT File read error!)\n\r\n"
              "\r\nSelbrik-GT Error Parameters missing or bad (invalid option(s))\n\r\n");
}

TEST(DecompressionMessageTest, OverwriteQuestionGoesToTheHostThenTheDialog) {
    LogEnvironment env;
    RecordingUi ui;
    ui.dialogAnswers = {kAnswerYesToAll};
    ui.Install(env.context);
    ScriptedHost host;
    host.answers = {0, 6};
    MessageContext ctx{nullptr, host.Host(), false, false, &env.context};
    EXPECT_EQ(AskOverwrite(ctx, "/out/a.txt", true), kAnswerYesToAll);  // host answer 0 does not fit
    EXPECT_EQ(AskOverwrite(ctx, "/out/b.txt", false), 6);
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[0].kind, MSGID_GTOVERWRT);
    EXPECT_EQ(host.calls[0].style, 15);
    EXPECT_EQ(host.calls[0].number1, 1);
    EXPECT_EQ(host.calls[0].text1, "/out/a.txt exists and is Read Only, do you want to overwrite it?");
    EXPECT_EQ(host.calls[0].text2, "Selbrik-GT Warning");
    EXPECT_EQ(host.calls[1].number1, 0);
    EXPECT_EQ(host.calls[1].text1, "/out/b.txt exists, do you want to overwrite it?");
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].style, 0xFFFFu);
}

TEST(DecompressionMessageTest, RenameDialogAnswersThroughTheHookOrCancels) {
    LogEnvironment env;
    EXPECT_EQ(AskRename("/out/a.txt", env.context.ui), "");
    RecordingUi ui;
    ui.renameAnswers = {"/out/b.txt"};
    ui.Install(env.context);
    EXPECT_EQ(AskRename("/out/a.txt", env.context.ui), "/out/b.txt");
    EXPECT_EQ(ui.renameAsked, std::vector<std::string>{"/out/a.txt"});
}

}  // namespace
}  // namespace gtlib
