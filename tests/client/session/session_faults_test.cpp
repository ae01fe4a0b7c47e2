// Faults on the line, whole sessions against the fake wholesaler and the modem emulator. Each row checks the
// steps the session went through, what the wholesaler received (the order never twice where it must not go
// twice), the messages and the files left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "client/session/call_driver.h"
#include "client/session/line_events.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"

namespace morven {
namespace {

namespace peers = morven::peers;
using namespace morven::testing;

const std::string kFam = "020003****";  // DESCRIZ-MAN
const int kRighe = 2;                   // header, one data record, end record
const std::string kVoce = PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3";

std::vector<std::string> Impostazioni(int porta, const std::string& modo = "INTERNET", bool autoInc = false) {
    return {Riga("Connect", "Grossista Prova"), Riga("Code", kCodice),
            Riga("Mode", modo),                 Riga("Ip1", "127.0.0.1"),
            Riga("Ip2", " 127.0.0.1 "),         Riga("Ip3", "127.0.0.1"),
            Riga("Porta", std::to_string(porta)), Riga("AutoIncPor", autoInc ? "YES" : "NO"),
            Riga("Phone 1", "111"),             Riga("Phone 2", "222"),
            Riga("Phone 3", "333"),             Riga("Interface", "DESCRIZ-MAN"),
            Riga("ModeIFCK", "NO"),             Riga("DispOrdine", "NO")};
}

peers::Script Ordine() {
    peers::Script s;
    OrdineAccettato(s, kFam, kRighe);
    return s;
}

// The whole dialogue: order taken, answer of one entry.
peers::Script Completa() {
    auto s = Ordine();
    Risposta(s, Testata(2));
    Risposta(s, "0001" + kVoce);
    Risposta(s, "9999" + kCodice);
    return s;
}

int Conta(const std::vector<std::string>& lines, const std::string& what) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), what));
}

const std::string kIntestazione = RecordAttesi(kFam, kRighe).front();

struct Esito {
    std::vector<int> passi;
    int connessioni;
    int ordiniInviati;  // how often the order's header record reached the wholesaler
    bool risposta;      // the answer files hold the entry
    bool fine;          // the program ended (TerminaProgramma)
    std::string messaggio;  // the one message box shown, "" for none
};

struct Riga_ {
    const char* nome;
    std::vector<peers::Script> scripts;
    bool ritentaMancanti;
    Esito atteso;
};

std::vector<int> Ripeti(std::vector<int> v, const std::vector<int>& blocco, int volte) {
    for (int i = 0; i < volte; ++i) v.insert(v.end(), blocco.begin(), blocco.end());
    return v;
}

const std::vector<int> kRiuscita = {5, 15, 30, 20, 46, 999};
const char* kErrata = "Trasmissione Ordine Corretta , Ricezione Mancanti ERRATA !";

