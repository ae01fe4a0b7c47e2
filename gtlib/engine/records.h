// Records exchanged between the controls gtactx/ugtactx and the two engines, the callback procedures the
// engines call back through, and the constants of the library's type description (actions, result codes,
// sub-options, message kinds, status types, attribute bits).
//
// Layout rules:
// - Records without pointers (GZIPINFO, TARINFO, RENAMESTRUCT) are byte-exact: the same size and offsets as
//   the library has always used (396, 824 and 628 bytes); a host may hand them around as raw memory.
// - Records with pointers (GTCMDSTRUCT, UGTCMDSTRUCT, CALLBACKSTRUCT) keep their field order. Every 32-bit
//   field stays 32 bits (int32_t / uint32_t); pointers have the platform's width. On a 32-bit build they
//   come out at the classic 196, 172 and 52 bytes. On 64-bit Linux every pointer grows from 4 to 8 bytes and
//   the compiler aligns each pointer to 8, so:
//     GTCMDSTRUCT    196 + 20 pointers * 4 + 3 pads * 4 = 288
//     UGTCMDSTRUCT   172 + 17 pointers * 4 + 2 pads * 4 = 248
//     CALLBACKSTRUCT  52 +  4 pointers * 4 + 1 pad  * 4 =  72
//   The first field of each holds sizeof(record); the engines refuse a record whose size field differs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gtlib {

// One value of a constant list: name = value, (for the engine's enumerations).
#define GTLIB_ENUM_VALUE(name, value) name = value,

// ---------------------------------------------------------------------------------------------------------
// Constants of the type description (enumeration sbgtConstants and friends)
// ---------------------------------------------------------------------------------------------------------

// Answers of a memory-transfer handler, and the direction of a transfer.
enum : int32_t { MEM_DONE = 0, MEM_ERROR = 1, MEM_CANCEL = 2, MEM_CONTINUE = 3 };
enum : int32_t { MEM_READ_DATA = 0, MEM_WRITE_DATA = 1 };

// Message kinds handed to the message procedure.
enum : int32_t {
    MSGID_GTOPEN = 0,
    MSGID_GTREAD = 1,
    MSGID_GTWRITE = 2,
    MSGID_GTOVERWRT = 3,
    MSGID_GTPWERR = 4,
    MSGID_GTERROR = 5,
    MSGID_GTWARN = 6,
    MSGID_GTCHANGE = 7,
};

// Status types reported with the status procedures.
enum : int32_t {
    STYP_FILETOFILE_GZIP = 0,
    STYP_FILETOFILE_GUNZIP = 0,
    STYP_FILETOFILE_TAR = 1,
    STYP_FILETOFILE_UNTAR = 1,
    STYP_MEMTOMEM_GZIP = 2,
    STYP_MEMTOMEM_GUNZIP = 2,
    STYP_MEMTOFILE_GZIP = 3,
    STYP_FILETOMEM_GUNZIP = 3,
    STYP_MEMTOFILE_TAR = 4,
    STYP_FILETOMEM_UNTAR = 4,
};

// Answers of the TAR-enumeration procedure.
enum : int32_t { TIE_CONTINUE = 0, TIE_ABORT = 1 };

// Item attribute bits (Windows file attributes plus the library's two own bits).
enum : uint32_t {
    ATTR_READONLY = 1,
    ATTR_HIDDEN = 2,
    ATTR_SYSTEM = 4,
    ATTR_VOLUME = 8,
    ATTR_SUBDIR = 16,
    ATTR_ARCHIVE = 32,
    ATTR_ENCRYPT = 32768,
    ATTR_LFNAME = 65536,
};

