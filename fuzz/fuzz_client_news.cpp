// The news receivers on outside input: what the wholesaler sends after the shortage answer arrives through
// the fake socket in segments cut where the input says, and RxPosta (framed blocks) or RxPOSTATcp (framed
// header, then a raw stream ended by "FINETX") takes it. Whatever arrives, the transfer ends by itself at one
// of its steps; an archive reaches the news folder only with a transfer that succeeded, and never after a
// failure; no answer line is longer than an acknowledgement. The test clock moves on at every read, so
// silences end by the limits after a few rounds.
//
// Input: byte 0 the session (bit 0: RxPOSTATcp; bits 1-2: after the last segment the peer stays connected,
// closes, or is closing; bit 3: interface class 4), then segments, each a length byte and that many bytes.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>

#include "client/engine/mail_receive.h"
#include "client/engine/testing/test_program.h"
#include "fuzz/client_line_feed.h"
#include "fuzz/client_sandbox.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxIngresso = 64 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool flusso = data[0] & 1;
    const int fine = (data[0] >> 1) & 3;
    std::deque<std::string> segmenti;
    std::size_t totale = 0;
    for (std::size_t i = 1; i < size;) {
        const std::size_t n = data[i++];
        std::string s(reinterpret_cast<const char*>(data + i), std::min(n, size - i));
        i += s.size();
        if (totale + s.size() > kMaxIngresso) break;
        totale += s.size();
        segmenti.push_back(std::move(s));
    }

    const fs::path app = fuzzing::Box().Fresh();
    morven::TestProgram t(app.string());
    morven::Programma& p = t.p;
    p.percorsi.sFileLogSessione = "sessione.log";
    p.impostazioni.bModoInternet = true;
    p.impostazioni.nTipoInterfaccia = (data[0] & 8) ? 4 : 3;
    p.sessione.nTimeMaxCorrente = 120;
    p.sessione.nTimeOutRecord = 30;
    t.clock.SetAutoStep(700);
    t.socket.state = morven::TcpSocket::sckConnected;
    std::string risposte;
    t.socket.onSend = [&](morven::FakeTcpSocket&, std::string_view b) { risposte.append(b); };

    const morven::ScopedPoller rete = fuzzing::FeedSegments(t, segmenti, fine);

    const bool ok = flusso ? morven::RxPOSTATcp(p) : morven::RxPosta(p);
    const int passo = morven::NumeroPasso(p.sessione.nPassoSessione);
    Check(passo == 3 || passo == 46 || passo == 47 || passo == 200);
    Check(ok == (passo == 46 || passo == 47));
    const bool archivio = fs::exists(app / "news" / "notizie.gz");
    if (!ok) Check(!archivio && !p.sessione.bNotizieRicevute);
    if (p.sessione.bNotizieRicevute) Check(archivio);
    // The answers are short lines ("SI 9999", "NO0000", "FINEOK" and their line ends).
    for (std::size_t at = 0, next; at < risposte.size(); at = next) {
        next = risposte.find("\r\n", at);
        next = next == std::string::npos ? risposte.size() : next + 2;
        Check(next - at <= 10);
    }
    return 0;
}
