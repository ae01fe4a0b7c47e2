// The parts of the decompression engine (ugt_engine.cpp the run, ugt_gzip.cpp the GZIP reader,
// ugt_untar.cpp the TAR extraction) and what they share (ugt_files.cpp): paths, files, status, the member
// decoder's job, messages and the one overwrite / rename / read-only policy of every output file.
// Internal to the engine.
#pragma once

#include <limits.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gtlib/engine/inflate_output.h"
#include "gtlib/engine/overwrite.h"
#include "gtlib/engine/paths.h"
#include "gtlib/engine/ugt_state.h"

namespace gtlib::ugt {

inline constexpr std::size_t kInputBlock = 10240;
inline constexpr std::size_t kPathLimit = kEnginePathLimit;

struct FileFacts {
    bool exists = false;
    bool folder = false;
    bool readOnly = false;
    int64_t mtime = 0;
    dev_t dev = 0;
    ino_t ino = 0;
};


// ---- shared helpers (ugt_files.cpp) ----
bool IsPlainName(std::string_view s);
std::string ParentFolder(std::string_view path);
FileFacts Facts(const std::string& path);
bool MakeOutputFolders(const std::string& destination, const std::string& folder);
void ClearReadOnly(const std::string& path);
bool MajorStatus(UgtEngineState& s, const std::string& text, int32_t percent);
void MinorStatus(UgtEngineState& s, const std::string& text, int64_t done, int64_t expected);
MemTransferFn HostTransfer(UgtEngineState& s);
void PrepareJob(UgtEngineState& s, InflateJob& job, OutputKind kind, const std::string& item);
// What a member's decoding takes from the run, set on `to` (a member's InflateJob, or the TAR reader's
// context, which passes it on to each member's job): the output kind, the options, the caller's block and
// transfer procedure, and the progress report for `item`, whose expected total is the block's size for
// memory output and `dataSize` otherwise.
template <class Target>
void SetMemberOutput(UgtEngineState& s, Target& to, OutputKind kind, const std::string& item, int64_t dataSize) {
    to.output = kind;
    to.lfToCrlf = s.lfToCrlf;
    to.leavePartial = s.leavePartial;
    to.overwriteReadOnly = s.overwriteReadOnly;
    to.memBlock = s.memBlock;
    to.memBlockSize = static_cast<std::uint32_t>(s.memSize > 0 ? s.memSize : 0);
    to.startingOffset = static_cast<std::uint32_t>(s.startOffset > 0 ? s.startOffset : 0);
    to.memTransfer = HostTransfer(s);
    const int64_t expected = kind == OutputKind::kMemory ? s.memSize : dataSize;
    to.progress = [&s, item, expected](std::uint64_t written) {
        MinorStatus(s, item, static_cast<int64_t>(written), expected);
        return !s.cancel;
    };
}
int32_t RunJob(UgtEngineState& s, InflateJob& job);
int32_t NothingAfterOffset(const InflateJob& job, int32_t r);
void ShowMessage(UgtEngineState& s, int32_t code, std::string_view detail);
void Item(UgtEngineState& s, uint32_t id, const std::string& path);
void EventLine(UgtEngineState& s, uint32_t id);
// The overwrite policy of every output file, GZIP member or TAR member, decided by DecideOverwrite
// (overwrite.h) with the engine's answers:
// - AnswerOverwrite asks the overwrite question (host, then dialog) and, on a Yes of any kind, takes the
//   read-only state off the existing file;
// - RenamedPath asks for another name ("\" read as "/"; empty when cancelled or too long);
// - Overwrite gives the rules of the run (overwriteAll: the flag that Yes to All sets, the run's own for a
//   GZIP member, the TAR reader's context's for a TAR member).
int32_t AnswerOverwrite(UgtEngineState& s, const std::string& path, bool readOnly);
std::string RenamedPath(UgtEngineState& s, const std::string& path);
OverwriteRules Overwrite(UgtEngineState& s, bool& overwriteAll);
int32_t CheckDestination(UgtEngineState& s);
int32_t Inconsistent(UgtEngineState& s);

// ---- GZIP (ugt_gzip.cpp) ----
// Reads the member header of the run (file or stream input) and the facts around it.
int32_t ReadGzipHeader(UgtEngineState& s);
// Extracts, tests or reads into memory the GZIP file of the run (or the member of the host's stream).
int32_t ExtractGzipMember(UgtEngineState& s);
// The GZIP actions (1, 3, 5, 8, 9, 10).
int32_t GzipAction(UgtEngineState& s);

// ---- TAR (ugt_untar.cpp) ----
// The TAR actions (2, 6, 7, 11 to 15).
int32_t TarAction(UgtEngineState& s);

}  // namespace gtlib::ugt
