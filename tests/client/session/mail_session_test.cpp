// Mail and news sessions against the fake wholesaler (TCP) and the modem emulator: the mail archive framed
// (over both lines) and as a TCP stream, byte for byte, with the wholesaler's acknowledgements, refusals and
// silences; the news archive (made by GNU tar and gzip) received framed or as a stream, however the stream
// is cut around its end mark, and unpacked by the real library; a stream that breaks off; an order session
// of the news class that ends showing its shortage list.
#ifdef SBGTACTX_MODULE
#include <gtest/gtest.h>

#include <filesystem>

#include "client/engine/frames.h"
#include "client/engine/mail_send.h"
#include "client/engine/ugtactx_control.h"
#include "client/engine/settings.h"
#include "client/session/call_driver.h"
#include "client/session/line_events.h"
#include "client/session/loop.h"
#include "client/presenters/main_window.h"
#include "tests/client/engine/news_archive.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"
#include "tests/platform/com/temp_registry.h"

namespace morven {
namespace {

namespace fs = std::filesystem;
namespace peers = morven::peers;
using namespace morven::testing;

// Bytes of an archive: a fixed pseudo-random run (no frame marks inside, as in any real archive here).
std::string Dati(std::size_t n, unsigned seme = 7) {
    std::string s;
    unsigned x = seme;
    while (s.size() < n) {
        x = x * 1103515245u + 12345u;
        s.push_back(static_cast<char>(x >> 16));
        if (s.size() >= 4 && (s.compare(s.size() - 4, 4, "OIEA") == 0 || s.compare(s.size() - 4, 4, "AEIO") == 0))
            s.pop_back();
    }
    return s;
}

// The wholesaler takes the framed mail request and archive, each block acknowledged "SI" and its number.
void PostaInQuadri(peers::Script& s, const std::string* archivio) {
    const long n = archivio ? static_cast<long>(archivio->size() / 1024 + 1) : 0;
    s.push_back(peers::ExpectBlock(TestataPosta(n, archivio != nullptr, kTag)));
    s.push_back(peers::Send("SI 0"));
    for (long i = 1; i <= n; ++i) {
        s.push_back(peers::ExpectBlock(PadLeft(i, 4, "0")));
        s.push_back(peers::Send("SI " + std::to_string(i)));
    }
    if (archivio) {
        s.push_back(peers::ExpectBlock("9999FINE TX      ********************"));
        s.push_back(peers::Send("SI9999"));
    }
}

// The wholesaler sends its news as frames of `blocco` bytes; an empty archive is a "NO-OFFERTA" header.
void NotizieInQuadri(peers::Script& s, const std::string& archivio, std::size_t blocco = 1000) {
    if (archivio.empty()) {
        s.push_back(peers::Send(peers::Frame(TestataPosta(0, false, kTag))));
        s.push_back(peers::Expect("SI 0"));
        s.push_back(peers::Expect("SI0000"));
        return;
    }
    const long n = static_cast<long>((archivio.size() + blocco - 1) / blocco);
    s.push_back(peers::Send(peers::Frame(TestataPosta(n, true, kTag))));
    s.push_back(peers::Expect("SI 0"));
    for (long i = 1; i <= n; ++i) {
        s.push_back(peers::Send(peers::Frame(PadLeft(i, 4, "0") + archivio.substr((i - 1) * blocco, blocco))));
        s.push_back(peers::Expect("SI " + std::to_string(i)));
    }
    s.push_back(peers::Send(peers::Frame("9999")));
    s.push_back(peers::Expect("SI 9999"));
    s.push_back(peers::Expect("SI9999"));
}

// The payloads of the numbered blocks the wholesaler received (counter cut off), in order.
std::string BlocchiRicevuti(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        std::string payload;
        if (l.rfind("AEIO", 0) != 0 || !peers::Unframe(l, &payload)) continue;
        const auto n = ValoreCifre(payload.substr(0, 4));
        if (n >= 1 && n <= 9998) out += payload.substr(4);
    }
    return out;
}

int Conta(const std::vector<std::string>& lines, const std::string& prefisso) {
    int n = 0;
    for (const auto& l : lines) {
        std::string payload;
        if (peers::Unframe(l, &payload) && payload.rfind(prefisso, 0) == 0) ++n;
    }
    return n;
}

// A harness with the real decompression control.
struct Sessione : SessionHarness {
    TempRegistry reg;
    Sessione() { EXPECT_TRUE(CollegaUgtactx(p, {SBGTACTX_MODULE})); }

