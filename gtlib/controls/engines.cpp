#include "gtlib/controls/engines.h"

#include "gtlib/controls/module.h"

#include "gtlib/engine/gt_engine.h"
#include "gtlib/engine/ugt_engine.h"

namespace sbgt {

namespace {
const EngineBinding kDecompression{gtlib::UgtStateSize(), &gtlib::UgtInitState, &gtlib::UgtReleaseState,
                                   &gtlib::UgtRunBlock};
const EngineBinding kCompression{gtlib::GtStateSize(), &gtlib::GtInitState, &gtlib::GtReleaseState,
                                 &gtlib::GtRunBlock};
}  // namespace

const EngineBinding* DecompressionEngine() { return &kDecompression; }
const EngineBinding* CompressionEngine() { return &kCompression; }

void SetMessagePump(MessagePumpFn pump, void* context) {
    Module().pumpContext = context;
    Module().pump = pump;
}

}  // namespace sbgt