// Actions of the decompression engine (ugtAction). Action 15 has no name in the type description: it reads
// the TAR header of the member at lIndex.
enum : int32_t {
    UGT_NO_ACTION = 0,
    UGT_GUNZIP = 1,
    UGT_UNTAR = 2,
    UGT_GUNZIP_FILETOMEM = 3,
    UGT_GUNZIP_MEMTOMEM = 4,
    UGT_GUNZIP_FILETOMEM_STREAM = 5,
    UGT_UNTAR_FILETOMEM = 6,
    UGT_UNTAR_FILETOMEM_STREAM = 7,
    UGT_GETGZIPCOMMENT_SIZE = 8,
    UGT_GETGZIPCOMMENT = 9,
    UGT_GETGZIPINFO = 10,
    UGT_UNTAR_COUNTALLMEMBERS = 11,
    UGT_UNTAR_GETNEXTINFO = 12,
    UGT_UNTAR_COUNTNAMEDMEMBERS = 13,
    UGT_UNTAR_GETNEXTNAMEDINFO = 14,
    UGT_UNTAR_GETINFOBYINDEX = 15,
};

// Result codes of the decompression engine (ugtErrorCode). One list, X(name, value): the
// engine's constants and the type description's enumeration both come from it.
#define GTLIB_UGT_RESULTS(X) \
    X(UGTE_OK, 0) \
    X(UGTE_EOF, 1) \
    X(UGTE_BUSY, 2) \
    X(UGTE_STRUCT, 3) \
    X(UGTE_MEM, 4) \
    X(UGTE_ABORT, 5) \
    X(UGTE_NONE, 6) \
    X(UGTE_OPEN, 7) \
    X(UGTE_CREATE, 8) \
    X(UGTE_READ, 9) \
    X(UGTE_WRITE, 10) \
    X(UGTE_PARMS, 11) \
    X(UGTE_INDEX, 12) \
    X(UGTE_BADCRC, 13) \
    X(UGTE_BADKEY, 14) \
    X(UGTE_SKIP, 15) \
    X(UGTE_UNKNOWN, 16) \
    X(UGTE_DISKFULL, 17)
enum : int32_t { GTLIB_UGT_RESULTS(GTLIB_ENUM_VALUE) };

// Sub-option bits of the decompression engine (ugtSubOptions).
enum : uint32_t {
    UGTSO_NO_SUBOPTIONS = 0,
    UGTSO_OVERWRITE_RO = 1,
    UGTSO_MINORCANCEL = 2,
    UGTSO_IGNORELONGNAMES = 16,
    UGTSO_MANGLELONGNAMES = 32,
    UGTSO_LEAVEPARTIAL = 64,
    UGTSO_LOGGTRESULTS = 256,
    UGTSO_INHIBIT_PUMP = 16384,
};

// Actions of the compression engine (gtAction).
enum : int32_t {
    GT_NO_ACTION = 0,
    GT_GZIP = 1,
    GT_TAR = 2,
    GT_TAR_DELETE = 3,
    GT_GZIP_MEMTOFILE = 4,
    GT_GZIP_MEMTOMEM = 5,
    GT_GZIP_MEMTOFILE_STREAM = 6,
    GT_TAR_MEMTOFILE = 7,
};

// Result codes of the compression engine (gtErrorCode). One list, X(name, value): the
// engine's constants and the type description's enumeration both come from it.
#define GTLIB_GT_RESULTS(X) \
    X(GTE_OK, 0) \
    X(GTE_EOF, 1) \
    X(GTE_BUSY, 2) \
    X(GTE_STRUCT, 3) \
    X(GTE_MEM, 4) \
    X(GTE_ABORT, 5) \
    X(GTE_NONE, 6) \
    X(GTE_OPEN, 7) \
    X(GTE_CREATE, 8) \
    X(GTE_READ, 9) \
    X(GTE_WRITE, 10) \
    X(GTE_PARMS, 11) \
    X(GTE_INDEX, 12) \
    X(GTE_TEMP, 13) \
    X(GTE_NAME, 14) \
    X(GTE_INCOMPLETE, 15)
enum : int32_t { GTLIB_GT_RESULTS(GTLIB_ENUM_VALUE) };

