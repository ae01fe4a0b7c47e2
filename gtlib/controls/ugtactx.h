// The decompression control ugtactx: 63 properties, persistence, the command record it builds for the
// decompression engine, the copy-back of results, and the events the engine's callbacks become.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "gtlib/controls/control.h"
#include "gtlib/controls/sbgtactx.h"
#include "gtlib/engine/records.h"

namespace sbgt {

class Ugtactx final : public Iugtactx, public ControlCore {
public:
    // A new control with one reference; counts on the module's lock count while it lives.
    static Ugtactx* Create();

    // IUnknown
    HRESULT QueryInterface(morven::com::REFIID iid, void** out) override;
    morven::com::ULONG AddRef() override { return ++refs_; }
    morven::com::ULONG Release() override;

    // IDispatch
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
    SBGT_UGTACTX_PROPERTIES(SBGT_IMPLEMENT)
#undef SBGT_IMPLEMENT
    HRESULT About() override { return ShowAbout(); }

    // The engine state block (null when it could not be allocated).
    void* StateBlock() const { return state_; }
    // Test hook: drop the state block, as if its allocation had failed.
    void DropStateBlockForTest();

    // Engine callbacks (user data is the control).
    static std::int32_t MajorStatusProc(const char* item, std::int32_t percent, std::int32_t type, void* self);
    static std::int32_t MinorStatusProc(const char* item, std::int32_t percent, std::int32_t type, void* self);
    static std::int32_t MessageProc(std::int32_t id, std::int32_t type, std::int32_t n1, std::int32_t n2,
                                    char* text1, char* text2, void* self);
    static std::int32_t RenameProc(gtlib::RENAMESTRUCT* request, void* self);
    static void MemoryProc(std::int32_t direction, unsigned char* buffer, std::int32_t* size, std::uint32_t readL,
                           std::uint32_t readH, std::uint32_t writtenL, std::uint32_t writtenH, void* self,
                           std::int32_t* answer);
    static void TarEnumProc(gtlib::TARINFO* info, void* self, std::int32_t* answer);

private:
    Ugtactx();
    ~Ugtactx() override;

    void SetDefaults() override;
    HRESULT ActionPut(std::int32_t action) override;
    HRESULT ShowAbout() override { return morven::com::S_OK; }

    std::int32_t RunAction(std::int32_t action, bool& engineMissing);
    void TarInfoToProperties(const gtlib::TARINFO& t);
    void PropertiesToTarInfo(gtlib::TARINFO& t) const;

    std::atomic<morven::com::ULONG> refs_{0};
    void* state_ = nullptr;
};

}  // namespace sbgt
