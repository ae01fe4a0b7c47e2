#include "platform/com/propbag.h"

#include <cstdlib>

namespace morven::com {

HRESULT MemoryPropertyBag::QueryInterface(REFIID iid, void** out) {
    return QueryOwnInterface(static_cast<IPropertyBag*>(this), IID_IPropertyBag, iid, out);
}

ULONG MemoryPropertyBag::Release() {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

HRESULT MemoryPropertyBag::Read(const OLECHAR* name, VARIANT* value, IErrorLog*) {
    if (!name || !value) return E_POINTER;
    const std::string n = Utf16ToUtf8(name);
    for (const auto& [k, v] : entries_)
        if (EqualsNoCase(k, n)) {
            if (value->vt == VT_EMPTY) return VariantCopy(value, &v);
            Variant converted;
            const HRESULT hr = VariantChangeType(&converted, &v, 0, value->vt);
            if (FAILED(hr)) return hr;
            return VariantCopy(value, &converted);
        }
    return E_INVALIDARG;
}

HRESULT MemoryPropertyBag::Write(const OLECHAR* name, VARIANT* value) {
    if (!name || !value) return E_POINTER;
    const std::string n = Utf16ToUtf8(name);
    for (auto& [k, v] : entries_)
        if (EqualsNoCase(k, n)) return VariantCopy(&v, value);
    Variant copy;
    const HRESULT hr = VariantCopy(&copy, value);
    if (FAILED(hr)) return hr;
    entries_.emplace_back(n, copy);
    return S_OK;
}

std::vector<std::string> MemoryPropertyBag::Names() const {
    std::vector<std::string> r;
    for (const auto& e : entries_) r.push_back(e.first);
    return r;
}

std::optional<Variant> MemoryPropertyBag::Get(const std::string& n) const {
    for (const auto& [k, v] : entries_)
        if (EqualsNoCase(k, n)) return v;
    return std::nullopt;
}

namespace {
std::string Escape(const std::string& s) {
    std::string r;
    for (char c : s) {
        if (c == '\\') r += "\\\\";
        else if (c == '\n') r += "\\n";
        else if (c == '\r') r += "\\r";
        else r += c;
    }
    return r;
}
std::string Unescape(const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            r += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            r += s[i];
        }
    }
    return r;
}
}  // namespace

std::string MemoryPropertyBag::ToText() const {
    std::string out;
    for (const auto& [k, v] : entries_) {
        switch (v.vt) {
            case VT_EMPTY: out += k + "=EMPTY:\n"; break;
            case VT_I2: out += k + "=I2:" + std::to_string(v.iVal) + "\n"; break;
            case VT_I4: out += k + "=I4:" + std::to_string(v.lVal) + "\n"; break;
            case VT_BOOL: out += k + "=BOOL:" + std::to_string(v.boolVal) + "\n"; break;
            case VT_BSTR: out += k + "=BSTR:" + Escape(Utf8FromBstr(v.bstrVal)) + "\n"; break;
            default: break;
        }
    }
    return out;
}

bool MemoryPropertyBag::FromText(const std::string& text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty()) continue;
        const auto eq = line.find('=');
        const auto colon = eq == std::string::npos ? eq : line.find(':', eq);
        if (eq == std::string::npos || colon == std::string::npos || eq == 0) return false;
        const std::string name = line.substr(0, eq), type = line.substr(eq + 1, colon - eq - 1),
                          val = line.substr(colon + 1);
        Variant v;
        char* e = nullptr;
        if (type == "EMPTY") {
        } else if (type == "BSTR") {
            v = Variant::Str(Unescape(val));
        } else if (type == "I2" || type == "I4" || type == "BOOL") {
            const long n = std::strtol(val.c_str(), &e, 10);
            if (val.empty() || *e) return false;
            if (type == "I2") v = Variant::I2(static_cast<std::int16_t>(n));
            else if (type == "I4") v = Variant::I4(static_cast<std::int32_t>(n));
            else v = Variant::Bool(n != 0);
        } else {
            return false;
        }
        const std::u16string wname = Utf8ToUtf16(name);
        Write(wname.c_str(), &v);
    }
    return true;
}

}  // namespace morven::com
