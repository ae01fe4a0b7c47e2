#include "gtlib/engine/messages.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace gtlib {

namespace {

// Every user-visible text, log label and error text of both engines. Ids are unique; the list ends with
// the pair {0, ""}. Texts stand as the library has always shown and logged them.
const MessageEntry kMessages[] = {
    {100, "aborting"},
    {101, "was processing arguments"},
    {102, "Selbrik-GT Alert"},
    {103, "Selbrik-GT Warning"},
    {104, "Selbrik-GT Request"},
    {105, "Selbrik-GT Error"},
    {106, "\\SBGT32.LOG"},
    {150, "could not open for reading, will just copy entry over: "},
    {151, "could not open for reading: "},
    {152, "new file left as: "},
    {153, "was creating pattern list"},
    {155, "encryption not supported"},
    {156, "was getting encryption password"},
    {157, "invalid date"},
    {158, "cannot repeat names in TAR file"},
    {159, "was processing list of files"},
    {160, "invalid option(s)"},
    {161, "allocating temp filename"},
    {162, "was adding files to new file"},
    {163, "was replacing the original file"},
    {164, "was about to Compress or TAR"},
    {165, "Selbrik-GT Response:"},
    {190, "--- Selbrik-GT Diagnostic Log - %s ---\r\n"},
    {191, "ulgtStructSize:  %ld \r\n"},
    {192, "lFunction:  %d \r\n"},
    {193, "lpszGTFile: %#08lx \r\n"},
    {194, "lpszItemList: %#08lx \r\n"},
    {195, "lpszDestination: %#08lx \r\n"},
    {196, "lpszTempPath: %#08lx \r\n"},
    {197, "bAllQuiet: %d \r\n"},
    {198, "bRecurseFlag: %d \r\n"},
    {199, "lCompFactor: %d \r\n"},
    {201, "bLFtoCRLF: %d \r\n"},
    {202, "bGrowExistingFlag: %d \r\n"},
    {203, "bAddComment: %d \r\n"},
    {204, "lpszComment: %#08lx \r\n"},
    {205, "bInclDate: %d \r\n"},
    {206, "bExclDate: %d \r\n"},
    {207, "lpszDate1: %#08lx \r\n"},
    {208, "lpszDate2: %#08lx \r\n"},
    {209, "lpszIncludeList: %#08lx \r\n"},
    {210, "lpszExludeList: %#08lx \r\n"},
    {211, "bDosify: %d \r\n"},
    {212, "bIncludeSysHidden: %d \r\n"},
    {214, "bEncryptFlag: %d \r\n"},
    {215, "lpszEncryptCode: %#08lx \r\n"},
    {216, "dwGTSubOptions: %#08lx \r\n"},
    {217, "lpMemBlock: %#08lx \r\n"},
    {218, "lMemBlockSize: %ld \r\n"},
    {219, "lpMajorStatus: %#08lx \r\n"},
    {220, "lpMajorUserData: %#08lx \r\n"},
    {221, "lpMinorStatus: %#08lx \r\n"},
    {222, "lpMinorUserData: %#08lx \r\n"},
    {223, "lpMessageDisplay: %#08lx \r\n"},
    {224, "lpMessageDisplayData: %#08lx \r\n"},
    {225, "lpRenameProc: %#08lx \r\n"},
    {226, "lpRenameUserData: %#08lx \r\n"},
    {227, "lpCallbackStruct: %#08lx \r\n"},
    {228, "bResv1: %d \r\n"},
    {229, "bResv2: %d \r\n"},
    {230, "bResv3: %d \r\n"},
    {231, "lResv1: %#08lx \r\n"},
    {232, "lResv2: %#08lx \r\n"},
    {233, "lResv3: %#08lx \r\n"},
    {234, "lResv4: %#08lx \r\n"},
    {235, "lResv5: %#08lx \r\n"},
    {236, "lResv6: %#08lx \r\n"},
    {237, "lResv7: %#08lx \r\n"},
    {238, "lResv8: %#08lx \r\n"},
    {256, "-"},
    {257, "Unexpected end of file"},
    {258, "Busy, can't re-enter now"},
    {259, "Problem with structure of GZIP/TAR file"},
    {260, "Out of memory"},
    {261, "Operation aborted"},
    {262, "ItemList does not match any file names"},
    {263, "File open error"},
    {264, "File create error"},
    {265, "File read error"},
    {266, "File write error"},
    {267, "Parameters missing or bad"},
    {268, "Index out of bounds"},
    {269, "Temp file error"},
    {270, "Missing file name"},
    {271, "Operation did not complete"},
    {332, "ct_init: out of memory"},
    {333, "block vanished"},
    {334, "can not translate EOL in binary files"},
    {380, "window allocation"},
    {390, "hash table allocation"},
    {391, "Item %d of %d"},
    {392, "unexpected error"},
    {395, "Memory to File"},
    {402, "invalid length"},
    {403, "output buffer too small for in-memory compression"},
    {600, "Selbrik-GT File open error!"},
    {601, "Selbrik-GT File read error!"},
    {602, "Selbrik-GT File write error!"},
    {700, "Processing Item List... Please wait."},
    {701, "\\SBGTLOG.TXT"},
    {702, "--- Selbrik-GT Event Log - %s ---"},
    {703, "%s [Added]"},
    {704, "%s [Deleted]"},
    {705, "%s [Memory]"},
    {706, "Version: 5.00.02 - %s  %s"},
    {707, "[Memory to Memory]"},
    {800, "-"},
    {801, "Unexpected end of file"},
    {802, "Busy, can't re-enter now"},
    {803, "Problem with structure of GZIP/TAR file"},
    {804, "Out of memory"},
    {805, "Operation Aborted"},
    {806, "Filepec does not match any file names"},
    {807, "File open error"},
    {808, "File create error"},
    {809, "File read error"},
    {810, "File write error"},
    {811, "Parameters missing or bad"},
    {812, "Index out of bounds"},
    {813, "Bad CRC"},
    {814, "Bad or missing decryption key"},
    {815, "File was skipped"},
    {816, "Compression method unknown"},
    {817, "Disk full"},
    {851, "%s exists, do you want to overwrite it?"},
    {852, "%s is encrypted, and you have not provided the correct code. Go to next item (if any)?"},
    {853, "Item %d of %d"},
    {854, "Extracting: %s"},
    {855, "Testing: %s"},
    {856, "lReturnCount: %d"},
    {857, "lpszReturnString:"},
    {861, "gzipInfo: %#08lx \r\n"},
    {862, "lpszFilespec: %#08lx \r\n"},
    {863, "lIndex: %d \r\n"},
    {865, "bFreshenFlag: %d \r\n"},
    {866, "bUpdateFlag: %d \r\n"},
    {867, "bOverWriteFlag: %d \r\n"},
    {869, "TestFlag: %d \r\n"},
    {870, "bNoDirectoryNames: %d \r\n"},
    {872, "lReturnCount: %d \r\n"},
    {873, "lpszReturnString: %#08lx \r\n"},
    {874, "bDecryptFlag: %d \r\n"},
    {875, "lpszDecryptCode: %#08lx \r\n"},
    {876, "No valid ZIP file indicated"},
    {877, "Filename or filespec not provided"},
    {878, "Filename or filespec empty"},
    {879, "Command structure not provided"},
    {880, "No more items found"},
    {881, "Need destination path when updating or freshening"},
    {882, "Destination path not complete"},
    {883, "Destination path must include drive letter"},
    {884, "GZIP/TAR filename not provided"},
    {886, "Specified index is out of range"},
    {887, "UGTCMDSTRUCT Size is incorrect."},
    {888, "Can't freshen and update at the same time"},
    {889, "Decryption key not provided, or too long"},
    {890, "Destination path not provided"},
    {891, "Unknown function requested"},
    {892, "Item list not provided"},
    {893, "Index is too high"},
    {894, "Problem extracting file(s)"},
    {895, "You are trying to GUNZIP/UNTAR from this file on top of itself, which is not permitted. \nSkipping this item..."},
    {896, "dwUGTSubOptions: %#04x \r\n"},
    {897, "%s exists and is Read Only, do you want to overwrite it?"},
    {898, "Double Quotes mismatched."},
    {899, "Index references Long File Name."},
    {900, "Inconsistent FILETOMEM parameters."},
    {901, "lStartingOffset: %ld \r\n"},
    {902, "Selbrik-GT Rename Request"},
    {903, "%s [Extracted]"},
    {904, "%s [Tested]"},
    {905, "%s [Overwritten]"},
    {906, "%s [Skipped]"},
    {907, "Selbrik-GT Response:"},
    {908, "Error allocating memory from heap"},
    {909, "No items match Filespec"},
    {910, "ulugtStructSize:  %ld \r\n"},
    {911, "tarInfo: %#08lx \r\n"},
    {912, "GZIPINFO missing or invalid."},
    {913, "TARINFO missing or invalid."},
    {0, ""},
};

static_assert(sizeof kMessages / sizeof kMessages[0] == kMessageCount + 1);

// The engine context of a message: the run's own, or the defaults.
struct ContextOf {
    explicit ContextOf(const MessageContext& m) : ctx(m.engine ? *m.engine : fallback) {}
    EngineContext fallback;
    const EngineContext& ctx;
};

constexpr uint32_t kMbTaskModal = 0x2000;
constexpr uint32_t kMbSetForeground = 0x10000;

// A message box without a window system answers with its default button (buttons by style, the default
// button chosen by bits 8 and 9 of the style).
int32_t DefaultButton(uint32_t style) {
    static const int32_t buttons[][3] = {
        {1, 1, 1},  // 0 OK
        {1, 2, 2},  // 1 OK Cancel
        {3, 4, 5},  // 2 Abort Retry Ignore
        {6, 7, 2},  // 3 Yes No Cancel
        {6, 7, 7},  // 4 Yes No
        {4, 2, 2},  // 5 Retry Cancel
    };
    const uint32_t kind = style & 0x0F;
    const uint32_t def = (style >> 8) & 0x03;
    if (kind > 5) return 1;
    return buttons[kind][def > 2 ? 2 : def];
}

// Copies a text into a message buffer of kMessageSlotSize bytes, cut to `limit` characters.
void CopyCut(char* buf, std::string_view text, std::size_t limit) {
    const std::size_t n = text.size() < limit ? text.size() : limit;
    if (n > 0) std::memcpy(buf, text.data(), n);
    buf[n] = 0;
}

// Does the host's answer fit the box it would have replaced?
bool AnswerFits(EngineKind engine, uint32_t style, int32_t answer) {
    const uint32_t s = style & 0x0F;
    if (engine == EngineKind::Decompress) {
        if (answer == kAnswerRename) return true;
        if (s == 15 && (answer == kAnswerCancel || answer == 3 || answer == kAnswerYesToAll5 || answer == kAnswerYes ||
                        answer == kAnswerNo || answer == kAnswerYesToAll))
            return true;
    }
    switch (answer) {
        case 1: return s == 0 || s == 1;
        case 2: return s == 1 || s == 3 || s == 5;
        case 3:
        case 5: return s == 2;
        case 4: return s == 2 || s == 5;
        case 6:
        case 7: return s == 3 || s == 4;
        default: return false;
    }
}

}  // namespace

