// Decoding one archive member into its output: the input reader (archive file or the host's memory-transfer
// procedure, with decryption), the decoder for methods 0 (stored, also every TAR member) and 8 (deflate),
// and the output paths: a file (optionally with LF turned into CR LF), the caller's memory block, the host's
// memory-transfer procedure, or nowhere (test). The running CRC-32 is kept over the data as decoded and
// checked against the member's trailer.
//
// The decompression engine describes the member and the output in an InflateJob and calls InflateItem. An
// output file is created by PrepareOutputFile as a temporary file in the destination folder and put in place
// by rename only when the member was decoded completely (or, with leave-partial, when it failed), so an
// existing file is never lost to a failed extraction and a link at the destination is replaced, never
// written through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gtlib/engine/inflate.h"
#include "gtlib/engine/records.h"

namespace gtlib {

// Output states.
enum : int { kOutputRunning = 0, kOutputFailed = 2, kOutputComplete = 3 };

constexpr std::size_t kInputBlockSize = 10240;
constexpr std::size_t kOutputBlockSize = 61440;

enum class OutputKind {
    kTest,       // decode and check, write nothing
    kFile,       // the file made by PrepareOutputFile
    kMemory,     // the caller's block (memBlock, memBlockSize, startingOffset)
    kStream,     // file to memory stream: pieces offered to the memory-transfer procedure
    kMemToMem,   // memory to memory: input and output both through the memory-transfer procedure
};

// The host's memory-transfer procedure: direction, buffer, size (in: offered or wanted, out: done), the
// 64-bit read and written totals; returns the answer code.
using MemTransferFn =
    std::function<int(int direction, std::uint8_t* buf, std::uint32_t* size, std::uint64_t read_total,
                      std::uint64_t written_total)>;

// One piece of data of a file with holes: where it lies in the file and how long it is. The pieces of a
// member are in file order and do not overlap; the bytes between them are holes.
struct DataSegment {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

struct InflateJob {
    // The member.
    int method = 8;                   // 0 stored, 8 deflate
    std::uint64_t compressedLeft = 0; // member data bytes still to read; the input ends when it reaches 0
    std::uint64_t expectedSize = 0;   // uncompressed size from the member's header or trailer
    std::uint32_t storedCrc = 0;      // CRC-32 from the trailer
    std::int64_t mtime = 0;           // modification time, Unix seconds
    std::uint32_t attributes = 0;     // attribute bits (ATTR_READONLY is honoured)
    bool tarMember = false;           // TAR members carry no CRC
    // A stored member of a file with holes: its data are the segments' bytes one after the other, and the
    // file is expectedSize bytes long. A file output gets real holes (the file system's where it has them);
    // the other outputs get zero bytes in their place.
    bool sparse = false;
    std::vector<DataSegment> segments;
    // Permission bits for the output file (less the umask); none: the file system's default for a new file.
    int fileMode = -1;
    // A GZIP member read as a stream: the deflate data end where the final block ends, and the trailer after
    // them is the caller's to read and check (InflateItem checks no CRC and leaves `consumed` set).
    bool followStream = false;
    std::uint64_t consumed = 0;       // compressed bytes the deflate data took (with followStream)
    std::vector<std::uint8_t> unused; // bytes the decoder read past the deflate data (with followStream)
    bool inputEnded = false;          // the host's stream has ended (memory to memory); set by the reader

    // Input: the archive file (inputFd) or, for memory to memory, memTransfer. Bytes already in inBlock
    // between inPos and inFill (the engine may have read them with the header) are used first and are taken
    // as already decrypted.
    int inputFd = -1;
    std::vector<std::uint8_t> inBlock = std::vector<std::uint8_t>(kInputBlockSize);
    std::size_t inFill = 0;
    std::size_t inPos = 0;
    std::uint64_t readTotal = 0;
    std::function<void(std::uint8_t* data, std::size_t len)> decrypt;  // set when the entry is encrypted
    MemTransferFn memTransfer;

    // Output.
    OutputKind output = OutputKind::kTest;
    bool lfToCrlf = false;
    bool leavePartial = false;       // UGTSO_LEAVEPARTIAL
    bool overwriteReadOnly = false;  // UGTSO_OVERWRITE_RO
    std::uint8_t* memBlock = nullptr;
    std::uint32_t memBlockSize = 0;  // for kStream, 0 means no limit
    std::uint32_t startingOffset = 0;
    std::uint32_t memProduced = 0;   // bytes placed in memBlock (or offered to the stream)
    // A further member of the same output: memProduced and the skipped part of startingOffset go on from the
    // earlier members instead of starting again.
    bool continueOutput = false;
    // The output file is shared by several members: InflateItem neither puts it in place nor deletes it; the
    // caller ends it with CloseOutputSetTime or DiscardOutputFile.
    bool keepOpen = false;

    // The decoder to use for method 8, kept by the engine between members; none: a fresh one per member.
    InflateDecoder* decoder = nullptr;

    // Called with 0 at the start and with the running total after each output piece. It may set cancel or
    // structError; returning false stops decoding (and sets cancel when neither is set).
    std::function<bool(std::uint64_t written_total)> progress;

    // Flags and results.
    bool cancel = false;
    bool structError = false;
    bool readError = false;
    std::uint32_t crc = 0;            // running CRC-32 of the decoded data (final value after InflateItem;
                                      // not kept for a TAR member, which carries none)
    std::uint64_t totalWritten = 0;   // decoded bytes handed to the output
    std::uint64_t skipped = 0;        // bytes of startingOffset skipped so far
    int outputState = kOutputRunning;

    // The output file (PrepareOutputFile).
    int outputFd = -1;
    std::string outputPath;  // where the file goes
    std::string tempPath;    // where it is written until complete
    std::vector<std::uint8_t> convertBuf;
};

// Creates the output file for `path`: a new temporary file beside it. An existing read-only file is refused
// unless overwriteReadOnly is set; an existing folder is refused. UGTE_CREATE on failure.
int PrepareOutputFile(InflateJob& job, const std::string& path);

// Gives the written file the member's time (access and modification) and attributes, closes it and puts it
// at its path (replacing what was there). UGTE_CREATE when it cannot be put in place.
int CloseOutputSetTime(InflateJob& job);

// Closes an output file that is not to be kept (keep = false deletes it; keep = true puts the partial file
// in place as CloseOutputSetTime does). Nothing happens when no output file is open.
void DiscardOutputFile(InflateJob& job, bool keep);

// Hands n decoded bytes to the output path. Returns 0, or UGTE_DISKFULL when they could not all be written.
int FlushOutput(InflateJob& job, const std::uint8_t* data, std::size_t n);

// Decodes the member described by the job into its output. For kFile the output file must have been
// prepared; it is put in place on success, and on failure deleted (or kept with leavePartial).
// For kMemory and kMemToMem, 1 means the output was stopped because the wanted amount was complete and
// 0 that it was stopped by a full block.
int InflateItem(InflateJob& job);

}  // namespace gtlib
