#include "gtlib/engine/filelist.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <new>

#include "gtlib/engine/gt_state.h"
#include "platform/core/text.h"

namespace gtlib {
namespace {

// Names are compared and changed in case for the ASCII letters only, whatever locale the host has set.
using morven::LowerAscii;
using morven::UpperAscii;

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

// Matches one part (base or extension) of a pattern: a leading "*" takes anything; otherwise both are cut
// at the pattern's first "*" and compared byte by byte, "?" standing for any byte.
bool MatchPart(std::string_view pat, std::string_view name) {
    if (!pat.empty() && pat.front() == '*') return true;
    const std::size_t star = pat.find('*');
    if (star != std::string_view::npos) {
        pat = pat.substr(0, star);
        name = name.substr(0, std::min(star, name.size()));
    }
    if (pat.size() != name.size()) return false;
    for (std::size_t i = 0; i < pat.size(); ++i)
        if (pat[i] != '?' && LowerAscii(pat[i]) != LowerAscii(name[i])) return false;
    return true;
}

std::vector<std::string_view> Components(std::string_view s, std::string_view seps) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || seps.find(s[i]) != std::string_view::npos) {
            out.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

std::int64_t RoundedSeconds(const struct timespec& ts) {
    return static_cast<std::int64_t>(ts.tv_sec) + (ts.tv_nsec >= 500000000L ? 1 : 0);
}

std::uint32_t AttributesOf(const struct stat& sb, std::string_view name) {
    std::uint32_t a = 0;
    if (S_ISDIR(sb.st_mode)) a |= ATTR_SUBDIR;
    else a |= ATTR_ARCHIVE;
    if ((sb.st_mode & S_IWUSR) == 0) a |= ATTR_READONLY;
    if (!name.empty() && name.front() == '.') a |= ATTR_HIDDEN;
    return a;
}

std::string BaseName(std::string_view path) {
    const std::size_t p = path.find_last_of("/\\");
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

NameRules RulesOf(const GtEngineState& st, const std::string& relativeFolder) {
    NameRules r;
    r.noDirectoryNames = !st.keepDirectoryNames;
    r.dosify = st.dosify;
    r.relativePath = (st.subOptions & GTSO_RELATIVE_PATH) != 0;
    r.ignoreLongNames = (st.subOptions & GTSO_IGNORELONGNAMES) != 0;
    r.mangleLongNames = (st.subOptions & GTSO_MANGLELONGNAMES) != 0;
    r.relativeFolder = relativeFolder;
    return r;
}

// Scans one folder for files whose names match `pattern` (an exact name when it holds no wildcard).
int ScanFolder(const std::string& folder, const std::string& pattern, GtEngineState& st,
               const std::string& relativeFolder) {
    const std::string dirPath = folder.empty() ? "." : folder;
    const std::string prefix = folder.empty() ? "" : (folder.back() == '/' ? folder : folder + "/");
    const bool exact = !HasWildcard(pattern);
    const bool noPointOnly = !pattern.empty() && pattern.back() == '.';
    std::vector<std::string> names;
    if (exact) {
        names.push_back(pattern);
    } else {
        DIR* d = ::opendir(dirPath.c_str());
        if (!d) return GTE_OK;
        while (const dirent* e = ::readdir(d)) {
            const std::string_view n = e->d_name;
            if (n == "." || n == "..") continue;
            if (!MatchName(pattern, n)) continue;
            if (noPointOnly && n.find('.') != std::string_view::npos) continue;
            names.emplace_back(n);
        }
        ::closedir(d);
        std::sort(names.begin(), names.end());
    }
    for (const std::string& n : names) {
        const std::string path = prefix + n;
        struct stat lsb {};
        if (::lstat(path.c_str(), &lsb) != 0) continue;
        struct stat sb = lsb;
        if (S_ISLNK(lsb.st_mode) && ::stat(path.c_str(), &sb) != 0) continue;
        if (!S_ISREG(sb.st_mode)) continue;  // folders, links to folders, devices
        const std::uint32_t attrs = AttributesOf(sb, n);
        if ((attrs & (ATTR_HIDDEN | ATTR_SYSTEM)) && !st.includeSysHidden) continue;
        if (st.subOptions & GTSO_SKIPLOCKEDFILES) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            if (fd < 0) continue;
            ::close(fd);
        }
        std::uint32_t recorded = attrs;
        if (st.subOptions & GTSO_JUST_ARCHIVED) {
            if (!(attrs & ATTR_ARCHIVE)) continue;
            if (st.subOptions & GTSO_RESET_ARCHIVED) recorded &= ~ATTR_ARCHIVE;
        }
        const int rc = AddItemToList(path, RoundedSeconds(sb.st_mtim), recorded, st, relativeFolder);
        if (rc != GTE_OK) return rc;
    }
    return GTE_OK;
}

}  // namespace

std::string NativePath(std::string_view path) {
    std::string r(path);
    std::replace(r.begin(), r.end(), '\\', '/');
    return r;
}

std::vector<std::string> SplitListText(std::string_view text) {
    std::vector<std::string> parts;
    std::string cur;
    bool quoted = false, any = false;
    auto flush = [&] {
        if (any && !cur.empty()) parts.push_back(cur.substr(0, kMaxPath));
        cur.clear();
        any = false;
    };
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            flush();
        } else {
            cur.push_back(c == '/' ? '\\' : c);
            any = true;
        }
    }
    flush();
    return parts;
}

