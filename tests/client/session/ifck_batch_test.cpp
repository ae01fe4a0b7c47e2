// Batch runs as the management software makes them: the main window's start-up with /BLKRUN (and /FILEIN
// for a request it wrote itself), Timer1, the call driver and the session, over TCP against the fake
// wholesaler and over the modem emulator. Every run must end by itself with the answer file and the end
// marker, the request sent whole once.
#include <gtest/gtest.h>

#include "client/session/call_driver.h"
#include "client/session/loop.h"
#include "client/presenters/main_window.h"
#include "tests/client/session/ifck_session_scripts.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"

namespace morven {
namespace {

namespace peers = morven::peers;
using namespace morven::testing;

struct NessunaRisposta : VistaRisposte {
    void MostraLista(const ModelloLista&) override {}
    int RigaSelezionata() const override { return -1; }
    void MostraDocumenti(const ModelloDocumenti&) override {}
};

struct Lotto {
    const char* nome;
    bool modem;
    bool compMvn;
    const char* argomenti;
    const char* fileIn;   // the request the client sends (written by the management software without Comp-MVN)
    const char* fileOut;  // where the answer must land
    char lettera;         // kind letter of the header
};

// The management software's own request, of the kind its file name says.
std::string Gestionale(const std::string& nome) {
    return "T2005001" + nome.substr(4, 2) + "001234500          1011\r\nP012345678    000050NNN\r\nZ00001\r\n";
}

struct BatchRun : ::testing::TestWithParam<Lotto> {};

TEST_P(BatchRun, EndsWithTheAnswerAndTheEndMarker) {
    const Lotto& l = GetParam();
    SessionHarness h;
    const std::string risposta = FileRisposta(20);
    if (l.compMvn)
        h.Ordine(FileOrdine(4));
    else
        h.Scrivi(l.fileIn, Gestionale(l.fileIn));

    // Header and one data block (both requests are shorter than a block), then the end; what they carried is
    // checked afterwards.
    peers::Script script{peers::ExpectBlock(),     peers::Send("SI0"),   peers::ExpectBlock(),
                         peers::Send("SI1"),          peers::ExpectBlock(kFineTx), peers::Send("SI9999")};
    if (l.modem) script.push_back(peers::Hold());
    for (const auto& b : BlocchiFile(risposta, kCodice, l.lettera)) BloccoInviato(script, b);

    std::unique_ptr<peers::FakeWholesaler> w;
    std::unique_ptr<LowPortRelay> relay;
    std::unique_ptr<peers::ModemEmulator> modem;
    std::vector<std::string> righe = {Riga("Connect", "Grossista Lotto"), Riga("Code", kCodice),
                                      Riga("Interface", "DESCRIZ-MAN"), Riga("ModeIFCK", "YES"),
                                      Riga("Comp-MVN", l.compMvn ? "YES" : "NO"), Riga("DispOrdine", "NO")};
    if (l.modem) {
        modem = std::make_unique<peers::ModemEmulator>(std::vector<peers::ModemCall>{{"CONNECT 31200", script}});
        h.UsaModem(modem->DevicePath());
        h.Dopo(401, 12000, [&] { modem->Release(); });
        righe.push_back(Riga("Mode", "NORMALE"));
        righe.push_back(Riga("Phone 1", "0212345"));
    } else {
        w = std::make_unique<peers::FakeWholesaler>(std::vector<peers::Script>{script});
        relay = std::make_unique<LowPortRelay>(w->Port());
        h.UsaTcp();
        righe.push_back(Riga("Mode", "INTERNET"));
        righe.push_back(Riga("Ip1", "127.0.0.1"));
        righe.push_back(Riga("Porta", std::to_string(relay->Port())));
        righe.push_back(Riga("AutoIncPor", "NO"));
    }
    h.Impostazioni(righe);

    NessunaRisposta vista;
    CollegamentiFrmMorven c;
    c.SceltaChiamata = [](Programma& q, std::string& slot) { return SceltaChiamata(q, slot); };
    c.LoopTrasmissione = [](Programma& q) { return LoopTrasmissione(q); };
    EventiFrmMorven f(h.p, h.t.main, vista, c);
    f.Form_Load(l.argomenti);
    ASSERT_TRUE(h.p.opzioni.bBlkRun);
    f.Timer1_Timer();

    const std::vector<std::string> ricevute = l.modem ? modem->Lines() : (w->Stop(), w->Lines());
    const std::vector<std::string> errori = l.modem ? modem->Errors() : w->Errors();
    EXPECT_TRUE(errori.empty()) << ::testing::PrintToString(errori) << h.LogSessione();
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_TRUE(h.Esiste("MorvenClient.end"));
    EXPECT_EQ(h.Leggi(l.fileOut), risposta) << h.LogSessione() << h.LogFunzioni();
    EXPECT_FALSE(h.Esiste("abort.dat"));
    // The request went whole, once: one header, and the data rebuild the request file.
    std::string payload, file;
    int testate = 0;
    for (const auto& r : ricevute) {
        if (r.rfind("AEIO", 0) != 0 || !peers::Unframe(r, &payload)) continue;
        const int n = NumeroBlocco(payload);
        if (n == 0) {
            ++testate;
            EXPECT_EQ(payload.substr(18), kCodice + " " + std::string(1, l.lettera) + "N" + std::string(13, '*'));
        } else if (n != 9999) {
            file += payload.substr(4);
        }
    }
    EXPECT_EQ(testate, 1);
    EXPECT_EQ(file, h.Leggi(l.fileIn));
    if (!l.compMvn) {
        EXPECT_EQ(file, Gestionale(l.fileIn));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ifck, BatchRun,
    ::testing::Values(
        Lotto{"tcp_own_availability_request", false, false, "/FILEIN:IFCK01_IN_GEST.DAT /BLKRUN:01",
              "IFCK01_IN_GEST.DAT", "IFCK01_OUT_GEST.DAT", 'D'},
        Lotto{"tcp_own_order_request", false, false, "/FILEIN:IFCK02_IN_GEST.DAT /BLKRUN:01", "IFCK02_IN_GEST.DAT",
              "IFCK02_OUT_GEST.DAT", 'O'},
        Lotto{"tcp_order_from_ordseq", false, true, "/BLKRUN:01", "IFCK02_IN_MORVEN.DAT", "IFCK02_OUT_MORVEN.DAT", 'O'},
        Lotto{"modem_own_availability_request", true, false, "/FILEIN:IFCK01_IN_GEST.DAT /BLKRUN:01",
              "IFCK01_IN_GEST.DAT", "IFCK01_OUT_GEST.DAT", 'D'},
        Lotto{"modem_order_from_ordseq", true, true, "/FILEIN:IFCK01_IN_GEST.DAT /BLKRUN:01", "IFCK02_IN_MORVEN.DAT",
              "IFCK02_OUT_MORVEN.DAT", 'O'}),
    [](const ::testing::TestParamInfo<Lotto>& caso) { return std::string(caso.param.nome); });

}  // namespace
}  // namespace morven
