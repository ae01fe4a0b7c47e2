// The decompression engine's state block (one per control, or one per thread for callers without a
// control). Internal to the engine; controls hold it through UgtNewState/UgtDeleteState.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gtlib/engine/inflate.h"
#include "gtlib/engine/logs.h"
#include "gtlib/engine/messages.h"
#include "gtlib/engine/records.h"
#include "gtlib/engine/tar.h"
#include "gtlib/engine/ugt_engine.h"

namespace gtlib {

struct UgtEngineState {
    bool busy = false;

    // Working copy of the command record and the caller's record it is copied back to.
    UGTCMDSTRUCT cmd{};
    UGTCMDSTRUCT* caller = nullptr;

    // Options of the run.
    bool quiet = false;
    bool test = false;
    bool noDirNames = false;
    bool overwriteAll = false;
    bool overwriteReadOnly = false;
    bool minorCancel = false;
    bool ignoreLongNames = false;
    bool mangleLongNames = false;
    bool leavePartial = false;
    bool eventLogging = false;
    bool noPump = false;
    bool diagnostic = false;
    bool lfToCrlf = false;
    bool recurse = false;
    bool freshen = false;
    bool update = false;
    bool decrypt = false;

    // Callbacks of the run.
    StatusProc majorStatus = nullptr;
    void* majorData = nullptr;
    StatusProc minorStatus = nullptr;
    void* minorData = nullptr;
    MessageHost host;
    RenameProc renameProc = nullptr;
    void* renameData = nullptr;
    MemoryTransferProc memProc = nullptr;
    void* memData = nullptr;
    TarEnumProc tarEnumProc = nullptr;
    void* tarEnumData = nullptr;

    // Input and output.
    std::string archive;          // normalised archive path
    int fd = -1;                  // the open GZIP or TAR file, -1 between runs
    std::string destination;      // normalised destination folder, ending in "/" (empty when not given)
    std::size_t destinationGiven = 0;  // its length as given
    unsigned char* memBlock = nullptr;
    int64_t memSize = 0;
    int64_t startOffset = 0;
    int64_t produced = 0;         // bytes placed in memory or handed out by the last member
    bool memOut = false;          // a caller's block takes the output
    bool memoryMode = false;
    bool streamOut = false;
    bool streamIn = false;
    int32_t statusType = 0;
    uint64_t totalRead = 0;       // bytes taken from the memory-transfer procedure
    uint64_t totalWritten = 0;    // bytes handed to it
    bool cancel = false;

    std::string decryptCode;

    // The GZIP member of the run.
    UgtGzipHeader gz;
    uint32_t gzAttributes = 0;
    int64_t gzCompressed = 0;     // -1 for unknown (stream input)
    uint32_t gzCrc = 0;
    uint32_t gzSize = 0;          // ISIZE, the uncompressed size modulo 2^32
    std::string itemName;

    MessageSlots slots{};
    std::vector<std::string> patterns;
    int32_t membersSeen = 0;
    int32_t membersExtracted = 0;
    int32_t membersTotal = 0;

    EventLog eventLog;
    TarMemberIndex tarIndex;                 // member index of the TAR reader
    std::map<std::string, TarDataSpan> tarExtracted;  // members extracted in this run (hard link sources)
    std::vector<std::string> tarIndexPatterns;  // the filespec a matching-mode index was built with

    InflateDecoder decoder;  // kept between members and runs, as the compression engine keeps its coder
    EngineContext context;  // the run's logs and window hooks, handed down by the control

    MessageContext Messages() { return MessageContext{&slots, host, diagnostic, quiet, &context}; }
};

}  // namespace gtlib
