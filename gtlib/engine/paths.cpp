#include "gtlib/engine/paths.h"

namespace gtlib {

bool NormalisePath(const char* in, std::string& out, bool folder) {
    out.clear();
    if (in != nullptr)
        for (const char* p = in; *p; ++p) {
            if (*p == '"') continue;
            out.push_back(*p == '\\' ? '/' : *p);
            if (out.size() > kEnginePathLimit) return false;
        }
    if (folder && !out.empty() && out.back() != '/') out.push_back('/');
    return true;
}

std::string BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace gtlib
