// The real MorvenClient binary in an IFCK batch run as the management software makes it
// (/FILEIN:IFCK01_IN_<source>.DAT /BLKRUN:01) against the fake wholesaler over TCP: its own request goes out
// in numbered blocks, the answer lands beside it, and the program ends by itself with MorvenClient.end.
#include "platform/core/files.h"
#include "platform/core/process.h"
#include "tests/client/app/run_client.h"
#include "tests/client/session/ifck_session_scripts.h"
#include "tests/client/session/low_port_relay.h"
#include "tests/peers/peers.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

namespace peers = morven::peers;

TEST(EndToEnd, IfckBatchRunSendsItsRequestInBlocksAndEnds) {
    morven::testing::TempDir app;
    const std::string codice = "CLIENTE01";
    const std::string richiesta = "T200500101000000000          0000\r\nP012745168    000020NNN\r\nZ00001\r\n";
    const std::string risposta = morven::testing::FileRisposta(25);
    peers::Script script;
    morven::testing::BlocchiAccettati(script, morven::testing::BlocchiFile(richiesta, codice, 'D'));
    for (const auto& b : morven::testing::BlocchiFile(risposta, codice, 'D')) morven::testing::BloccoInviato(script, b);
    peers::FakeWholesaler grossista({script});
    morven::testing::LowPortRelay rinvio(grossista.Port());

    std::string impostazioni;
    const std::pair<const char*, std::string> righe[] = {
        {"Connect", "Grossista IFCK"}, {"Code", codice},     {"Mode", "INTERNET"},  {"Ip1", "127.0.0.1"},
        {"Porta", std::to_string(rinvio.Port())},           {"AutoIncPor", "NO"},  {"Interface", "DESCRIZ-MAN"},
        {"DispOrdine", "NO"},          {"ModeIFCK", "YES"},  {"Comp-MVN", "NO"},    {"TimeMaxOrd", "60"},
    };
    for (const auto& [k, v] : righe) {
        std::string chiave = k;
        chiave.resize(10, ' ');
        impostazioni += chiave + ":" + v + "\r\n";
    }
    ReplaceFileAtomically(app / "MvnConn01.par", impostazioni);
    ReplaceFileAtomically(app / "IFCK01_IN_GEST.DAT", richiesta);

    const ProcessResult r = morven::testing::EseguiMorvenClient(
        app.path(), {"/FILEIN:IFCK01_IN_GEST.DAT", "/BLKRUN:01"}, 20, 60000);
    grossista.Stop();
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.exited);
    EXPECT_FALSE(r.timedOut);

    std::string log, ricevuta;
    ReadWholeFile(app / "MorvenClient.log", log);
    EXPECT_TRUE(grossista.Errors().empty()) << ::testing::PrintToString(grossista.Errors()) << log;
    EXPECT_TRUE(FileExists(app / "MorvenClient.end")) << log;
    EXPECT_FALSE(FileExists(app / "abort.dat"));
    ASSERT_TRUE(ReadWholeFile(app / "IFCK01_OUT_GEST.DAT", ricevuta)) << log;
    EXPECT_EQ(ricevuta, risposta);
}

}  // namespace
}  // namespace morven