const MessageEntry* MessageTable() { return kMessages; }

const char* FindMessage(uint32_t id) {
    for (const MessageEntry* e = kMessages; e->id != 0; ++e)
        if (e->id == id) return e->text;
    return nullptr;
}

const char* GetMessageText(MessageSlots* slots, uint32_t id, int slot) {
    if (slots == nullptr) return "";
    if (slot < 0) slot = 0;
    if (slot > 2) slot = 2;
    char* buf = slots->text[slot];
    const char* text = FindMessage(id);
    CopyCut(buf, text ? text : "", kMessageTextLimit);
    return buf;
}

const char* GtGetMessageText(MessageSlots* slots, const MessageHost& host, uint32_t id, int slot) {
    if (slots == nullptr) return "";
    const char* buf = GetMessageText(slots, id, slot);
    if (host.proc != nullptr && FindMessage(id) != nullptr) {
        char* text = const_cast<char*>(buf);
        char blank[kMessageSlotSize] = " ";
        host.proc(MSGID_GTCHANGE, 0, static_cast<int32_t>(id), 0, text, blank, host.userData);
        text[kMessageSlotSize - 1] = 0;  // whatever the host wrote, the slot stays a text
    }
    return buf;
}

std::string ResultText(EngineKind engine, int32_t code) {
    // Only result codes have result texts (a stray code must not pick up a neighbouring message).
    if (code < 0 || code > (engine == EngineKind::Compress ? int32_t{GTE_INCOMPLETE} : int32_t{UGTE_DISKFULL})) return {};
    const char* text = FindMessage((engine == EngineKind::Compress ? 0x100u : 0x320u) + static_cast<uint32_t>(code));
    return text ? text : "";
}

