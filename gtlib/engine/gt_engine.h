// The compression engine behind gtactx: one command record (GTCMDSTRUCT) in, one result code out.
// GtMain checks the record and turns it into the run's state; GtRun builds the item list and runs the
// action: GZIP members of files or of a memory block, memory to memory, a memory stream to a file, a TAR
// archive (new or grown), or the removal of TAR members.
//
// State: one GtControlState per control (the coders' state plus the message slots, the host's message
// procedure and the run's event log), handed to every run by the control; nothing is kept per thread or
// per process. A caller of GtMain without a control gets a state of its own for that one action. A second
// run on the same state while one is active is refused with GTE_BUSY, without touching the running
// action's state or its first error.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gtlib/engine/context.h"
#include "gtlib/engine/records.h"

namespace gtlib {

struct GtControlState;

// The engine context (log folder and clock, window hooks) is the caller's, for this action.
int32_t GtMain(GTCMDSTRUCT* cmd, const EngineContext& context = {});
// Runs one action on a control's state.
int32_t GtRunState(GtControlState& state, const EngineContext& context, GTCMDSTRUCT* cmd);

// For a control that keeps its state in a block of its own memory (zero-filled, GtStateSize() bytes):
// GtInitState makes the state with its defaults, GtReleaseState ends it, GtRunBlock runs one action with
// it (with a state of its own for the action when the block is null).
std::size_t GtStateSize();
void GtInitState(void* block);
void GtReleaseState(void* block);
int32_t GtRunBlock(void* block, const EngineContext& context, void* gtCmdStruct);

}  // namespace gtlib
