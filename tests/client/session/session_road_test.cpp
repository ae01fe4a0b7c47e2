// Whole sessions through SceltaChiamata against the fake wholesaler (TCP) and the modem emulator: the order
// on the line record by record with its checks, the shortage answer in the three entry layouts and with a
// message, the answer files byte for byte, the markers, the logs and the steps the session went through.
#include <gtest/gtest.h>

#include "client/session/call_driver.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"

namespace morven {
namespace {

using testing::Riga;
using testing::SessionHarness;
namespace peers = morven::peers;
using namespace morven::testing;

std::vector<std::string> ImpostazioniTcp(int porta, const std::string& interfaccia) {
    return {Riga("Connect", "Grossista Prova"), Riga("Code", kCodice),       Riga("Mode", "INTERNET"),
            Riga("Ip1", "127.0.0.1"),         Riga("Porta", std::to_string(porta)), Riga("AutoIncPor", "NO"),
            Riga("Interface", interfaccia),   Riga("ModeIFCK", "NO"),        Riga("DispOrdine", "NO")};
}

struct Layout {
    const char* interfaccia;
    const char* famiglia;
    int lunghezza;  // entry length
    int passoFine;
};

// One whole session over TCP for an entry layout.
void SessioneConLayout(const Layout& l) {
    const std::string b20(20, ' '), b29(29, ' ');
    const std::string corta1 = PadRight("NON DISPONIBILE", 28) + "3";
    const std::string corta2 = PadRight("SOSTITUITO", 28) + "5";
    const std::string lunga = PadRight("ARRIVO PREVISTO LUNEDI", 20);
    const std::string o1 = PadRight("PRD2", 9) + "0006", o2 = PadRight("PRD7", 9) + "0021";
    const std::string o3 = PadRight("PRD9", 9) + "0027";

    std::string e1, e2, e3, rst, man, ma1;
    const std::string testataMan = kCodice + kRif + b29;
    man = testataMan + "\r\n";
    ma1 = testataMan + b20 + "\r\n";
    if (l.lunghezza == 13) {
        e1 = o1, e2 = o2, e3 = o3;
        for (const auto& o : {o1, o2, o3}) {
            rst += o + "\r\n";
            man += o + b29 + "\r\n";
            ma1 += o + b29 + b20 + "\r\n";
        }
    } else if (l.lunghezza == 42) {
        e1 = o1 + corta1, e2 = o2 + corta2, e3 = o3 + corta1;
        for (const auto& e : {e1, e2, e3}) {
            rst += e.substr(0, 13) + "\r\n";
            man += e + "\r\n";
            ma1 += e + b20 + "\r\n";
        }
    } else {
        // The third entry's column 42 is "@": it belongs to the long answer file only.
        e1 = o1 + corta1 + lunga, e2 = o2 + corta2 + lunga, e3 = o3 + corta1.substr(0, 28) + "@" + lunga;
        for (const auto& e : {e1, e2}) {
            rst += e.substr(0, 13) + "\r\n";
            man += e.substr(0, 42) + "\r\n";
        }
        for (const auto& e : {e1, e2, e3}) ma1 += e + "\r\n";
    }

    peers::Script script;
    OrdineAccettato(script, l.famiglia);
    Risposta(script, Testata(4));
    Risposta(script, "0001" + e1 + e2);
    Risposta(script, "0002" + e3);
    Risposta(script, "0003INIZIO MESSAGGIO DA GROSSISTA");
    Risposta(script, "0004Consegna anticipata domani");
    Risposta(script, "9999" + kCodice);
    peers::FakeWholesaler w({script});
    testing::LowPortRelay relay(w.Port());

    SessionHarness h;
    h.UsaTcp();
    h.Impostazioni(ImpostazioniTcp(relay.Port(), l.interfaccia));
    h.Ordine(FileOrdine());
    h.Scrivi("msgtx.txt", "messaggio gia' spedito\r\n");

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(w.WaitScripts(1)) << ::testing::PrintToString(h.Passi()) << ::testing::PrintToString(w.Errors())
                                  << ::testing::PrintToString(w.Lines()) << h.LogSessione() << h.LogFunzioni();
    EXPECT_TRUE(w.Errors().empty()) << ::testing::PrintToString(w.Errors());
    EXPECT_EQ(w.Connections(), 1);
    EXPECT_EQ(h.Passi(), (std::vector<int>{5, 15, 30, 20, l.passoFine, 999}));

    EXPECT_EQ(h.Leggi("ordseq.rst"), rst);
    EXPECT_EQ(h.Leggi("ordseq.man"), man);
    EXPECT_EQ(h.Leggi("ordseq.ma1"), ma1);
    const std::string msg = h.Leggi("msgrx.txt");
    // The message file with its time of day, any minute and second after 10 o'clock.
    const std::string testa = "Messaggio da :CLI001\r\nData:10/12/2026 Time:10:";
    const std::string coda = "\r\nINIZIO MESSAGGIO DA GROSSISTA\r\nConsegna anticipata domani\r\n";
    auto minutoSecondo = [](const std::string& t) {
        return t.size() == 5 && t[0] >= '0' && t[0] <= '5' && t[1] >= '0' && t[1] <= '9' && t[2] == ':' &&
               t[3] >= '0' && t[3] <= '5' && t[4] >= '0' && t[4] <= '9';
    };
    EXPECT_TRUE(msg.size() == testa.size() + 5 + coda.size() && msg.compare(0, testa.size(), testa) == 0 &&
                minutoSecondo(msg.substr(testa.size(), 5)) && msg.compare(testa.size() + 5, coda.size(), coda) == 0)
        << msg;

    EXPECT_FALSE(h.Esiste("abort.dat"));  // removed once the answer was in
    EXPECT_FALSE(h.Esiste("msgtx.txt"));
    EXPECT_TRUE(h.p.sessione.bMancantiRicevuti);
    EXPECT_EQ(h.t.end.calls, 1);  // step 999 ends the program
    EXPECT_TRUE(h.Esiste("MorvenClient.end"));
    EXPECT_TRUE(h.t.msgbox.calls.empty());
    EXPECT_EQ(h.LogErrori(), "");

    const std::string log = h.LogSessione();
    EXPECT_NE(log.find(" <<< Trasmissione Ordine >>>\r\n"), std::string::npos);
    EXPECT_NE(log.find(" <<< Ricezione mancanti >>>\r\n"), std::string::npos);
    EXPECT_NE(log.find("TX:" + RecordAttesi(l.famiglia)[1] + "\r\n"), std::string::npos);
    EXPECT_NE(log.find("RX:SI\r\n"), std::string::npos);
}

TEST(SessionRoadTest, OrderOverTcpAndAnswerFilesByteForByteInEveryLayout) {
    for (const Layout& l : {Layout{"ORDINE", "020001****", 13, 45}, Layout{"DESCRIZ-MAN", "020003****", 42, 46},
                            Layout{"DESCRIZ-ALL", "020006****", 62, 46}}) {
        SCOPED_TRACE(l.interfaccia);
        SessioneConLayout(l);
    }
}

TEST(SessionRoadTest, OrderOverTheModemEmulator) {
    peers::Script script;
    OrdineAccettato(script, "020001****");
    script.push_back(peers::Hold());
    Risposta(script, Testata(2));
    Risposta(script, "0001" + PadRight("PRD4", 9) + "0012");
    Risposta(script, "9999" + kCodice);
    peers::ModemEmulator modem({peers::ModemCall{"CONNECT 31200", script}});

    SessionHarness h;
    h.UsaModem(modem.DevicePath());
    h.DopoSvuotamento(20, [&] { modem.Release(); });
    h.Impostazioni({Riga("Connect", "Grossista Modem"), Riga("Code", kCodice), Riga("Mode", "NORMALE"),
                    Riga("Phone 1", " 0212345 "), Riga("CommPort", "1"), Riga("Interface", "ORDINE"),
                    Riga("ModeIFCK", "NO"), Riga("DispOrdine", "NO")});
    h.Ordine(FileOrdine());

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(modem.WaitCalls(1)) << ::testing::PrintToString(modem.Errors()) << h.LogSessione() << h.LogFunzioni();
    EXPECT_TRUE(modem.Errors().empty()) << ::testing::PrintToString(modem.Errors());
    EXPECT_EQ(h.Passi(), (std::vector<int>{3, 5, 15, 30, 20, 45, 999})) << h.LogSessione();
    const auto cmds = modem.Commands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[0], "ATH0");
    EXPECT_EQ(cmds[1], "AT&FE0V1&D2X1");
    EXPECT_EQ(cmds[2], "ATDT0212345");
    EXPECT_EQ(h.p.impostazioni.sSpeedComm, "31200");
    EXPECT_EQ(h.Leggi("ordseq.rst"), PadRight("PRD4", 9) + "0012\r\n");
    EXPECT_FALSE(h.Esiste("abort.dat"));
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_FALSE(h.p.MSComm().PortOpen());  // closed at the end over the modem
    EXPECT_EQ(h.LogErrori(), "");
}

}  // namespace
}  // namespace morven

