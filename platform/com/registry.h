// A file-backed registry of classes: a tree of keys, each with an optional default value, named text values
// and subkeys, standing for the classes root of COM. Key and value names match without regard to case.
//
// File: text, one block per key in tree order:
//     [CLSID\{...}\InprocServer32]
//     @="/usr/lib/libx.so"
//     "ThreadingModel"="Both"
// ('@' is the default value; '\' and '"' inside values are escaped with '\'). Readers take a shared lock
// on "<file>.lock", writers an exclusive one; a write goes to a temporary file in the same folder that then
// replaces the file, so a reader sees the old tree or the new one, never a torn one.
// The file's path is $MORVEN_COM_REGISTRY, else $XDG_CONFIG_HOME/morven/com-registry.reg, else
// $HOME/.config/morven/com-registry.reg.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/types.h"

namespace morven::com {

struct RegKey {
    std::string name;
    std::optional<std::string> defaultValue;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::unique_ptr<RegKey>> subkeys;

    RegKey* Child(std::string_view n) const;
    RegKey& CreateChild(std::string_view n);
    bool RemoveChild(std::string_view n);
    // name "" is the default value.
    const std::string* Value(std::string_view n) const;
    void SetValue(std::string_view n, std::string v);
    bool RemoveValue(std::string_view n);
};

class RegistryTree {
public:
    // Paths are names joined by '\'; the empty path is the root.
    RegKey* Find(std::string_view path) const;
    RegKey& Create(std::string_view path);
    // Removes the key with everything under it; false when there was none.
    bool Remove(std::string_view path);
    std::optional<std::string> GetValue(std::string_view path, std::string_view name = {}) const;
    void SetValue(std::string_view path, std::string_view name, std::string value);

    const RegKey& Root() const { return root_; }
    std::string Serialise() const;
    // Nothing (and *error set) on a malformed file.
    static std::optional<RegistryTree> Parse(std::string_view text, std::string* error = nullptr);

private:
    RegKey root_;
};

class RegistryFile {
public:
    explicit RegistryFile(std::string path = DefaultPath()) : path_(std::move(path)) {}
    static std::string DefaultPath();
    const std::string& Path() const { return path_; }

    // A missing file reads as an empty tree. REGDB_E_READREGDB when the file is unreadable or malformed.
    HRESULT Read(RegistryTree& out) const;
    // Reads, applies edit and writes back, all under the exclusive lock. Nothing is written when the file
    // could not be read or edit fails (edit's result is returned). REGDB_E_WRITEREGDB when writing fails.
    HRESULT Update(const std::function<HRESULT(RegistryTree&)>& edit) const;

private:
    std::string path_;
};

}  // namespace morven::com