TEST(SessionFaultTest, TcpFaultTable) {
    auto conRisposta = [](std::function<void(peers::Script&)> f) {
        auto s = Ordine();
        f(s);
        return s;
    };
    const std::vector<Riga_> rows = {
        {"bad checksum answered NO, good copy taken",
         {conRisposta([](peers::Script& s) {
             Risposta(s, Testata(2));
             s.push_back(peers::Send(RecordGuasto("0001" + kVoce)));
             s.push_back(peers::Expect("NO"));
             Risposta(s, "0001" + kVoce);
             Risposta(s, "9999" + kCodice);
         })},
         false,
         {kRiuscita, 1, 1, true, true, ""}},
        {"garbage before the header gets no answer",
         {conRisposta([](peers::Script& s) {
             s.push_back(peers::Send("RUMORE SULLA LINEA"));
             Risposta(s, Testata(2));
             Risposta(s, "0001" + kVoce);
             Risposta(s, "9999" + kCodice);
         })},
         false,
         {kRiuscita, 1, 1, true, true, ""}},
        {"duplicate record acknowledged again, stored once",
         {conRisposta([](peers::Script& s) {
             Risposta(s, Testata(2));
             Risposta(s, "0001" + kVoce);
             Risposta(s, "0001" + kVoce);
             Risposta(s, "9999" + kCodice);
         })},
         false,
         {kRiuscita, 1, 1, true, true, ""}},
        {"out-of-order record refused",
         {conRisposta([](peers::Script& s) {
             Risposta(s, Testata(3));
             s.push_back(peers::Send(peers::Record("0002" + kVoce)));
             s.push_back(peers::Expect("NO"));
             Risposta(s, "0001" + kVoce);
             Risposta(s, "9999" + kCodice);
         })},
         false,
         {kRiuscita, 1, 1, true, true, ""}},
        {"end record before the header refused",
         {conRisposta([](peers::Script& s) {
             s.push_back(peers::Send(peers::Record("9999" + kCodice)));
             s.push_back(peers::Expect("NO"));
             Risposta(s, Testata(2));
             Risposta(s, "0001" + kVoce);
             Risposta(s, "9999" + kCodice);
         })},
         false,
         {kRiuscita, 1, 1, true, true, ""}},
        {"silence in the answer past the record limit, no retry",
         {conRisposta([](peers::Script& s) {
              Risposta(s, Testata(2));
              s.push_back(peers::Silence());
          }),
          Completa()},
         false,
         {{5, 15, 30, 20, 3}, 1, 1, false, true, kErrata}},
        {"silence in the answer past the record limit, retry sends the order again",
         {conRisposta([](peers::Script& s) {
              Risposta(s, Testata(2));
              s.push_back(peers::Silence());
          }),
          Completa()},
         true,
         {{5, 15, 30, 20, 3, 5, 15, 30, 20, 46, 999}, 2, 2, true, true, ""}},
        {"wholesaler closes after the first order record: a new call",
         {[] {
              peers::Script s;
              s.push_back(peers::Expect(kIntestazione));
              s.push_back(peers::Send("SI"));
              s.push_back(peers::ExpectAny());
              s.push_back(peers::CloseLine());
              return s;
          }(),
          Completa()},
         false,
         {{5, 15, 30, 3, 5, 15, 30, 20, 46, 999}, 2, 2, true, true, ""}},
        {"silence to the order past the record limit: a new call",
         {[] {
              peers::Script s;
              s.push_back(peers::Expect(kIntestazione));
              s.push_back(peers::Silence());
              return s;
          }(),
          Completa()},
         false,
         {{5, 15, 30, 3, 5, 15, 30, 20, 46, 999}, 2, 2, true, true, ""}},
        {"wholesaler closes inside the answer: session aborted, program stays",
         {conRisposta([](peers::Script& s) {
             Risposta(s, Testata(2));
             s.push_back(peers::CloseLine());
         })},
         false,
         {{5, 15, 30, 20, 200}, 1, 1, false, false, ""}},
    };

    for (const auto& r : rows) {
        SCOPED_TRACE(r.nome);
        peers::FakeWholesaler w(r.scripts);
        LowPortRelay relay(w.Port());
        SessionHarness h;
        h.UsaTcp();
        h.Impostazioni(Impostazioni(relay.Port()));
        h.Ordine(FileOrdine(kRighe));
        h.p.opzioni.bRitentaMancanti = r.ritentaMancanti;

        EXPECT_TRUE(SceltaChiamata(h.p, "01"));
        const Esito& e = r.atteso;
        EXPECT_EQ(h.Passi(), e.passi);
        EXPECT_EQ(w.Connections(), e.connessioni);
        EXPECT_EQ(Conta(w.Lines(), kIntestazione), e.ordiniInviati);
        EXPECT_EQ(h.Leggi("ordseq.man").find(kVoce) != std::string::npos, e.risposta);
        EXPECT_EQ(h.Esiste("abort.dat"), !e.risposta);  // the marker stays until an answer arrived
        EXPECT_EQ(h.t.end.calls, e.fine ? 1 : 0);
        if (e.messaggio.empty()) {
            EXPECT_TRUE(h.t.msgbox.calls.empty());
        } else {
            ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
            EXPECT_EQ(h.t.msgbox.calls[0].prompt, e.messaggio);
            EXPECT_EQ(h.t.msgbox.calls[0].style, 16);
            EXPECT_EQ(h.t.msgbox.calls[0].title, "Connessione con Grossista Prova");
        }
        if (e.risposta) {
            EXPECT_EQ(h.Leggi("ordseq.man"), kCodice + kRif + std::string(29, ' ') + "\r\n" + kVoce + "\r\n");
        }
    }
}

