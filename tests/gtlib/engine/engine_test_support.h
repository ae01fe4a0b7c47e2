// Helpers shared by the engine tests: a scratch folder, file reading and writing, a fixed log clock in a
// fixed time zone, and a scripted host for the message path.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "gtlib/engine/logs.h"
#include "gtlib/engine/messages.h"
#include "scratch_dir.h"

namespace gtlib::test {

// 2026-12-10 10:15:31 UTC.
inline constexpr int64_t kFixedNow = 1796897731;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Every test that writes logs: an engine context with the logs in a scratch folder, a fixed clock and a
// headless UI, and UTC as local time. The test's commands run with the context of the environment that
// lives at the time (the innermost).
class LogEnvironment {
public:
    LogEnvironment() : outer_(current_) {
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
        context.logFolder = dir / "logs";
        context.logClock = [] { return kFixedNow; };
        current_ = this;
    }
    ~LogEnvironment() { current_ = outer_; }
    LogEnvironment(const LogEnvironment&) = delete;
    LogEnvironment& operator=(const LogEnvironment&) = delete;

    std::string Diagnostic() const { return ReadFile(DiagnosticLogPath(context)); }
    std::string Events() const { return ReadFile(EventLogPath(context)); }
    // A message context that logs and shows through this environment.
    MessageContext Messages() const {
        MessageContext m;
        m.engine = &context;
        return m;
    }

    // The context of the environment that lives now (the defaults outside any).
    static EngineContext Current() { return current_ ? current_->context : EngineContext{}; }

    ScratchDir dir;
    EngineContext context;

private:
    LogEnvironment* outer_;
    static inline LogEnvironment* current_ = nullptr;
};

// A host message procedure that records every call and answers from a script (then 0).
struct ScriptedHost {
    struct Call {
        int32_t kind, style, number1, number2;
        std::string text1, text2;
    };
    std::vector<Call> calls;
    std::vector<int32_t> answers;
    std::size_t next = 0;

    static int32_t Proc(int32_t kind, int32_t style, int32_t n1, int32_t n2, char* t1, char* t2, void* user) {
        auto* self = static_cast<ScriptedHost*>(user);
        self->calls.push_back({kind, style, n1, n2, t1 ? t1 : "", t2 ? t2 : ""});
        return self->next < self->answers.size() ? self->answers[self->next++] : 0;
    }
    MessageHost Host() { return {&ScriptedHost::Proc, this}; }
};

// Host hooks that record what would have been shown.
struct RecordingUi {
    struct Shown {
        std::string text, title;
        uint32_t style;  // 0xFFFF for the overwrite dialog
    };
    std::vector<Shown> shown;
    int32_t boxAnswer = 1;
    std::vector<int32_t> dialogAnswers;
    std::size_t nextDialog = 0;
    std::vector<std::string> renameAnswers;
    std::size_t nextRename = 0;
    std::vector<std::string> renameAsked;

    void Install(EngineContext& context) {
        HostUi& ui = context.ui;
        ui.messageBox = [this](const char* text, const char* title, uint32_t style) {
            shown.push_back({text, title, style});
            return boxAnswer;
        };
        ui.overwriteDialog = [this](const char* text, const char* title) {
            shown.push_back({text, title, 0xFFFF});
            return nextDialog < dialogAnswers.size() ? dialogAnswers[nextDialog++] : 7;
        };
        ui.renameDialog = [this](std::string_view path) {
            renameAsked.emplace_back(path);
            return nextRename < renameAnswers.size() ? renameAnswers[nextRename++] : std::string();
        };
    }
};

}  // namespace gtlib::test
