// The wholesaler's side of the IFCK block dialogue for the session tests: the blocks the client must send
// for a request file and the blocks of an answer, built from the block layout on their own (not by the
// client's code), and the script steps that take or send them.
#pragma once

#include <string>
#include <vector>

#include "platform/core/text.h"
#include "tests/peers/peers.h"

namespace morven::testing {

inline const std::string kFineTx = "9999FINE TX      ********************";

inline int NumeroBlocco(const std::string& payload) { return std::stoi(payload.substr(0, 4)); }

// Header, data blocks of 1024 bytes (the last one what is left, possibly nothing) and end block.
inline std::vector<std::string> BlocchiFile(const std::string& file, const std::string& codice, char lettera,
                                            const std::string& fine = kFineTx) {
    const std::size_t totale = file.size() / 1024 + 1;
    std::vector<std::string> v{"0000" + PadLeft(static_cast<long long>(totale), 4, "0") + "MORVEN2006" + codice +
                               " " + std::string(1, lettera) + "N" + std::string(13, '*')};
    for (std::size_t i = 1; i <= totale; ++i)
        v.push_back(PadLeft(static_cast<long long>(i), 4, "0") + file.substr(std::min(file.size(), (i - 1) * 1024), 1024));
    v.push_back(fine);
    return v;
}

// The wholesaler takes every block of the request with "SI" and its number.
inline void BlocchiAccettati(peers::Script& s, const std::vector<std::string>& blocchi) {
    for (const auto& b : blocchi) {
        s.push_back(peers::ExpectBlock(b));
        s.push_back(peers::Send("SI" + std::to_string(NumeroBlocco(b))));
    }
}

// The wholesaler sends one block and wants it taken.
inline void BloccoInviato(peers::Script& s, const std::string& payload) {
    s.push_back(peers::Send(peers::Frame(payload)));
    s.push_back(peers::Expect("SI" + std::to_string(NumeroBlocco(payload))));
}

// An answer file of `righe` lines of 60 bytes (more than one block from 18 lines on).
inline std::string FileRisposta(int righe) {
    std::string s = "T000" + std::string(56, ' ') + "\r\n";  // an accepted answer header
    for (int i = 1; i <= righe; ++i) s += "P" + PadRight("PRD" + std::to_string(i), 13) + PadLeft(i, 46, "0") + "\r\n";
    return s + "Z\r\n";
}

}  // namespace morven::testing
