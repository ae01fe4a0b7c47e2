// The decompression control ugtactx: 63 properties, persistence, the command record it builds for the
// decompression engine, the copy-back of results, and the events the engine's callbacks become.
#pragma once

#include <cstdint>

#include "gtlib/controls/control.h"
#include "gtlib/controls/sbgtactx.h"
#include "gtlib/engine/records.h"

namespace sbgt {

class Ugtactx final : public Control<Ugtactx, Iugtactx> {
public:
    SBGT_UGTACTX_PROPERTIES(SBGT_IMPLEMENT_PROPERTY)

    // The TAR enumeration callback (user data is the control).
    static void TarEnumProc(gtlib::TARINFO* info, void* self, std::int32_t* answer);

private:
    friend class Control<Ugtactx, Iugtactx>;
    explicit Ugtactx(const EngineBinding* engine);

    void SetDefaults() override;
    std::int32_t RunAction(std::int32_t action, bool& engineMissing) override;
    void NotifyResults() override;

    void TarInfoToProperties(const gtlib::TARINFO& t);
    void PropertiesToTarInfo(gtlib::TARINFO& t) const;
};

}  // namespace sbgt