namespace morven {
namespace {

TEST(SessionRoadTest, ComprojectOrderOverTheModem) {
    const std::string e1 = PadRight("PRD1", 9) + "003" + "3" + PadRight("NON DISPONIBILE", 28);
    const std::string e2 = PadRight("PRD3", 9) + "009" + "5" + PadRight("SOSTITUITO", 28);
    peers::Script script = {
        peers::Expect("2" + testing::kCodice),
        peers::Send("ACK"),
        peers::Expect("303" + PadRight("PRD1", 9) + "003" + PadRight("PRD2", 9) + "006" + PadRight("PRD3", 9) + "009" +
                      "0018"),
        peers::Send("ACK"),
        peers::Expect("5000"),
        peers::Send("ACK"),
        peers::Send(testing::kCodice + " ORDINE RICEVUTO"),
        peers::Expect("ACK"),
        peers::Send("902" + e1 + e2),
        peers::Expect("ACK"),
        peers::Send("5000Grazie"),
        peers::Expect("ACK"),
    };
    peers::ModemEmulator modem({peers::ModemCall{"CONNECT 9600", script}});
    testing::SessionHarness h;
    h.UsaModem(modem.DevicePath());
    h.Impostazioni({Riga("Connect", "Grossista CPJ"), Riga("Code", testing::kCodice), Riga("Mode", "NORMALE"),
                    Riga("Phone 1", "555"), Riga("Interface", "CPJ"), Riga("ModeIFCK", "NO"),
                    Riga("DispOrdine", "NO")});
    h.Ordine(testing::FileOrdine(3));
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(modem.WaitCalls(1));
    EXPECT_TRUE(modem.Errors().empty()) << ::testing::PrintToString(modem.Errors());
    EXPECT_EQ(h.Passi(), (std::vector<int>{3, 5, 15, 30, 20, 46, 999}));
    const std::string m1 = PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3";
    const std::string m2 = PadRight("PRD3", 9) + "0009" + PadRight("SOSTITUITO", 28) + "5";
    EXPECT_EQ(h.Leggi("ordseq.rst"), m1.substr(0, 13) + "\r\n" + m2.substr(0, 13) + "\r\n");
    EXPECT_EQ(h.Leggi("ordseq.man"), testing::kCodice + std::string(33, ' ') + "\r\n" + m1 + "\r\n" + m2 + "\r\n");
    EXPECT_NE(h.Leggi("msgrx.txt").find("\r\nGrazie\r\n"), std::string::npos);
    EXPECT_FALSE(h.Esiste("abort.dat"));
    EXPECT_EQ(h.t.end.calls, 1);
}

}  // namespace
}  // namespace morven

