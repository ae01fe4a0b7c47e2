// Dial-up entries on pppd. An entry is a peer file in the peers folder (/etc/ppp/peers); an entry is
// connected while a pppd started for it runs and has written its link pid file ("ppp-<peer>.pid" in the run
// folder) with the interface name on its second line. Dialling starts "pppd call <peer> linkname <peer>" as a
// process with an argument vector; pppd stays in the foreground until the link is up and then detaches, so
// "still dialling" is "the started process still runs". Hanging up ends that pppd (and a dialler still
// trying for the entry).
#pragma once

#include <optional>
#include <string>
#include <vector>

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
    explicit PppDialup(DialupPaths paths = {});
    ~PppDialup();  // stops a dialler still running
    PppDialup(const PppDialup&) = delete;
    PppDialup& operator=(const PppDialup&) = delete;

    // Names of the entries, sorted; nullopt when the dial-up service is missing (no pppd, no peers folder).
    std::optional<std::vector<std::string>> Entries() const;
    // Entries whose pppd runs with its link up.
    std::vector<std::string> Connections() const;
    // True when a pppd for exactly that entry (case-sensitive) runs with its link up.
    bool IsConnected(const std::string& name) const;
    // Starts the dialler for the entry; false (nothing started, LastError says why) for an invalid or
    // unknown name, a missing pppd, or a dialler already running.
    bool StartDial(const std::string& name);
    // True while the dialler started by StartDial still runs (not yet connected and detached, not failed).
    bool Dialling();
    // Ends the pppd of that entry and a dialler still trying for it; true when something was told to end.
    bool HangUp(const std::string& name);

    const std::string& LastError() const { return lastError_; }

private:
    std::optional<int> RunningPid(const std::string& name, bool requireInterface) const;
    void StopDialler();

    DialupPaths paths_;
    int dialler_ = 0;  // pid of the started dialler while it runs
    std::string diallerEntry_;
    std::string lastError_;
};

}  // namespace morven