    void Posta(int porta, bool tcpDir, const std::string& display = "NO") {
        UsaTcp();
        Impostazioni({Riga("Connect", "Grossista Posta"), Riga("Code", kCodice), Riga("Mode", "INTERNET"),
                      Riga("Ip1", "127.0.0.1"), Riga("Porta", std::to_string(porta)), Riga("AutoIncPor", "NO"),
                      Riga("Interface", "POSTA"), Riga("ModeIFCK", "NO"), Riga("TcpDir", tcpDir ? "YES" : "NO"),
                      Riga("DispOrdine", display)});
    }
    // The stream transfers run in a session the state machine starts with the slot's settings as they are
    // (the call driver always begins with the framed ones).
    bool Diretta() {
        p.percorsi.sFileImpostazioni = dir / "MvnConn01.par";
        p.percorsi.sFileLogSessione = "MvnConn01-diretta.log";
        if (!LeggiImpostazioni(p, p.percorsi.sFileImpostazioni)) return false;
        return LoopTrasmissione(p);
    }
    std::string Diagnosi(const std::vector<std::string>& errori) {
        return ::testing::PrintToString(Passi()) + ::testing::PrintToString(errori) + LogSessione() + LogFunzioni();
    }
};

// The news archive a wholesaler sends: GNU tar and gzip over a few members, one of them large enough for
// several blocks.
std::string ArchivioNotizie(const fs::path& cartella) {
    const fs::path src = cartella / "server";
    const std::vector<std::pair<std::string, std::string>> membri = {
        {"eaggdati", "Nuovo listino\r\nOfferte di dicembre\r\n"},
        {"IFCK03_OUT_00000.DAT", "documenti\r\n"},
        {"IFCK06A.DAT", "pht\r\n"},
        {"listino", Dati(6000, 3)},
        {"agglist", "A"},
    };
    std::vector<std::string> nomi;
    for (const auto& [n, d] : membri) {
        fs::create_directories(src);
        ReplaceFileAtomically((src / n).string(), d);
        nomi.push_back(n);
    }
    const fs::path gz = cartella / "notizie-server.gz";
    if (!TarGz(src, nomi, gz)) return {};
    std::string s;
    ReadWholeFile(gz.string(), s);
    return s;
}

struct CasoPosta {
    const char* nome;
    long dimensione;  // -1: no archive
};

void PostaInQuadriByteperByte(const CasoPosta& c) {
    SCOPED_TRACE(c.nome);
    const std::string archivio = c.dimensione < 0 ? std::string() : Dati(static_cast<std::size_t>(c.dimensione));
    peers::Script script;
    PostaInQuadri(script, c.dimensione < 0 ? nullptr : &archivio);
    NotizieInQuadri(script, "");
    peers::FakeWholesaler w({script});
    testing::LowPortRelay relay(w.Port());
    Sessione h;
    h.Posta(relay.Port(), false);
    if (c.dimensione >= 0) h.Scrivi("posta.gz", archivio);

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(w.WaitScripts(1)) << h.Diagnosi(w.Errors());
    EXPECT_TRUE(w.Errors().empty()) << h.Diagnosi(w.Errors());
    EXPECT_EQ(h.Passi(), (std::vector<int>{5, 40, 33, 47, 999})) << h.Diagnosi(w.Errors());
    EXPECT_EQ(BlocchiRicevuti(w.Lines()), archivio);
    EXPECT_FALSE(h.p.sessione.bNotizieRicevute);  // "NO-OFFERTA": nothing to unpack
    EXPECT_NE(h.p.sessione.sTracciaEventi.find(" Ricezione POSTA OK "), std::string::npos);
    EXPECT_EQ(h.t.main.Text("status"), "Fine Collegamento ");
    EXPECT_EQ(h.LogErrori(), "");
    EXPECT_NE(h.LogSessione().find(" <<< Trasmissione Notizie >>>"), std::string::npos);
}

TEST(MailSessionTest, FramedMailWithoutOrWithSmallArchives) {
    for (const CasoPosta& c : {CasoPosta{"nessuno", -1}, CasoPosta{"vuoto", 0}, CasoPosta{"1", 1}})
        PostaInQuadriByteperByte(c);
}

TEST(MailSessionTest, FramedMailArchivesAroundTheBlockSize) {
    for (const CasoPosta& c : {CasoPosta{"1024", 1024}, CasoPosta{"1025", 1025}, CasoPosta{"20000", 20000}})
        PostaInQuadriByteperByte(c);
}

TEST(MailSessionTest, OldAcknowledgementsAreReadOverAndRefusalsResend) {
    const std::string archivio = Dati(3000);
    peers::Script s;
    s.push_back(peers::ExpectBlock(TestataPosta(3, true, kTag)));
    s.push_back(peers::Send("SI 0"));
    s.push_back(peers::ExpectBlock("0001"));
    s.push_back(peers::Send("SI 0"));  // an old number: read over, nothing sent again
    s.push_back(peers::Send("SI 1"));
    s.push_back(peers::ExpectBlock("0002"));
    s.push_back(peers::Send("NO 1"));  // refused: the same block again
    s.push_back(peers::ExpectBlock("0002"));
    s.push_back(peers::Send("SI 7"));  // a later number moves on
    s.push_back(peers::ExpectBlock("0003"));
    s.push_back(peers::Send("SI 3"));
    s.push_back(peers::ExpectBlock("9999FINE TX"));
    s.push_back(peers::Send("SI9999"));
    NotizieInQuadri(s, "");
    peers::FakeWholesaler w({s});
    testing::LowPortRelay relay(w.Port());
    Sessione h;
    h.Posta(relay.Port(), false);
    h.Scrivi("posta.gz", archivio);

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(w.WaitScripts(1)) << h.Diagnosi(w.Errors());
    EXPECT_TRUE(w.Errors().empty()) << h.Diagnosi(w.Errors());
    EXPECT_EQ(Conta(w.Lines(), "0001"), 1);
    EXPECT_EQ(Conta(w.Lines(), "0002"), 2);
    EXPECT_EQ(h.Passi().back(), 999);
}

TEST(MailSessionTest, StreamedMailArchivesGoOutByteForByte) {
    for (const long dimensione : {1L, 8192L, 20000L}) {
        SCOPED_TRACE(dimensione);
        const std::string archivio = Dati(static_cast<std::size_t>(dimensione));
        peers::Script s;
        s.push_back(peers::ExpectBlock(TestataPosta(BlocchiPosta(dimensione, true), true, kTagTcp)));
        s.push_back(peers::Send("SI"));
        s.push_back(peers::ReceiveUntil("FINETX"));
        // The answer to the end mark, raw or in the line encoding, cut in two.
        s.push_back(dimensione == 8192 ? peers::SendSplit("FINEOK", 3) : peers::Send("FINEOK"));
        s.push_back(peers::Send(peers::Frame(TestataPosta(0, false, kTagTcp))));
        s.push_back(peers::Expect("SI0000"));
        s.push_back(peers::SendRaw("FINETX"));
        s.push_back(peers::ReceiveUntil("FINEOK"));
        peers::FakeWholesaler w({s});
        testing::LowPortRelay relay(w.Port());
        Sessione h;
        h.Posta(relay.Port(), true);
        h.Scrivi("posta.gz", archivio);

        EXPECT_TRUE(h.Diretta());
        ASSERT_TRUE(w.WaitScripts(1)) << h.Diagnosi(w.Errors());
        EXPECT_TRUE(w.Errors().empty()) << h.Diagnosi(w.Errors());
        const auto lines = w.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_TRUE(lines[1] == archivio) << lines[1].size();
        EXPECT_EQ(h.Passi(), (std::vector<int>{5, 40, 33, 47, 999})) << h.Diagnosi(w.Errors());
        EXPECT_NE(h.LogSessione().find("TX: Blocco N. 1 di "), std::string::npos);
        EXPECT_EQ(h.LogErrori(), "");
    }
}

// The news stream cut every way around its end mark: each is unpacked whole.
TEST(MailSessionTest, StreamedNewsAreFoundWholeHoweverTheStreamIsCut) {
    testing::TempDir lavoro;
    const std::string archivio = ArchivioNotizie(lavoro.path());
    ASSERT_FALSE(archivio.empty());
    const std::string testata = peers::Frame(TestataPosta(1, true, kTagTcp));
    struct Caso {
        const char* nome;
        peers::Script coda;  // after the header's "SI0000"
    };
    const std::string tutto = archivio + "FINETX";
    std::vector<Caso> casi = {
        {"incollato", {peers::SendRaw(tutto)}},
        {"diviso nel segno", {peers::SendRaw(tutto.substr(0, tutto.size() - 3)), peers::Hold(),
                              peers::SendRaw(tutto.substr(tutto.size() - 3))}},
        {"a pezzi", {peers::SendSplit(tutto, 777)}},
        {"testata ripetuta", {peers::Send(testata), peers::SendRaw(tutto)}},
    };
    for (auto& c : casi) {
        SCOPED_TRACE(c.nome);
        peers::Script s;
        s.push_back(peers::ExpectBlock(TestataPosta(0, false, kTagTcp)));
        s.push_back(peers::Send("SI"));
        s.push_back(peers::Send(testata));
        s.push_back(peers::Expect("SI0000"));
        for (auto& st : c.coda) s.push_back(st);
        s.push_back(peers::ReceiveUntil("FINEOK"));
        peers::FakeWholesaler w({s});
        testing::LowPortRelay relay(w.Port());
        Sessione h;
        h.Posta(relay.Port(), true);
        h.DopoSvuotamento(33, [&] { w.Release(); });

        EXPECT_TRUE(h.Diretta());
        ASSERT_TRUE(w.WaitScripts(1)) << h.Diagnosi(w.Errors());
        EXPECT_TRUE(w.Errors().empty()) << h.Diagnosi(w.Errors());
        EXPECT_EQ(h.Passi(), (std::vector<int>{5, 40, 33, 47, 999})) << h.Diagnosi(w.Errors());
        EXPECT_TRUE(h.p.sessione.bNotizieRicevute);
        EXPECT_EQ(h.Leggi("news/eaggdati"), "Nuovo listino\r\nOfferte di dicembre\r\n");
        EXPECT_EQ(h.Leggi("news/listino"), Dati(6000, 3));
        EXPECT_EQ(h.Leggi("IFCK03_OUT_MORVEN.DAT"), "documenti\r\n");
        EXPECT_EQ(h.Leggi("PHT/MvnConn01/pht.dat"), "pht\r\n");
        EXPECT_FALSE(h.Esiste("news/notizie.gz"));
        EXPECT_EQ(h.LogErrori(), "");
    }
}

// A wholesaler that drops the line in the middle of the stream: no archive, a failed receive, new calls.
TEST(MailSessionTest, StreamBrokenOffIsAFailureNotAnArchive) {
    testing::TempDir lavoro;
    const std::string archivio = ArchivioNotizie(lavoro.path());
    ASSERT_FALSE(archivio.empty());
    peers::Script s;
    s.push_back(peers::ExpectBlock(TestataPosta(0, false, kTagTcp)));
    s.push_back(peers::Send("SI"));
    s.push_back(peers::Send(peers::Frame(TestataPosta(1, true, kTagTcp))));
    s.push_back(peers::Expect("SI0000"));
    s.push_back(peers::SendRaw(archivio.substr(0, archivio.size() / 2)));
    s.push_back(peers::CloseLine());
    peers::FakeWholesaler w({s});
    testing::LowPortRelay relay(w.Port());
    Sessione h;
    h.t.clock.SetScale(250);  // the later calls find nobody: the limits may pass quickly
    h.Posta(relay.Port(), true);

    EXPECT_TRUE(h.Diretta());
    EXPECT_TRUE(w.WaitScripts(1));
    EXPECT_NE(h.p.sessione.sTracciaEventi.find(" ERR RX POSTA  "), std::string::npos);
    EXPECT_FALSE(h.p.sessione.bNotizieRicevute);
    EXPECT_FALSE(h.Esiste("news/notizie.gz"));
    EXPECT_FALSE(h.Esiste("news/eaggdati"));
    EXPECT_GT(w.Connections(), 1);  // the failure leads to new calls
    ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
    // The mail went out before the news broke off: the message says so, not that no line could be had.
    EXPECT_EQ(h.t.msgbox.calls[0].prompt, "Trasmissione Posta Corretta , Ricezione Notizie ERRATA !");
    EXPECT_EQ(h.t.end.calls, 1);
}

// The mail taken whole, then the line ends before the news: the run ends saying so, and no new call sends
// the mail a second time.
TEST(MailSessionTest, MailTakenWholeIsNotSentAgainWhenTheNewsFail) {
    const std::string archivio = Dati(3000);
    const struct {
        const char* caso;
        bool flusso;  // the mail as a TCP stream, else framed
        bool reset;   // the line reset, else closed in order (which aborts the session)
    } casi[] = {
        {"framed, then closed", false, false},
        {"framed, then reset", false, true},
        {"stream, then reset", true, true},
    };
    const std::string errata = "Trasmissione Posta Corretta , Ricezione Notizie ERRATA !";
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        peers::Script s;
        if (c.flusso) {
            s.push_back(peers::ExpectBlock(TestataPosta(BlocchiPosta(3000, true), true, kTagTcp)));
            s.push_back(peers::Send("SI"));
            s.push_back(peers::ReceiveUntil("FINETX"));
            s.push_back(peers::Send("FINEOK"));
        } else {
            PostaInQuadri(s, &archivio);
        }
        s.push_back(c.reset ? peers::ResetLine() : peers::CloseLine());
        peers::Script ancora;  // a second call would find the whole dialogue
        PostaInQuadri(ancora, &archivio);
        NotizieInQuadri(ancora, "");
        peers::FakeWholesaler w({s, ancora});
        Sessione h;
        h.t.clock.SetScale(250);
        h.Posta(w.Port(), c.flusso);  // straight to the wholesaler: a relay would turn the reset into a close
        CollegaEventiLinea(h.p);
        h.Scrivi("posta.gz", archivio);
        h.p.opzioni.bBlkRun = true;

        EXPECT_TRUE(c.flusso ? h.Diretta() : SceltaChiamata(h.p, "01"));
        EXPECT_EQ(w.Connections(), 1) << h.Diagnosi(w.Errors());
        EXPECT_EQ(h.Passi().back(), c.reset ? 3 : 200);
        EXPECT_EQ(h.t.msgbox.calls.size(), c.reset ? 1u : 0u);
        if (c.reset) {
            EXPECT_EQ(h.t.msgbox.calls[0].prompt, errata);
        }
        EXPECT_EQ(h.t.end.calls, 1);
        EXPECT_TRUE(h.p.sessione.bRichiestaInviata);
    }
}

