// Date texts and long names of archive members, by the same rules as the compression side. Member names
// carry "\" separators; the file lists' short form works on "/" separators.
#include <string>
#include <string_view>

#include "gtlib/engine/filelist.h"
#include "gtlib/engine/gzip_writer.h"
#include "gtlib/engine/ugt_engine.h"

namespace gtlib {

std::string UgtDateText(int64_t unixTime) { return FormatDateTimeText(unixTime); }

int64_t UgtDateTextToUnix(std::string_view text) { return ParseDateTimeText(text); }

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
