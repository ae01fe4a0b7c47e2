// A peer's part of a dialogue as a table of steps. Each connection (a TCP connection accepted by the fake
// wholesaler, a call answered by the modem emulator) plays one script from the first step to the last; the
// peer records every line it received and every fault it saw, for the test to check afterwards.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace morven::peers {

struct Step {
    enum class Kind {
        Expect,     // read one line from the client and compare it (see Match)
        ExpectFrame,// read one line holding a frame; it must pass the frame check; `text` is a payload prefix
        ExpectRecord,// read one STX/ETX record line; it must pass the record check; `text` is a data prefix
        Send,       // send one line: shifted over TCP unless it begins "AEIO", then CR LF
        SendRaw,    // send bytes exactly as given
        SendSplit,  // send `text` as given in chunks of `chunk` bytes, each flushed on its own
        Close,      // close the connection (TCP: orderly close; modem: "NO CARRIER" and back to commands)
        Reset,      // TCP: abort the connection (the client sees a reset); modem: drop the call without a word
        Silence,    // say nothing more: read and forget everything until the client goes away or the peer stops
        Hold,       // wait until the test calls Release() (or the peer stops), then go on
        ExpectBlock,// read one frame up to its "OIEA" whatever bytes its payload holds (line ends too); it must
                    // pass the frame check; `text` is a payload prefix; the frame is recorded
        ReceiveUntil,// read raw bytes until `text` arrives; what came before it is recorded as one line
    };
    enum class Match { Exact, Prefix, Contains, Any };

    Kind kind = Kind::Send;
    std::string text;
    Match match = Match::Exact;
    std::size_t chunk = 1;
};

using Script = std::vector<Step>;

// Step builders, so scripts read as tables.
inline Step Expect(std::string line) { return {Step::Kind::Expect, std::move(line), Step::Match::Exact, 1}; }
inline Step ExpectPrefix(std::string prefix) { return {Step::Kind::Expect, std::move(prefix), Step::Match::Prefix, 1}; }
inline Step ExpectContains(std::string part) { return {Step::Kind::Expect, std::move(part), Step::Match::Contains, 1}; }
inline Step ExpectAny() { return {Step::Kind::Expect, {}, Step::Match::Any, 1}; }
inline Step ExpectFrame(std::string payloadPrefix = {}) { return {Step::Kind::ExpectFrame, std::move(payloadPrefix), Step::Match::Prefix, 1}; }
inline Step ExpectRecord(std::string dataPrefix = {}) { return {Step::Kind::ExpectRecord, std::move(dataPrefix), Step::Match::Prefix, 1}; }
inline Step Send(std::string line) { return {Step::Kind::Send, std::move(line), Step::Match::Exact, 1}; }
inline Step SendRaw(std::string bytes) { return {Step::Kind::SendRaw, std::move(bytes), Step::Match::Exact, 1}; }
inline Step SendSplit(std::string bytes, std::size_t chunk) { return {Step::Kind::SendSplit, std::move(bytes), Step::Match::Exact, chunk}; }
inline Step CloseLine() { return {Step::Kind::Close, {}, Step::Match::Exact, 1}; }
inline Step ResetLine() { return {Step::Kind::Reset, {}, Step::Match::Exact, 1}; }
inline Step Silence() { return {Step::Kind::Silence, {}, Step::Match::Exact, 1}; }
inline Step Hold() { return {Step::Kind::Hold, {}, Step::Match::Exact, 1}; }
inline Step ExpectBlock(std::string payloadPrefix = {}) { return {Step::Kind::ExpectBlock, std::move(payloadPrefix), Step::Match::Prefix, 1}; }
inline Step ReceiveUntil(std::string mark) { return {Step::Kind::ReceiveUntil, std::move(mark), Step::Match::Exact, 1}; }

// How long an Expect waits for the client's line before the peer gives up the script (real time; the
// client side runs on its own clock, usually a test clock, and answers at once).
inline constexpr std::chrono::milliseconds kExpectWait{10000};

}  // namespace morven::peers