// Sub-option bits of the compression engine (gtSubOptions).
enum : uint32_t {
    GTSO_NO_SUBOPTIONS = 0,
    GTSO_RELATIVE_PATH = 1,
    GTSO_MINORCANCEL = 2,
    GTSO_IGNORELONGNAMES = 16,
    GTSO_MANGLELONGNAMES = 32,
    GTSO_SKIPLOCKEDFILES = 64,
    GTSO_LOGGTRESULTS = 256,
    GTSO_JUST_ARCHIVED = 512,
    GTSO_RESET_ARCHIVED = 1024,
    GTSO_INHIBIT_PUMP = 16384,
};

// ---------------------------------------------------------------------------------------------------------
// Byte-exact records
// ---------------------------------------------------------------------------------------------------------

// Header information of a GZIP member (action UGT_GETGZIPINFO). Texts are zero-terminated ANSI.
struct GZIPINFO {
    uint32_t ulStructSize;      // 0    = 396
    char szFileName[260];       // 4    stored name, or the file's name without its last extension
    char szDateTime[64];        // 264  modification time as "MM/DD/YYYY hh:mm:ss", local time
    int32_t lIndex;             // 328  member index
    uint32_t dwAttr;            // 332  attributes (ATTR_*)
    uint32_t dwOSizeL;          // 336  uncompressed size, low half
    uint32_t dwOSizeH;          // 340  uncompressed size, high half
    uint32_t dwCSizeL;          // 344  compressed size, low half
    uint32_t dwCSizeH;          // 348  compressed size, high half
    uint16_t wMethod;           // 352  compression method (header byte 3)
    uint16_t wExtraFlags;       // 354  extra flags (header byte 9)
    uint16_t wOSType;           // 356  operating system (header byte 10)
    uint16_t wUnused;           // 358
    uint32_t dwCRC32;           // 360  stored CRC-32
    uint32_t dwResv[8];         // 364  zero
};

// Header information of a TAR member (actions 11 to 15 and the TAR-enumeration procedure).
struct TARINFO {
    uint32_t ulStructSize;      // 0    = 824
    char szFileName[260];       // 4    prefix + "\" + name, "/" turned into "\"
    char szLinkName[260];       // 264
    char szUName[64];           // 524
    char szGName[64];           // 588
    char szMagic[8];            // 652
    char szVersion[4];          // 660
    char szDateTime[64];        // 664  modification time as "MM/DD/YYYY hh:mm:ss", local time
    char szDevMajor[16];        // 728  header bytes as they stand
    char szDevMinor[16];        // 744
    int32_t lIndex;             // 760  member index (-1: before the first member)
    int32_t lMode;              // 764
    int32_t lUID;               // 768
    int32_t lGID;               // 772
    uint32_t dwSizeL;           // 776
    uint32_t dwSizeH;           // 780
    int32_t lChecksum;          // 784  header checksum
    int32_t lTypeFlag;          // 788  type flag byte
    uint32_t dwResv[8];         // 792  zero
};

// Rename request, built by the decompression engine for each output file and handed to the rename
// procedure; the host may change the output path, the date and time text and the attributes.
struct RENAMESTRUCT {
    uint32_t ulStructSize;      // 0    = 628
    char szItemName[260];       // 4    full output path
    char szOrigItemName[260];   // 264  name as stored in the archive
    char szDateTime[64];        // 524  "MM/DD/YYYY hh:mm:ss", local time
    uint32_t dwAttrib;          // 588  attributes
    uint32_t dwOptions;         // 592  the engine passes 2
    uint32_t dwResv[8];         // 596  zero
};