int32_t DisplayMessage(EngineKind engine, const MessageHost& host, int32_t kind, uint32_t style, int32_t number1,
                       int32_t number2, std::string_view text, const HostUi& ui) {
    const bool compress = engine == EngineKind::Compress;
    const auto msg = [](uint32_t id) { return std::string_view(FindMessage(id)); };
    std::string_view title = msg(kMsgAlertTitle);
    std::string_view shown;
    const bool knownCode =
        compress ? (number1 >= 0 && number1 <= 15)
                 : ((number1 >= 0 && number1 <= 8) || (number1 >= 11 && number1 <= 17));
    if (kind >= 0 && kind <= 2) {
        title = msg(kMsgErrorTitle);
        shown = msg(kMsgFileOpenError + static_cast<uint32_t>(kind));
    } else if (kind == MSGID_GTERROR && knownCode) {
        title = msg(kMsgErrorTitle);
        shown = text;
    } else if (kind == MSGID_GTWARN) {
        title = msg(kMsgWarningTitle);
        shown = text;
    } else if (!compress && kind == MSGID_GTOVERWRT) {
        title = msg(kMsgWarningTitle);
        shown = text;
    } else if (!compress && kind == MSGID_GTPWERR) {
        title = msg(kMsgErrorTitle);
        shown = text;
    } else {
        title = msg(kMsgErrorTitle);
        shown = (compress && kind > 6) ? text : std::string_view();
    }

    char textBuf[kMessageSlotSize];
    char titleBuf[kMessageSlotSize];
    CopyCut(textBuf, shown, kMessageSlotSize - 1);
    CopyCut(titleBuf, title, kMessageSlotSize - 1);

    if (host.proc != nullptr) {
        const int32_t answer = host.proc(kind, static_cast<int32_t>(style), number1, number2, textBuf, titleBuf,
                                         host.userData);
        if (AnswerFits(engine, style, answer)) return answer;
        textBuf[kMessageSlotSize - 1] = 0;
        titleBuf[kMessageSlotSize - 1] = 0;
    }

    if ((style & 0x0F) == kStyleOverwrite) {
        if (ui.overwriteDialog) return ui.overwriteDialog(textBuf, titleBuf);
        return kAnswerNo;  // no one to ask: keep the existing file
    }
    const uint32_t boxStyle = style | kMbTaskModal | kMbSetForeground;
    if (ui.messageBox) return ui.messageBox(textBuf, titleBuf, boxStyle);
    return DefaultButton(style);
}

