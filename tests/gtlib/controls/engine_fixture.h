// Drives the controls directly with a scripted engine in place of the real ones: each test says what the
// engine's entry does with the command record it receives.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>

#include "gtlib/controls/engines.h"
#include "gtlib/controls/gtactx.h"
#include "gtlib/controls/module.h"
#include "gtlib/controls/ugtactx.h"
#include "platform/com/client.h"

namespace fixture {

inline std::function<std::int32_t(gtlib::UGTCMDSTRUCT&)> ugtRun;
inline std::function<std::int32_t(gtlib::GTCMDSTRUCT&)> gtRun;

inline void* ugtRunState = nullptr;  // the state block the scripted decompression engine was last handed
inline std::int32_t RunUgt(void* state, const gtlib::EngineContext&, void* r) {
    struct Handed {
        void* outer = ugtRunState;
        ~Handed() { ugtRunState = outer; }  // also when the scripted engine throws
    } handed;
    ugtRunState = state;
    return ugtRun ? ugtRun(*static_cast<gtlib::UGTCMDSTRUCT*>(r)) : 0;
}
inline std::int32_t RunGt(void*, const gtlib::EngineContext&, void* r) { return gtRun ? gtRun(*static_cast<gtlib::GTCMDSTRUCT*>(r)) : 0; }

inline const sbgt::EngineBinding kUgtEngine{sbgt::kEngineStateSize, nullptr, nullptr, &RunUgt};
inline const sbgt::EngineBinding kGtEngine{sbgt::kEngineStateSize, nullptr, nullptr, &RunGt};

// The module state the library's load hook sets up, with the named locks in a folder of the test's own.
inline const bool moduleLoaded = [] {
    char tmpl[] = "/tmp/sbgtlocks-XXXXXX";
    // Without a folder of its own the tests would share the named locks with other runs: refuse instead.
    if (!mkdtemp(tmpl)) return false;
    setenv("SBGTACTX_LOCK_DIR", tmpl, 1);
    sbgt::ModuleLoad();
    return true;
}();

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(moduleLoaded) << "no folder for the named locks";
        ugtRun = nullptr;
        gtRun = nullptr;
    }
    void TearDown() override {
        ugtRun = nullptr;
        gtRun = nullptr;
    }
    using Ugt = morven::com::ComPtr<sbgt::Ugtactx>;
    using Gt = morven::com::ComPtr<sbgt::Gtactx>;
    // Controls bound to the scripted engines.
    static Ugt NewUgt() { return Ugt::Adopt(sbgt::Ugtactx::Create(&kUgtEngine)); }
    static Gt NewGt() { return Gt::Adopt(sbgt::Gtactx::Create(&kGtEngine)); }

    static void Set(morven::com::IDispatch* d, const std::string& name, const morven::com::Variant& v) {
        ASSERT_EQ(morven::com::PutPropertyByName(d, name, v), morven::com::S_OK) << name;
    }
    static morven::com::Variant Get(morven::com::IDispatch* d, const std::string& name) {
        morven::com::Variant v;
        EXPECT_EQ(morven::com::GetPropertyByName(d, name, &v), morven::com::S_OK) << name;
        return v;
    }
    static morven::com::HRESULT Act(morven::com::IDispatch* d, std::int32_t action) {
        return morven::com::PutPropertyByName(d, "ActionGT", morven::com::Variant::I4(action));
    }
};

}  // namespace fixture