bool ValidFileName(std::string_view name) {
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 32) return false;
        if (c == '*' || c == '<' || c == '>' || c == '?' || c == '|') return false;
    }
    return true;
}

bool IsLongName(std::string_view name) {
    if (name.find_first_of(" \"") != std::string_view::npos) return true;
    for (std::string_view part : Components(name, "/\\:")) {
        const std::size_t dot = part.find('.');
        if (dot == std::string_view::npos) {
            if (part.size() > 8) return true;
        } else if (dot > 8 || part.size() - dot - 1 > 3) {
            return true;
        }
    }
    return false;
}

std::string MangleName(std::string_view name) {
    std::string out;
    bool firstPart = true;
    for (std::string_view part : Components(name, "/")) {
        if (!firstPart) out.push_back('/');
        firstPart = false;
        std::string base, ext;
        bool afterDot = false;
        for (std::size_t i = 0; i < part.size();) {
            const unsigned char c = static_cast<unsigned char>(part[i]);
            // A multi-byte character is kept whole or not at all.
            std::size_t len = 1;
            if (c >= 0xC0) {
                while (i + len < part.size() && (static_cast<unsigned char>(part[i + len]) & 0xC0) == 0x80) ++len;
            }
            const std::string_view ch = part.substr(i, len);
            i += len;
            if (ch == " " || ch == "\"") continue;
            if (ch == ".") {
                afterDot = true;
                continue;
            }
            std::string& dst = afterDot ? ext : base;
            if (dst.size() + ch.size() <= (afterDot ? 3u : 8u)) dst.append(ch);
        }
        out += base;
        if (afterDot) out += "." + ext;
    }
    return out;
}

std::optional<std::string> StoredName(std::string_view path, const NameRules& rules) {
    std::string s(path);
    std::replace(s.begin(), s.end(), '\\', '/');
    if (s.size() >= 2 && s[0] == '/' && s[1] == '/') {
        // "//server/share/": drop server and share with the slashes after them.
        std::size_t p = s.find('/', 2);
        p = p == std::string::npos ? s.size() : s.find('/', p + 1);
        s.erase(0, p == std::string::npos ? s.size() : p);
    } else if (s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':') {
        s.erase(0, 2);
    }
    // "." and ".." never reach a stored name.
    std::string clean;
    for (std::string_view c : Components(s, "/")) {
        if (c.empty() || c == "." || c == "..") continue;
        if (!clean.empty()) clean.push_back('/');
        clean.append(c);
    }
    if (!s.empty() && s.back() == '/' && !clean.empty()) clean.push_back('/');
    s = std::move(clean);
    if (rules.noDirectoryNames) {
        const std::size_t p = s.rfind('/');
        if (p != std::string::npos) s.erase(0, p + 1);
    }
    if (rules.dosify)
        for (char& c : s) c = UpperAscii(c);
    if (rules.relativePath && !rules.relativeFolder.empty()) {
        if (LowerAscii(s).starts_with(rules.relativeFolder)) {
            s.erase(0, rules.relativeFolder.size());
            if (s.empty()) return std::nullopt;
            if (rules.dosify)
                for (char& c : s) c = UpperAscii(c);
        }
    }
    if (IsLongName(s)) {
        if (rules.ignoreLongNames) return std::nullopt;
        if (rules.mangleLongNames) s = MangleName(s);
    }
    if (s.empty()) return std::nullopt;
    return s;
}

