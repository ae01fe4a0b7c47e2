// The IFCK answer receiver on outside input: what the wholesaler sends arrives through the fake socket, one
// piece at every round of the event pump, and RxMorvenFCK takes the answer. Pieces may be raw bytes or
// payloads the target frames with correct sums, so the fuzzer reaches the block numbering behind the check.
// Whatever arrives, the receiver must end with a step of its own, and an answer file exists only after a
// whole answer: then the step says so, the answer is marked received and the session marker is gone.
//
// Input: pieces, each a kind byte (bit 0: frame the bytes as a payload) and a length byte, then that many
// bytes. After the last piece the wholesaler closes the line.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>

#include "fuzz/client_sandbox.h"
#include "client/engine/frames.h"
#include "client/engine/testing/test_program.h"
#include "client/session/answer_file.h"
#include "client/session/ifck_blocks.h"
#include "platform/core/files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto dir = fuzzing::Box().Fresh();
    morven::TestProgram t(dir.string());
    morven::Programma& p = t.p;
    p.percorsi.sFileLogSessione = "sessione.log";
    p.impostazioni.bModoInternet = true;
    p.sessione.nTimeMaxCorrente = 600;
    p.sessione.nTimeOutRecord = 30;
    t.clock.SetAutoStep(400);
    t.socket.state = morven::TcpSocket::sckConnected;
    const std::string marcatore = (dir / "abort.dat").string();
    morven::ReplaceFileAtomically(marcatore, "x");

    std::deque<std::string> pezzi;
    for (std::size_t i = 0; i + 2 <= size;) {
        const bool frame = data[i] & 1;
        const std::size_t n = std::min<std::size_t>(data[i + 1], size - i - 2);
        std::string s(reinterpret_cast<const char*>(data + i + 2), n);
        i += 2 + n;
        if (frame && !s.empty()) s = morven::AddCeck_MORVEN(p, s) + "\r\n";
        pezzi.push_back(std::move(s));
    }
    const morven::ScopedPoller rete(t.pump, [&] {
        if (!pezzi.empty()) {
            t.socket.Feed(pezzi.front());
            pezzi.pop_front();
        } else if (t.socket.state == morven::TcpSocket::sckConnected) {
            t.socket.PeerCloses();
        }
    });

    const std::string risposta = (dir / "IFCK02_OUT_MORVEN.DAT").string();
    const bool ok = morven::RxMorvenFCK(p, risposta);
    const int passo = morven::NumeroPasso(p.sessione.nPassoSessione);
    const bool intera = passo == 33 || passo == 45 || passo == 46;
    Check(intera || passo == 3 || passo == 200);
    Check(ok == intera);
    Check(morven::FileExists(risposta) == intera);
    Check(p.sessione.bMancantiRicevuti == intera);
    Check(morven::FileExists(marcatore) == !intera);
    if (intera) {
        std::string dati;
        Check(morven::ReadWholeFile(risposta, dati) && dati.size() <= morven::kLimiteFileRisposta);
    }
    return 0;
}
