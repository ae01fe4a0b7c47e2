// The seam between the controls and the two engines. A control owns one engine state block (zero-filled,
// stateSize bytes, made ready by setDefaults) and hands it to the engine's entry with its command record;
// the entry runs the action on that block only (nothing is installed per thread or per process).
// Both engines are bound to their entries (UgtRunBlock, GtRunBlock). A control whose binding is null (an
// engine left out of a build) or has no entry ends every action with kEngineMissing* and its ActionGT put
// answers E_NOTIMPL.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gtlib/engine/context.h"
#include "gtlib/engine/records.h"

namespace sbgt {

struct EngineBinding {
    std::size_t stateSize;              // bytes of one state block (zero-filled before setDefaults)
    void (*setDefaults)(void* state);   // the engine's defaults in a fresh block
    void (*releaseState)(void* state);  // frees the engine's lists inside a block before it goes
    // The entry: runs the action of the record (GTCMDSTRUCT* or UGTCMDSTRUCT*) on this control's block with
    // this control's engine context; answers the result code.
    std::int32_t (*run)(void* state, const gtlib::EngineContext& context, void* record);
};

// The size the library has always given a state block (used while an engine is missing).
inline constexpr std::size_t kEngineStateSize = 49576;

// The results an action ends with while its engine is missing: "unknown error" of each enumeration.
inline constexpr std::int32_t kEngineMissingUgt = gtlib::UGTE_UNKNOWN;
inline constexpr std::int32_t kEngineMissingGt = gtlib::GTE_INCOMPLETE;

// An engine left out of the build: a binding without an entry.
inline constexpr EngineBinding kMissingEngine{kEngineStateSize, nullptr, nullptr, nullptr};

// The built-in bindings. A control is bound to one of them for its life unless it is created with another
// (tests drive the controls with a scripted engine; &kMissingEngine stands for an engine left out).
const EngineBinding* DecompressionEngine();
const EngineBinding* CompressionEngine();

// The host's message pump, run between status events with bBackgroundProcessing: it processes the host's
// pending events and answers non-zero when a quit request was among them. The quit is reported to the
// control as a cancel; the host's own state is the host's business. No pump: nothing is processed.
// SetMessagePump registers the module's pump (DllSetMessagePump), used by every control that has none of
// its own (ControlCore::SetMessagePump).
using MessagePumpFn = int (*)(void* context);
void SetMessagePump(MessagePumpFn pump, void* context);

}  // namespace sbgt
