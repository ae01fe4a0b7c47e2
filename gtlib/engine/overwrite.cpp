#include "gtlib/engine/overwrite.h"

#include <strings.h>
#include <sys/stat.h>

namespace gtlib {
namespace {

struct Existing {
    bool file = false;  // something other than a folder stands there
    bool readOnly = false;
};

Existing At(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return {};
    return {true, S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)};
}

}  // namespace

OverwriteOutcome DecideOverwrite(const OverwriteRules& rules, std::string& path) {
    OverwriteOutcome out;
    const Existing there = At(path);
    if (!there.file) return out;
    out.replaced = true;
    auto skip = [&] {
        if (rules.skipped) rules.skipped(path);
        out.decision = OverwriteDecision::kSkip;
        return out;
    };
    if (rules.overwriteAll && *rules.overwriteAll) {
        out.readOnlyAgreed = there.readOnly;
        return out;
    }
    if (rules.quiet || !rules.ask) return skip();
    switch (rules.ask(path, there.readOnly)) {
        case kAnswerYesToAll:
        case kAnswerYesToAll5:
            if (rules.overwriteAll) *rules.overwriteAll = true;
            [[fallthrough]];
        case kAnswerYes:
            out.readOnlyAgreed = there.readOnly;
            return out;
        case kAnswerCancel:
            out.decision = OverwriteDecision::kCancel;
            return out;
        case kAnswerRename: {
            const std::string chosen = rules.rename ? rules.rename(path) : std::string();
            if (chosen.empty()) return skip();
            path = chosen;
            // The chosen file is overwritten when it exists, read-only or not: the user named it.
            const Existing named = At(path);
            out.replaced = out.readOnlyAgreed = named.file;
            return out;
        }
        default:  // No, and anything else
            return skip();
    }
}

bool SameFile(const std::string& a, const std::string& b) {
    if (strcasecmp(a.c_str(), b.c_str()) == 0) return true;
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace gtlib
