// The public surface of the component library sbgtactx: identifiers of the type library, the two classes
// and their interfaces, the ProgIDs, and the dual interfaces Igtactx and Iugtactx as abstract classes in
// interface order (each property's get, then its put; About last). Header only: a host includes it to
// call through the interface tables, or uses IDispatch with the DISPIDs below and needs nothing of it.
//
// The property lists are X-macros X(name, dispid, kind, typeName) with kind one of BOOL (VARIANT_BOOL),
// I4 (long or an enumeration), I2 (short), BSTR, VARIANT. They are the one source of the interface
// tables, the type description and the controls' property tables.
#pragma once

#include "platform/com/interfaces.h"

namespace sbgt {

using morven::com::BSTR;
using morven::com::GUID;
using morven::com::HRESULT;
using morven::com::VARIANT;
using morven::com::VARIANT_BOOL;

constexpr GUID LIBID_SBGTACTXLib{0xC47BEB3B, 0x1190, 0x4A67, {0x81, 0xCD, 0x46, 0x77, 0x22, 0x0C, 0x64, 0x64}};
constexpr GUID CLSID_gtactx{0x3F393039, 0xD083, 0x46D3, {0x8A, 0xB1, 0x5C, 0x8A, 0x36, 0xF7, 0x0C, 0xAB}};
constexpr GUID CLSID_ugtactx{0x7C5099E2, 0x2B7E, 0x4BA5, {0x98, 0xB0, 0xA5, 0xAF, 0xCD, 0x31, 0xEF, 0x07}};
constexpr GUID IID_Igtactx{0x2BE16528, 0xCD8C, 0x4346, {0xA7, 0x3A, 0xE0, 0x00, 0x25, 0xED, 0xC6, 0x04}};
constexpr GUID IID_Iugtactx{0x1600025D, 0x0722, 0x495A, {0xA7, 0x98, 0x8C, 0x8F, 0xF3, 0x5A, 0x4E, 0x12}};
constexpr GUID DIID__IgtactxEvents{0x6555191F, 0x0CB2, 0x4D8F, {0xA8, 0x77, 0xB6, 0xF8, 0xED, 0xD9, 0x44, 0x10}};
constexpr GUID DIID__IugtactxEvents{0x550FA874, 0x4DF9, 0x4BC5, {0x86, 0x98, 0x72, 0x83, 0xDE, 0xFC, 0xD0, 0xFF}};

inline constexpr const char* kProgIdGtactx = "gtactx.gtactx.1";
inline constexpr const char* kProgIdUgtactx = "ugtactx.ugtactx.1";

// Igtactx, in interface order.
#define SBGT_GTACTX_PROPERTIES(X)                    \
    X(ActionGT, 1, I4, "gtAction")                   \
    X(bAddComment, 2, BOOL, "VARIANT_BOOL")          \
    X(bAllQuiet, 3, BOOL, "VARIANT_BOOL")            \
    X(bBackgroundProcessing, 4, BOOL, "VARIANT_BOOL") \
    X(bDiagnostic, 6, BOOL, "VARIANT_BOOL")          \
    X(bDosify, 7, BOOL, "VARIANT_BOOL")              \
    X(bLFtoCRLF, 5, BOOL, "VARIANT_BOOL")            \
    X(bEncryptFlag, 8, BOOL, "VARIANT_BOOL")         \
    X(bExclDate, 9, BOOL, "VARIANT_BOOL")            \
    X(bGrowExisting, 10, BOOL, "VARIANT_BOOL")       \
    X(bInclDate, 11, BOOL, "VARIANT_BOOL")           \
    X(bIncludeSysHidden, 12, BOOL, "VARIANT_BOOL")   \
    X(bMajorStatus, 13, BOOL, "VARIANT_BOOL")        \
    X(bMessageCallback, 14, BOOL, "VARIANT_BOOL")    \
    X(bMinorStatus, 15, BOOL, "VARIANT_BOOL")        \
    X(bNoDirectoryNames, 16, BOOL, "VARIANT_BOOL")   \
    X(bRecurseFlag, 17, BOOL, "VARIANT_BOOL")        \
    X(bRenameCallback, 18, BOOL, "VARIANT_BOOL")     \
    X(bUseEncodedBinary, 19, BOOL, "VARIANT_BOOL")   \
    X(CompFactor, 21, I4, "gtCompFactor")            \
    X(Date1, 22, BSTR, "BSTR")                       \
    X(Date2, 23, BSTR, "BSTR")                       \
    X(Destination, 24, BSTR, "BSTR")                 \
    X(EncryptCode, 25, BSTR, "BSTR")                 \
    X(ErrorCode, 26, I4, "gtErrorCode")              \
    X(ExcludeList, 27, BSTR, "BSTR")                 \
    X(gtSubOptions, 30, I4, "gtSubOptions")          \
    X(GTFile, 28, BSTR, "BSTR")                      \
    X(GTString, 29, BSTR, "BSTR")                    \
    X(GZIPComment, 31, BSTR, "BSTR")                 \
    X(IncludeList, 32, BSTR, "BSTR")                 \
    X(ItemList, 33, BSTR, "BSTR")                    \
    X(MemoryBlock, 34, VARIANT, "VARIANT")           \
    X(MemoryBlockSize, 35, I4, "long")               \
    X(TempPath, 36, BSTR, "BSTR")                    \
    X(WaitSeconds, 37, I4, "long")                   \
    X(TarIndex, 20, I4, "long")

// Iugtactx, in interface order.
#define SBGT_UGTACTX_PROPERTIES(X)                   \
    X(ActionGT, 1, I4, "ugtAction")                  \
    X(bAllQuiet, 2, BOOL, "VARIANT_BOOL")            \
    X(bBackgroundProcessing, 3, BOOL, "VARIANT_BOOL") \
    X(bLFtoCRLF, 4, BOOL, "VARIANT_BOOL")            \
    X(bDecryptFlag, 5, BOOL, "VARIANT_BOOL")         \
    X(bDiagnostic, 6, BOOL, "VARIANT_BOOL")          \
    X(bFreshenFlag, 7, BOOL, "VARIANT_BOOL")         \
    X(bMajorStatus, 8, BOOL, "VARIANT_BOOL")         \
    X(bMessageCallback, 9, BOOL, "VARIANT_BOOL")     \
    X(bMinorStatus, 10, BOOL, "VARIANT_BOOL")        \
    X(bNoDirectoryNames, 11, BOOL, "VARIANT_BOOL")   \
    X(bOverwriteFlag, 12, BOOL, "VARIANT_BOOL")      \
    X(bRecurseFlag, 13, BOOL, "VARIANT_BOOL")        \
    X(bRenameCallback, 14, BOOL, "VARIANT_BOOL")     \
    X(bTestFlag, 15, BOOL, "VARIANT_BOOL")           \
    X(bUpdateFlag, 17, BOOL, "VARIANT_BOOL")         \
    X(bUseEncodedBinary, 18, BOOL, "VARIANT_BOOL")   \
    X(DecryptCode, 19, BSTR, "BSTR")                 \
    X(Destination, 20, BSTR, "BSTR")                 \
    X(ErrorCode, 21, I4, "ugtErrorCode")             \
    X(Filespec, 22, BSTR, "BSTR")                    \
    X(GTFile, 23, BSTR, "BSTR")                      \
    X(gzi_Attr, 24, I4, "long")                      \
    X(gzi_CRC32, 25, I4, "long")                     \
    X(gzi_cSizeL, 26, I4, "long")                    \
    X(gzi_cSizeH, 27, I4, "long")                    \
    X(gzi_DateTime, 28, BSTR, "BSTR")                \
    X(gzi_ExtraFlags, 29, I2, "short")               \
    X(gzi_FileName, 30, BSTR, "BSTR")                \
    X(gzi_Index, 31, I4, "long")                     \
    X(gzi_Method, 32, I2, "short")                   \
    X(gzi_oSizeL, 33, I4, "long")                    \
    X(gzi_oSizeH, 34, I4, "long")                    \
    X(gzi_OSType, 35, I2, "short")                   \
    X(MemoryBlock, 36, VARIANT, "VARIANT")           \
    X(MemoryBlockSize, 37, I4, "long")               \
    X(ReturnCount, 38, I4, "long")                   \
    X(ReturnString, 39, BSTR, "BSTR")                \
    X(StartingOffset, 40, I4, "long")                \
    X(TarIndex, 41, I4, "long")                      \
    X(ti_Checksum, 42, I4, "long")                   \
    X(ti_DateTime, 43, BSTR, "BSTR")                 \
    X(ti_DevMajor, 44, BSTR, "BSTR")                 \
    X(ti_DevMinor, 45, BSTR, "BSTR")                 \
    X(ti_FileName, 46, BSTR, "BSTR")                 \
    X(ti_GID, 47, I4, "long")                        \
    X(ti_GName, 48, BSTR, "BSTR")                    \
    X(ti_Index, 49, I4, "long")                      \
    X(ti_LinkName, 50, BSTR, "BSTR")                 \
    X(ti_MAGIC, 51, BSTR, "BSTR")                    \
    X(ti_Mode, 52, I4, "long")                       \
    X(ti_SizeL, 53, I4, "long")                      \
    X(ti_SizeH, 54, I4, "long")                      \
    X(ti_TypeFlag, 55, I4, "long")                   \
    X(ti_UID, 56, I4, "long")                        \
    X(ti_UName, 57, BSTR, "BSTR")                    \
    X(ti_Version, 58, BSTR, "BSTR")                  \
    X(UGTString, 59, BSTR, "BSTR")                   \
    X(UGTStringOffset, 60, I4, "long")               \
    X(UGTStringSize, 61, I4, "long")                 \
    X(ugtSubOptions, 62, I4, "ugtSubOptions")        \
    X(WaitSeconds, 63, I4, "long")                   \
    X(bTIECallback, 16, BOOL, "VARIANT_BOOL")

// DISPIDs of the properties by name (GtactxDispid::bAllQuiet, UgtactxDispid::GTFile, ...), from the
// lists above.
#define SBGT_DISPID_VALUE(name, dispid, kind, typeName) name = dispid,
struct GtactxDispid {
    enum : std::int32_t { SBGT_GTACTX_PROPERTIES(SBGT_DISPID_VALUE) };
};
struct UgtactxDispid {
    enum : std::int32_t { SBGT_UGTACTX_PROPERTIES(SBGT_DISPID_VALUE) };
};
#undef SBGT_DISPID_VALUE

// C++ types of the property kinds in the interface tables.
using PropBOOL = VARIANT_BOOL;
using PropI4 = std::int32_t;
using PropI2 = std::int16_t;
using PropBSTR = BSTR;
using PropVARIANT = VARIANT;

#define SBGT_DECLARE_ACCESSORS(name, dispid, kind, typeName) \
    virtual HRESULT get_##name(Prop##kind* out) = 0;         \
    virtual HRESULT put_##name(Prop##kind value) = 0;

// Dual interfaces: IDispatch first, then the properties in the order above, then About.
struct Igtactx : morven::com::IDispatch {
    SBGT_GTACTX_PROPERTIES(SBGT_DECLARE_ACCESSORS)
    virtual HRESULT About() = 0;

protected:
    ~Igtactx() = default;
};

struct Iugtactx : morven::com::IDispatch {
    SBGT_UGTACTX_PROPERTIES(SBGT_DECLARE_ACCESSORS)
    virtual HRESULT About() = 0;

protected:
    ~Iugtactx() = default;
};

// DISPIDs of the events (both event interfaces use the same numbers).
enum : std::int32_t {
    DISPID_MajorStatus = 1,
    DISPID_MinorStatus = 2,
    DISPID_MessageCallback = 3,
    DISPID_RenameCallback = 4,
    DISPID_MemToMemCallback = 5,
    DISPID_TIEnumCallback = 6,  // _IugtactxEvents only
};

}  // namespace sbgt