bool MatchName(std::string_view pattern, std::string_view name) {
    if (pattern.find('/') == std::string_view::npos) {
        const std::size_t p = name.rfind('/');
        if (p != std::string_view::npos) name = name.substr(p + 1);
    }
    std::string_view pb = pattern, pe;
    bool patExt = false;
    if (const std::size_t d = pattern.rfind('.'); d != std::string_view::npos) {
        pb = pattern.substr(0, d);
        pe = pattern.substr(d + 1);
        patExt = true;
    } else if (!pattern.empty() && pattern.back() == '*') {
        pe = "*";
        patExt = true;
    }
    std::string_view nb = name, ne;
    if (const std::size_t d = name.rfind('.'); d != std::string_view::npos) {
        nb = name.substr(0, d);
        ne = name.substr(d + 1);
    }
    if (!MatchPart(pb, nb)) return false;
    if (!patExt) return ne.empty() && name.find('.') == std::string_view::npos;
    return MatchPart(pe, ne);
}

bool IsSelected(const PatternList& patterns, std::string_view storedName) {
    if (patterns.entries.empty()) return true;
    bool included = false;
    for (const PatternEntry& e : patterns.entries) {
        if (!MatchName(e.pattern, storedName)) continue;
        if (e.kind == 'x') return false;
        included = true;
    }
    return included || patterns.includeCount == 0;
}

int ParsePatternLists(GtEngineState& st, std::string_view includeList, std::string_view excludeList) {
    try {
        st.patterns = {};
        NameRules rules = RulesOf(st, {});
        rules.relativePath = rules.ignoreLongNames = rules.mangleLongNames = false;
        for (auto [text, kind] : {std::pair{includeList, 'i'}, std::pair{excludeList, 'x'}}) {
            for (const std::string& part : SplitListText(text)) {
                auto name = StoredName(part, rules);
                if (!name) continue;
                st.patterns.entries.push_back({*name, kind});
                if (kind == 'i') ++st.patterns.includeCount;
            }
        }
    } catch (const std::bad_alloc&) {
        return GTE_MEM;
    }
    return GTE_OK;
}

int AddItemToList(std::string_view sourcePath, std::int64_t time, std::uint32_t attributes, GtEngineState& st,
                  const std::string& relativeFolder) {
    try {
        auto name = StoredName(sourcePath, RulesOf(st, relativeFolder));
        if (!name || !IsSelected(st.patterns, *name)) return GTE_OK;
        GtListItem item;
        item.sourcePath = NativePath(sourcePath);
        item.storedName = std::move(*name);
        item.time = time;
        item.attributes = attributes;
        st.items.push_back(std::move(item));
    } catch (const std::bad_alloc&) {
        return GTE_MEM;
    }
    return GTE_OK;
}

int AddMemoryItem(std::string_view part, GtEngineState& st) {
    if (!ValidFileName(part)) return GTE_PARMS;
    try {
        GtListItem item;
        item.sourcePath = std::string(part);
        item.storedName = std::string(part);
        std::replace(item.storedName.begin(), item.storedName.end(), '\\', '/');
        item.time = static_cast<std::int64_t>(std::time(nullptr));
        item.attributes = 0;
        item.memory = true;
        st.items.push_back(std::move(item));
    } catch (const std::bad_alloc&) {
        return GTE_MEM;
    }
    return GTE_OK;
}

