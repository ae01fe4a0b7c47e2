#include "platform/com/registrar.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace morven::com {

namespace {

enum class Flag { None, NoRemove, ForceRemove, Delete };

struct ScriptKey {
    Flag flag = Flag::None;
    std::string name;
    std::optional<std::string> value;
    std::vector<std::pair<std::string, std::string>> vals;
    std::vector<ScriptKey> children;
};

class Parser {
public:
    Parser(std::string_view s, const std::map<std::string, std::string>& vars) : s_(s), vars_(vars) {}

    bool ParseScript(std::vector<ScriptKey>& roots) {
        while (true) {
            SkipSpace();
            if (pos_ >= s_.size()) return true;
            std::string root;
            if (!Token(root)) return false;
            if (!EqualsNoCase(root, "HKCR") && !EqualsNoCase(root, "HKEY_CLASSES_ROOT")) return false;
            ScriptKey k;
            if (!Body(k)) return false;
            for (auto& c : k.children) roots.push_back(std::move(c));
        }
    }

private:
    void SkipSpace() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    bool Peek(char c) {
        SkipSpace();
        return pos_ < s_.size() && s_[pos_] == c;
    }
    // A '{' that opens a body, as opposed to the start of a key name such as "{GUID}".
    bool PeekBody() {
        if (!Peek('{')) return false;
        return pos_ + 1 >= s_.size() || std::isspace(static_cast<unsigned char>(s_[pos_ + 1])) || s_[pos_ + 1] == '}';
    }
    bool Expect(char c) {
        if (!Peek(c)) return false;
        ++pos_;
        return true;
    }
    bool Substitute(std::string_view raw, std::string& out) {
        out.clear();
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '%') {
                out += raw[i];
                continue;
            }
            const auto end = raw.find('%', i + 1);
            if (end == std::string_view::npos) return false;
            const std::string name(raw.substr(i + 1, end - i - 1));
            if (name.empty()) {
                out += '%';
            } else {
                const auto it = vars_.find(name);
                if (it == vars_.end()) return false;
                out += it->second;
            }
            i = end;
        }
        return true;
    }
    // A bare word or a quoted text, with variables substituted.
    bool Token(std::string& out) {
        SkipSpace();
        if (pos_ >= s_.size()) return false;
        std::string raw;
        if (s_[pos_] == '\'') {
            ++pos_;
            while (true) {
                if (pos_ >= s_.size()) return false;
                if (s_[pos_] == '\'') {
                    if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
                        raw += '\'';
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    break;
                }
                raw += s_[pos_++];
            }
        } else if (s_[pos_] == '{') {
            // A braced name: up to its closing brace.
            const auto end = s_.find('}', pos_);
            if (end == std::string_view::npos) return false;
            raw = s_.substr(pos_, end + 1 - pos_);
            pos_ = end + 1;
        } else {
            while (pos_ < s_.size() && !std::isspace(static_cast<unsigned char>(s_[pos_])) && s_[pos_] != '{' &&
                   s_[pos_] != '}' && s_[pos_] != '=')
                raw += s_[pos_++];
            if (raw.empty()) return false;
        }
        return Substitute(raw, out);
    }
    // "= s 'text'"
    bool Assignment(std::string& value) {
        if (!Expect('=')) return false;
        std::string type;
        if (!Token(type) || !EqualsNoCase(type, "s")) return false;
        return Token(value);
    }
    bool Body(ScriptKey& parent) {
        if (!PeekBody()) return false;
        ++pos_;
        while (!Peek('}')) {
            if (pos_ >= s_.size()) return false;
            std::string word;
            if (!Token(word)) return false;
            if (EqualsNoCase(word, "val")) {
                std::string name, value;
                if (!Token(name) || !Assignment(value)) return false;
                parent.vals.emplace_back(name, value);
                continue;
            }
            ScriptKey k;
            if (EqualsNoCase(word, "NoRemove")) k.flag = Flag::NoRemove;
            else if (EqualsNoCase(word, "ForceRemove")) k.flag = Flag::ForceRemove;
            else if (EqualsNoCase(word, "Delete")) k.flag = Flag::Delete;
            if (k.flag != Flag::None && !Token(word)) return false;
            k.name = word;
            if (Peek('=')) {
                std::string v;
                if (!Assignment(v)) return false;
                k.value = v;
            }
            if (PeekBody() && !Body(k)) return false;
            parent.children.push_back(std::move(k));
        }
        ++pos_;
        return true;
    }

    std::string_view s_;
    const std::map<std::string, std::string>& vars_;
    std::size_t pos_ = 0;
};

