// The wholesaler's side of the order dialogue for the session tests: the records the client must send,
// built from the record layout on their own (not by the client's order reader), and answer records.
#pragma once

#include <string>
#include <vector>

#include "platform/core/text.h"
#include "tests/peers/peers.h"

namespace morven::testing {

inline const std::string kCodice = "CLI001";
inline const std::string kRif = "0042";

// The tags that end a mail or news header: framed blocks, or the TCP stream.
inline const std::string kTag = " ***************";
inline const std::string kTagTcp = " TCPIPxxxxxxxxxx";

// The mail and news header: block counter, blocks to come, offer marker, client code and tag.
inline std::string TestataPosta(long n, bool offerta, const std::string& tag) {
    return "0000" + PadLeft(n, 4, "0") + (offerta ? "OFFERTA   " : "NO-OFFERTA") + kCodice + tag;
}

// `n` order lines PRD1.. with quantities 3, 6, 9, ...
inline std::vector<std::string> RigheOrdine(int n = 10) {
    std::vector<std::string> v;
    for (int i = 1; i <= n; ++i) v.push_back(PadRight("PRD" + std::to_string(i), 9) + PadLeft(i * 3, 4, "0"));
    return v;
}

// The order work file: header line and the lines.
inline std::vector<std::string> FileOrdine(int n = 10) {
    auto v = RigheOrdine(n);
    v.insert(v.begin(), "000000000" + kRif);
    return v;
}

// The checked records of an order of `n` lines: header, data records of 8 lines, end record.
inline std::vector<std::string> RecordAttesi(const std::string& famiglia, int n = 10) {
    const auto righe = RigheOrdine(n);
    std::vector<std::string> dati;
    std::string cur = "0001";
    int num = 1;
    for (const auto& r : righe) {
        cur += r;
        if (cur.size() > 100) {
            dati.push_back(cur);
            cur = PadLeft(++num, 4, "0");
        }
    }
    dati.push_back(cur);
    const std::string fine = PadLeft(static_cast<long long>(dati.size()) + 1, 4, "0");
    const std::string coda = kCodice + kRif + "0000" + fine + famiglia + "      ";
    std::vector<std::string> out{peers::Record("0000" + coda)};
    for (const auto& d : dati) out.push_back(peers::Record(d));
    out.push_back(peers::Record("9999" + coda));
    return out;
}

// The wholesaler takes every record with "SI".
inline void OrdineAccettato(peers::Script& s, const std::string& famiglia, int n = 10) {
    for (const auto& r : RecordAttesi(famiglia, n)) {
        s.push_back(peers::Expect(r));
        s.push_back(peers::Send("SI"));
    }
}

// One answer record sent and answered "SI".
inline void Risposta(peers::Script& s, const std::string& dati) {
    s.push_back(peers::Send(peers::Record(dati)));
    s.push_back(peers::Expect("SI"));
}

// The answer header: data columns 22-25 hold the record count.
inline std::string Testata(int conteggio) { return "0000" + PadRight(kCodice, 17) + PadLeft(conteggio, 4, "0"); }

// A record whose first sum is off by one.
inline std::string RecordGuasto(const std::string& dati) {
    std::string r = peers::Record(dati);
    char& c = r[r.size() - 7];  // last digit of K1
    c = c == '9' ? '8' : static_cast<char>(c + 1);
    return r;
}

}  // namespace morven::testing
