// A property bag held in memory: named values in the order they were first written. Names match without
// regard to case. A host saves a control into one (IPersistPropertyBag::Save) and loads it back; the
// bag's text form (one "name=type:value" line per entry) lets a host keep it in a file.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/interfaces.h"

namespace morven::com {

class MemoryPropertyBag final : public IPropertyBag {
public:
    // A new bag with one reference.
    static MemoryPropertyBag* Create() { return new MemoryPropertyBag(); }

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;
    HRESULT Read(const OLECHAR* name, VARIANT* value, IErrorLog* log) override;
    HRESULT Write(const OLECHAR* name, VARIANT* value) override;

    // Names in order, as UTF-8.
    std::vector<std::string> Names() const;
    // The stored value of a name; nothing when absent.
    std::optional<Variant> Get(const std::string& utf8Name) const;
    // Text form: lines "name=I2:5", "name=I4:-1", "name=BOOL:-1", "name=BSTR:text" (text with \\, \n
    // escaped), "name=EMPTY:". Other types are not kept in text.
    std::string ToText() const;
    // Adds the entries of a text form; false on a malformed line (entries before it are kept).
    bool FromText(const std::string& text);

private:
    MemoryPropertyBag() = default;
    ~MemoryPropertyBag() = default;
    std::atomic<ULONG> refs_{1};
    std::vector<std::pair<std::string, Variant>> entries_;
};

}  // namespace morven::com
