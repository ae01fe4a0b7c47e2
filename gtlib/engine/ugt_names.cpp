// Long names of archive members, by the rules of the file lists. Member names carry "\" separators; the
// file lists' short form works on "/" separators.
#include <string>
#include <string_view>

#include "gtlib/engine/filelist.h"
#include "gtlib/engine/ugt_engine.h"

namespace gtlib {

bool UgtIsLongName(std::string_view name) { return IsLongName(name); }

std::string UgtShortName(std::string_view name) {
    std::string slashed(name);
    for (char& c : slashed)
        if (c == '\\') c = '/';
    std::string out = MangleName(slashed);
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

}  // namespace gtlib