static_assert(sizeof(GZIPINFO) == 396);
static_assert(offsetof(GZIPINFO, szFileName) == 4);
static_assert(offsetof(GZIPINFO, szDateTime) == 264);
static_assert(offsetof(GZIPINFO, lIndex) == 328);
static_assert(offsetof(GZIPINFO, dwAttr) == 332);
static_assert(offsetof(GZIPINFO, dwOSizeL) == 336);
static_assert(offsetof(GZIPINFO, dwOSizeH) == 340);
static_assert(offsetof(GZIPINFO, dwCSizeL) == 344);
static_assert(offsetof(GZIPINFO, dwCSizeH) == 348);
static_assert(offsetof(GZIPINFO, wMethod) == 352);
static_assert(offsetof(GZIPINFO, wExtraFlags) == 354);
static_assert(offsetof(GZIPINFO, wOSType) == 356);
static_assert(offsetof(GZIPINFO, wUnused) == 358);
static_assert(offsetof(GZIPINFO, dwCRC32) == 360);
static_assert(offsetof(GZIPINFO, dwResv) == 364);

static_assert(sizeof(TARINFO) == 824);
static_assert(offsetof(TARINFO, szFileName) == 4);
static_assert(offsetof(TARINFO, szLinkName) == 264);
static_assert(offsetof(TARINFO, szUName) == 524);
static_assert(offsetof(TARINFO, szGName) == 588);
static_assert(offsetof(TARINFO, szMagic) == 652);
static_assert(offsetof(TARINFO, szVersion) == 660);
static_assert(offsetof(TARINFO, szDateTime) == 664);
static_assert(offsetof(TARINFO, szDevMajor) == 728);
static_assert(offsetof(TARINFO, szDevMinor) == 744);
static_assert(offsetof(TARINFO, lIndex) == 760);
static_assert(offsetof(TARINFO, lMode) == 764);
static_assert(offsetof(TARINFO, lUID) == 768);
static_assert(offsetof(TARINFO, lGID) == 772);
static_assert(offsetof(TARINFO, dwSizeL) == 776);
static_assert(offsetof(TARINFO, dwSizeH) == 780);
static_assert(offsetof(TARINFO, lChecksum) == 784);
static_assert(offsetof(TARINFO, lTypeFlag) == 788);
static_assert(offsetof(TARINFO, dwResv) == 792);

static_assert(sizeof(RENAMESTRUCT) == 628);
static_assert(offsetof(RENAMESTRUCT, szItemName) == 4);
static_assert(offsetof(RENAMESTRUCT, szOrigItemName) == 264);
static_assert(offsetof(RENAMESTRUCT, szDateTime) == 524);
static_assert(offsetof(RENAMESTRUCT, dwAttrib) == 588);
static_assert(offsetof(RENAMESTRUCT, dwOptions) == 592);
static_assert(offsetof(RENAMESTRUCT, dwResv) == 596);

// ---------------------------------------------------------------------------------------------------------
// Callback procedures (called on the thread that runs the action; user data is the control)
// ---------------------------------------------------------------------------------------------------------

// Major and minor status: item name, percent (0..100), status type (STYP_*), user data. A non-zero answer
// asks the engine to stop.
using StatusProc = int32_t (*)(const char* itemName, int32_t percent, int32_t statusType, void* userData);

// Message display: message kind (MSGID_*), box style, number 1, number 2, text 1 and text 2, user data ->
// answer code (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No, 100 Yes to All, 101 Rename).
// Both texts are engine buffers of kMessageTextSize bytes that the host may rewrite in place; a host must
// write at most kMessageTextSize - 1 bytes and the terminating zero.
inline constexpr std::size_t kMessageTextSize = 260;
using MessageProc = int32_t (*)(int32_t msgKind, int32_t style, int32_t number1, int32_t number2, char* text1,
                                char* text2, void* userData);

// Rename: the request (the host may change item name, date and time text and attributes), user data. The
// engine does not use the answer.
using RenameProc = int32_t (*)(RENAMESTRUCT* request, void* userData);

