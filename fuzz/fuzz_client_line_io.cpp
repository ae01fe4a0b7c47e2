// The TCP line reader on outside input: what the wholesaler sends arrives through the fake socket in
// segments cut where the input says, and the program reads it with LeggiComm (lines) and LeggiZip (framed
// blocks) in an order the input chooses. Every line handed out is at most kMaxRigaLinea bytes and holds no
// CR or LF; every block is at most as long and ends with its mark. The test clock moves on by itself at
// every read, so a reader waiting for more bytes times out after a few rounds instead of waiting.
//
// With MORVEN_FUZZ_TRACE set every read is printed.
//
// Input: byte 0 the session (bits 0-1: after the last segment the peer stays connected, closes, or is
// closing; bit 2: reads time out after 2 seconds instead of 1), byte 1 the read pattern (bit k set: read k of
// each eight is LeggiZip), then segments, each a length byte and that many bytes; a length byte 0 repeats
// the segment before it 256 times (so lines beyond the limit can be built from a short input).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz/client_line_feed.h"
#include "fuzz/client_sandbox.h"
#include "client/engine/line_io.h"
#include "client/engine/testing/test_program.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxInCoda = 160 * 1024;  // all segments together, so an input stays fast


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int fine = data[0] & 3;
    const int attesa = (data[0] & 4) ? 2 : 1;
    const std::uint8_t schema = data[1];

    std::deque<std::string> segmenti;
    std::size_t totale = 0, massimo = 0;
    for (std::size_t i = 2; i < size;) {
        const std::size_t n = data[i++];
        std::string s;
        if (n == 0) {
            if (segmenti.empty()) continue;
            for (int k = 0; k < 256; ++k) s += segmenti.back();
        } else {
            s.assign(reinterpret_cast<const char*>(data + i), std::min(n, size - i));
            i += s.size();
        }
        if (totale + s.size() > kMaxInCoda) break;
        totale += s.size();
        massimo = std::max(massimo, s.size());
        segmenti.push_back(std::move(s));
    }

    morven::TestProgram t(fuzzing::Box().Fresh().string());
    morven::Programma& p = t.p;
    p.percorsi.sFileLogSessione = "sessione.log";
    p.impostazioni.bModoInternet = true;
    p.sessione.nTimeOutRicezione = attesa;
    t.clock.SetAutoStep(400);
    t.socket.state = morven::TcpSocket::sckConnected;

    // One segment arrives at every round of the event pump; after the last the peer does what byte 0 says.
    const morven::ScopedPoller rete = fuzzing::FeedSegments(t, segmenti, fine);

    // Enough reads for every segment and a few time-outs after them.
    const std::size_t letture = segmenti.size() + 8;
    for (std::size_t k = 0; k < letture; ++k) {
        const bool zip = (schema >> (k % 8)) & 1;
        const std::string r = zip ? morven::LeggiZip(p, 0) : morven::LeggiComm(p, attesa);
        if (std::getenv("MORVEN_FUZZ_TRACE")) {
            std::string e;
            for (unsigned char c : r) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                e += (c >= 32 && c < 127) ? std::string(1, static_cast<char>(c)) : std::string(hex);
            }
            std::fprintf(stderr, "read %zu %s: [%s] queue %zu\n", k, zip ? "zip" : "comm", e.c_str(), t.socket.sCodaRicezione.size());
        }
        Check(r.size() <= morven::kMaxRigaLinea);
        if (r == "NO CARRIER") break;
        if (zip) {
            Check(r.empty() || (r.size() >= 4 && r.compare(r.size() - 4, 4, "OIEA") == 0));
        } else {
            Check(r.find_first_of("\r\n") == std::string::npos);
        }
        // What stays queued is bounded too: a queue over the limit without an end is thrown away.
        Check(t.socket.sCodaRicezione.size() <= morven::kMaxRigaLinea + massimo);
    }
    return 0;
}
