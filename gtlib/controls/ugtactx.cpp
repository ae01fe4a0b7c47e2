#include "gtlib/controls/ugtactx.h"

#include <cstring>
#include <memory>
#include <optional>

#include "gtlib/controls/engines.h"
#include "gtlib/controls/module.h"
#include "gtlib/controls/typelib.h"

namespace sbgt {

using namespace morven::com;

namespace {
// DISPIDs of Iugtactx used by the control's logic (the numbers are the property list's).
enum : DISPID {
    kActionGT = UgtactxDispid::ActionGT,
    kAllQuiet = UgtactxDispid::bAllQuiet,
    kBackground = UgtactxDispid::bBackgroundProcessing,
    kLFtoCRLF = UgtactxDispid::bLFtoCRLF,
    kDecryptFlag = UgtactxDispid::bDecryptFlag,
    kDiagnostic = UgtactxDispid::bDiagnostic,
    kFreshen = UgtactxDispid::bFreshenFlag,
    kMajor = UgtactxDispid::bMajorStatus,
    kMessage = UgtactxDispid::bMessageCallback,
    kMinor = UgtactxDispid::bMinorStatus,
    kNoDirNames = UgtactxDispid::bNoDirectoryNames,
    kOverwrite = UgtactxDispid::bOverwriteFlag,
    kRecurse = UgtactxDispid::bRecurseFlag,
    kRename = UgtactxDispid::bRenameCallback,
    kTest = UgtactxDispid::bTestFlag,
    kTIECallback = UgtactxDispid::bTIECallback,
    kUpdate = UgtactxDispid::bUpdateFlag,
    kEncodedBinary = UgtactxDispid::bUseEncodedBinary,
    kDecryptCode = UgtactxDispid::DecryptCode,
    kDestination = UgtactxDispid::Destination,
    kErrorCode = UgtactxDispid::ErrorCode,
    kFilespec = UgtactxDispid::Filespec,
    kGTFile = UgtactxDispid::GTFile,
    kGziAttr = UgtactxDispid::gzi_Attr,
    kGziCRC32 = UgtactxDispid::gzi_CRC32,
    kGziCSizeL = UgtactxDispid::gzi_cSizeL,
    kGziCSizeH = UgtactxDispid::gzi_cSizeH,
    kGziDateTime = UgtactxDispid::gzi_DateTime,
    kGziExtraFlags = UgtactxDispid::gzi_ExtraFlags,
    kGziFileName = UgtactxDispid::gzi_FileName,
    kGziIndex = UgtactxDispid::gzi_Index,
    kGziMethod = UgtactxDispid::gzi_Method,
    kGziOSizeL = UgtactxDispid::gzi_oSizeL,
    kGziOSizeH = UgtactxDispid::gzi_oSizeH,
    kGziOSType = UgtactxDispid::gzi_OSType,
    kMemoryBlock = UgtactxDispid::MemoryBlock,
    kMemoryBlockSize = UgtactxDispid::MemoryBlockSize,
    kReturnCount = UgtactxDispid::ReturnCount,
    kReturnString = UgtactxDispid::ReturnString,
    kStartingOffset = UgtactxDispid::StartingOffset,
    kTarIndex = UgtactxDispid::TarIndex,
    kTiChecksum = UgtactxDispid::ti_Checksum,
    kTiDateTime = UgtactxDispid::ti_DateTime,
    kTiDevMajor = UgtactxDispid::ti_DevMajor,
    kTiDevMinor = UgtactxDispid::ti_DevMinor,
    kTiFileName = UgtactxDispid::ti_FileName,
    kTiGID = UgtactxDispid::ti_GID,
    kTiGName = UgtactxDispid::ti_GName,
    kTiIndex = UgtactxDispid::ti_Index,
    kTiLinkName = UgtactxDispid::ti_LinkName,
    kTiMagic = UgtactxDispid::ti_MAGIC,
    kTiMode = UgtactxDispid::ti_Mode,
    kTiSizeL = UgtactxDispid::ti_SizeL,
    kTiSizeH = UgtactxDispid::ti_SizeH,
    kTiTypeFlag = UgtactxDispid::ti_TypeFlag,
    kTiUID = UgtactxDispid::ti_UID,
    kTiUName = UgtactxDispid::ti_UName,
    kTiVersion = UgtactxDispid::ti_Version,
    kUGTString = UgtactxDispid::UGTString,
    kUGTStringOffset = UgtactxDispid::UGTStringOffset,
    kUGTStringSize = UgtactxDispid::UGTStringSize,
    kSubOptions = UgtactxDispid::ugtSubOptions,
    kWaitSeconds = UgtactxDispid::WaitSeconds,
};

const TypeDesc& Interface() { return *TypeLibrary().Find("Iugtactx"); }

std::vector<PersistName> Persisted() {
    return {{kAllQuiet, "_bAllQuiet"}, {kBackground, "_bBackgroundProcessing"}, {kLFtoCRLF, "_bLFtoCRLF"},
            {kDecryptFlag, "_bDecryptFlag"}, {kDiagnostic, "_bDiagnostic"}, {kFreshen, "_bFreshenFlag"},
            {kMajor, "_bMajorStatus"}, {kMessage, "_bMessageCallback"}, {kMinor, "_bMinorStatus"},
            {kNoDirNames, "_bNoDirectoryNames"}, {kOverwrite, "_bOverwriteFlag"}, {kRecurse, "_bRecurseFlag"},
            {kRename, "_bRenameCallback"}, {kTest, "_bTestFlag"}, {kTIECallback, "_bTIECallback"},
            {kUpdate, "_bUpdateFlag"}, {kEncodedBinary, "_bUseEncodedBinary"}, {kDecryptCode, "_strDecryptCode"},
            {kDestination, "_strDestination"}, {kFilespec, "_strFilespec"}, {kGTFile, "_strGTFile"},
            {kReturnCount, "_lReturnCount"}, {kReturnString, "_strReturnString"}, {kTarIndex, "_lTarIndex"},
            {kUGTStringOffset, "_UGTStringOffset"}, {kUGTStringSize, "_UGTStringSize"},
            {kSubOptions, "_dwUGTSubOptions"}, {kWaitSeconds, "_lWaitSeconds"}};
}

// A flag as the command record carries it: the 16-bit value widened to 32 bits (True is -1).
std::int32_t Wide(bool b) { return b ? -1 : 0; }

// Owns one zero-filled block; a memory helper for the record's buffers.
struct Block {
    std::unique_ptr<unsigned char[]> p;
    std::size_t size = 0;
    bool Allocate(std::size_t n) {
        p.reset(new (std::nothrow) unsigned char[n]());
        size = p ? n : 0;
        return p != nullptr;
    }
};

}  // namespace

Ugtactx::Ugtactx(const EngineBinding* engine)
    : Control(ControlKind{Interface(), IID_Iugtactx, DIID__IugtactxEvents, CLSID_ugtactx, Persisted(),
                          engine ? engine : DecompressionEngine(), &ModuleState::decompressionLock,
                          kEngineMissingUgt, kErrorCode, kWaitSeconds, kAllQuiet, kBackground, kSubOptions,
                          kEncodedBinary, gtlib::UGTSO_MINORCANCEL}) {
    SetDefaults();
}

void Ugtactx::SetDefaults() {
    StoreBlankDefaults();
    StoreI4(kTarIndex, -1);
}

// An action may have changed every information property (DISPIDs 24 to 61).
void Ugtactx::NotifyResults() {
    for (DISPID id = kGziAttr; id <= kUGTStringSize; ++id) NotifyChanged(id);
}

void Ugtactx::TarInfoToProperties(const gtlib::TARINFO& t) {
    StoreI4(kTiChecksum, t.lChecksum);
    StoreText(kTiDateTime, std::string(FieldCut(t.szDateTime)));
    StoreText(kTiDevMajor, std::string(FieldCut(t.szDevMajor)));
    StoreText(kTiDevMinor, std::string(FieldCut(t.szDevMinor)));
    StoreText(kTiFileName, std::string(FieldCut(t.szFileName)));
    StoreI4(kTiGID, t.lGID);
    StoreText(kTiGName, std::string(FieldCut(t.szGName)));
    StoreI4(kTiIndex, t.lIndex);
    StoreText(kTiLinkName, std::string(FieldCut(t.szLinkName)));
    StoreText(kTiMagic, std::string(FieldCut(t.szMagic)));
    StoreI4(kTiMode, t.lMode);
    StoreI4(kTiSizeL, static_cast<std::int32_t>(t.dwSizeL));
    StoreI4(kTiSizeH, static_cast<std::int32_t>(t.dwSizeH));
    StoreI4(kTiTypeFlag, t.lTypeFlag);
    StoreI4(kTiUID, t.lUID);
    StoreText(kTiUName, std::string(FieldCut(t.szUName)));
    StoreText(kTiVersion, std::string(FieldCut(t.szVersion)));
}

void Ugtactx::PropertiesToTarInfo(gtlib::TARINFO& t) const {
    gtlib::CopyToField(t.szFileName, Text(kTiFileName));
    gtlib::CopyToField(t.szLinkName, Text(kTiLinkName));
    gtlib::CopyToField(t.szUName, Text(kTiUName));
    gtlib::CopyToField(t.szGName, Text(kTiGName));
    gtlib::CopyToField(t.szMagic, Text(kTiMagic));
    gtlib::CopyToField(t.szVersion, Text(kTiVersion));
    gtlib::CopyToField(t.szDateTime, Text(kTiDateTime));
    gtlib::CopyToField(t.szDevMajor, Text(kTiDevMajor));
    gtlib::CopyToField(t.szDevMinor, Text(kTiDevMinor));
    t.lIndex = I4(kTiIndex);
    t.lMode = I4(kTiMode);
    t.lUID = I4(kTiUID);
    t.lGID = I4(kTiGID);
    t.dwSizeL = static_cast<std::uint32_t>(I4(kTiSizeL));
    t.dwSizeH = static_cast<std::uint32_t>(I4(kTiSizeH));
    t.lChecksum = I4(kTiChecksum);
    t.lTypeFlag = I4(kTiTypeFlag);
}

std::int32_t Ugtactx::RunAction(std::int32_t action, bool& engineMissing) {
    if (action == 0) return gtlib::UGTE_OK;

    // Texts of the record, converted to the library's ANSI (UTF-8); each buffer sized by its converted length.
    const std::string gtFile = Text(kGTFile), destination = Text(kDestination), decryptCode = Text(kDecryptCode);
    const std::string filespec = Text(kFilespec);
    const std::int32_t tarIndex = I4(kTarIndex);
    static const char kEmpty[] = "";

    gtlib::UGTCMDSTRUCT c{};
    c.ulugtStructSize = gtlib::kUgtCmdStructSize;
    c.lFunction = action;
    c.lpszGTFile = gtFile.c_str();
    c.lpszFilespec = tarIndex == -1 && !filespec.empty() ? filespec.c_str() : kEmpty;
    c.lpszDestination = destination.c_str();
    c.lIndex = tarIndex;
    c.bFreshenFlag = Wide(Flag(kFreshen));
    c.bUpdateFlag = Wide(Flag(kUpdate));
    c.bOverWriteFlag = Wide(Flag(kOverwrite));
    c.bAllQuiet = Wide(Flag(kAllQuiet));
    c.TestFlag = Wide(Flag(kTest));
    c.bNoDirectoryNames = Wide(Flag(kNoDirNames));
    c.bRecurseFlag = Wide(Flag(kRecurse));
    c.bDiagnostic = Wide(Flag(kDiagnostic));
    c.bLFtoCRLF = Wide(Flag(kLFtoCRLF));
    c.bDecryptFlag = Wide(Flag(kDecryptFlag));
    c.lpszDecryptCode = decryptCode.c_str();
    c.dwUGTSubOptions = static_cast<std::uint32_t>(I4(kSubOptions));
    c.lStartingOffset = I4(kStartingOffset);
    if (Flag(kMinor)) c.lpMinorStatus = &MinorStatusProc;
    c.lpMinorUserData = this;
    if (Flag(kMajor)) c.lpMajorStatus = &MajorStatusProc;
    c.lpMajorUserData = this;
    if (Flag(kMessage)) c.lpMessageDisplay = &MessageProc;
    c.lpMessageDisplayData = this;
    if (Flag(kRename)) c.lpRenameProc = &RenameProc;
    c.lpRenameUserData = this;

    // Information records.
    gtlib::GZIPINFO gzi = gtlib::NewGzipInfo();
    gtlib::TARINFO tar = gtlib::NewTarInfo();
    gtlib::CALLBACKSTRUCT cb = gtlib::NewCallbackStruct();
    switch (action) {
        case gtlib::UGT_GETGZIPINFO: c.gzipInfo = &gzi; break;
        case gtlib::UGT_UNTAR_COUNTALLMEMBERS:
        case gtlib::UGT_UNTAR_COUNTNAMEDMEMBERS:
            c.tarInfo = &tar;
            if (Flag(kTIECallback)) {
                cb.lpTarEnumProc = &Ugtactx::TarEnumProc;
                cb.lpTarEnumUserData = this;
                c.lpCallbackStruct = &cb;
            }
            break;
        case gtlib::UGT_UNTAR_GETNEXTINFO:
        case gtlib::UGT_UNTAR_GETNEXTNAMEDINFO:
            PropertiesToTarInfo(tar);
            c.tarInfo = &tar;
            break;
        case gtlib::UGT_UNTAR_GETINFOBYINDEX: c.tarInfo = &tar; break;
        default:
            c.gzipInfo = &gzi;
            c.tarInfo = &tar;
            break;
    }

    // The comment buffer (action 9). A negative ReturnCount counts as 0.
    std::int32_t returnCount = I4(kReturnCount);
    if (returnCount < 0) returnCount = 0;
    Block comment;
    if (action == gtlib::UGT_GETGZIPCOMMENT) {
        c.lReturnCount = returnCount;
        if (returnCount >= 1 && !comment.Allocate(static_cast<std::size_t>(returnCount) + 1)) return gtlib::UGTE_MEM;
    }
    c.lpszReturnString = comment.p ? reinterpret_cast<char*>(comment.p.get()) : const_cast<char*>(kEmpty);

    // Memory output.
    Block out;
    bool stringForm = false;
    if (action == gtlib::UGT_GUNZIP_FILETOMEM || action == gtlib::UGT_UNTAR_FILETOMEM) {
        const std::int32_t strSize = I4(kUGTStringSize), blockSize = I4(kMemoryBlockSize);
        if (!Text(kUGTString).empty() && strSize >= 1) {
            if (!out.Allocate(static_cast<std::size_t>(strSize) + 1)) return gtlib::UGTE_MEM;
            stringForm = true;
            c.lMemBlockSize = strSize;
            c.lStartingOffset = I4(kUGTStringOffset);
        } else if (blockSize >= 1) {
            if (!out.Allocate(static_cast<std::size_t>(blockSize) + 1)) return gtlib::UGTE_MEM;
            c.lMemBlockSize = blockSize;
            c.lStartingOffset = I4(kStartingOffset);
        }
        c.lpMemBlock = out.p.get();
    } else if (action == gtlib::UGT_GUNZIP_MEMTOMEM || action == gtlib::UGT_GUNZIP_FILETOMEM_STREAM ||
               action == gtlib::UGT_UNTAR_FILETOMEM_STREAM) {
        c.lMemBlockSize = I4(kMemoryBlockSize);
        c.lStartingOffset = I4(kStartingOffset);
        cb.lpMemToMemProc = &MemoryProc;
        cb.lpMemToMemUserData = this;
        c.lpCallbackStruct = &cb;
    }

    // Serialised with every ugtactx of every process, for at most WaitSeconds rounds of a second; the action
    // runs in any case.
    const std::int32_t result = RunEngine(&c, engineMissing);

    if ((result & 0xFFFF) != 0) return result;

    // Copy the results back.
    switch (action) {
        case gtlib::UGT_GETGZIPINFO:
            StoreI4(kGziAttr, static_cast<std::int32_t>(gzi.dwAttr));
            StoreI4(kGziCRC32, static_cast<std::int32_t>(gzi.dwCRC32));
            StoreI4(kGziCSizeL, static_cast<std::int32_t>(gzi.dwCSizeL));
            StoreI4(kGziCSizeH, static_cast<std::int32_t>(gzi.dwCSizeH));
            StoreText(kGziDateTime, std::string(FieldCut(gzi.szDateTime)));
            StoreI2(kGziExtraFlags, static_cast<std::int16_t>(gzi.wExtraFlags));
            StoreText(kGziFileName, std::string(FieldCut(gzi.szFileName)));
            StoreI4(kGziIndex, gzi.lIndex);
            StoreI2(kGziMethod, static_cast<std::int16_t>(gzi.wMethod));
            StoreI4(kGziOSizeL, static_cast<std::int32_t>(gzi.dwOSizeL));
            StoreI4(kGziOSizeH, static_cast<std::int32_t>(gzi.dwOSizeH));
            StoreI2(kGziOSType, static_cast<std::int16_t>(gzi.wOSType));
            break;
        case gtlib::UGT_UNTAR_COUNTALLMEMBERS:
        case gtlib::UGT_UNTAR_GETNEXTINFO:
        case gtlib::UGT_UNTAR_COUNTNAMEDMEMBERS:
        case gtlib::UGT_UNTAR_GETNEXTNAMEDINFO:
        case gtlib::UGT_UNTAR_GETINFOBYINDEX: TarInfoToProperties(tar); break;
        case gtlib::UGT_GUNZIP_MEMTOMEM:
        case gtlib::UGT_GUNZIP_FILETOMEM_STREAM:
        case gtlib::UGT_UNTAR_FILETOMEM_STREAM: StoreI4(kMemoryBlockSize, c.lMemBlockSize); break;
        case gtlib::UGT_GUNZIP_FILETOMEM:
        case gtlib::UGT_UNTAR_FILETOMEM:
            if (out.p) {
                // The size the engine reports never reaches past the block it was given.
                std::size_t produced = c.lMemBlockSize < 0 ? 0 : static_cast<std::size_t>(c.lMemBlockSize);
                if (produced > out.size - 1) produced = out.size - 1;
                if (stringForm) {
                    const auto* b = reinterpret_cast<const char*>(out.p.get());
                    StoreText(kUGTString, std::string(b, strnlen(b, produced)));
                    StoreI4(kUGTStringSize, static_cast<std::int32_t>(SysStringLen(Value(kUGTString).bstrVal)));
                } else if (produced >= 1) {
                    Variant bytes = Variant::Bytes(std::string(reinterpret_cast<const char*>(out.p.get()), produced));
                    if (bytes.vt == VT_EMPTY) return gtlib::UGTE_MEM;
                    Store(kMemoryBlock, bytes);
                    StoreI4(kMemoryBlockSize, static_cast<std::int32_t>(produced));
                }
            }
            break;
        default: break;
    }
    StoreI4(kReturnCount, c.lReturnCount);
    if (action == gtlib::UGT_GETGZIPCOMMENT && comment.p && c.lReturnCount >= 1) {
        std::size_t n = static_cast<std::size_t>(c.lReturnCount);
        if (n > comment.size - 1) n = comment.size - 1;
        const auto* b = reinterpret_cast<const char*>(comment.p.get());
        StoreText(kReturnString, std::string(b, strnlen(b, n)));
    }
    return result;
}

// ---- events ----

void Ugtactx::TarEnumProc(gtlib::TARINFO* info, void* selfp, std::int32_t* answer) {
    auto* self = static_cast<Ugtactx*>(selfp);
    if (info) self->TarInfoToProperties(*info);
    std::int32_t ret = answer ? *answer : 0;
    std::vector<VARIANT> args{RefI4(&ret)};
    self->Fire(DISPID_TIEnumCallback, args);
    if (self->Flag(kBackground)) self->RunMessagePump();  // a quit seen here is not used
    if (answer) *answer = ret;
}

}  // namespace sbgt
