// Dial-up entries on pppd. An entry is a peer file in the peers folder (/etc/ppp/peers); an entry is
// connected while a pppd started for it runs and has written its link pid file ("ppp-<peer>.pid" in the run
// folder) with the interface name on its second line. Dialling starts "pppd call <peer> linkname <peer>" as a
// process with an argument vector and waits until it detaches (pppd does so once the link is up), ends, or
// the time limit passes; hanging up ends that pppd.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/core/clock.h"
#include "platform/core/pump.h"

namespace morven {

struct DialupPaths {
    std::string pppdCommand = "/usr/sbin/pppd";  // the dialler; tests point it at a script
    std::string peersDir = "/etc/ppp/peers";     // one file per entry
    std::string runDir = "/var/run";             // where pppd writes ppp-<peer>.pid
};

// True when the name can be handed to pppd as a peer name: letters, digits, '.', '_', '-', '+', '@', not
// starting with '.' or '-', no "..", at most 64 characters. Anything else (a path, blanks, shell
// characters) is refused before it reaches the dialler.
bool IsValidPeerName(const std::string& name);

class PppDialup {
public:
    PppDialup(const Clock& clock, EventPump& pump, DialupPaths paths = {});

    // Names of the entries, sorted; nullopt when the dial-up service is missing (no pppd, no peers folder).
    std::optional<std::vector<std::string>> ListEntries() const;
    // True when a pppd for exactly that entry (case-sensitive) runs with its link up.
    bool IsConnected(const std::string& name) const;
    // Dials the entry and waits at most timeoutSeconds for the dialler, then 5 seconds more (the link
    // settles); true when the entry is connected afterwards. An empty name or an entry already up gives
    // true at once; an invalid name or a missing dialler gives false without starting anything.
    bool Dial(const std::string& name, int timeoutSeconds);
    // Ends the pppd of that entry; true when the name is empty or a running pppd was told to end.
    bool HangUp(const std::string& name);

    // Why the last Dial failed ("" after a success), for the log.
    const std::string& LastError() const { return lastError_; }

private:
    std::optional<int> RunningPid(const std::string& name, bool requireInterface) const;
    void WaitSeconds(double seconds);

    const Clock& clock_;
    EventPump& pump_;
    DialupPaths paths_;
    std::string lastError_;
};

}  // namespace morven
