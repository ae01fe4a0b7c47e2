// The shortage receivers on the in-memory line: what is answered, what is stored, and when.
#include "client/engine/shortage_receive.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "client/engine/frames.h"
#include "client/engine/session.h"
#include "platform/core/text.h"
#include "tests/client/engine/engine_test_support.h"
#include "tests/client/engine/wholesaler_fake.h"

namespace morven {
namespace {

struct ReceiveTest : ::testing::Test, testing::EngineFixture {
    testing::GrossistaFinto g;

    ReceiveTest() {
        t.clock.SetAutoStep(20);
        p.impostazioni.bModoInternet = true;
        p.impostazioni.sCodiceCliente = "CLI001";
        p.impostazioni.nTipoInterfaccia = 2;
        p.sessione.nTimeMaxCorrente = 600;
        p.sessione.nTimeOutRecord = 30;
        p.sessione.sRiferimentoTestata = "0042";
        p.percorsi.sFileLogSessione = "s.log";
        g.Collega(t.socket);
    }
    // The wholesaler's lines, all waiting on the line from the start.
    void Inizia(const std::vector<std::string>& lines) {
        for (const auto& l : lines) t.socket.Feed(CodificaTcp(l) + "\r\n");
    }
};

const std::string kVoce = PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3";

TEST_F(ReceiveTest, StandardAnswerStoresOnlyWholeEntriesAndLogsACountMismatch) {
    Inizia({FormaControllata("0000" + PadRight("CLI001", 17) + "0005"), FormaControllata("0001" + kVoce + "ABCDE"),
            FormaControllata("9999CLI001")});
    EXPECT_TRUE(RxLORQ(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoFineOrdine);
    EXPECT_EQ(g.ricevute, (std::vector<std::string>{"SI", "SI", "SI"}));
    EXPECT_EQ(Read("ordseq.man"), "CLI0010042" + std::string(29, ' ') + "\r\n" + kVoce + "\r\n");
    EXPECT_TRUE(p.sessione.bMancantiRicevuti);
    const std::string log = Read("log/20261210/" + p.percorsi.sFileLogSessione);
    EXPECT_NE(log.find("voce incompleta"), std::string::npos);
    EXPECT_NE(log.find("Record ricevuti 1 diversi dalla testata 5"), std::string::npos);
}

TEST_F(ReceiveTest, StandardAnswerNextStepByClass) {
    for (const auto& [cls, step] : std::vector<std::pair<int, int>>{{1, 45}, {2, 46}, {3, 33}}) {
        SCOPED_TRACE(cls);
        p.impostazioni.nTipoInterfaccia = cls;
        g.Collega(t.socket);
        Inizia({FormaControllata("0000" + PadRight("CLI001", 17) + "0001"), FormaControllata("9999CLI001")});
        EXPECT_TRUE(RxLORQ(p));
        EXPECT_EQ(NumeroPasso(p.sessione.nPassoSessione), step);
        // Classes 1 and 2 close the socket once the answer is in; news follow on the line for class 3.
        EXPECT_EQ(t.socket.State() == TcpSocket::sckConnected, cls == 3);
    }
}

TEST_F(ReceiveTest, BrokenOffAnswerLeavesNoHalfFiles) {
    Write("ordseq.man", "");
    std::remove((dir / "ordseq.man").c_str());
    Inizia({FormaControllata("0000" + PadRight("CLI001", 17) + "0002"), FormaControllata("0001" + kVoce)});
    EXPECT_FALSE(RxLORQ(p));  // the wholesaler falls silent after record 1
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);
    EXPECT_FALSE(std::filesystem::exists(dir / "ordseq.man"));
    for (const char* other : {"ordseq.rst", "ordseq.ma1", "msgrx.txt"})
        EXPECT_FALSE(std::filesystem::exists(dir / other)) << other;
}

TEST_F(ReceiveTest, ComprojectAnswer) {
    const std::string e1 = PadRight("PRD1", 9) + "003" + "3" + PadRight("NON DISPONIBILE", 28);
    const std::string e2 = PadRight("PRD2", 9) + "010" + "5" + PadRight("SOSTITUITO", 28);
    const std::string nove = "902" + e1 + e2;
    Inizia({"", "   ", "9021", nove, nove, "  5000Consegna domani"});
    EXPECT_TRUE(RxComproject(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoFineOrdine);
    // The blank lines are skipped, a bad length is refused, a repeat acknowledged again.
    EXPECT_EQ(g.ricevute, (std::vector<std::string>{"NAK", "ACK", "ACK", "ACK"}));
    const std::string b20(20, ' ');
    const std::string m1 = PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3";
    const std::string m2 = PadRight("PRD2", 9) + "0010" + PadRight("SOSTITUITO", 28) + "5";
    EXPECT_EQ(Read("ordseq.rst"), m1.substr(0, 13) + "\r\n" + m2.substr(0, 13) + "\r\n");
    EXPECT_EQ(Read("ordseq.man"), "CLI001" + std::string(33, ' ') + "\r\n" + m1 + "\r\n" + m2 + "\r\n");
    EXPECT_EQ(Read("ordseq.ma1"), "CLI001" + std::string(33, ' ') + b20 + "\r\n" + m1 + b20 + "\r\n" + m2 + b20 + "\r\n");
    EXPECT_NE(Read("msgrx.txt").find("\r\nConsegna domani\r\n"), std::string::npos);
}

// Every entry the check counted in a record it let through is stored: a record acknowledged to the wholesaler
// never loses one of its entries.
TEST_F(ReceiveTest, ComprojectStoresEveryEntryTheCheckCounted) {
    const std::string e1 = PadRight("PRD1", 9) + "003" + "3" + PadRight("NON DISPONIBILE", 28);
    for (const std::string conteggio : {"01", " 1", "+1"}) {
        SCOPED_TRACE(conteggio);
        g.Collega(t.socket);
        g.ricevute.clear();
        Inizia({"9" + conteggio + e1, "5000"});
        ASSERT_TRUE(RxComproject(p));
        EXPECT_EQ(g.ricevute, (std::vector<std::string>{"ACK", "ACK"}));
        EXPECT_EQ(Read("ordseq.rst"), PadRight("PRD1", 9) + "0003\r\n");
    }
}

TEST_F(ReceiveTest, ComprojectAvailabilityEndRecordGetsNoAnswer) {
    p.impostazioni.bDisponibilita = true;
    Inizia({"5000"});
    EXPECT_TRUE(RxComproject(p));
    EXPECT_TRUE(g.ricevute.empty());
}

TEST_F(ReceiveTest, SilenceAcrossMidnightStillEndsByTheRecordLimit) {
    TestClock sera(DateTime{2026, 12, 10, 23, 59, 50});
    sera.SetAutoStep(20);
    p.oggetti.oClock = &sera;
    p.sessione.nInizioCollegamento = SecondiSessione(p);
    Inizia({FormaControllata("0000" + PadRight("CLI001", 17) + "0002")});
    EXPECT_FALSE(RxLORQ(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);
    const DateTime fine = sera.Now();
    EXPECT_EQ(fine.day, 11);  // past midnight, ended by the 30-second record limit all the same
    EXPECT_LT(fine.SecondsSinceMidnight(), 60);
}

TEST_F(ReceiveTest, ClosedByTheWholesalerEndsAtTwoHundred) {
    p.sessione.bConnessioneChiusa = true;
    EXPECT_FALSE(RxLORQ(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoAbortito);
}

// A wholesaler's message that tells of the modem is a message: over TCP the words are its text.
TEST_F(ReceiveTest, AMessageThatSpeaksOfTheModemIsKept) {
    Write("abort.dat", "ordine\r\n");
    const std::string riga = "Ieri il modem ha dato NO CARRIER, oggi la linea e' buona";
    Inizia({FormaControllata("0000" + PadRight("CLI001", 17) + "0002"),
            FormaControllata("0001INIZIO MESSAGGIO DA GROSSISTA"), FormaControllata("0002" + riga),
            FormaControllata("9999CLI001")});
    EXPECT_TRUE(RxLORQ(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoFineOrdine);
    EXPECT_EQ(g.ricevute, (std::vector<std::string>{"SI", "SI", "SI", "SI"}));
    EXPECT_NE(Read("msgrx.txt").find("\r\n" + riga + "\r\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "abort.dat"));
}

// A wholesaler that answers "SI" after "SI" with records of 8 KB: 9998 records for a 10-line order.
// Numbers and blanks only, so the record sums stay within their 16 bits at every position.
struct Diluvio {
    int nTipo;        // interface class
    bool messaggio;   // the records are message lines, not entries
    int inviati = 0;

    std::string Record(int n) const {
        std::string dati;
        while (dati.size() + 13 <= 8190) dati += PadLeft(std::to_string(n % 8) + "1234567", 13, "0");
        if (messaggio && n == 1) dati = "INIZIO MESSAGGIO DA GROSSISTA";
        return FormaControllata(PadLeft(n, 4, "0") + dati);
    }
    void Collega(testing::GrossistaFinto& g, FakeTcpSocket& s) {
        g.risponde = [this](const std::string& riga) -> std::vector<std::string> {
            if (riga != "SI") return {};
            ++inviati;
            if (inviati > 9998) return {FormaControllata("9999CLI001")};
            return {Record(inviati)};
        };
        s.Feed(CodificaTcp(FormaControllata("0000" + PadRight("CLI001", 17) + "9998")) + "\r\n");
    }
};

// No answer file grows past its bound: the answer that would is a failed answer, with nothing of it left
// (no answer file, no temporary copy), abort.dat kept, and the wholesaler not answered further.
TEST_F(ReceiveTest, AnAnswerPastTheBoundFailsAndLeavesNothing) {
    const struct {
        const char* nome;
        int nTipo;
        bool messaggio;
    } casi[] = {{"entries of 13", 1, false}, {"entries of 42", 2, false}, {"message lines", 2, true}};
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        p.impostazioni.nTipoInterfaccia = c.nTipo;
        Write("abort.dat", "ordine\r\n");
        Write("ordseq.man", "risposta di prima\r\n");
        Write("ordseq.ma1.tmpAbC123", "lasciato da un programma interrotto");
        g.Collega(t.socket);
        g.ricevute.clear();
        t.socket.sCodaRicezione.clear();
        Diluvio d{c.nTipo, c.messaggio};
        d.Collega(g, t.socket);
        p.sessione.nTimeMaxCorrente = 32767;
        p.sessione.nInizioCollegamento = SecondiSessione(p);
        EXPECT_FALSE(RxLORQ(p));
        EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);
        EXPECT_LT(d.inviati, 9998);  // ended at the bound, not by the end of the flood
        EXPECT_TRUE(std::filesystem::exists(dir / "abort.dat"));
        EXPECT_FALSE(p.sessione.bMancantiRicevuti);
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            const std::string nome = e.path().filename().string();
            EXPECT_EQ(nome.find(".tmp"), std::string::npos) << nome;
            if (nome.rfind("ordseq", 0) == 0 || nome == "msgrx.txt") {
                EXPECT_LE(std::filesystem::file_size(e.path()), kMaxFileRisposta) << nome;
            }
        }
        // The answer files are those of before or none, never a part of this answer.
        EXPECT_EQ(Read("ordseq.man"), "risposta di prima\r\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "ordseq.ma1"));
        EXPECT_NE(FunctionLog().find("Risposta oltre"), std::string::npos);
    }
}

// The peak memory of a receive flooded with large records, measured on a child process of its own so the
// other tests' memory does not count: the answer is streamed and bounded, so the peak stays far below
// 250 MB (the child reports its own figure on standard error).
TEST_F(ReceiveTest, AFloodOfLargeRecordsStaysWithinItsMemory) {
    p.impostazioni.nTipoInterfaccia = 1;
    Diluvio d{1, false};
    d.Collega(g, t.socket);
    p.sessione.nTimeMaxCorrente = 32767;
    p.sessione.nInizioCollegamento = SecondiSessione(p);
    std::fflush(nullptr);
    const pid_t figlio = fork();
    ASSERT_GE(figlio, 0);
    if (figlio == 0) {
        const bool ok = RxLORQ(p);
        _exit(!ok && p.sessione.nPassoSessione == kPassoRitenta ? 0 : 1);
    }
    int stato = 0;
    rusage uso{};
    ASSERT_EQ(wait4(figlio, &stato, 0, &uso), figlio);
    ASSERT_TRUE(WIFEXITED(stato));
    EXPECT_EQ(WEXITSTATUS(stato), 0);
    const long piccoMb = uso.ru_maxrss / 1024;  // kilobytes on Linux
    std::cerr << "picco di memoria del diluvio: " << piccoMb << " MB\n";
    EXPECT_LT(piccoMb, 250);
}

}  // namespace
}  // namespace morven
