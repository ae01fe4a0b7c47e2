// The settings file of a benchmark's wholesaler: a TCP call to 127.0.0.1 on `port`, with the order's time
// limit and the connect limit in seconds.
#pragma once

#include <string>
#include <utility>

namespace morven::bench {

inline std::string WholesalerSettings(int port, int timeMaxOrd, int connectSeconds) {
    const std::pair<const char*, std::string> lines[] = {
        {"Connect", "Grossista Simulato"}, {"Code", "CLIENTE01"},
        {"Mode", "INTERNET"},             {"Ip1", "127.0.0.1"},
        {"Porta", std::to_string(port)},  {"AutoIncPor", "NO"},
        {"Interface", "DESCRIZ-ALL"},     {"DispOrdine", "NO"},
        {"ModeIFCK", "NO"},               {"TimeMaxOrd", std::to_string(timeMaxOrd)},
        {"TMCONN-INT", std::to_string(connectSeconds)},
    };
    std::string s;
    for (const auto& [k, v] : lines) {
        std::string key = k;
        key.resize(10, ' ');
        s += key + ":" + v + "\r\n";
    }
    return s;
}

}  // namespace morven::bench