// A wholesaler that falls silent after the mail request: the record limit ends the transfer.
TEST(MailSessionTest, SilenceAfterTheMailRequestEndsByTheRecordLimit) {
    peers::Script s;
    s.push_back(peers::ExpectBlock(TestataPosta(0, false, kTag)));
    s.push_back(peers::Silence());
    peers::FakeWholesaler w({s});
    testing::LowPortRelay relay(w.Port());
    Sessione h;
    h.t.clock.SetScale(250);  // nothing to wait for on the peer's side: the limits may pass quickly
    h.Posta(relay.Port(), false);

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    EXPECT_NE(h.p.sessione.sTracciaEventi.find(" T.O. Notizie [1]"), std::string::npos);
    EXPECT_EQ(h.t.main.Text("SitStatus").find(" T.O. Notizie [1]") != std::string::npos, true);
    w.Stop();
    // The unanswered request went out again on every read that timed out, the first call included.
    const std::string log = h.LogSessione();
    const auto primo = log.find("TX:AEIO0000");
    EXPECT_NE(log.find("TX:AEIO0000", primo + 1), std::string::npos) << log;
    EXPECT_EQ(h.t.end.calls, 1);
}

// The main window's view with its behaviour, so the end of the session shows the answer list.
class RisposteRegistrate : public VistaRisposte {
public:
    int liste = 0;
    ModelloLista ultima;
    void MostraLista(const ModelloLista& l) override {
        ++liste;
        ultima = l;
    }
    int RigaSelezionata() const override { return -1; }
    void MostraDocumenti(const ModelloDocumenti&) override {}
};