// Memory transfer: direction (MEM_READ_DATA: the host supplies data into the buffer; MEM_WRITE_DATA: the
// engine delivers data from the buffer), buffer, size (in: bytes offered or wanted; out: bytes done), the
// totals read and written so far as low and high halves, user data, answer code (in/out: MEM_*).
using MemoryTransferProc = void (*)(int32_t direction, unsigned char* buffer, int32_t* size, uint32_t totalReadL,
                                    uint32_t totalReadH, uint32_t totalWrittenL, uint32_t totalWrittenH,
                                    void* userData, int32_t* answer);

// TAR enumeration: the member's information, user data, answer (in/out: TIE_CONTINUE / TIE_ABORT).
using TarEnumProc = void (*)(TARINFO* info, void* userData, int32_t* answer);

// ---------------------------------------------------------------------------------------------------------
// Records with pointers (field order kept; sizes checked on entry)
// ---------------------------------------------------------------------------------------------------------

// Procedures for the memory-transfer and TAR-enumeration callbacks.
struct CALLBACKSTRUCT {
    uint32_t ulStructSize;              // = sizeof(CALLBACKSTRUCT) (52 on a 32-bit build)
    MemoryTransferProc lpMemToMemProc;  // memory-transfer procedure
    void* lpMemToMemUserData;
    TarEnumProc lpTarEnumProc;          // TAR-enumeration procedure (the compression engine leaves it null)
    void* lpTarEnumUserData;
    uint32_t lResv[8];                  // zero
};

// Command record of the compression engine (GtMain), built by gtactx from its properties.
struct GTCMDSTRUCT {
    uint32_t ulgtStructSize;            // = sizeof(GTCMDSTRUCT) (196 on a 32-bit build)
    int32_t lFunction;                  // GT_* action
    const char* lpszGTFile;
    const char* lpszItemList;
    const char* lpszDestination;
    const char* lpszTempPath;
    int32_t lIndex;                     // TAR member index, -1 for none
    int32_t bResv1;
    int32_t bResv2;
    int32_t bAllQuiet;
    int32_t bRecurseFlag;
    int32_t lCompFactor;                // 1..9
    int32_t bNoDirectoryNames;
    int32_t bResv3;
    int32_t bLFtoCRLF;
    int32_t bGrowExistingFlag;
    int32_t bAddComment;
    const char* lpszComment;
    int32_t bInclDate;
    int32_t bExclDate;
    const char* lpszDate1;              // MMDDYYYY or empty
    const char* lpszDate2;
    const char* lpszIncludeList;
    const char* lpszExludeList;
    int32_t bDosify;
    int32_t bIncludeSysHidden;
    int32_t bDiagnostic;
    int32_t bEncryptFlag;
    const char* lpszEncryptCode;
    uint32_t dwGTSubOptions;            // GTSO_* bits
    const unsigned char* lpMemBlock;    // memory input (GT_GZIP_MEMTOFILE, GT_TAR_MEMTOFILE)
    int32_t lMemBlockSize;
    StatusProc lpMajorStatus;           // major before minor here (the decompression record has them reversed)
    void* lpMajorUserData;
    StatusProc lpMinorStatus;
    void* lpMinorUserData;
    MessageProc lpMessageDisplay;
    void* lpMessageDisplayData;
    RenameProc lpRenameProc;
    void* lpRenameUserData;
    CALLBACKSTRUCT* lpCallbackStruct;   // GT_GZIP_MEMTOMEM and GT_GZIP_MEMTOFILE_STREAM
    int32_t lResv1, lResv2, lResv3, lResv4, lResv5, lResv6, lResv7, lResv8;
};