TEST(SessionFaultTest, AbortedBatchRunStillEndsTheProgram) {
    auto s = Ordine();
    Risposta(s, Testata(2));
    s.push_back(peers::CloseLine());
    peers::FakeWholesaler w({s});
    LowPortRelay relay(w.Port());
    SessionHarness h;
    h.UsaTcp();
    h.Impostazioni(Impostazioni(relay.Port()), "ABCD");
    h.Ordine(FileOrdine(kRighe));
    h.p.opzioni.bBlkRun = true;
    EXPECT_TRUE(SceltaChiamata(h.p, "ABCD"));
    EXPECT_EQ(h.Passi().back(), 200);
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_TRUE(h.Esiste("MorvenClient.end"));
}

TEST(SessionFaultTest, RefusedPortsFollowTheAttemptTable) {
    // Attempts 1 and 2 go to the two ports below the wholesaler's (nobody listens), attempt 3 to host 2 on
    // the base port + 2.
    peers::FakeWholesaler w({Completa()});
    LowPortRelay relay(w.Port());
    SessionHarness h;
    h.UsaTcp();
    h.Impostazioni(Impostazioni(relay.Port() - 2, "INTERNET", true));
    h.Ordine(FileOrdine(kRighe));
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    EXPECT_EQ(h.Passi(), (std::vector<int>{5, 3, 5, 3, 5, 15, 30, 20, 46, 999}));
    EXPECT_EQ(h.p.sessione.nTentativo, 3);
    EXPECT_EQ(h.p.Winsock().RemotePort, relay.Port());
    EXPECT_EQ(w.Connections(), 1);
    EXPECT_NE(h.Leggi("ordseq.man").find(kVoce), std::string::npos);
}

TEST(SessionFaultTest, SixteenRefusedCallsEndWithCollegamentoImpossibile) {
    LowPortRelay relay(1);  // only for a free port: nothing listens at relay.Port() - 1
    SessionHarness h;
    h.UsaTcp();
    h.Impostazioni(Impostazioni(relay.Port() - 1));
    h.Ordine(FileOrdine(kRighe));
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    EXPECT_EQ(h.Passi(), Ripeti({}, {5, 3}, 16));
    ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
    EXPECT_EQ(h.t.msgbox.calls[0].prompt, "Collegamento Impossibile");
    EXPECT_EQ(h.t.msgbox.calls[0].style, 16);
    EXPECT_EQ(h.t.msgbox.calls[0].owner, &h.t.main);  // owned by the main window
    // On record after the box closed itself: the session log says it too.
    EXPECT_NE(h.LogSessione().find("Collegamento Impossibile\r\n"), std::string::npos);
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_TRUE(h.Esiste("abort.dat"));
}

TEST(SessionFaultTest, TcpFallsBackToTheModemAfterSixteenRefusedCalls) {
    peers::Script script = Completa();
    script.insert(script.begin() + 2 * 3, peers::Hold());  // the answer waits for the modem's input drain
    peers::ModemEmulator modem({peers::ModemCall{"CONNECT 9600", script}});
    LowPortRelay relay(1);
    SessionHarness h;
    h.UsaTcp();
    h.UsaModem(modem.DevicePath());
    h.DopoSvuotamento(20, [&] { modem.Release(); });
    h.Impostazioni(Impostazioni(relay.Port() - 1, "MISTO"));
    h.Ordine(FileOrdine(kRighe));
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    EXPECT_EQ(h.Passi(), Ripeti({}, {5, 3}, 16).size() ? [] {
        auto v = Ripeti({}, {5, 3}, 16);
        v.insert(v.end(), {5, 15, 30, 20, 46, 999});
        return v;
    }() : std::vector<int>{});
    EXPECT_FALSE(h.p.impostazioni.bModoInternet);
    const auto cmds = modem.Commands();
    EXPECT_NE(std::find(cmds.begin(), cmds.end(), "ATDT111"), cmds.end());
    EXPECT_NE(h.Leggi("ordseq.man").find(kVoce), std::string::npos);
    EXPECT_TRUE(h.t.msgbox.calls.empty());
}

