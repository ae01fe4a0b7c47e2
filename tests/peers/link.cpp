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

// Takes one line (up to LF, without CR LF) from `pending`, reading more as needed.
bool ReadLine(Link& link, std::string& pending, PeerRecord& record, std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + kExpectWait;
    while (true) {
        const auto lf = pending.find('\n');
        if (lf != std::string::npos) {
            line = pending.substr(0, lf);
            pending.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (record.Stopping()) return false;
        if (std::chrono::steady_clock::now() > deadline) {
            record.AddError("no line from the client in time (pending: \"" + pending + "\")");
            return false;
        }
        if (!link.Read(pending, 10)) {
            if (pending.find('\n') != std::string::npos) continue;
            record.AddError("client went away while a line was expected");
            return false;
        }
    }
}

// Takes the bytes up to the first `mark` at or after `from` (the mark itself is left out and dropped) from
// `pending`, reading more as needed.
bool ReadUntil(Link& link, std::string& pending, PeerRecord& record, const std::string& mark, std::size_t from,
               std::string& out) {
    const auto deadline = std::chrono::steady_clock::now() + kExpectWait;
    while (true) {
        const auto at = pending.size() >= from ? pending.find(mark, from) : std::string::npos;
        if (at != std::string::npos) {
            out = pending.substr(0, at);
            pending.erase(0, at + mark.size());
            return true;
        }
        if (record.Stopping()) return false;
        if (std::chrono::steady_clock::now() > deadline) {
            record.AddError("no \"" + mark + "\" from the client in time (" + std::to_string(pending.size()) +
                            " bytes pending)");
            return false;
        }
        if (!link.Read(pending, 10) && pending.find(mark, from) == std::string::npos) {
            record.AddError("client went away before \"" + mark + "\"");
            return false;
        }
    }
}

// The client's frame passes the frame check and its payload begins with the step's text; else the fault is
// recorded.
bool FrameMatches(const Step& step, const std::string& frame, PeerRecord& record) {
    std::string payload;
    if (!Unframe(frame, &payload)) {
        record.AddError("bad frame from the client: \"" + frame + "\"");
        return false;
    }
    if (payload.compare(0, step.text.size(), step.text) != 0) {
        record.AddError("frame payload \"" + payload + "\" does not begin \"" + step.text + "\"");
        return false;
    }
    return true;
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
                if (!FrameMatches(step, end == std::string::npos ? line : line.substr(start, end + 4 - start), record))
                    return;
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
            case Step::Kind::ExpectBlock: {
                // Line ends and anything else before the start mark belong to what came before.
                std::string skipped, body;
                if (!ReadUntil(link, pending, record, "AEIO", 0, skipped)) return;
                if (!ReadUntil(link, pending, record, "OIEA", 12, body)) return;
                const std::string frame = "AEIO" + body + "OIEA";
                // The line end the client puts after every frame.
                std::string lineEnd;
                if (!ReadUntil(link, pending, record, "\n", 0, lineEnd)) return;
                record.AddLine(frame);
                if (!FrameMatches(step, frame, record)) return;
                break;
            }
            case Step::Kind::ReceiveUntil: {
                std::string bytes;
                if (!ReadUntil(link, pending, record, step.text, 0, bytes)) return;
                record.AddLine(bytes);
                break;
            }
        }
    }
    link.Close();
}

}  // namespace morven::peers
