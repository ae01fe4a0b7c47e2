#include "gtlib/controls/gtactx.h"

#include <cstring>
#include <optional>

#include "gtlib/controls/engines.h"
#include "gtlib/controls/module.h"
#include "gtlib/controls/typelib.h"

namespace sbgt {

using namespace morven::com;

namespace {
enum : DISPID {
    kActionGT = GtactxDispid::ActionGT,
    kAddComment = GtactxDispid::bAddComment,
    kAllQuiet = GtactxDispid::bAllQuiet,
    kBackground = GtactxDispid::bBackgroundProcessing,
    kLFtoCRLF = GtactxDispid::bLFtoCRLF,
    kDiagnostic = GtactxDispid::bDiagnostic,
    kDosify = GtactxDispid::bDosify,
    kEncryptFlag = GtactxDispid::bEncryptFlag,
    kExclDate = GtactxDispid::bExclDate,
    kGrowExisting = GtactxDispid::bGrowExisting,
    kInclDate = GtactxDispid::bInclDate,
    kIncludeSysHidden = GtactxDispid::bIncludeSysHidden,
    kMajor = GtactxDispid::bMajorStatus,
    kMessage = GtactxDispid::bMessageCallback,
    kMinor = GtactxDispid::bMinorStatus,
    kNoDirNames = GtactxDispid::bNoDirectoryNames,
    kRecurse = GtactxDispid::bRecurseFlag,
    kRename = GtactxDispid::bRenameCallback,
    kEncodedBinary = GtactxDispid::bUseEncodedBinary,
    kTarIndex = GtactxDispid::TarIndex,
    kCompFactor = GtactxDispid::CompFactor,
    kDate1 = GtactxDispid::Date1,
    kDate2 = GtactxDispid::Date2,
    kDestination = GtactxDispid::Destination,
    kEncryptCode = GtactxDispid::EncryptCode,
    kErrorCode = GtactxDispid::ErrorCode,
    kExcludeList = GtactxDispid::ExcludeList,
    kGTFile = GtactxDispid::GTFile,
    kGTString = GtactxDispid::GTString,
    kSubOptions = GtactxDispid::gtSubOptions,
    kGZIPComment = GtactxDispid::GZIPComment,
    kIncludeList = GtactxDispid::IncludeList,
    kItemList = GtactxDispid::ItemList,
    kMemoryBlock = GtactxDispid::MemoryBlock,
    kMemoryBlockSize = GtactxDispid::MemoryBlockSize,
    kTempPath = GtactxDispid::TempPath,
    kWaitSeconds = GtactxDispid::WaitSeconds,
};

const TypeDesc& Interface() { return *TypeLibrary().Find("Igtactx"); }

std::vector<PersistName> Persisted() {
    return {{kAddComment, "_bAddComment"}, {kAllQuiet, "_bAllQuiet"}, {kBackground, "_bBackgroundProcessing"},
            {kDiagnostic, "_bDiagnostic"}, {kDosify, "_bDosify"}, {kLFtoCRLF, "_bLFtoCRLF"},
            {kEncryptFlag, "_bEncryptFlag"}, {kExclDate, "_bExclDate"}, {kGrowExisting, "_bGrowExisting"},
            {kInclDate, "_bInclDate"}, {kIncludeSysHidden, "_bIncludeSysHidden"}, {kMajor, "_bMajorStatus"},
            {kMessage, "_bMessageCallback"}, {kMinor, "_bMinorStatus"}, {kNoDirNames, "_bNoDirectoryNames"},
            {kRecurse, "_bRecurseFlag"}, {kRename, "_bRenameCallback"}, {kEncodedBinary, "_bUseEncodedBinary"},
            {kCompFactor, "_lCompFactor"}, {kTarIndex, "_lTarIndex"}, {kDate1, "_strDate1"}, {kDate2, "_strDate2"},
            {kDestination, "_strDestination"}, {kEncryptCode, "_strEncryptCode"}, {kExcludeList, "_strExcludeList"},
            {kSubOptions, "_dwGTSubOptions"}, {kGTFile, "_strGTFile"}, {kGTString, "_strGTString"},
            {kGZIPComment, "_strGZIPComment"}, {kIncludeList, "_strIncludeList"}, {kItemList, "_strItemList"},
            {kTempPath, "_strTempPath"}, {kWaitSeconds, "_lWaitSeconds"}};
}

std::int32_t Wide(bool b) { return b ? -1 : 0; }
}  // namespace

std::optional<std::string> MemoryBlockBytes(const VARIANT& given) {
    Variant v;
    if (FAILED(VariantCopyInd(&v, &given))) return std::nullopt;
    if (v.vt == VT_BSTR) {
        // A text gives its bytes (UTF-16, two per character), all of them.
        return std::string(reinterpret_cast<const char*>(v.bstrVal), SysStringByteLen(v.bstrVal));
    }
    if (!(v.vt & VT_ARRAY) || !v.parray || SafeArrayGetDim(v.parray) != 1) return std::nullopt;
    std::int32_t lo = 0, hi = 0;
    SafeArrayGetLBound(v.parray, 1, &lo);
    SafeArrayGetUBound(v.parray, 1, &hi);
    if (lo != 0 || hi < 1) return std::nullopt;
    std::string out;
    out.reserve(static_cast<std::size_t>(hi) + 1);
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(v.parray, &vt);
    for (std::int32_t i = 0; i <= hi; ++i) {  // every element, 0 to the upper bound
        if (vt == VT_UI1) {
            out += static_cast<char>(static_cast<const unsigned char*>(v.parray->pvData)[i]);
            continue;
        }
        Variant element;
        if (vt == VT_VARIANT) {
            if (FAILED(SafeArrayGetElement(v.parray, &i, &element))) return std::nullopt;
        } else {
            // Read the element into a VARIANT of its own type.
            element.vt = vt;
            if (FAILED(SafeArrayGetElement(v.parray, &i, &element.lVal))) {
                element.vt = VT_EMPTY;
                return std::nullopt;
            }
        }
        Variant byte;
        if (FAILED(VariantChangeType(&byte, &element, 0, VT_I4))) return std::nullopt;
        out += static_cast<char>(byte.lVal & 0xFF);
    }
    return out;
}

Gtactx::Gtactx(const EngineBinding* engine)
    : Control(ControlKind{Interface(), IID_Igtactx, DIID__IgtactxEvents, CLSID_gtactx, Persisted(), engine ? engine : CompressionEngine(),
                          &ModuleState::compressionLock, kEngineMissingGt, kErrorCode,
                          kWaitSeconds, kAllQuiet, kBackground, kSubOptions, kEncodedBinary, gtlib::GTSO_MINORCANCEL}) {
    SetDefaults();
}

void Gtactx::SetDefaults() {
    StoreBlankDefaults();
    StoreI4(kCompFactor, 5);
    StoreI4(kTarIndex, -1);
}

std::int32_t Gtactx::RunAction(std::int32_t action, bool& engineMissing) {
    if (action == 0) return gtlib::GTE_OK;
    const std::string gtFile = Text(kGTFile), itemList = Text(kItemList), destination = Text(kDestination),
                      tempPath = Text(kTempPath), comment = Text(kGZIPComment), date1 = Text(kDate1),
                      date2 = Text(kDate2), include = Text(kIncludeList), exclude = Text(kExcludeList),
                      encryptCode = Text(kEncryptCode);

    gtlib::GTCMDSTRUCT c{};
    c.ulgtStructSize = gtlib::kGtCmdStructSize;
    c.lFunction = action;
    c.lpszGTFile = gtFile.c_str();
    c.lpszItemList = itemList.c_str();
    c.lpszDestination = destination.c_str();
    c.lpszTempPath = tempPath.c_str();
    c.lIndex = I4(kTarIndex);
    c.bAllQuiet = Wide(Flag(kAllQuiet));
    c.bRecurseFlag = Wide(Flag(kRecurse));
    c.lCompFactor = I4(kCompFactor);
    c.bNoDirectoryNames = Wide(Flag(kNoDirNames));
    c.bLFtoCRLF = Wide(Flag(kLFtoCRLF));
    c.bGrowExistingFlag = Wide(Flag(kGrowExisting));
    c.bAddComment = Wide(Flag(kAddComment));
    c.lpszComment = comment.c_str();
    c.bInclDate = Wide(Flag(kInclDate));
    c.bExclDate = Wide(Flag(kExclDate));
    c.lpszDate1 = date1.c_str();
    c.lpszDate2 = date2.c_str();
    c.lpszIncludeList = include.c_str();
    c.lpszExludeList = exclude.c_str();
    c.bDosify = Wide(Flag(kDosify));
    c.bIncludeSysHidden = Wide(Flag(kIncludeSysHidden));
    c.bDiagnostic = Wide(Flag(kDiagnostic));
    c.bEncryptFlag = Wide(Flag(kEncryptFlag));
    c.lpszEncryptCode = encryptCode.c_str();
    c.dwGTSubOptions = static_cast<std::uint32_t>(I4(kSubOptions));
    if (Flag(kMajor)) c.lpMajorStatus = &MajorStatusProc;
    c.lpMajorUserData = this;
    if (Flag(kMinor)) c.lpMinorStatus = &MinorStatusProc;
    c.lpMinorUserData = this;
    if (Flag(kMessage)) c.lpMessageDisplay = &MessageProc;
    c.lpMessageDisplayData = this;
    if (Flag(kRename)) c.lpRenameProc = &RenameProc;
    c.lpRenameUserData = this;

    // Memory input.
    std::string input;  // GTString with its terminating zero, or the MemoryBlock bytes
    gtlib::CALLBACKSTRUCT cb = gtlib::NewCallbackStruct();
    if (action == gtlib::GT_GZIP_MEMTOFILE || action == gtlib::GT_TAR_MEMTOFILE) {
        const std::string text = Text(kGTString);
        const Variant block = Value(kMemoryBlock);
        if (!text.empty()) {
            // The converted bytes and the terminating zero: "abc" is 4 bytes.
            input = text;
            input.push_back('\0');
            c.lpMemBlock = reinterpret_cast<const unsigned char*>(input.data());
            c.lMemBlockSize = static_cast<std::int32_t>(input.size());
        } else if (block.vt != VT_EMPTY) {
            auto bytes = MemoryBlockBytes(block);
            if (!bytes) return gtlib::GTE_MEM;
            input = std::move(*bytes);
            c.lpMemBlock = reinterpret_cast<const unsigned char*>(input.data());
            // MemoryBlockSize, but never more than the block holds.
            std::int32_t size = I4(kMemoryBlockSize);
            if (size < 0) size = 0;
            if (static_cast<std::size_t>(size) > input.size()) size = static_cast<std::int32_t>(input.size());
            c.lMemBlockSize = size;
        }
    } else if (action == gtlib::GT_GZIP_MEMTOMEM || action == gtlib::GT_GZIP_MEMTOFILE_STREAM) {
        cb.lpMemToMemProc = &MemoryProc;
        cb.lpMemToMemUserData = this;
        c.lpCallbackStruct = &cb;
        c.lMemBlockSize = I4(kMemoryBlockSize);
    }

    return RunEngine(&c, engineMissing) & 0xFFFF;
}

}  // namespace sbgt