int BuildFileList(std::string_view part, GtEngineState& st) {
    std::string path = NativePath(part);
    std::string drive;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        drive = path.substr(0, 2);  // no drives on Linux: the letter is ignored
        path.erase(0, 2);
    }
    const std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
    if (pattern.empty()) return GTE_OK;
    // Folder for the relative-path rule: lower case, "/" separators, no leading "/", no "." or "..".
    std::string rel;
    for (std::string_view c : Components(folder, "/")) {
        if (c.empty() || c == "." || c == "..") continue;
        rel.append(LowerAscii(c));
        rel.push_back('/');
    }
    std::string search = folder;
    if (search.size() > 1 && search.back() == '/') search.pop_back();

    if (!st.recurse) {
        st.Pump();
        return ScanFolder(search, pattern, st, rel);
    }
    std::vector<std::string> stack;
    std::string current = search;
    for (;;) {
        const std::string dirPath = current.empty() ? "." : current;
        if (DIR* d = ::opendir(dirPath.c_str())) {
            std::vector<std::string> subs;
            while (const dirent* e = ::readdir(d)) {
                const std::string_view n = e->d_name;
                if (n.empty() || n.front() == '.') continue;  // ".", "..", and hidden folders
                const std::string sub = current.empty() ? std::string(n)
                                                        : (current.back() == '/' ? current : current + "/") + std::string(n);
                struct stat lsb {};
                // Links to folders are not followed: a loop of links cannot make the scan endless.
                if (::lstat(sub.c_str(), &lsb) == 0 && S_ISDIR(lsb.st_mode)) subs.push_back(sub);
            }
            ::closedir(d);
            std::sort(subs.rbegin(), subs.rend());
            for (auto& s : subs) stack.push_back(std::move(s));
        }
        st.Pump();
        const int rc = ScanFolder(current, pattern, st, rel);
        if (rc != GTE_OK) return rc;
        if (st.cancel) return GTE_ABORT;
        if (stack.empty()) break;
        current = std::move(stack.back());
        stack.pop_back();
    }
    return GTE_OK;
}

void SortAndMergeItems(std::vector<GtListItem>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const GtListItem& a, const GtListItem& b) { return a.storedName < b.storedName; });
    items.erase(std::unique(items.begin(), items.end(),
                            [](const GtListItem& a, const GtListItem& b) { return a.storedName == b.storedName; }),
                items.end());
}

void ApplyDateWindow(GtEngineState& st) {
    if (!st.inclDate && !st.exclDate) return;
    std::erase_if(st.items, [&st](const GtListItem& it) {
        const bool inside = it.time >= st.date1 && it.time <= st.date2;
        return st.inclDate ? !inside : inside;
    });
}

bool ParseWindowDate(std::string_view text, bool endOfDay, std::optional<std::int64_t>& out) {
    out.reset();
    if (text.empty()) return true;
    if (text.size() != 8) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const int month = std::stoi(std::string(text.substr(0, 2)));
    const int day = std::stoi(std::string(text.substr(2, 2)));
    const int year = std::stoi(std::string(text.substr(4, 4)));
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1970 || year > 2079) return false;
    struct tm tm {};
    tm.tm_isdst = -1;
    if (year < 1980) {
        tm.tm_year = 80;
        tm.tm_mon = 0;
        tm.tm_mday = 1;
    } else {
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        if (endOfDay) {
            tm.tm_hour = 23;
            tm.tm_min = 59;
            tm.tm_sec = 59;
        }
    }
    out = static_cast<std::int64_t>(::mktime(&tm));
    return true;
}

std::optional<FileFacts> GetFileFacts(std::string_view path) {
    const std::string p = NativePath(path);
    struct stat sb {};
    if (::stat(p.c_str(), &sb) != 0) {
        if (!p.empty() && p.back() == '/') return FileFacts{0, ATTR_SUBDIR, 0};
        return std::nullopt;
    }
    FileFacts f;
    f.time = RoundedSeconds(sb.st_mtim);
    f.attributes = AttributesOf(sb, BaseName(p)) & 0x37;
    f.size = static_cast<std::uint64_t>(sb.st_size);
    return f;
}

}  // namespace gtlib