TEST(SessionFaultTest, AfterSixteenSilentTcpCallsTheModemGetsTheSlotsSpeed) {
    // A wholesaler that takes every call and never says a word: each TCP call connects (the connect speed
    // "NET  " is stored), then its first record times out.
    peers::FakeWholesaler w(std::vector<peers::Script>(16, peers::Script{peers::Silence()}));
    LowPortRelay relay(w.Port());
    peers::Script script = Completa();
    script.insert(script.begin() + 2 * 3, peers::Hold());
    peers::ModemEmulator modem({peers::ModemCall{"CONNECT 9600", script}});
    SessionHarness h;
    h.UsaTcp();
    h.UsaModem(modem.DevicePath());
    h.DopoSvuotamento(20, [&] { modem.Release(); });
    // Sixteen 30-second record limits: the TCP calls run on a faster clock, the modem at the usual pace.
    double scala = 50;
    ScopedPoller ritmo(h.t.pump, [&] {
        const double s = h.p.impostazioni.bModoInternet ? 1000 : 50;
        if (s != scala) h.t.clock.SetScale(scala = s);
    });
    auto impostazioni = Impostazioni(relay.Port(), "MISTO");
    impostazioni.push_back(Riga("SpeedComm", "19200"));
    h.Impostazioni(impostazioni);
    h.Ordine(FileOrdine(kRighe));
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    auto attesi = Ripeti({}, {5, 15, 30, 3}, 16);
    attesi.insert(attesi.end(), {5, 15, 30, 20, 46, 999});
    EXPECT_EQ(h.Passi(), attesi);
    EXPECT_EQ(w.Connections(), 16);
    EXPECT_EQ(h.p.MSComm().Settings, "19200,N,8,1");
    EXPECT_NE(h.Leggi("ordseq.man").find(kVoce), std::string::npos);
    EXPECT_TRUE(h.t.msgbox.calls.empty()) << h.t.msgbox.calls[0].prompt;
    EXPECT_EQ(h.LogFunzioni().find("Errore Procedura"), std::string::npos);
}

TEST(SessionFaultTest, OrderSentOverTcpIsNotResentOverTheModem) {
    auto s = Ordine();
    Risposta(s, Testata(2));
    s.push_back(peers::Silence());
    peers::FakeWholesaler w({s});
    LowPortRelay relay(w.Port());
    peers::ModemEmulator modem({peers::ModemCall{"CONNECT 9600", Completa()}});
    SessionHarness h;
    h.UsaTcp();
    h.UsaModem(modem.DevicePath());
    h.Impostazioni(Impostazioni(relay.Port(), "MISTO"));
    h.Ordine(FileOrdine(kRighe));
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    EXPECT_EQ(h.Passi(), (std::vector<int>{5, 15, 30, 20, 3}));
    EXPECT_TRUE(modem.Commands().empty());  // never dialled
    EXPECT_EQ(Conta(w.Lines(), kIntestazione), 1);
    ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
    EXPECT_EQ(h.t.msgbox.calls[0].prompt, kErrata);
    EXPECT_EQ(h.t.end.calls, 1);
}

TEST(SessionFaultTest, BusyAndNoCarrierOnTheModemThenTheThirdNumber) {
    peers::Script script = Completa();
    script.insert(script.begin() + 2 * 3, peers::Hold());
    peers::ModemEmulator modem({peers::ModemCall{"BUSY", {}}, peers::ModemCall{"NO CARRIER", {}},
                                peers::ModemCall{"CONNECT 9600", script}});
    SessionHarness h;
    h.UsaModem(modem.DevicePath());
    h.DopoSvuotamento(20, [&] { modem.Release(); });
    h.Impostazioni(Impostazioni(1, "NORMALE"));
    h.Ordine(FileOrdine(kRighe));
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    EXPECT_EQ(h.Passi(), (std::vector<int>{3, 5, 3, 5, 3, 5, 15, 30, 20, 46, 999}));
    std::vector<std::string> dials;
    for (const auto& c : modem.Commands())
        if (c.rfind("ATD", 0) == 0) dials.push_back(c);
    EXPECT_EQ(dials, (std::vector<std::string>{"ATDT111", "ATDT222", "ATDT333"}));
    EXPECT_EQ(h.p.impostazioni.sSpeedComm, " 9600");
    EXPECT_NE(h.Leggi("ordseq.man").find(kVoce), std::string::npos);
}

