#include "gtlib/controls/typelib.h"

#include "gtlib/controls/sbgtactx.h"
#include "gtlib/engine/records.h"

namespace sbgt {

using namespace morven::com;

namespace {

// One value of a constant list of the engine: {"name", value}.
#define SBGT_ENUM_PAIR(name, value) {#name, value},

VARTYPE KindVt(const char* kind) {
    const std::string k = kind;
    if (k == "BOOL") return VT_BOOL;
    if (k == "I2") return VT_I2;
    if (k == "BSTR") return VT_BSTR;
    if (k == "VARIANT") return VT_VARIANT;
    return VT_I4;
}

// The option properties' help strings are written with a capital prefix.
std::string PropertyHelp(const std::string& name) {
    if (name == "gtSubOptions") return "property GTSubOptions";
    if (name == "ugtSubOptions") return "property UGTSubOptions";
    return "property " + name;
}

void AddProperty(TypeDesc& t, const char* name, DISPID id, const char* kind, const char* typeName) {
    const VARTYPE vt = KindVt(kind);
    t.members.push_back({name, id, MemberKind::PropertyGet, typeName, vt, PropertyHelp(name), {}});
    t.members.push_back({name, id, MemberKind::PropertyPut, typeName, vt, PropertyHelp(name), {}});
}

void AddAbout(TypeDesc& t) {
    t.members.push_back({"About", DISPID_ABOUTBOX, MemberKind::Method, "void", VT_EMPTY, "method About", {}});
}

ParamDesc L(const std::string& n) { return {n, "long", VT_I4, true}; }
ParamDesc S(const std::string& n) { return {n, "BSTR", VT_BSTR, true}; }

void AddEvent(TypeDesc& t, const std::string& name, DISPID id, std::vector<ParamDesc> params) {
    t.members.push_back({name, id, MemberKind::Method, "void", VT_EMPTY, "method " + name, std::move(params)});
}

// The five events both controls share, with the prefix ("GT" or "UGT") in every name.
void AddStandardEvents(TypeDesc& t, const std::string& p) {
    auto status = [&] { return std::vector<ParamDesc>{S(p + "ItemName"), L(p + "Percent"), L(p + "StatType"), L(p + "Cancel")}; };
    AddEvent(t, p + "MajorStatus", 1, status());
    AddEvent(t, p + "MinorStatus", 2, status());
    AddEvent(t, p + "MessageCallback", 3,
             {L(p + "MsgID"), L(p + "Type"), L("p" + p + "1"), L("p" + p + "2"), S("sz" + p + "1"), S("sz" + p + "2"),
              L(p + "RetCode")});
    AddEvent(t, p + "RenameCallback", 4,
             {S(p + "ItemName"), S(p + "DateTime"), L("l" + p + "Attrib"), L("l" + p + "Options"),
              S(p + "OrigItemName"), L(p + "RetCode")});
    AddEvent(t, p + "MemToMemCallback", 5,
             {L("l" + p + "Action"), S("lp" + p + "MemBuf"), L("pdw" + p + "Size"), L("dw" + p + "TotalReadL"),
              L("dw" + p + "TotalReadH"), L("dw" + p + "TotalWrittenL"), L("dw" + p + "TotalWrittenH"),
              L("pl" + p + "RetCode")});
}

TypeDesc Enumeration(const char* name, std::vector<EnumValue> values) {
    TypeDesc t{TypeKind::Enumeration, name, GUID{}, "", std::move(values)};
    return t;
}

morven::com::TypeLibrary Build() {
    morven::com::TypeLibrary lib;
    lib.name = "SBGTACTXLib";
    lib.guid = LIBID_SBGTACTXLib;
    lib.major = 1;
    lib.minor = 0;
    lib.help = "Selbrik-GT ActiveX Control";

    lib.types.push_back(Enumeration(
        "sbgtConstants",
        {{"MEM_DONE", 0}, {"MEM_ERROR", 1}, {"MEM_CANCEL", 2}, {"MEM_CONTINUE", 3},
         {"MEM_READ_DATA", 0}, {"MEM_WRITE_DATA", 1},
         {"MSGID_GTOPEN", 0}, {"MSGID_GTREAD", 1}, {"MSGID_GTWRITE", 2}, {"MSGID_GTOVERWRT", 3},
         {"MSGID_GTPWERR", 4}, {"MSGID_GTERROR", 5}, {"MSGID_GTWARN", 6}, {"MSGID_GTCHANGE", 7},
         {"STYP_FILETOFILE_GZIP", 0}, {"STYP_FILETOFILE_GUNZIP", 0}, {"STYP_FILETOFILE_TAR", 1},
         {"STYP_FILETOFILE_UNTAR", 1}, {"STYP_MEMTOMEM_GZIP", 2}, {"STYP_MEMTOMEM_GUNZIP", 2},
         {"STYP_MEMTOFILE_GZIP", 3}, {"STYP_FILETOMEM_GUNZIP", 3}, {"STYP_MEMTOFILE_TAR", 4},
         {"STYP_FILETOMEM_UNTAR", 4},
         {"TIE_CONTINUE", 0}, {"TIE_ABORT", 1},
         {"ATTR_READONLY", 1}, {"ATTR_HIDDEN", 2}, {"ATTR_SYSTEM", 4}, {"ATTR_VOLUME", 8}, {"ATTR_SUBDIR", 16},
         {"ATTR_ARCHIVE", 32}, {"ATTR_ENCRYPT", 32768}, {"ATTR_LFNAME", 65536}}));

    TypeDesc gtEvents{TypeKind::DispInterface, "_IgtactxEvents", DIID__IgtactxEvents,
                      "Selbrik-GT GZIP and TAR Event Interface"};
    gtEvents.source = true;
    AddStandardEvents(gtEvents, "GT");
    lib.types.push_back(gtEvents);

    TypeDesc iugt{TypeKind::DualInterface, "Iugtactx", IID_Iugtactx, "Selbrik-GT GUNZIP and UNTAR Interface"};
#define SBGT_ADD(name, dispid, kind, typeName) AddProperty(iugt, #name, dispid, #kind, typeName);
    SBGT_UGTACTX_PROPERTIES(SBGT_ADD)
#undef SBGT_ADD
    AddAbout(iugt);
    lib.types.push_back(iugt);

    lib.types.push_back(Enumeration(
        "ugtAction",
        {{"UGT_NO_ACTION", 0}, {"UGT_GUNZIP", 1}, {"UGT_UNTAR", 2}, {"UGT_GUNZIP_FILETOMEM", 3},
         {"UGT_GUNZIP_MEMTOMEM", 4}, {"UGT_GUNZIP_FILETOMEM_STREAM", 5}, {"UGT_UNTAR_FILETOMEM", 6},
         {"UGT_UNTAR_FILETOMEM_STREAM", 7}, {"UGT_GETGZIPCOMMENT_SIZE", 8}, {"UGT_GETGZIPCOMMENT", 9},
         {"UGT_GETGZIPINFO", 10}, {"UGT_UNTAR_COUNTALLMEMBERS", 11}, {"UGT_UNTAR_GETNEXTINFO", 12},
         {"UGT_UNTAR_COUNTNAMEDMEMBERS", 13}, {"UGT_UNTAR_GETNEXTNAMEDINFO", 14}}));
    lib.types.push_back(Enumeration(
        "ugtErrorCode",
        {GTLIB_UGT_RESULTS(SBGT_ENUM_PAIR)}));
    lib.types.push_back(Enumeration(
        "ugtSubOptions",
        {{"UGTSO_NO_SUBOPTIONS", 0}, {"UGTSO_OVERWRITE_RO", 1}, {"UGTSO_MINORCANCEL", 2},
         {"UGTSO_IGNORELONGNAMES", 16}, {"UGTSO_MANGLELONGNAMES", 32}, {"UGTSO_LEAVEPARTIAL", 64},
         {"UGTSO_LOGGTRESULTS", 256}, {"UGTSO_INHIBIT_PUMP", 16384}}));

    TypeDesc gtClass{TypeKind::CoClass, "gtactx", CLSID_gtactx, "gtactx Class"};
    gtClass.defaultInterface = "Igtactx";
    gtClass.defaultSource = "_IgtactxEvents";
    lib.types.push_back(gtClass);

    TypeDesc igt{TypeKind::DualInterface, "Igtactx", IID_Igtactx, "Selbrik-GT GZIP and TAR Interface"};
#define SBGT_ADD(name, dispid, kind, typeName) AddProperty(igt, #name, dispid, #kind, typeName);
    SBGT_GTACTX_PROPERTIES(SBGT_ADD)
#undef SBGT_ADD
    AddAbout(igt);
    lib.types.push_back(igt);

    lib.types.push_back(Enumeration(
        "gtAction",
        {{"GT_NO_ACTION", 0}, {"GT_GZIP", 1}, {"GT_TAR", 2}, {"GT_TAR_DELETE", 3}, {"GT_GZIP_MEMTOFILE", 4},
         {"GT_GZIP_MEMTOMEM", 5}, {"GT_GZIP_MEMTOFILE_STREAM", 6}, {"GT_TAR_MEMTOFILE", 7}}));
    {
        std::vector<EnumValue> f;
        for (int i = 1; i <= 9; ++i) f.push_back({"COMPFACTOR_" + std::to_string(i), i});
        lib.types.push_back(Enumeration("gtCompFactor", f));
    }
    lib.types.push_back(Enumeration(
        "gtErrorCode",
        {GTLIB_GT_RESULTS(SBGT_ENUM_PAIR)}));
    lib.types.push_back(Enumeration(
        "gtSubOptions",
        {{"GTSO_NO_SUBOPTIONS", 0}, {"GTSO_RELATIVE_PATH", 1}, {"GTSO_MINORCANCEL", 2},
         {"GTSO_IGNORELONGNAMES", 16}, {"GTSO_MANGLELONGNAMES", 32}, {"GTSO_SKIPLOCKEDFILES", 64},
         {"GTSO_LOGGTRESULTS", 256}, {"GTSO_JUST_ARCHIVED", 512}, {"GTSO_RESET_ARCHIVED", 1024},
         {"GTSO_INHIBIT_PUMP", 16384}}));

    TypeDesc ugtEvents{TypeKind::DispInterface, "_IugtactxEvents", DIID__IugtactxEvents,
                       "Selbrik-GT GUNZIP and UNTAR  Event Interface"};
    ugtEvents.source = true;
    AddStandardEvents(ugtEvents, "UGT");
    AddEvent(ugtEvents, "UGTTIEnumCallback", 6, {L("plUGTRetCode")});
    lib.types.push_back(ugtEvents);

    TypeDesc ugtClass{TypeKind::CoClass, "ugtactx", CLSID_ugtactx, "ugtactx Class"};
    ugtClass.defaultInterface = "Iugtactx";
    ugtClass.defaultSource = "_IugtactxEvents";
    lib.types.push_back(ugtClass);
    return lib;
}

}  // namespace

const morven::com::TypeLibrary& TypeLibrary() {
    static const morven::com::TypeLibrary lib = Build();
    return lib;
}

}  // namespace sbgt