void RegisterKey(RegKey& parent, const ScriptKey& k) {
    if (k.flag == Flag::Delete) {
        parent.RemoveChild(k.name);
        return;
    }
    if (k.flag == Flag::ForceRemove) parent.RemoveChild(k.name);
    RegKey& key = parent.CreateChild(k.name);
    if (k.value) key.SetValue("", *k.value);
    for (const auto& [n, v] : k.vals) key.SetValue(n, v);
    for (const auto& c : k.children) RegisterKey(key, c);
}

void RemoveKey(RegKey& parent, const ScriptKey& k) {
    if (k.flag == Flag::Delete) return;
    if (k.flag == Flag::ForceRemove) {
        parent.RemoveChild(k.name);
        return;
    }
    RegKey* key = parent.Child(k.name);
    if (!key) return;
    for (const auto& c : k.children) RemoveKey(*key, c);
    for (const auto& v : k.vals) key->RemoveValue(v.first);
    if (k.flag != Flag::NoRemove && key->subkeys.empty()) parent.RemoveChild(k.name);
}

}  // namespace

HRESULT ApplyRegistrationScript(RegistryTree& tree, std::string_view script,
                                const std::map<std::string, std::string>& variables, RegistrarMode mode) {
    std::vector<ScriptKey> roots;
    Parser p(script, variables);
    if (!p.ParseScript(roots)) return E_INVALIDARG;
    RegKey& root = tree.Create("");
    for (const auto& k : roots) {
        if (mode == RegistrarMode::Register)
            RegisterKey(root, k);
        else
            RemoveKey(root, k);
    }
    return S_OK;
}

std::string TypeLibVersionKey(const TypeLibrary& lib) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x.%x", lib.major, lib.minor);
    return buf;
}

void RegisterTypeLibrary(RegistryTree& tree, const TypeLibrary& lib, const std::string& modulePath) {
    const std::string libid = GuidToString(lib.guid);
    const std::string ver = "TypeLib\\" + libid + "\\" + TypeLibVersionKey(lib);
    tree.Remove(ver);
    tree.SetValue(ver, "", lib.help);
    tree.SetValue(ver + "\\0\\linux", "", modulePath);
    tree.SetValue(ver + "\\FLAGS", "", "0");
    const auto slash = modulePath.find_last_of('/');
    tree.SetValue(ver + "\\HELPDIR", "", slash == std::string::npos ? std::string() : modulePath.substr(0, slash));
    for (const auto& t : lib.types) {
        if (t.kind != TypeKind::DualInterface && t.kind != TypeKind::DispInterface) continue;
        const std::string key = "Interface\\" + GuidToString(t.guid);
        tree.Remove(key);
        tree.SetValue(key, "", t.name);
        tree.SetValue(key + "\\ProxyStubClsid32", "", "{00020424-0000-0000-C000-000000000046}");
        tree.SetValue(key + "\\TypeLib", "", libid);
        tree.SetValue(key + "\\TypeLib", "Version", TypeLibVersionKey(lib));
    }
}

void UnregisterTypeLibrary(RegistryTree& tree, const TypeLibrary& lib) {
    const std::string libKey = "TypeLib\\" + GuidToString(lib.guid);
    tree.Remove(libKey + "\\" + TypeLibVersionKey(lib));
    if (RegKey* k = tree.Find(libKey); k && k->subkeys.empty()) tree.Remove(libKey);
    for (const auto& t : lib.types)
        if (t.kind == TypeKind::DualInterface || t.kind == TypeKind::DispInterface)
            tree.Remove("Interface\\" + GuidToString(t.guid));
}

}  // namespace morven::com
