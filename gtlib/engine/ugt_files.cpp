// What the parts of the decompression engine share: paths, files, status, the member decoder's job, messages
// and the overwrite / rename / read-only policy of every output file (GZIP members and TAR members alike).
#include "gtlib/engine/ugt_parts.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "gtlib/engine/crypt.h"
#include "gtlib/engine/inflate_output.h"
#include "gtlib/engine/ugt_state.h"

namespace gtlib::ugt {

// ---------------------------------------------------------------------------------------------------------
// Small text helpers
// ---------------------------------------------------------------------------------------------------------

// One plain file name: no control character and none of * < > ? |.
bool IsPlainName(std::string_view s) {
    for (unsigned char c : s)
        if (c < 32 || c == '*' || c == '<' || c == '>' || c == '?' || c == '|') return false;
    return true;
}

std::string ParentFolder(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

// ---------------------------------------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------------------------------------


FileFacts Facts(const std::string& path) {
    FileFacts f;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return f;
    f.exists = true;
    f.folder = S_ISDIR(st.st_mode);
    f.readOnly = (st.st_mode & S_IWUSR) == 0;
    f.mtime = static_cast<int64_t>(st.st_mtime);
    f.dev = st.st_dev;
    f.ino = st.st_ino;
    return f;
}

// Creates the folders of an output path. Below the destination folder every part must be a real folder,
// never a link (a link there, left by an earlier member or planted beside the archive, would carry the file
// out of the destination); the destination itself, and a path the rename procedure chose elsewhere, are
// the host's and are made as they are.
bool MakeOutputFolders(const std::string& destination, const std::string& folder) {
    if (destination.empty() || folder.size() < destination.size() ||
        folder.compare(0, destination.size(), destination) != 0)
        return morven::MakeFolders(folder);
    if (!morven::MakeFolders(ParentFolder(destination))) return false;
    for (std::size_t i = destination.size(); i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != '/') continue;
        const std::string part = folder.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        struct stat st;
        if (::lstat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
    return true;
}

void ClearReadOnly(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

// ---------------------------------------------------------------------------------------------------------
// Status
// ---------------------------------------------------------------------------------------------------------

// Major status: a non-zero answer asks to stop.
bool MajorStatus(UgtEngineState& s, const std::string& text, int32_t percent) {
    if (s.majorStatus == nullptr) return false;
    return s.majorStatus(text.c_str(), percent, s.statusType, s.majorData) != 0;
}

// Minor status of the output: percent of the expected size plus one, at most 100; 100 when nothing is
// expected. A non-zero answer stops the run only with the minor-cancel sub-option.
void MinorStatus(UgtEngineState& s, const std::string& text, int64_t done, int64_t expected) {
    if (s.minorStatus == nullptr) return;
    int64_t percent = 100;
    if (expected > 0) percent = (expected <= 100000 ? done * 100 / expected : done / (expected / 100)) + 1;
    if (percent > 100) percent = 100;
    if (percent < 0) percent = 0;
    const int32_t answer = s.minorStatus(text.c_str(), static_cast<int32_t>(percent), s.statusType, s.minorData);
    if (answer != 0 && s.minorCancel) s.cancel = true;
}

// ---------------------------------------------------------------------------------------------------------
// Decoding one member through the shared member decoder
// ---------------------------------------------------------------------------------------------------------

// The host's memory-transfer procedure in the form the member decoder calls it.
MemTransferFn HostTransfer(UgtEngineState& s) {
    if (s.memProc == nullptr) return {};
    return [&s](int direction, std::uint8_t* buf, std::uint32_t* size, std::uint64_t readTotal,
                std::uint64_t writtenTotal) {
        int32_t count = static_cast<int32_t>(std::min<std::uint32_t>(*size, 0x7FFFFFFF));
        int32_t answer = MEM_CONTINUE;
        s.memProc(direction, buf, &count, static_cast<uint32_t>(readTotal), static_cast<uint32_t>(readTotal >> 32),
                  static_cast<uint32_t>(writtenTotal), static_cast<uint32_t>(writtenTotal >> 32), s.memData, &answer);
        *size = count < 0 ? 0u : std::min<std::uint32_t>(static_cast<std::uint32_t>(count), *size);
        if (direction == MEM_READ_DATA) s.totalRead += *size;
        else s.totalWritten += *size;
        return static_cast<int>(answer);
    };
}

// Fills in what every member's job shares: output kind and block, options, progress.
void PrepareJob(UgtEngineState& s, InflateJob& job, OutputKind kind, const std::string& item) {
    SetMemberOutput(s, job, kind, item, static_cast<int64_t>(job.expectedSize));
    job.readTotal = s.totalRead;
    job.decoder = &s.decoder;
}

// Runs the member decoder and turns its results into the engine's: in the memory modes a stop because
// the block is full or the wanted bytes are complete is success, and so is a stream whose limit was
// reached.
int32_t RunJob(UgtEngineState& s, InflateJob& job) {
    int32_t r = InflateItem(job);
    const bool memory = job.output == OutputKind::kMemory || job.output == OutputKind::kMemToMem;
    if (memory && r == 1) r = 0;
    if (job.output == OutputKind::kStream && r == UGTE_DISKFULL && job.memBlockSize > 0 &&
        job.memProduced >= job.memBlockSize)
        r = 0;
    if (r == 0 && job.readError) r = s.streamIn ? UGTE_ABORT : UGTE_READ;
    if (job.cancel && r == 0) r = UGTE_ABORT;
    s.produced = job.output == OutputKind::kMemToMem ? static_cast<int64_t>(job.totalWritten)
                                                      : static_cast<int64_t>(job.memProduced);
    return r;
}

// At the end of the whole output: nothing at or after the starting offset is the end of the data.
int32_t NothingAfterOffset(const InflateJob& job, int32_t r) {
    if (r == 0 && (job.output == OutputKind::kMemory || job.output == OutputKind::kStream) && job.startingOffset > 0 &&
        job.memProduced == 0)
        return UGTE_EOF;
    return r;
}

// ---------------------------------------------------------------------------------------------------------
// Messages and the end of a run
// ---------------------------------------------------------------------------------------------------------

void ShowMessage(UgtEngineState& s, int32_t code, std::string_view detail) {
    UgtShowMessage(s.Messages(), code, detail);
}

void Item(UgtEngineState& s, uint32_t id, const std::string& path) {
    if (s.eventLogging) s.eventLog.Item(s.context, id, path);
}

void EventLine(UgtEngineState& s, uint32_t id) {
    if (s.eventLogging) s.eventLog.Line(s.context, FindMessage(id));
}

// ---------------------------------------------------------------------------------------------------------
// Overwrite policy shared by GZIP and TAR members
// ---------------------------------------------------------------------------------------------------------


int32_t AnswerOverwrite(UgtEngineState& s, const std::string& path, bool readOnly) {
    const int32_t answer = AskOverwrite(s.Messages(), path, readOnly);
    const bool yes = answer == kAnswerYes || answer == kAnswerYesToAll5 || answer == kAnswerYesToAll;
    if (yes && readOnly) ClearReadOnly(path);  // a Yes takes the read-only state away
    return answer;
}

std::string RenamedPath(UgtEngineState& s, const std::string& path) {
    std::string chosen = AskRename(path, s.context.ui);
    for (char& c : chosen)
        if (c == '\\') c = '/';
    return chosen.size() > kPathLimit ? std::string() : chosen;
}

OverwriteRules Overwrite(UgtEngineState& s, bool& overwriteAll) {
    OverwriteRules rules;
    rules.overwriteAll = &overwriteAll;
    rules.quiet = s.quiet;
    rules.ask = [&s](const std::string& path, bool readOnly) { return static_cast<int>(AnswerOverwrite(s, path, readOnly)); };
    rules.rename = [&s](const std::string& path) { return RenamedPath(s, path); };
    rules.skipped = [&s](const std::string& path) { Item(s, 906, path); };
    return rules;
}

// The destination rule of the file actions: more than one character and an absolute path.
int32_t CheckDestination(UgtEngineState& s) {
    if (s.destinationGiven <= 1) {
        ShowMessage(s, UGTE_PARMS, FindMessage(kMsgNoDestination));
        return UGTE_PARMS;
    }
    if (s.destination[0] != '/') {
        ShowMessage(s, UGTE_PARMS, FindMessage(kMsgNeedsDriveLetter));
        return UGTE_PARMS;
    }
    return 0;
}

int32_t Inconsistent(UgtEngineState& s) {
    ShowMessage(s, UGTE_PARMS, FindMessage(kMsgFileToMemParameters));
    return UGTE_PARMS;
}

}  // namespace gtlib::ugt