struct FinestraConEventi : FakeView, ConEventiFrmMorven {
    EventiFrmMorven* eventi = nullptr;
    EventiFrmMorven* EventiFinestra() override { return eventi; }
};

const std::string kVoce42 = PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3";

// An order session of the news class: the order taken, the answer of one entry, then the news archive.
peers::Script OrdineConNotizie(const std::string& voce, const std::string& archivio, bool attesa) {
    peers::Script s;
    for (std::size_t i = 0; i < RecordAttesi("", 2).size(); ++i) {
        s.push_back(peers::ExpectRecord());
        s.push_back(peers::Send("SI"));
    }
    if (attesa) s.push_back(peers::Hold());  // the modem drains its input at the start of a transfer
    Risposta(s, Testata(2));
    Risposta(s, "0001" + voce);
    Risposta(s, "9999" + kCodice);
    if (attesa) s.push_back(peers::Hold());
    NotizieInQuadri(s, archivio);
    return s;
}

std::vector<std::string> ImpostazioniNotizie(const std::string& interfaccia, const std::string& display) {
    return {Riga("Connect", "Grossista Notizie"), Riga("Code", kCodice), Riga("Interface", interfaccia),
            Riga("ModeIFCK", "NO"), Riga("DispOrdine", display)};
}

TEST(NewsSessionTest, NewsClassOrderOverTcpUnpacksTheNewsAndShowsTheShortageList) {
    testing::TempDir lavoro;
    const std::string archivio = ArchivioNotizie(lavoro.path());
    ASSERT_FALSE(archivio.empty());
    peers::FakeWholesaler w({OrdineConNotizie(kVoce42, archivio, false)});
    testing::LowPortRelay relay(w.Port());
    Sessione h;
    h.UsaTcp();
    auto righe = ImpostazioniNotizie("NOTIZIE", "YES");
    for (const auto& r : {Riga("Mode", "INTERNET"), Riga("Ip1", "127.0.0.1"), Riga("Porta", std::to_string(relay.Port())),
                          Riga("AutoIncPor", "NO")})
        righe.push_back(r);
    h.Impostazioni(righe);
    h.Ordine(FileOrdine(2));
    FinestraConEventi finestra;
    RisposteRegistrate risposte;
    EventiFrmMorven eventi(h.p, finestra, risposte);
    finestra.eventi = &eventi;
    h.p.oggetti.oFrmMorven = &finestra;

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(w.WaitScripts(1)) << h.Diagnosi(w.Errors());
    EXPECT_TRUE(w.Errors().empty()) << h.Diagnosi(w.Errors());
    EXPECT_EQ(h.Passi(), (std::vector<int>{5, 15, 30, 20, 33, 46, 50})) << h.Diagnosi(w.Errors());
    EXPECT_EQ(risposte.liste, 1);
    EXPECT_FALSE(risposte.ultima.righe.empty());
    EXPECT_EQ(h.t.end.calls, 0);  // the answer is on screen
    EXPECT_TRUE(h.p.sessione.bNotizieRicevute);
    EXPECT_EQ(h.Leggi("news/eaggdati"), "Nuovo listino\r\nOfferte di dicembre\r\n");
    EXPECT_EQ(h.Leggi("IFCK03_OUT_MORVEN.DAT"), "documenti\r\n");
    EXPECT_EQ(h.Leggi("PHT/MvnConn01/pht.dat"), "pht\r\n");
    EXPECT_TRUE(h.Esiste("news/listino"));  // renamed only in a batch run
    EXPECT_FALSE(h.Esiste("news/notizie.gz"));
    EXPECT_EQ(h.LogFunzioni(), "");
}