TEST(SessionFaultTest, SilentModemEndsTheProgramAfterSixTries) {
    peers::ModemEmulator modem({}, peers::ModemOptions{false, 1000});
    SessionHarness h;
    h.UsaModem(modem.DevicePath());
    h.Impostazioni(Impostazioni(1, "NORMALE"));
    h.Ordine(FileOrdine(kRighe));
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
    EXPECT_EQ(h.t.msgbox.calls[0].prompt, "Il Modem Non Risponde !!!");
    EXPECT_EQ(h.t.msgbox.calls[0].title, "ERRORE MODEM");
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_EQ(modem.Commands(), std::vector<std::string>(6, "ATH0"));
}

TEST(SessionFaultTest, MalformedOrderFileEndsBeforeAnyCall) {
    peers::FakeWholesaler w({Completa()});
    LowPortRelay relay(w.Port());
    SessionHarness h;
    h.UsaTcp();
    h.Impostazioni(Impostazioni(relay.Port()));
    h.Ordine({"0000000000000", "PRD1    0003"});  // 12 characters
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    EXPECT_EQ(h.Passi(), std::vector<int>{200});
    EXPECT_EQ(w.Connections(), 0);
    ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
    EXPECT_EQ(h.t.end.calls, 0);
    EXPECT_NE(h.LogFunzioni().find("LetturaOrdineMorven :"), std::string::npos);
}

TEST(SessionFaultTest, MissingSettingsFileRefusesTheCall) {
    peers::FakeWholesaler w({Completa()});
    SessionHarness h;
    h.UsaTcp();
    h.Ordine(FileOrdine(kRighe));
    h.Scrivi("ordseq.man", "old answer\r\n");
    EXPECT_FALSE(SceltaChiamata(h.p, "07"));
    EXPECT_EQ(w.Connections(), 0);
    ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
    EXPECT_EQ(h.t.msgbox.calls[0].title, "Errore di Trasmissione");
    EXPECT_EQ(h.t.end.calls, 0);
}

// The wholesaler takes the last record of the order and ends the line at once, the way a wholesaler that is
// done with a call may. The order it took whole never goes out again, over the whole run, unless the
// settings ask for a new call; the outcome line says it went out. The line goes straight to the wholesaler
// (the relay would turn its reset into an orderly close), with the program's own socket events.
TEST(SessionFaultTest, OrderTakenWholeThenTheLineEndsIsNeverSentAgain) {
    auto presoEPoi = [](peers::Step fine) {
        auto s = Ordine();
        s.push_back(std::move(fine));
        return s;
    };
    const struct {
        const char* caso;
        peers::Step fine;
        bool ritentaMancanti;
        std::vector<int> passi;
        int ordiniInviati;
        const char* esito;
    } casi[] = {
        {"closed in order after the last SI", peers::CloseLine(), false, {5, 15, 30, 20, 200}, 1,
         "Esito :inviato SI, risposta completa NO"},
        {"reset right after the last SI", peers::ResetLine(), false, {5, 15, 30, 20, 3}, 1,
         "Esito :inviato SI, risposta completa NO"},
        {"reset right after the last SI, the settings ask for a new call", peers::ResetLine(), true,
         {5, 15, 30, 20, 3, 5, 15, 30, 20, 46, 999}, 2, "Esito :inviato SI, risposta completa SI"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        peers::FakeWholesaler w({presoEPoi(c.fine), Completa()});
        SessionHarness h;
        h.UsaTcp();
        CollegaEventiLinea(h.p);
        h.Impostazioni(Impostazioni(w.Port()));
        h.Ordine(FileOrdine(kRighe));
        h.p.opzioni.bBlkRun = true;
        h.p.opzioni.bRitentaMancanti = c.ritentaMancanti;
        EXPECT_TRUE(SceltaChiamata(h.p, "01"));
        EXPECT_EQ(h.Passi(), c.passi);
        EXPECT_EQ(Conta(w.Lines(), kIntestazione), c.ordiniInviati);
        EXPECT_EQ(Conta(w.Lines(), RecordAttesi(kFam, kRighe).back()), c.ordiniInviati);
        EXPECT_EQ(h.t.end.calls, 1);
        const std::string log = h.LogFunzioni();
        EXPECT_NE(log.find(c.esito), std::string::npos) << log;
        EXPECT_EQ(h.Esiste("abort.dat"), c.ordiniInviati == 1);
    }
}

}  // namespace
}  // namespace morven
