// The decompression engine behind ugtactx: one command record (UGTCMDSTRUCT) in, one result code out.
// It checks the record, opens the GZIP or TAR file (or reads GZIP data from the host through the
// memory-transfer procedure) and extracts, tests or describes members, with the extraction policy of the
// library: output paths, overwrite prompts and the rename request, freshen/update and read-only rules,
// filespec selection, the result codes and the log lines.
//
// State: one UgtEngineState per control, handed to every run by the control (UgtRun); nothing is kept per
// thread or per process, so an action of another control started from an event handler runs on that
// control's state and the outer action keeps its own. A caller of UgtMain without a control gets a state
// of its own for that one action. A second run on the same state while one is active is refused with
// UGTE_BUSY.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gtlib/engine/context.h"
#include "gtlib/engine/records.h"

namespace gtlib {

struct UgtEngineState;

// A fresh state with the defaults set (null when it cannot be allocated), and its release.
UgtEngineState* UgtNewState();
void UgtDeleteState(UgtEngineState* state);

// Runs one action on `state` (null state: UGTE_MEM) with the caller's engine context (log folder and
// clock, window hooks).
int32_t UgtRun(UgtEngineState* state, UGTCMDSTRUCT* cmd, const EngineContext& context);

// For a control that keeps its state in a block of its own memory (zero-filled, UgtStateSize() bytes,
// aligned for any type): UgtInitState makes the state in it with the defaults set, UgtReleaseState ends it
// (the memory stays the control's). UgtRunBlock runs one action with that block, or with a state of its
// own for the action when the block is null.
std::size_t UgtStateSize();
void UgtInitState(void* block);
void UgtReleaseState(void* block);
int32_t UgtRunBlock(void* block, const EngineContext& context, void* ugtCmdStruct);

// Runs one action on a state of its own, made for it and dropped afterwards.
int32_t UgtMain(UGTCMDSTRUCT* cmd, const EngineContext& context = {});

// ---------------------------------------------------------------------------------------------------------
// Pieces of the engine with rules of their own
// ---------------------------------------------------------------------------------------------------------

// Date and time text of a Unix time in local time: "MM/DD/YYYY hh:mm:ss".
std::string UgtDateText(int64_t unixTime);

// The reverse, for a rename answer: a text longer than 18 characters with "/" at positions 3 and 6 and ":"
// at 14 and 17 (1-based), else 0. Month 1-12, day 1-31, year 1970-2035, hours to 23, minutes and seconds
// to 59 are clamped; the text is local time.
int64_t UgtDateTextToUnix(std::string_view text);

// Name matching of a pattern against a name (both without folders): "*.*" and "*" match everything;
// otherwise base and extension (split at the last ".") are matched separately, "?" matching any one
// character, "*" the rest of the part; case is ignored.
bool UgtMatchName(std::string_view pattern, std::string_view name);

// Splits a filespec into patterns: upper-cased, cut at blanks outside double quotes, the quotes dropped
// and "/" turned into "\". UGTE_PARMS for an odd number of double quotes.
int32_t UgtSplitFilespec(std::string_view filespec, std::vector<std::string>& patterns);

// Does a pattern list select a member name ("\" separators, a folder member ending in "\")?
// An empty list selects every member.
bool UgtSelectByPatterns(const std::vector<std::string>& patterns, std::string_view memberName, bool recurse);

// Long name: a blank or a double quote, or a part (between "/", "\" or ":") with more than 8 characters
// before its first point or more than 3 after it. The short form keeps 8 + 3 characters per part, drops
// blanks, double quotes and further points.
bool UgtIsLongName(std::string_view name);
std::string UgtShortName(std::string_view name);

// Header of a GZIP member as read by the engine.
struct UgtGzipHeader {
    uint8_t fixed[10] = {};
    std::string extra;
    std::string name;             // at most 259 bytes kept; a longer name is read to its end
    std::string comment;          // the same
    bool hasName = false;
    bool hasComment = false;
    uint16_t commentSize = 0;     // comment length + 1 (0 without a comment)
    uint8_t cryptHeader[12] = {};
    bool encrypted = false;
    int64_t dataStart = 0;        // offset of the compressed data (after the encryption header)
};

// Reads a GZIP member header from bytes supplied by `read` (returns the bytes it placed, 0 at the end),
// in the order of RFC 1952: fixed part, extra field, name, comment, header CRC, then the library's own
// 12-byte encryption header. UGTE_STRUCT when the bytes are not a GZIP header or end inside it.
template <typename Reader>
int32_t UgtReadGzipHeader(Reader&& read, UgtGzipHeader& h);

}  // namespace gtlib

#include "gtlib/engine/ugt_gzip_header.inl"
