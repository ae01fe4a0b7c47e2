// The seam between the controls and the two engines. A control owns one engine state block, installs it in
// the engine's thread-storage slot before each run and calls the engine's entry with its command record.
// While an engine is not part of the build its binding is null and every action of that control ends with
// the engine-missing result (kEngineMissing*), and the ActionGT put answers E_NOTIMPL.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gtlib/engine/records.h"

namespace sbgt {

struct EngineBinding {
    std::size_t stateSize;              // bytes of one state block (zero-filled before setDefaults)
    void (*setDefaults)(void* state);   // the engine's defaults in a fresh block
    void (*releaseState)(void* state);  // frees the engine's lists inside a block before it goes
    std::int32_t (*run)(void* record);  // the entry: GTCMDSTRUCT* or UGTCMDSTRUCT*, result code
};

// The size the library has always given a state block.
inline constexpr std::size_t kEngineStateSize = 49576;

// The results an action ends with while its engine is missing: "unknown error" of each enumeration.
inline constexpr std::int32_t kEngineMissingUgt = gtlib::UGTE_UNKNOWN;
inline constexpr std::int32_t kEngineMissingGt = gtlib::GTE_INCOMPLETE;

const EngineBinding* DecompressionEngine();
const EngineBinding* CompressionEngine();

// Replaces a binding (tests drive the controls with a scripted engine); null restores the built-in one.
void SetDecompressionEngine(const EngineBinding* binding);
void SetCompressionEngine(const EngineBinding* binding);

// The host's message pump, run between status events with bBackgroundProcessing: it processes the host's
// pending events and answers non-zero when a quit request was among them. The quit is reported to the
// control as a cancel; the host's own state is the host's business. No pump: nothing is processed.
using MessagePumpFn = int (*)(void* context);
void SetMessagePump(MessagePumpFn pump, void* context);
bool RunMessagePump();  // true when the pump saw a quit request

}  // namespace sbgt