TEST(NewsSessionTest, BatchRunOverTheModemEmptiesTheFolderAndRenamesThePriceLists) {
    testing::TempDir lavoro;
    const std::string archivio = ArchivioNotizie(lavoro.path());
    ASSERT_FALSE(archivio.empty());
    const std::string voce62 = kVoce42 + PadRight("ARRIVO LUNEDI", 20);
    peers::ModemEmulator modem({peers::ModemCall{"CONNECT 31200", OrdineConNotizie(voce62, archivio, true)}});
    Sessione h;
    h.UsaModem(modem.DevicePath());
    h.DopoSvuotamento(20, [&] { modem.Release(); });
    h.DopoSvuotamento(33, [&] { modem.Release(); });
    auto righe = ImpostazioniNotizie("NOTIZIE-ALL", "NO");
    for (const auto& r : {Riga("Mode", "NORMALE"), Riga("Phone 1", "0212345"), Riga("CommPort", "1")})
        righe.push_back(r);
    h.Impostazioni(righe);
    h.Ordine(FileOrdine(2));
    h.Scrivi("news/vecchia.txt", "di ieri");
    h.p.opzioni.bBlkRun = true;

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(modem.WaitCalls(1)) << h.Diagnosi(modem.Errors());
    EXPECT_TRUE(modem.Errors().empty()) << h.Diagnosi(modem.Errors());
    EXPECT_EQ(h.Passi(), (std::vector<int>{3, 5, 15, 30, 20, 33, 46, 999})) << h.Diagnosi(modem.Errors());
    EXPECT_FALSE(h.Esiste("news/vecchia.txt"));
    EXPECT_EQ(h.Leggi("news/OLTR-listino"), Dati(6000, 3));
    EXPECT_EQ(h.Leggi("news/OLTR-listagg"), "A");
    EXPECT_TRUE(h.Esiste("news/IFCK03_OUT_00000.DAT"));  // no moves in a batch run
    EXPECT_TRUE(h.Esiste("MorvenClient.end"));
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_EQ(h.LogErrori(), "");
}

