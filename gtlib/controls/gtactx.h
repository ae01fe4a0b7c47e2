// The compression control gtactx: 37 properties, persistence, the command record it builds for the
// compression engine (GtMain), memory input from GTString or MemoryBlock, and its events.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gtlib/controls/control.h"
#include "gtlib/controls/sbgtactx.h"
#include "gtlib/engine/records.h"

namespace sbgt {

class Gtactx final : public Control<Gtactx, Igtactx> {
public:
    SBGT_GTACTX_PROPERTIES(SBGT_IMPLEMENT_PROPERTY)

private:
    friend class Control<Gtactx, Igtactx>;
    explicit Gtactx(const EngineBinding* engine);

    void SetDefaults() override;
    std::int32_t RunAction(std::int32_t action, bool& engineMissing) override;
};

// MemoryBlock as the memory input of a compression action: the bytes of a one-dimensional array with lower
// bound 0 and upper bound >= 1 (every element; other element types each taken as a byte), or the bytes of a
// text. Nothing for any other value or a failing element.
std::optional<std::string> MemoryBlockBytes(const morven::com::VARIANT& v);

}  // namespace sbgt
