#include "platform/com/registry.h"
#include "platform/core/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace morven::com {

RegKey* RegKey::Child(std::string_view n) const {
    for (const auto& k : subkeys)
        if (EqualsNoCase(k->name, n)) return k.get();
    return nullptr;
}

RegKey& RegKey::CreateChild(std::string_view n) {
    if (RegKey* k = Child(n)) return *k;
    subkeys.push_back(std::make_unique<RegKey>());
    subkeys.back()->name = std::string(n);
    return *subkeys.back();
}

bool RegKey::RemoveChild(std::string_view n) {
    for (auto it = subkeys.begin(); it != subkeys.end(); ++it)
        if (EqualsNoCase((*it)->name, n)) {
            subkeys.erase(it);
            return true;
        }
    return false;
}

const std::string* RegKey::Value(std::string_view n) const {
    if (n.empty()) return defaultValue ? &*defaultValue : nullptr;
    for (const auto& [k, v] : values)
        if (EqualsNoCase(k, n)) return &v;
    return nullptr;
}

void RegKey::SetValue(std::string_view n, std::string v) {
    if (n.empty()) {
        defaultValue = std::move(v);
        return;
    }
    for (auto& [k, old] : values)
        if (EqualsNoCase(k, n)) {
            old = std::move(v);
            return;
        }
    values.emplace_back(std::string(n), std::move(v));
}

bool RegKey::RemoveValue(std::string_view n) {
    if (n.empty()) {
        const bool had = defaultValue.has_value();
        defaultValue.reset();
        return had;
    }
    for (auto it = values.begin(); it != values.end(); ++it)
        if (EqualsNoCase(it->first, n)) {
            values.erase(it);
            return true;
        }
    return false;
}

namespace {
std::vector<std::string_view> SplitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) end = path.size();
        if (end > pos) parts.push_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}
}  // namespace

RegKey* RegistryTree::Find(std::string_view path) const {
    const RegKey* k = &root_;
    for (auto part : SplitPath(path)) {
        k = k->Child(part);
        if (!k) return nullptr;
    }
    return const_cast<RegKey*>(k);
}

RegKey& RegistryTree::Create(std::string_view path) {
    RegKey* k = &root_;
    for (auto part : SplitPath(path)) k = &k->CreateChild(part);
    return *k;
}

bool RegistryTree::Remove(std::string_view path) {
    auto parts = SplitPath(path);
    if (parts.empty()) return false;
    const auto last = parts.back();
    parts.pop_back();
    RegKey* parent = &root_;
    for (auto part : parts) {
        parent = parent->Child(part);
        if (!parent) return false;
    }
    return parent->RemoveChild(last);
}

std::optional<std::string> RegistryTree::GetValue(std::string_view path, std::string_view name) const {
    const RegKey* k = Find(path);
    if (!k) return std::nullopt;
    const std::string* v = k->Value(name);
    if (!v) return std::nullopt;
    return *v;
}

void RegistryTree::SetValue(std::string_view path, std::string_view name, std::string value) {
    Create(path).SetValue(name, std::move(value));
}

namespace {
std::string Quote(std::string_view s) {
    std::string r = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') r += '\\';
        if (c == '\n') {
            r += "\\n";
            continue;
        }
        r += c;
    }
    return r + "\"";
}

void SerialiseKey(const RegKey& k, const std::string& path, std::string& out) {
    if (!path.empty()) {
        out += "[" + path + "]\n";
        if (k.defaultValue) out += "@=" + Quote(*k.defaultValue) + "\n";
        for (const auto& [n, v] : k.values) out += Quote(n) + "=" + Quote(v) + "\n";
    }
    for (const auto& s : k.subkeys) SerialiseKey(*s, path.empty() ? s->name : path + "\\" + s->name, out);
}

// Reads a quoted text at pos (which holds the opening quote); advances pos past the closing quote.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= line.size()) return false;
            c = line[pos] == 'n' ? '\n' : line[pos];
        }
        out += c;
    }
    return false;
}
}  // namespace

std::string RegistryTree::Serialise() const {
    std::string out = "; component registry\n";
    SerialiseKey(root_, "", out);
    return out;
}

std::optional<RegistryTree> RegistryTree::Parse(std::string_view text, std::string* error) {
    RegistryTree t;
    RegKey* current = nullptr;
    std::size_t pos = 0;
    int lineNo = 0;
    auto fail = [&](const char* what) -> std::optional<RegistryTree> {
        if (error) *error = "line " + std::to_string(lineNo) + ": " + what;
        return std::nullopt;
    };
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) return fail("bad key header");
            current = &t.Create(line.substr(1, line.size() - 2));
            continue;
        }
        if (!current) return fail("value outside a key");
        std::string name, value;
        std::size_t p = 0;
        if (line[0] == '@') {
            p = 1;
        } else if (!ReadQuoted(line, p, name) || name.empty()) {
            return fail("bad value name");
        }
        if (p >= line.size() || line[p] != '=') return fail("missing '='");
        ++p;
        if (!ReadQuoted(line, p, value) || p != line.size()) return fail("bad value");
        current->SetValue(name, std::move(value));
    }
    return t;
}

std::string RegistryFile::DefaultPath() {
    if (const char* p = std::getenv("MORVEN_COM_REGISTRY"); p && *p) return p;
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::string(h) + "/.config";
    else
        base = "/tmp";
    return base + "/morven/com-registry.reg";
}

namespace {
// Holds flock on "<path>.lock" for its lifetime.
class FileLock {
public:
    FileLock(const std::string& path, bool exclusive) {
        MakeParentFolders(path);
        fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) return;
        int r;
        do r = ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
        while (r != 0 && errno == EINTR);
        if (r != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

HRESULT ReadUnlocked(const std::string& path, RegistryTree& out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT) {
            out = RegistryTree();
            return S_OK;
        }
        return REGDB_E_READREGDB;
    }
    std::string text;
    char buf[8192];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    const bool bad = std::ferror(f);
    std::fclose(f);
    if (bad) return REGDB_E_READREGDB;
    auto t = RegistryTree::Parse(text);
    if (!t) return REGDB_E_READREGDB;
    out = std::move(*t);
    return S_OK;
}

HRESULT WriteAtomically(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return REGDB_E_WRITEREGDB;
    if (!WriteAll(fd, text)) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return REGDB_E_WRITEREGDB;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return REGDB_E_WRITEREGDB;
    }
    return S_OK;
}
}  // namespace

HRESULT RegistryFile::Read(RegistryTree& out) const {
    FileLock lock(path_, false);
    if (!lock.ok()) return REGDB_E_READREGDB;
    return ReadUnlocked(path_, out);
}

HRESULT RegistryFile::Update(const std::function<HRESULT(RegistryTree&)>& edit) const {
    FileLock lock(path_, true);
    if (!lock.ok()) return REGDB_E_WRITEREGDB;
    RegistryTree t;
    HRESULT hr = ReadUnlocked(path_, t);
    if (FAILED(hr)) return hr;
    hr = edit(t);
    if (FAILED(hr)) return hr;
    const HRESULT w = WriteAtomically(path_, t.Serialise());
    return FAILED(w) ? w : hr;
}

}  // namespace morven::com