namespace morven {
namespace {

TEST(SessionRoadTest, OutsideProgramOrderConvertedBeforeAndAnswerAfter) {
    const std::string codice = "CLI001234";
    const std::string coda = codice + "0042" + "0000" + "0002" + "020001****" + "      ";
    const std::string voce = PadRight("PRD1", 9) + "0003";
    peers::Script script;
    for (const auto& r : {peers::Record("0000" + coda), peers::Record("0001" + PadRight("PRD1", 9) + "0003" +
                                                                      PadRight("PRD2", 9) + "0006"),
                          peers::Record("9999" + coda)}) {
        script.push_back(peers::Expect(r));
        script.push_back(peers::Send("SI"));
    }
    testing::Risposta(script, "0000" + PadRight(codice, 17) + "0001");
    testing::Risposta(script, "0001" + voce);
    testing::Risposta(script, "9999" + codice);
    peers::FakeWholesaler w({script});
    testing::LowPortRelay relay(w.Port());

    testing::SessionHarness h;
    h.UsaTcp();
    auto righe = ImpostazioniTcp(relay.Port(), "ORDINE");
    righe[1] = Riga("Code", codice);
    righe.push_back(Riga("CSF", "YES"));
    h.Impostazioni(righe);
    h.Scrivi("tra.dat", "CCSFCOD001000042\r\nPPRD1     000003\r\nPPRD2     000006\r\n");
    h.Ordine({"stale"});  // replaced from tra.dat before it is read

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(w.WaitScripts(1));
    EXPECT_TRUE(w.Errors().empty()) << ::testing::PrintToString(w.Errors());
    EXPECT_EQ(h.Passi(), (std::vector<int>{5, 15, 30, 20, 45, 999}));
    EXPECT_EQ(h.Leggi("ordseq.txt"), codice + "0042\r\n" + PadRight("PRD1", 9) + "0003\r\n" + PadRight("PRD2", 9) +
                                         "0006\r\n");
    const std::string ric = "CCSFCOD001000042" "PPRD1     " "0" "0" "0003" "Z" + codice;
    EXPECT_EQ(h.Leggi("ric.000"), PadRight(ric, 128, "0") + "\r\n");
}

}  // namespace
}  // namespace morven
