#include "gtlib/controls/engines.h"

#include <atomic>

namespace sbgt {

namespace {
// Neither engine has an entry in this build yet: the controls answer with the engine-missing result.
std::atomic<const EngineBinding*> decompression{nullptr};
std::atomic<const EngineBinding*> compression{nullptr};
std::atomic<MessagePumpFn> pumpFn{nullptr};
std::atomic<void*> pumpContext{nullptr};
}  // namespace

const EngineBinding* DecompressionEngine() { return decompression.load(); }
const EngineBinding* CompressionEngine() { return compression.load(); }
void SetDecompressionEngine(const EngineBinding* b) { decompression = b; }
void SetCompressionEngine(const EngineBinding* b) { compression = b; }

void SetMessagePump(MessagePumpFn pump, void* context) {
    pumpContext = context;
    pumpFn = pump;
}

bool RunMessagePump() {
    const MessagePumpFn f = pumpFn.load();
    return f && f(pumpContext.load()) != 0;
}

}  // namespace sbgt
