// TAR archives as the library writes and reads them: the 512-byte member header with its octal fields and
// checksum, the writer (one entry at a time, then the end block), cutting an archive at its end block for
// appending, removing members in place, reading headers (with the member index), and extracting one member.
//
// The engines own their state; what this code needs of it comes in the small structs below, which the engine
// fills: callbacks for status, the rename procedure, the overwrite prompt and the event log, and the flags of
// the run.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gtlib/engine/inflate_output.h"
#include "gtlib/engine/overwrite.h"

namespace gtlib {

constexpr std::size_t kTarBlockSize = 512;
constexpr std::size_t kTarMaxStoredName = 252;

// Results of TarReadHeader.
enum : int {
    kTarFound = 0,
    kTarEnd = 1,
    kTarBadHeader = 3,  // checksum mismatch, unreadable size, partial header, member data past the end
    kTarNoMemory = 4,
    kTarCancelled = 5,
    kTarReadError = 9,
};

// ---- Header fields -------------------------------------------------------------------------------------

// Writes value in octal into a field of `width` bytes: digits right-aligned, blanks on their left, then a blank
// and (when zero_byte) a zero byte. False when the value does not fit.
bool TarFormatOctal(std::uint8_t* field, std::size_t width, std::uint64_t value, bool zero_byte);

// Reads a number field: octal digits after optional blanks and zeros, ended by a blank, a zero byte or the
// field's end; also the base-256 form (first byte 0x80) for large values. False for anything else.
bool TarParseNumber(const std::uint8_t* field, std::size_t width, std::uint64_t* value);

// Sum of the header bytes with the checksum field counted as blanks. The writer's headers have zero bytes
// 500-511, so the sum over the whole block equals the sum over the first 500 bytes.
std::uint32_t TarChecksum(const std::uint8_t* header);

// True when the header's checksum field holds the checksum of the block.
bool TarChecksumOk(const std::uint8_t* header);

// True for the end-of-archive block: name and prefix both start with a zero byte.
bool TarIsEndBlock(const std::uint8_t* header);

// Permission bits of an item: the source file's own (0666 for a memory item), less every write bit when
// the item is read-only (ATTR_READONLY, which the rename procedure may set).
unsigned TarModeFor(unsigned file_mode, std::uint32_t attributes, bool memory_item);

// Splits a stored name for the name (100) and prefix (155) fields. GTE_NAME when it cannot be stored.
int TarSplitName(const std::string& stored_name, std::string* prefix, std::string* name);

// Builds the 512-byte header of a regular file. GTE_NAME or GTE_MEM on failure.
int TarBuildHeader(std::uint8_t* header, const std::string& stored_name, std::uint64_t size, std::int64_t mtime,
                   unsigned mode);

// The member's full name: prefix, "\" when the prefix is not empty and does not end in one, then the name,
// with "/" turned into "\".
std::string TarMemberName(const std::uint8_t* header);

// ---- Writer --------------------------------------------------------------------------------------------

struct TarWriteItem {
    std::string sourcePath;             // file to read; empty for a memory item
    const std::uint8_t* memData = nullptr;
    std::size_t memSize = 0;
    bool memoryItem = false;
    std::string storedName;             // name in the archive ("\" or "/" separators)
    std::int64_t mtime = 0;
    std::uint32_t attributes = 0;
};

struct TarWriter {
    int fd = -1;  // the archive being written, positioned at its end
    bool lfToCrlf = false;
    bool* cancel = nullptr;
    // Major status for the item; true cancels (GTE_ABORT).
    std::function<bool(const TarWriteItem& item)> majorStatus;
    // Minor status in percent; true cancels.
    std::function<bool(int percent)> minorStatus;
    // Rename procedure: may change the stored name, the time and the attribute bits 0x27.
    std::function<void(std::string& stored_name, std::int64_t& mtime, std::uint32_t& attributes)> rename;
    // Applied to each data block before it is written (entry encryption), when set.
    std::function<void(std::uint8_t* data, std::size_t len)> encrypt;
    // Called when the source shrank while it was copied: the member is filled up to the size in its header,
    // so the archive stays well formed, and TarWriteFileData itself still succeeds.
    std::function<void(const TarWriteItem& item, int code)> warning;
    // GTE_READ once a source shrank; TarBuildArchive ends the build with it, so no archive is made or
    // changed with a member whose data are not the file's.
    int sourceError = 0;

