// The IFCK answer into the older answer work files: every header code, the short header, shortage and
// availability rows with their columns, and the files byte for byte.
#include "client/session/answer_conversion.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "client/engine/programma.h"
#include "client/engine/shortage_receive.h"
#include "client/engine/testing/test_program.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "tests/platform/core/temp_dir.h"

namespace morven {
namespace {

namespace fs = std::filesystem;

const std::string kAnswers = std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/answers/";
const char* const kWorkFiles[] = {"ordseq.rst", "ordseq.man", "ordseq.ma1", "ordseq2006.man"};

// A record with each text at its 1-based column, blanks in between.
std::string Record(std::initializer_list<std::pair<int, std::string>> fields) {
    std::string r;
    for (const auto& [col, text] : fields) {
        if (r.size() < static_cast<std::size_t>(col - 1 + text.size())) r.resize(col - 1 + text.size(), ' ');
        r.replace(col - 1, text.size(), text);
    }
    return r;
}

struct ConversionTest : ::testing::Test {
    testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;

    ConversionTest() { p.impostazioni.sConnect = "Grossista"; }
    std::string Read(const std::string& name) const {
        std::string s;
        ReadWholeFile(dir / name, s);
        return s;
    }
    std::string FunctionLog() const { return Read("MorvenClient.log"); }
    std::string Answer(const std::string& bytes) const {
        ReplaceFileAtomically(dir / "IFCK02_OUT_MORVEN.DAT", bytes);
        return dir / "IFCK02_OUT_MORVEN.DAT";
    }
    void OldAnswers() const {
        for (const char* f : kWorkFiles) ReplaceFileAtomically(dir / f, "vecchio\r\n");
        ReplaceFileAtomically(dir / "abort.dat", "Trasmissione Iniziata\r\n");
    }
};

TEST_F(ConversionTest, EveryHeaderCodeOfTheFixtureAnswers) {
    const struct {
        const char* file;         // answer fixture, or an inline answer below
        const char* bytes;
        bool result, workFiles, ended;
        const char* msgrx;        // nullptr: not written
        const char* box;          // nullptr: no box
    } cases[] = {
        {"IFCK02_OUT_T000.DAT", nullptr, true, true, false, "Consegna prevista domani mattina\r\n", nullptr},
        {"IFCK02_OUT_T115.DAT", nullptr, true, true, false, nullptr, nullptr},
        {"IFCK02_OUT_T116.DAT", nullptr, false, false, false, "Ordine non accettato\r\n", nullptr},
        {"IFCK02_OUT_NOHDR.DAT", nullptr, false, false, true, nullptr, "Errore Collegamento ERR :P444"},
        {nullptr, "T999HDRFILLER0000000  RIF                 x\r\n", false, false, true, nullptr,
         "Errore Collegamento ERR :T999"},
        // Nothing at all: the header is "000000000", which no wholesaler sends.
        {nullptr, "", false, false, true, nullptr, "Errore Collegamento ERR :0000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file ? c.file : c.bytes);
        OldAnswers();
        fs::remove(dir / "msgrx.txt");
        t.msgbox.calls.clear();
        t.end.calls = 0;
        p.sessione.bProgrammaTerminato = false;
        std::string bytes = c.bytes ? c.bytes : "";
        if (c.file) {
            ASSERT_TRUE(ReadWholeFile(kAnswers + c.file, bytes));
        }
        EXPECT_EQ(ConvertiMancantiA2003(p, Answer(bytes), "x"), c.result);
        for (const char* f : kWorkFiles) EXPECT_EQ(fs::exists(dir / f), c.workFiles) << f;
        // abort.dat goes as soon as the header is one of the wholesaler's answers, and only then.
        EXPECT_EQ(fs::exists(dir / "abort.dat"), c.box != nullptr);
        if (c.msgrx) {
            EXPECT_EQ(Read("msgrx.txt"), c.msgrx);
        }
        EXPECT_EQ(fs::exists(dir / "msgrx.txt"), !c.box);
        EXPECT_EQ(t.end.calls, c.ended ? 1 : 0);
        if (c.box) {
            ASSERT_EQ(t.msgbox.calls.size(), 1u);
            EXPECT_EQ(t.msgbox.calls[0].prompt, c.box);
            EXPECT_EQ(t.msgbox.calls[0].style, 16);
            EXPECT_EQ(t.msgbox.calls[0].title, "Connessione con Grossista");
        } else {
            EXPECT_TRUE(t.msgbox.calls.empty());
        }
    }
    EXPECT_NE(FunctionLog().find("Errore Testata Mancanti : T999HDRFILLER"), std::string::npos) << FunctionLog();
    EXPECT_NE(FunctionLog().find("Errore Testata Mancanti : 000000000\r\n"), std::string::npos) << FunctionLog();
}

TEST_F(ConversionTest, ShortageAndAvailabilityRowsByteForByte) {
    const std::string header = Record({{1, "T000ABCDEFGHIxxxxxWXYZ"}, {23, "RIF-1"}, {43, "Avviso"}});
    const std::string b20(20, ' ');
    // Columns as the wholesaler sends them: code 2, shortage 20, delivered 25, state 51; description and
    // reason at 100 and 220 in an order answer, at 125 and 165 in an availability answer.
    const struct {
        bool disponibilita;
        int colDesc, colReason;
    } layouts[] = {{false, 100, 220}, {true, 125, 165}};
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.disponibilita ? "availability" : "order");
        const std::string shortage = Record({{1, "P012345678"}, {15, "00010"}, {20, "00123"}, {25, "00000"},
                                             {51, "*"}, {l.colDesc, PadRight("ASPIRINA 500MG", 28)},
                                             {l.colReason, PadRight("Sprovvisto", 20)}, {260, "fine"}});
        // The line ends inside the description: what is there is right-aligned.
        const std::string delivered = Record({{1, "P023456789"}, {15, "00007"}, {20, "00000"}, {25, "00007"},
                                              {l.colDesc, "TACHIPIRINA"}});
        const std::string blankShortage = Record({{1, "P034567890"}, {20, "     "}, {25, "00002"}});
        const std::string offer = Record({{1, "O012345678"}, {15, "20070131"}});
        const std::string shortLine = "P045678901    000050000";  // shortage cut after 4 columns: none
        const std::string bytes = header + "\r\n" + shortage + "\r\n" + offer + "\r\n" + delivered + "\r\n" +
                                  blankShortage + "\r\n" + shortLine + "\r\n";
        p.impostazioni.bDisponibilita = l.disponibilita;
        ASSERT_TRUE(ConvertiMancantiA2003(p, Answer(bytes)));
        EXPECT_EQ(Read("ordseq.rst"), "0123456780123\r\n");
        EXPECT_EQ(Read("ordseq.man"), "ABCDEFGHIWXYZ" + std::string(29, ' ') + "\r\n" +
                                          "0123456780123ASPIRINA 500MG              *\r\n");
        EXPECT_EQ(Read("ordseq.ma1"), "ABCDEFGHIWXYZ" + std::string(49, ' ') + "\r\n" +
                                          "0123456780123ASPIRINA 500MG              *Sprovvisto          \r\n" +
                                          "023456789" "0007" "                 TACHIPIRINA@" + b20 + "\r\n" +
                                          "0345678900002" + std::string(28, ' ') + "@" + b20 + "\r\n" +
                                          "0456789010000" + std::string(28, ' ') + "@" + b20 + "\r\n");
        EXPECT_EQ(Read("ordseq2006.man"), bytes);
        EXPECT_EQ(Read("msgrx.txt"), "Avviso\r\n");
    }
}

TEST_F(ConversionTest, AShortHeaderIsFilledAndItsLinesStayShort) {
    ASSERT_TRUE(ConvertiMancantiA2003(p, Answer("T115ABC\r\nX testo libero\r\n")));
    EXPECT_EQ(Read("ordseq2006.man"), "T115ABC000000000\r\nX testo libero\r\n");
    EXPECT_EQ(Read("ordseq.man"), "ABC000000" + std::string(29, ' ') + "\r\n");
    EXPECT_EQ(Read("ordseq.rst"), "");
    EXPECT_EQ(Read("msgrx.txt"), "\r\n");
}

TEST_F(ConversionTest, QuantitiesBeyondFourDigitsAreLoggedNotSilentlyCut) {
    const std::string bytes = "T000HDRFILLER0000000  RIF\r\n" +
                              Record({{1, "P011111111"}, {20, "12345"}, {25, "00000"}}) + "\r\n" +
                              Record({{1, "P022222222"}, {20, "00000"}, {25, "54321"}}) + "\r\n";
    ASSERT_TRUE(ConvertiMancantiA2003(p, Answer(bytes)));
    EXPECT_EQ(Read("ordseq.rst"), "0111111112345\r\n");
    const std::string log = FunctionLog();
    EXPECT_NE(log.find("ConvertiMancantiA2003 :quantita' 12345 del prodotto 011111111"), std::string::npos) << log;
    EXPECT_NE(log.find("ConvertiMancantiA2003 :quantita' 54321 del prodotto 022222222"), std::string::npos) << log;
}

TEST_F(ConversionTest, AMissingAnswerIsLoggedAndChangesNothing) {
    OldAnswers();
    const std::string file = dir / "IFCK02_OUT_MORVEN.DAT";
    EXPECT_FALSE(ConvertiMancantiA2003(p, file));
    EXPECT_NE(FunctionLog().find("ConvertiMancantiA2003 :File :" + file + " non presente"), std::string::npos)
        << FunctionLog();
    for (const char* f : kWorkFiles) EXPECT_EQ(Read(f), "vecchio\r\n");
    EXPECT_TRUE(fs::exists(dir / "abort.dat"));
    EXPECT_TRUE(t.msgbox.calls.empty());
}

// The work files are bounded as answer files are: an answer the displays could read whose short lines would
// make a work file larger than the bound converts into nothing, keeps abort.dat, and leaves no copy behind.
TEST_F(ConversionTest, AConversionPastTheBoundLeavesNoWorkFileAndKeepsAbortDat) {
    const std::string riga = Record({{1, "P0"}, {20, "00001"}}) + "\r\n";  // 26 bytes, 64 in ordseq.ma1
    const struct {
        const char* nome;
        std::size_t righe;
        bool convertita;
    } casi[] = {{"within", 1000, true}, {"past", 10u * 1024u * 1024u / riga.size(), false}};
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        OldAnswers();
        fs::remove(dir / "msgrx.txt");
        std::string bytes = "T000HDRFILLER0000000  RIF\r\n";
        bytes.reserve(bytes.size() + c.righe * riga.size());
        for (std::size_t k = 0; k < c.righe; ++k) bytes += riga;
        ASSERT_LE(bytes.size(), kMaxFileRisposta);  // the answer itself is within the bound
        EXPECT_EQ(ConvertiMancantiA2003(p, Answer(bytes)), c.convertita);
        for (const char* f : kWorkFiles) EXPECT_EQ(fs::exists(dir / f), c.convertita) << f;
        EXPECT_EQ(fs::exists(dir / "abort.dat"), !c.convertita);
        if (c.convertita) {
            EXPECT_EQ(Read("ordseq.rst").size(), c.righe * 15);
        } else {
            EXPECT_FALSE(fs::exists(dir / "msgrx.txt"));
            EXPECT_NE(FunctionLog().find("Risposta oltre"), std::string::npos);
        }
        for (const auto& e : fs::directory_iterator(dir.path()))
            EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    }
}

}  // namespace
}  // namespace morven
