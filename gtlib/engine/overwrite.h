// The decision for an output file that exists already, one for GZIP and TAR members: overwrite all, the
// quiet skip, the question and its answers (Yes to All for the rest of the run, Cancel, Rename, whose
// chosen file is overwritten when it exists), and whether an output would overwrite its own archive.
#pragma once

#include <functional>
#include <string>

namespace gtlib {

// Answers of the overwrite question (the engine's overwrite dialog and the host's message procedure).
enum : int {
    kAnswerCancel = 2,
    kAnswerYesToAll5 = 5,  // the box's "Yes to All" as some hosts answer it
    kAnswerYes = 6,
    kAnswerNo = 7,
    kAnswerYesToAll = 100,
    kAnswerRename = 101,
};

enum class OverwriteDecision { kWrite, kSkip, kCancel };

struct OverwriteRules {
    bool* overwriteAll = nullptr;  // bOverWriteFlag; a Yes to All sets it for the rest of the run
    bool quiet = false;            // bAllQuiet: an existing file is skipped without a question
    // The question for an existing file: one of the answers above. None: as quiet.
    std::function<int(const std::string& path, bool read_only)> ask;
    // The rename dialog: another path, or empty when cancelled (the file is then skipped). None: skipped.
    std::function<std::string(const std::string& path)> rename;
    // Told of every file skipped.
    std::function<void(const std::string& path)> skipped;
};

struct OverwriteOutcome {
    OverwriteDecision decision = OverwriteDecision::kWrite;
    bool replaced = false;        // a file stands at the path and is replaced
    bool readOnlyAgreed = false;  // ... and may be replaced although it is read-only
};

// Decides for the file at `path` itself (a link there is not followed: it is what gets replaced). A folder
// there, or nothing, is written without a question. `path` becomes the chosen one on a Rename answer.
OverwriteOutcome DecideOverwrite(const OverwriteRules& rules, std::string& path);

// The same file: the same name ignoring case, or the same file of the file system.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace gtlib
