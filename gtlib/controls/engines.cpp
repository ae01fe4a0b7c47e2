#include "gtlib/controls/engines.h"

#include <atomic>

#include "gtlib/engine/gt_engine.h"
#include "gtlib/engine/ugt_engine.h"

namespace sbgt {

namespace {
const EngineBinding kDecompression{gtlib::UgtStateSize(), &gtlib::UgtInitState, &gtlib::UgtReleaseState,
                                   &gtlib::UgtRunBlock};
const EngineBinding* const kBuiltInDecompression = &kDecompression;
const EngineBinding kCompression{gtlib::GtStateSize(), &gtlib::GtInitState, &gtlib::GtReleaseState,
                                 &gtlib::GtRunBlock};
const EngineBinding* const kBuiltInCompression = &kCompression;

std::atomic<const EngineBinding*> decompression{kBuiltInDecompression};
std::atomic<const EngineBinding*> compression{kBuiltInCompression};
std::atomic<MessagePumpFn> pumpFn{nullptr};
std::atomic<void*> pumpContext{nullptr};
}  // namespace

const EngineBinding* DecompressionEngine() { return decompression.load(); }
const EngineBinding* CompressionEngine() { return compression.load(); }
void SetDecompressionEngine(const EngineBinding* b) { decompression = b ? b : kBuiltInDecompression; }
void SetCompressionEngine(const EngineBinding* b) { compression = b ? b : kBuiltInCompression; }

void SetMessagePump(MessagePumpFn pump, void* context) {
    pumpContext = context;
    pumpFn = pump;
}

bool RunMessagePump() {
    const MessagePumpFn f = pumpFn.load();
    return f && f(pumpContext.load()) != 0;
}

}  // namespace sbgt