    // Set by TarWriteEntry for TarWriteFileData.
    int sourceFd = -1;
    std::uint64_t headerSize = 0;
    const TarWriteItem* item = nullptr;
};

int TarWriteEntry(TarWriter& w, const TarWriteItem& item);
int TarWriteFileData(TarWriter& w);
int TarWriteEnd(TarWriter& w);  // the two zero blocks that end an archive

// Builds an archive (GT_TAR, GT_TAR_MEMTOFILE) in the temporary file `temp_path` supplied by the engine.
// Without grow_existing, an existing archive is first copied into the temporary file and cut at its end
// block, the items follow, and the engine then puts the temporary file in place of the archive. With it,
// the temporary file gets only the new items and is then appended to the archive (created when missing)
// after cutting that at its end block, and deleted. Either way the old members stay and the new ones follow.
// `w` carries the hooks and flags (its fd is set here). on_error(code, temp_path) is told of a failing item.
int TarBuildArchive(const std::string& archive_path, const std::string& temp_path,
                    const std::vector<TarWriteItem>& items, bool grow_existing, TarWriter& w,
                    const std::function<void(int code, const std::string& temp_path)>& on_error = {});

// Removes members (GT_TAR_DELETE) as TarDeleteMembers does: without grow_existing on a copy in `temp_path`
// (which the engine then puts in place of the archive), with it in the archive itself.
int TarDeleteFromArchive(const std::string& archive_path, const std::string& temp_path,
                         const std::function<bool(const std::string& name)>* matches, long index,
                         bool grow_existing, const std::function<void(const std::string& name)>& log_deleted);

// ---- Reader --------------------------------------------------------------------------------------------

// Member index: the header offsets of the counted members of one archive.
struct TarMemberIndex {
    bool valid = false;
    std::string archiveName;
    std::int64_t mtimeNs = 0;
    std::uint64_t size = 0;
    dev_t device = 0;
    ino_t inode = 0;
    int mode = 0;
    bool ignoreLongNames = false;
    std::vector<std::uint64_t> offsets;
};

enum TarSelection : int { kTarCountAll = 0, kTarCountNamed = 1, kTarCountMatching = 2 };

// The pax extended-header records the reader uses; the others (access times, owners, extended
// attributes) are ignored.
struct TarPaxValues {
    std::optional<std::string> path, linkpath;
    std::optional<std::uint64_t> size;
    std::optional<std::int64_t> mtime;
    // A file with holes as GNU tar and bsdtar describe it: the real name and size, and the map of its data
    // (offset and size pairs, in the records of the oldest form or as one list) or, from version 1 on, a
    // map at the start of the member's data.
    std::optional<std::string> sparseName;
    std::optional<std::uint64_t> sparseSize;
    std::vector<std::uint64_t> sparseNumbers;
    bool sparseMapInData = false;
};

struct TarReader {
    int fd = -1;
    std::string archiveName;
    TarMemberIndex* index = nullptr;       // the engine state's index, or none
    bool ignoreLongNames = false;          // UGTSO_IGNORELONGNAMES
    std::function<bool(const std::string& name)> isLongName;  // long-name test of the file lists
    std::function<bool(const std::string& name)> matches;     // filespec selection (mode 2)
    std::function<bool()> cancelPoll;                         // true cancels
    // Global pax records ("g") met so far; they hold for every later member of a walk from the start.
    TarPaxValues global;
};

struct TarHeaderRead {
    std::uint8_t header[kTarBlockSize] = {};
    std::string name;                // "\" separators
    std::string linkName;            // as stored ("/" separators as most writers use)
    std::int64_t mtime = 0;          // Unix seconds
    std::uint64_t headerOffset = 0;  // the member's own header
    std::uint64_t memberStart = 0;   // its first header (a long-name or pax header may come first)
    std::uint64_t dataSize = 0;      // the file's size (with its holes, for a file that has them)
    std::uint64_t dataOffset = 0;    // where the stored data begin (after any map of the holes)
    std::uint64_t storedSize = 0;    // the stored data bytes (without the holes)
    std::uint64_t nextOffset = 0;    // where the next member begins
    bool sparse = false;             // a file with holes: `segments` says where its stored data belong
    std::vector<DataSegment> segments;
};

// Reads headers until the member number `count` (0-based, counting members selected by `selection`) and
// gives it back. Members of the kinds that only describe other members are not counted: GNU long names
// ("L" the next member's name, "K" its link name) and pax extended headers ("x" for the next member, "g" for
// every member after it), of which the records path, linkpath, size and mtime are used, as GNU tar, bsdtar
// and Python's tarfile write them. Files with holes are read in every form GNU tar and bsdtar write: the old
// GNU member type "S" with its map in the header and the blocks after it, and the pax forms 0.0, 0.1 and 1.0
// (the real name and size from their records, the map from the records or from the start of the data).
// kTarFound, kTarEnd, kTarBadHeader, kTarCancelled, kTarReadError.
int TarReadHeader(TarReader& r, int selection, long count, TarHeaderRead* out, bool from_start,
                  bool restore_position);

// Rebuilds the index for the reader's archive in the given mode. on_member (optional) sees each counted
// member; true stops with kTarCancelled. Returns kTarFound with *count set, or the failing reader result (the
// index is then discarded).
int TarBuildIndex(TarReader& r, int selection, long* count,
                  const std::function<bool(long index, const TarHeaderRead& member)>& on_member = {});

// True when the index belongs to this archive as it is now (name, size, time and identity unchanged).
bool TarIndexCurrent(const TarMemberIndex& index, const std::string& archive_name, int fd);

// Cuts the archive at its end block (the file position is left there). Never grows the file.
int TarTruncateForAppend(int fd);

// Removes the bytes [member_start, member_end) of a member (its headers, data and padding): moves the rest up
// in pieces and cuts the file; the position is left at member_start.
int TarRemoveMember(int fd, std::uint64_t member_start, std::uint64_t member_end);

// Removes members: with names, every member the predicate accepts (log gets each removed name); without,
// the member at index (0-based over all members). GTE_INDEX when there is no such member.
int TarDeleteMembers(int fd, const std::function<bool(const std::string& name)>* matches, long index,
                     const std::function<void(const std::string& name)>& log_deleted);

// ---- Extraction ----------------------------------------------------------------------------------------

enum class TarEvent { kTested, kMemory, kMemoryToMemory, kOverwritten, kExtracted, kSkipped };


struct TarDataSpan {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;          // stored bytes
    std::uint64_t fileSize = 0;      // the file's size with its holes
    bool sparse = false;
    std::vector<DataSegment> segments;
};

struct UntarContext {
    int archiveFd = -1;
    std::string archivePath;
    std::string destination;  // folder
    bool noDirectoryNames = false;
    bool overwrite = false;   // bOverWriteFlag; "Yes to All" sets it for the rest of the run
    bool allQuiet = false;
    OutputKind output = OutputKind::kFile;  // kFile, kTest, kMemory or kStream
    bool lfToCrlf = false;
    bool leavePartial = false;
    bool overwriteReadOnly = false;
    std::uint8_t* memBlock = nullptr;
    std::uint32_t memBlockSize = 0;
    std::uint32_t startingOffset = 0;
    MemTransferFn memTransfer;
    std::function<bool(std::uint64_t written_total)> progress;
    bool cancel = false;

