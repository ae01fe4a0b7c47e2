#include "tests/peers/link.h"

#include "tests/peers/codec.h"

#include <chrono>
#include <thread>

namespace morven::peers {

void PeerRecord::AddLine(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
    cv_.notify_all();
}

void PeerRecord::AddError(std::string error) {
    std::lock_guard lock(mutex_);
    errors_.push_back(std::move(error));
    cv_.notify_all();
}

std::vector<std::string> PeerRecord::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> PeerRecord::Errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

bool PeerRecord::WaitLines(std::size_t n, int waitMs) const {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return lines_.size() >= n; });
}

void PeerRecord::Release() {
    std::lock_guard lock(mutex_);
    ++releases_;
    cv_.notify_all();
}

void PeerRecord::WaitRelease() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return releases_ > 0 || stop_; });
    if (releases_ > 0) --releases_;
}

void PeerRecord::Stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    cv_.notify_all();
}

void PeerRecord::ScriptDone() {
    std::lock_guard lock(mutex_);
    ++scriptsDone_;
    cv_.notify_all();
}

int PeerRecord::ScriptsDone() const {
    std::lock_guard lock(mutex_);
    return scriptsDone_;
}

bool PeerRecord::WaitScripts(int n, int waitMs) const {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return scriptsDone_ >= n; });
}

void Link::Silence(const std::atomic<bool>& stopping) {
    std::string ignored;
    while (!stopping && Read(ignored, 10)) ignored.clear();
}

namespace {

// Takes one unit from `pending` with `take` (true when one was complete), reading more as needed; `what`
// names the unit in the errors.
template <class Take>
bool ReadUnit(Link& link, std::string& pending, PeerRecord& record, const char* what, Take take) {
    const auto deadline = std::chrono::steady_clock::now() + kExpectWait;
    while (true) {
        if (take()) return true;
        if (record.Stopping()) return false;
        if (std::chrono::steady_clock::now() > deadline) {
            record.AddError(std::string("no ") + what + " from the client in time (pending: \"" + pending + "\")");
            return false;
        }
        if (!link.Read(pending, 10)) {
            if (take()) return true;
            record.AddError(std::string("client went away while a ") + what + " was expected");
            return false;
        }
    }
}

// One line (up to LF, without CR LF).
bool ReadLine(Link& link, std::string& pending, PeerRecord& record, std::string& line) {
    return ReadUnit(link, pending, record, "line", [&] {
        const auto lf = pending.find('\n');
        if (lf == std::string::npos) return false;
        line = pending.substr(0, lf);
        pending.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    });
}

// One frame: "AEIO" through the first "OIEA" after it, bytes before "AEIO" dropped, the CR LF after it
// skipped (its payload may hold line ends).
bool ReadBlock(Link& link, std::string& pending, PeerRecord& record, std::string& frame) {
    return ReadUnit(link, pending, record, "frame", [&] {
        const auto start = pending.find("AEIO");
        const auto end = start == std::string::npos ? start : pending.find("OIEA", start + 4);
        if (end == std::string::npos) return false;
        // The client ends its frame line with CR LF; on a serial line those may still be on their way.
        const auto attesa = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (pending.size() < end + 6 && std::chrono::steady_clock::now() < attesa && link.Read(pending, 10)) {
        }
        frame = pending.substr(start, end + 4 - start);
        std::size_t rest = end + 4;
        while (rest < pending.size() && (pending[rest] == '\r' || pending[rest] == '\n')) ++rest;
        pending.erase(0, rest);
        return true;
    });
}

bool Matches(const Step& step, const std::string& line) {
    switch (step.match) {
        case Step::Match::Exact: return line == step.text;
        case Step::Match::Prefix: return line.compare(0, step.text.size(), step.text) == 0;
        case Step::Match::Contains: return line.find(step.text) != std::string::npos;
        case Step::Match::Any: return true;
    }
    return false;
}

}  // namespace

void RunScript(const Script& script, Link& link, bool shifted, std::string& pending, PeerRecord& record) {
    for (const Step& step : script) {
        if (record.Stopping()) return;
        switch (step.kind) {
            case Step::Kind::Expect: {
                std::string wire;
                if (!ReadLine(link, pending, record, wire)) return;
                const std::string line = shifted ? DecodeLine(wire) : wire;
                record.AddLine(line);
                if (!Matches(step, line)) {
                    record.AddError("expected \"" + step.text + "\", got \"" + line + "\"");
                    return;
                }
                break;
            }
            case Step::Kind::ExpectFrame: {
                std::string line;
                if (!ReadLine(link, pending, record, line)) return;
                record.AddLine(line);
                const auto start = line.find("AEIO");
                const auto end = start == std::string::npos ? start : line.find("OIEA", start + 4);
                std::string payload;
                if (end == std::string::npos || !Unframe(line.substr(start, end + 4 - start), &payload)) {
                    record.AddError("bad frame from the client: \"" + line + "\"");
                    return;
                }
                if (payload.compare(0, step.text.size(), step.text) != 0) {
                    record.AddError("frame payload \"" + payload + "\" does not begin \"" + step.text + "\"");
                    return;
                }
                break;
            }
            case Step::Kind::ExpectBlock: {
                std::string frame, payload;
                if (!ReadBlock(link, pending, record, frame)) return;
                record.AddLine(frame);
                if (!Unframe(frame, &payload)) {
                    record.AddError("bad frame from the client: \"" + frame + "\"");
                    return;
                }
                if (step.match != Step::Match::Any && payload != step.text) {
                    record.AddError("frame payload \"" + payload + "\", expected \"" + step.text + "\"");
                    return;
                }
                break;
            }
            case Step::Kind::ExpectRecord: {
                std::string wire;
                if (!ReadLine(link, pending, record, wire)) return;
                const std::string line = shifted ? DecodeLine(wire) : wire;
                record.AddLine(line);
                std::string data;
                if (!Unrecord(line, &data)) {
                    record.AddError("bad record from the client: \"" + line + "\"");
                    return;
                }
                if (data.compare(0, step.text.size(), step.text) != 0) {
                    record.AddError("record data \"" + data + "\" does not begin \"" + step.text + "\"");
                    return;
                }
                break;
            }
            case Step::Kind::Send:
                if (!link.Write((shifted ? EncodeLine(step.text) : step.text) + "\r\n")) return;
                break;
            case Step::Kind::SendRaw:
                if (!link.Write(step.text)) return;
                break;
            case Step::Kind::SendSplit: {
                const std::size_t chunk = step.chunk == 0 ? 1 : step.chunk;
                for (std::size_t i = 0; i < step.text.size(); i += chunk) {
                    if (!link.Write(step.text.substr(i, chunk))) return;
                    // A moment between chunks so that each travels on its own.
                    std::this_thread::sleep_for(std::chrono::microseconds(300));
                }
                break;
            }
            case Step::Kind::Close: link.Close(); return;
            case Step::Kind::Reset: link.Reset(); return;
            case Step::Kind::Silence: link.Silence(record.StopFlag()); return;
            case Step::Kind::Hold: record.WaitRelease(); break;
        }
    }
    link.Close();
}

}  // namespace morven::peers
