// A modem emulator on a pseudo-terminal. The client opens DevicePath() as its serial port (through the
// port map of the serial layer). In command mode the emulator reads commands ended by CR, answers every
// "AT" command with "OK" and every dial command ("ATD...") with the result of the next scripted call:
// "CONNECT 9600" (then the call's dialogue is played in data mode, unshifted), "BUSY", "NO CARRIER", or
// nothing at all (an empty result: the modem never answers the dial). A call marked incoming is announced
// after an "ATS0=1" with "RING" and played the same way. When a dialogue ends the emulator says
// "NO CARRIER" and is back in command mode; when the client closes the port it hangs up too. Runs on its
// own thread.
#pragma once

#include "tests/peers/link.h"
#include "tests/peers/script.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace morven::peers {

struct ModemCall {
    std::string result = "CONNECT 9600";
    Script dialogue;
    bool incoming = false;
};

struct ModemOptions {
    bool echo = false;          // echo commands back as a modem with E1 does
    int unansweredCommands = 0; // the first n commands get no answer at all (a modem that does not respond)
};

class ModemEmulator {
public:
    explicit ModemEmulator(std::vector<ModemCall> calls, ModemOptions options = {});
    ~ModemEmulator();
    ModemEmulator(const ModemEmulator&) = delete;
    ModemEmulator& operator=(const ModemEmulator&) = delete;

    // The pseudo-terminal device the client opens.
    const std::string& DevicePath() const { return slavePath_; }

    void Release() { record_.Release(); }
    void Stop();

    // Commands received in command mode, trimmed, in order.
    std::vector<std::string> Commands() const;
    // Lines received in data mode.
    std::vector<std::string> Lines() const { return record_.Lines(); }
    std::vector<std::string> Errors() const { return record_.Errors(); }
    int CallsPlayed() const { return record_.ScriptsDone(); }
    bool WaitCalls(int n, int waitMs = 10000) const { return record_.WaitScripts(n, waitMs); }
    bool WaitCommands(std::size_t n, int waitMs = 10000) const;

private:
    void Run();
    void HandleCommand(const std::string& command, std::string& pending);
    void PlayCall(const ModemCall& call, std::string& pending);
    bool Write(std::string_view bytes);

    std::vector<ModemCall> calls_;
    ModemOptions options_;
    PeerRecord record_;
    int master_ = -1;
    std::string slavePath_;
    std::size_t nextCall_ = 0;
    int commandsSeen_ = 0;
    bool incomingArmed_ = false;

    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::thread thread_;
};

}  // namespace morven::peers
