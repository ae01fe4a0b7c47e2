// What an engine run takes from its host besides the command record: the folder of the logs, the clock of
// their time stamps, and the hooks that stand for the windows. Each control owns one and hands it down to
// every run (as a compressor object is handed to every call), so nothing of it is process-wide: two hosts
// with different settings share a process, and a test sets up its own without touching anyone else's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace gtlib {

// There is no window system inside the library: where a message box, the overwrite dialog or the rename
// dialog would be shown, the engine calls these hooks. Without hooks a box answers with its default button,
// the overwrite dialog answers No (the existing file is kept) and the rename dialog is cancelled.
struct HostUi {
    // A message box: text, title, style (the message-box flag sum, with task-modal and foreground added) ->
    // button id (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No).
    std::function<int32_t(const char* text, const char* title, uint32_t style)> messageBox;
    // The overwrite dialog: question, title -> 6 Yes, 7 No, 2 Cancel, 100 Yes to All, 101 Rename.
    std::function<int32_t(const char* text, const char* title)> overwriteDialog;
    // The rename dialog: current full path -> the chosen path, or empty when cancelled.
    std::function<std::string(std::string_view path)> renameDialog;
};

// Clock of the log time stamps (seconds since 1970, UTC); empty: the system clock.
using LogClock = std::function<int64_t()>;

struct EngineContext {
    // Folder of the logs; empty: SBGTACTX_LOGDIR and the defaults described in logs.h.
    std::string logFolder;
    LogClock logClock;
    HostUi ui;
};

}  // namespace gtlib
