#include "platform/core/desktop.h"

#include "platform/core/files.h"
#include "platform/core/process.h"
#include "platform/core/text.h"

#include <cstdlib>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace morven {
namespace {

std::vector<std::string> SplitColon(const std::string& s) {
    std::vector<std::string> out;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, ':')) {
        if (!part.empty()) out.push_back(part);
    }
    return out;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::vector<std::string> ApplicationFolders() {
    std::vector<std::string> dirs;
    std::string home = Env("XDG_DATA_HOME");
    if (home.empty() && !Env("HOME").empty()) home = Env("HOME") + "/.local/share";
    if (!home.empty()) dirs.push_back(home + "/applications");
    std::string data = Env("XDG_DATA_DIRS");
    if (data.empty()) data = "/usr/local/share:/usr/share";
    for (const auto& d : SplitColon(data)) dirs.push_back(d + "/applications");
    return dirs;
}

// The program of a desktop entry's Exec line: its first word, unquoted.
std::string ExecProgram(const std::string& entryText) {
    std::istringstream in(entryText);
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        line = Trim(line, kWhiteSpace);
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || line.rfind("Exec=", 0) != 0) continue;
        std::string cmd = Trim(line.substr(5), kWhiteSpace);
        if (cmd.empty()) return {};
        if (cmd.front() == '"') {
            const auto end = cmd.find('"', 1);
            return end == std::string::npos ? cmd.substr(1) : cmd.substr(1, end - 1);
        }
        return cmd.substr(0, cmd.find_first_of(" \t"));
    }
    return {};
}

std::string OnPath(const std::string& program) {
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0 ? program : "";
    for (const auto& dir : SplitColon(Env("PATH"))) {
        const std::string full = dir + "/" + program;
        if (FileExists(full) && access(full.c_str(), X_OK) == 0) return full;
    }
    return {};
}

}  // namespace

std::string ApplicationFolder() {
    std::string dir = Env("MORVEN_APPDIR");
    if (dir.empty()) {
        char buf[4096];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n > 0) {
            dir.assign(buf, static_cast<std::size_t>(n));
            const auto slash = dir.rfind('/');
            dir = slash == 0 ? "/" : dir.substr(0, slash);
        } else {
            dir = ".";
        }
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string TempDirectory() {
    std::string dir = Env("TMPDIR");
    if (dir.empty() || !DirectoryExists(dir)) dir = "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string FindDefaultBrowser(int& code) {
    ProcessOptions opt;
    opt.wait = true;
    opt.captureOutput = true;
    opt.timeoutMs = 5000;
    opt.maxOutput = 4096;
    const auto r = StartProcess({"xdg-mime", "query", "default", "text/html"}, opt);
    if (!r.started || !r.exited || r.exitCode != 0) {
        code = 2;
        return {};
    }
    const std::string entry = Trim(r.output, kWhiteSpace);
    code = 1;
    if (entry.empty() || entry.find('/') != std::string::npos) return {};
    for (const auto& dir : ApplicationFolders()) {
        std::string text;
        if (!ReadWholeFile(dir + "/" + entry, text)) continue;
        const std::string full = OnPath(ExecProgram(text));
        if (full.empty()) return {};
        code = 0;
        return full;
    }
    return {};
}

}  // namespace morven