int32_t GtReportError(const MessageContext& ctx, FirstError& latch, int32_t code, std::string_view detail,
                      bool boxAllowed) {
    if (latch.latched || code == 0) return latch.code;
    latch.latched = true;
    latch.code = code;

    MessageSlots local{};
    MessageSlots* slots = ctx.slots ? ctx.slots : &local;
    std::string text = GtGetMessageText(slots, ctx.host, 0x100u + static_cast<uint32_t>(code), 0);
    if (!detail.empty()) {
        const std::size_t room = text.size() + 3 < kMessageDetailWhole ? kMessageDetailWhole - text.size() - 3 : 0;
        text += " (";
        text += detail.substr(0, room);
        text += ")";
    }
    text += "\n";
    const ContextOf engine(ctx);
    if (ctx.diagnostic) DiagnosticLine(engine.ctx, text);
    if (boxAllowed) DisplayMessage(EngineKind::Compress, ctx.host, MSGID_GTERROR, 0, code, 0, text, engine.ctx.ui);
    return latch.code;
}

void GtShowWarning(const MessageContext& ctx, std::string_view text, std::string_view detail) {
    if (ctx.quiet) return;
    std::string whole(text);
    whole += detail;
    if (whole.size() > kMessageSlotSize - 1) whole.resize(kMessageSlotSize - 1);
    DisplayMessage(EngineKind::Compress, ctx.host, MSGID_GTWARN, 0, 0, 0, whole, ContextOf(ctx).ctx.ui);
}

std::string UgtErrorText(int32_t code, std::string_view detail) {
    std::string text = FindMessage(kMsgErrorTitle);
    text += ' ';
    text += ResultText(EngineKind::Decompress, code);
    text += ' ';
    if (!detail.empty()) {
        text += '(';
        text += detail;
        text += ')';
    }
    text += '\n';
    return text;
}

void UgtShowMessage(const MessageContext& ctx, int32_t code, std::string_view detail) {
    const std::string text = UgtErrorText(code, detail);
    const ContextOf engine(ctx);
    if (ctx.diagnostic) DiagnosticLine(engine.ctx, text);
    if (!ctx.quiet) DisplayMessage(EngineKind::Decompress, ctx.host, MSGID_GTERROR, 0, code, 0, text, engine.ctx.ui);
}

int32_t AskOverwrite(const MessageContext& ctx, std::string_view path, bool readOnly) {
    const std::string_view question = FindMessage(readOnly ? kMsgOverwriteReadOnlyQuestion : kMsgOverwriteQuestion);
    std::string text;
    const std::size_t at = question.find("%s");
    text.append(question.substr(0, at));
    text.append(path);
    text.append(question.substr(at + 2));
    return DisplayMessage(EngineKind::Decompress, ctx.host, MSGID_GTOVERWRT, kStyleOverwrite, readOnly ? 1 : 0, 0,
                          text, ContextOf(ctx).ctx.ui);
}

std::string AskRename(std::string_view path, const HostUi& ui) {
    if (ui.renameDialog) return ui.renameDialog(path);
    return {};
}

}  // namespace gtlib