    // Rename procedure: output path, time and mode may be changed.
    std::function<void(std::string& path, const std::string& stored_name, std::int64_t& mtime, unsigned& mode)>
        rename;
    // Overwrite prompt for an existing file; returns one of the answers of overwrite.h.
    std::function<int(const std::string& path, bool read_only)> askOverwrite;
    // Rename dialog: a new path, or empty when cancelled.
    std::function<std::string(const std::string& path)> renameDialog;
    // The member would overwrite the archive itself.
    std::function<void(const std::string& path)> selfOverwrite;
    std::function<void(TarEvent event, const std::string& path)> log;

    std::uint32_t memProduced = 0;  // after a memory extraction

    // Members extracted in this run, by their path below the destination ("/" separators, folder names
    // kept), with where their data lie in the archive: the sources of later hard links. UntarItem adds each
    // member it extracts. None: hard links are skipped.
    std::map<std::string, TarDataSpan>* extracted = nullptr;
};

// The path below the destination for a member name: "/" and "\" both separate, leading separators and a
// drive letter are dropped, "." parts are dropped. False (skip) for a name with a ".." part; an empty result
// names the destination itself.
bool TarSafeRelativePath(const std::string& member_name, bool no_directory_names, std::string* relative);

// Extracts (or tests) the member whose header was read at header_offset, under `name` (the selected name).
// A hard link to a member extracted earlier in the run (listed in ctx.extracted) gets a copy of that
// member's data; a symbolic link is made as a link when its target stays inside the destination (only
// leading ".." parts, no deeper than the link's own folder); any other link is skipped (UGTE_SKIP and a
// "Skipped" log line).
int UntarItem(UntarContext& ctx, const TarHeaderRead& member, const std::string& name);

}  // namespace gtlib