TEST(MailSessionTest, FramedMailOverTheModemEmulatorAndTheNewsBack) {
    testing::TempDir lavoro;
    const std::string notizie = ArchivioNotizie(lavoro.path());
    ASSERT_FALSE(notizie.empty());
    const std::string archivio = Dati(2500);
    peers::Script script;
    PostaInQuadri(script, &archivio);
    script.push_back(peers::Hold());  // the modem drains its input at the start of a transfer
    NotizieInQuadri(script, notizie);
    peers::ModemEmulator modem({peers::ModemCall{"CONNECT 31200", script}});
    Sessione h;
    h.UsaModem(modem.DevicePath());
    // The wholesaler sends its news once the client has drained its line at the start of the receive.
    h.DopoSvuotamento(33, [&] { modem.Release(); });
    h.Impostazioni({Riga("Connect", "Grossista Posta"), Riga("Code", kCodice), Riga("Mode", "NORMALE"),
                    Riga("Phone 1", "0212345"), Riga("CommPort", "1"), Riga("Interface", "POSTA"),
                    Riga("ModeIFCK", "NO"), Riga("DispOrdine", "NO")});
    h.Scrivi("posta.gz", archivio);
    h.Scrivi("news/vecchia.txt", "di ieri");
    h.p.opzioni.bBlkRun = true;

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(modem.WaitCalls(1)) << h.Diagnosi(modem.Errors());
    EXPECT_TRUE(modem.Errors().empty()) << h.Diagnosi(modem.Errors());
    EXPECT_EQ(h.Passi(), (std::vector<int>{3, 5, 40, 33, 47, 999})) << h.Diagnosi(modem.Errors());
    EXPECT_EQ(BlocchiRicevuti(modem.Lines()), archivio);
    EXPECT_NE(h.p.sessione.sTracciaEventi.find(" Ricezione POSTA OK "), std::string::npos);
    EXPECT_TRUE(h.p.sessione.bNotizieRicevute);
    EXPECT_EQ(h.Leggi("news/eaggdati"), "Nuovo listino\r\nOfferte di dicembre\r\n");
    EXPECT_EQ(h.Leggi("news/OLTR-listino"), Dati(6000, 3));
    EXPECT_TRUE(h.Esiste("MorvenClient.end"));
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_EQ(h.LogErrori(), "");
}

}  // namespace
}  // namespace morven
#endif
