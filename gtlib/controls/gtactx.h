// The compression control gtactx: 37 properties, persistence, the command record it builds for the
// compression engine (GtMain), memory input from GTString or MemoryBlock, and its events.
#pragma once

#include <atomic>
#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "gtlib/controls/control.h"
#include "gtlib/controls/sbgtactx.h"
#include "gtlib/engine/records.h"

namespace sbgt {

class Gtactx final : public Igtactx, public ControlCore {
public:
    static Gtactx* Create();

    HRESULT QueryInterface(morven::com::REFIID iid, void** out) override;
    morven::com::ULONG AddRef() override { return ++refs_; }
    morven::com::ULONG Release() override;

    HRESULT GetTypeInfoCount(std::uint32_t* count) override;
    HRESULT GetTypeInfo(std::uint32_t, morven::com::LCID, morven::com::ITypeInfo**) override {
        return morven::com::E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(morven::com::REFIID, const morven::com::OLECHAR* const* names, std::uint32_t count,
                          morven::com::LCID, DISPID* ids) override {
        return DispGetIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID id, morven::com::REFIID iid, morven::com::LCID, std::uint16_t flags,
                   morven::com::DISPPARAMS* params, morven::com::VARIANT* result, morven::com::EXCEPINFO*,
                   std::uint32_t* argErr) override {
        return DispInvoke(id, iid, flags, params, result, argErr);
    }

#define SBGT_IMPLEMENT(name, dispid, kind, typeName)                                  \
    HRESULT get_##name(Prop##kind* out) override { return Get##kind(dispid, out); } \
    HRESULT put_##name(Prop##kind value) override { return Put##kind(dispid, value); }
    SBGT_GTACTX_PROPERTIES(SBGT_IMPLEMENT)
#undef SBGT_IMPLEMENT
    HRESULT About() override { return ShowAbout(); }

    void* StateBlock() const { return state_; }
    void DropStateBlockForTest();

    static std::int32_t MajorStatusProc(const char* item, std::int32_t percent, std::int32_t type, void* self);
    static std::int32_t MinorStatusProc(const char* item, std::int32_t percent, std::int32_t type, void* self);
    static std::int32_t MessageProc(std::int32_t id, std::int32_t type, std::int32_t n1, std::int32_t n2,
                                    char* text1, char* text2, void* self);
    static std::int32_t RenameProc(gtlib::RENAMESTRUCT* request, void* self);
    static void MemoryProc(std::int32_t direction, unsigned char* buffer, std::int32_t* size, std::uint32_t readL,
                           std::uint32_t readH, std::uint32_t writtenL, std::uint32_t writtenH, void* self,
                           std::int32_t* answer);

private:
    Gtactx();
    ~Gtactx() override;

    void SetDefaults() override;
    HRESULT ActionPut(std::int32_t action) override;
    HRESULT ShowAbout() override { return morven::com::S_OK; }
    std::int32_t RunAction(std::int32_t action, bool& engineMissing);

    std::atomic<morven::com::ULONG> refs_{0};
    void* state_ = nullptr;
};

// MemoryBlock as the memory input of a compression action: the bytes of a one-dimensional array with lower
// bound 0 and upper bound >= 1 (every element; other element types each taken as a byte), or the bytes of a
// text. Nothing for any other value or a failing element.
std::optional<std::string> MemoryBlockBytes(const morven::com::VARIANT& v);

}  // namespace sbgt