// Command record of the decompression engine, built by ugtactx from its properties.
struct UGTCMDSTRUCT {
    uint32_t ulugtStructSize;           // = sizeof(UGTCMDSTRUCT) (172 on a 32-bit build)
    int32_t lFunction;                  // UGT_* action
    const char* lpszGTFile;
    const char* lpszFilespec;
    const char* lpszDestination;
    GZIPINFO* gzipInfo;
    TARINFO* tarInfo;
    int32_t lIndex;                     // TAR member index, -1 for none
    int32_t bFreshenFlag;
    int32_t bUpdateFlag;
    int32_t bOverWriteFlag;
    int32_t bAllQuiet;
    int32_t TestFlag;
    int32_t bNoDirectoryNames;
    int32_t bResv1;
    int32_t bRecurseFlag;
    int32_t bDiagnostic;
    int32_t bLFtoCRLF;
    int32_t bDecryptFlag;
    const char* lpszDecryptCode;
    int32_t lReturnCount;               // in: comment buffer size (action 9); out: count written back
    char* lpszReturnString;             // comment buffer of lReturnCount + 1 bytes (action 9)
    uint32_t dwUGTSubOptions;           // UGTSO_* bits
    unsigned char* lpMemBlock;          // output block (actions 3 and 6)
    int32_t lMemBlockSize;              // in: block size; out: bytes produced
    int32_t lStartingOffset;
    StatusProc lpMinorStatus;           // minor before major here (the compression record has them reversed)
    void* lpMinorUserData;
    StatusProc lpMajorStatus;
    void* lpMajorUserData;
    MessageProc lpMessageDisplay;
    void* lpMessageDisplayData;
    RenameProc lpRenameProc;
    void* lpRenameUserData;
    CALLBACKSTRUCT* lpCallbackStruct;
    int32_t lResv1, lResv2, lResv3, lResv4, lResv5, lResv6, lResv7, lResv8;
};

// Each pointer adds (pointer width - 4) bytes to the classic size, and each 32-bit field followed by a
// pointer at a position that is not 8-aligned adds a 4-byte pad on 64-bit builds.
static_assert(sizeof(void*) != 4 || sizeof(GTCMDSTRUCT) == 196);
static_assert(sizeof(void*) != 4 || sizeof(UGTCMDSTRUCT) == 172);
static_assert(sizeof(void*) != 4 || sizeof(CALLBACKSTRUCT) == 52);
static_assert(sizeof(void*) != 8 || sizeof(GTCMDSTRUCT) == 288);
static_assert(sizeof(void*) != 8 || sizeof(UGTCMDSTRUCT) == 248);
static_assert(sizeof(void*) != 8 || sizeof(CALLBACKSTRUCT) == 72);

inline constexpr uint32_t kGtCmdStructSize = sizeof(GTCMDSTRUCT);
inline constexpr uint32_t kUgtCmdStructSize = sizeof(UGTCMDSTRUCT);
inline constexpr uint32_t kCallbackStructSize = sizeof(CALLBACKSTRUCT);
inline constexpr uint32_t kGzipInfoSize = sizeof(GZIPINFO);
inline constexpr uint32_t kTarInfoSize = sizeof(TARINFO);
inline constexpr uint32_t kRenameStructSize = sizeof(RENAMESTRUCT);

// ---------------------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------------------

// Copies a text into a fixed, zero-terminated field of `size` bytes: at most size - 1 bytes of the text,
// then zero bytes up to the end of the field (a full field is cut to its size less one).
void CopyToField(char* field, std::size_t size, std::string_view text);

template <std::size_t N>
inline void CopyToField(char (&field)[N], std::string_view text) {
    CopyToField(field, N, text);
}

// The text of a fixed field: up to its first zero byte, never past the field's end.
std::string_view FieldText(const char* field, std::size_t size);

template <std::size_t N>
inline std::string_view FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}

// Fresh records with their size field set and the index -1 (information records: the next-member actions
// start at member 0; command records: no TAR member chosen, as a new control's TarIndex); everything else
// zero.
GZIPINFO NewGzipInfo();
TARINFO NewTarInfo();
RENAMESTRUCT NewRenameStruct();
CALLBACKSTRUCT NewCallbackStruct();
GTCMDSTRUCT NewGtCmdStruct();
UGTCMDSTRUCT NewUgtCmdStruct();

}  // namespace gtlib
