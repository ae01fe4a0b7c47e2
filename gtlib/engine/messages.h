// The library's message table and its message path: text lookup into an engine's three text slots, the
// result texts of both engines, the first-error report of a compression run, the error messages of the
// decompression engine, the message display (host message procedure first, then the host's box or dialog)
// and the overwrite and rename prompts.
//
// There is no window system inside the library: where a message box, the overwrite dialog or the rename
// dialog would be shown, the engine calls the hooks of the run's engine context (context.h). Without hooks a box
// answers with its default button, the overwrite dialog answers No (the existing file is kept) and the
// rename dialog is cancelled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "gtlib/engine/context.h"
#include "gtlib/engine/logs.h"
#include "gtlib/engine/overwrite.h"
#include "gtlib/engine/records.h"

namespace gtlib {

// ---------------------------------------------------------------------------------------------------------
// Table and lookup
// ---------------------------------------------------------------------------------------------------------

struct MessageEntry {
    uint32_t id;
    const char* text;
};

inline constexpr std::size_t kMessageCount = 180;

// The ids of the messages the engines and the writer look up by name; the table holds more (the labels of
// the diagnostic dump, the result texts by code).
enum MessageId : uint32_t {
    kMsgProcessingArguments = 101,
    kMsgAlertTitle = 102,
    kMsgWarningTitle = 103,
    kMsgErrorTitle = 105,
    kMsgDiagnosticLogName = 106,
    kMsgCannotOpen = 151,
    kMsgNewFileLeftAs = 152,
    kMsgCreatingPatternList = 153,
    kMsgGettingPassword = 156,
    kMsgInvalidDate = 157,
    kMsgProcessingFileList = 159,
    kMsgInvalidOptions = 160,
    kMsgReplacingOriginal = 163,
    kMsgAboutToCompress = 164,
    kMsgDiagnosticLogHeading = 190,
    kMsgCtInitOutOfMemory = 332,
    kMsgEolBinary = 334,
    kMsgWindowAllocation = 380,
    kMsgHashTableAllocation = 390,
    kMsgItemOf = 391,
    kMsgUnexpectedError = 392,
    kMsgMemoryToFile = 395,
    kMsgFileOpenError = 600,
    kMsgFileReadError = 601,
    kMsgProcessingItemList = 700,
    kMsgEventLogName = 701,
    kMsgEventLogHeading = 702,
    kMsgAdded = 703,
    kMsgItemDeleted = 704,
    kMsgMemory = 705,
    kMsgVersion = 706,
    kMsgMemoryToMemory = 707,
    kMsgOverwriteQuestion = 851,
    kMsgExtractItemOfCount = 853,
    kMsgReturnCount = 856,
    kMsgReturnString = 857,
    kMsgNeedsDriveLetter = 883,
    kMsgNoArchiveName = 884,
    kMsgFreshenAndUpdate = 888,
    kMsgNoDecryptionKey = 889,
    kMsgNoDestination = 890,
    kMsgUnknownFunction = 891,
    kMsgExtractProblem = 894,
    kMsgOntoItself = 895,
    kMsgOverwriteReadOnlyQuestion = 897,
    kMsgQuotesMismatched = 898,
    kMsgFileToMemParameters = 900,
    kMsgResponse = 907,
    kMsgGzipInfoMissing = 912,
    kMsgTarInfoMissing = 913,
};

// The table: kMessageCount entries, then the end pair {0, ""}.
const MessageEntry* MessageTable();

// The text of a message id, or null when the table has no such id.
const char* FindMessage(uint32_t id);

// Three text slots of 260 bytes, held by each engine state, so that up to three looked-up texts can be in
// use at once.
inline constexpr std::size_t kMessageSlotSize = 260;
inline constexpr std::size_t kMessageTextLimit = 258;  // a looked-up text is cut to this many characters
struct MessageSlots {
    char text[3][kMessageSlotSize];
};

// Copies message `id` into slot `slot` (clamped to 0..2), cut to 258 characters, and returns the slot. An
// unknown id leaves an empty text; without slots (no engine state) the result is an empty text.
const char* GetMessageText(MessageSlots* slots, uint32_t id, int slot);

// The host's message procedure and its user data, as taken from a command record.
struct MessageHost {
    MessageProc proc = nullptr;
    void* userData = nullptr;
};

// Lookup of the compression engine: as GetMessageText, then a found text is offered to the host's message
// procedure (kind MSGID_GTCHANGE, number 1 = the id, text 1 = the slot, which the host may rewrite in place,
// text 2 = " ").
const char* GtGetMessageText(MessageSlots* slots, const MessageHost& host, uint32_t id, int slot);

enum class EngineKind { Compress, Decompress };

// Text of a result code: message 0x100 + code (compression) or 0x320 + code (decompression); empty for a
// code without a text.
std::string ResultText(EngineKind engine, int32_t code);

// ---------------------------------------------------------------------------------------------------------
// Host hooks for what would be windows
// ---------------------------------------------------------------------------------------------------------

// The hooks that stand for the windows (HostUi) are part of the run's engine context (context.h).

// ---------------------------------------------------------------------------------------------------------
// Message display
// ---------------------------------------------------------------------------------------------------------

inline constexpr uint32_t kStyleOverwrite = 15;  // the decompression engine's own overwrite dialog
// Its answers are those of overwrite.h (kAnswerYes, kAnswerYesToAll, kAnswerRename, ...).

// Shows a message of the given kind (MSGID_*) and box style. The title and the text shown follow from the
// kind (and, for MSGID_GTERROR, from whether number 1 is a known result code of the engine). The host's
// message procedure is asked first; its answer is taken only when it fits the style. Otherwise the
// overwrite dialog (style 15) or a message box is shown through the hooks `ui`, and its answer returned.
int32_t DisplayMessage(EngineKind engine, const MessageHost& host, int32_t kind, uint32_t style, int32_t number1,
                       int32_t number2, std::string_view text, const HostUi& ui = {});

// What the message path needs of an engine state.
struct MessageContext {
    MessageSlots* slots = nullptr;  // the engine state's text slots (null: a temporary set is used)
    MessageHost host;
    bool diagnostic = false;        // write reported messages to the diagnostic log
    bool quiet = false;             // show nothing (bAllQuiet)
    const EngineContext* engine = nullptr;  // the run's logs and window hooks (null: the defaults)
};

// First error of a compression run: only a non-zero code latches, and only the first one.
struct FirstError {
    bool latched = false;
    int32_t code = 0;
};

// The whole of an error text: the result text plus " (" + detail + ")" stays within this many characters.
inline constexpr std::size_t kMessageDetailWhole = 250;

// Compression engine, show message: the first non-zero code of a run latches and becomes the run's result;
// its text (message 0x100 + code, the detail in parentheses, LF) goes to the diagnostic log when
// diagnostic, and to a box (kind MSGID_GTERROR, style 0) when one is allowed. Later calls do nothing.
// Returns the run's result as it stands after the call.
int32_t GtReportError(const MessageContext& ctx, FirstError& latch, int32_t code, std::string_view detail,
                      bool boxAllowed);

// Compression engine, a warning: text + detail, cut to 259 characters, shown with kind MSGID_GTWARN unless
// quiet.
void GtShowWarning(const MessageContext& ctx, std::string_view text, std::string_view detail);

// Decompression engine, the text of an error message: "Selbrik-GT Error <result text> (<detail>)" + LF, or
// without a detail "Selbrik-GT Error <result text> " + LF.
std::string UgtErrorText(int32_t code, std::string_view detail);

// Decompression engine, show message: the error text to the diagnostic log (when diagnostic) and, unless
// quiet, to the display with kind MSGID_GTERROR, style 0, number 1 = the code.
void UgtShowMessage(const MessageContext& ctx, int32_t code, std::string_view detail);

// The overwrite question for an existing output file ("%s exists, do you want to overwrite it?", or the
// read-only form with number 1 = 1), kind MSGID_GTOVERWRT, style 15 -> the answer.
int32_t AskOverwrite(const MessageContext& ctx, std::string_view path, bool readOnly);

// The rename dialog for an output path -> the chosen path, or empty when cancelled.
std::string AskRename(std::string_view path, const HostUi& ui = {});

}  // namespace gtlib
