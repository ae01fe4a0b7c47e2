// The real MorvenClient binary in a batch run whose request needs a window (documents, PHT order) and has
// no screen: the document request is answered as cancelled at once and logged, and the run makes no call;
// the PHT order window is not opened and the request file handed in with /FILEIN: goes as it is. Each run
// ends by itself with MorvenClient.end, and the handed-in file is never deleted or changed.
#include "platform/core/files.h"
#include "platform/core/process.h"
#include "tests/client/app/run_client.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace morven {
namespace {

std::string Riga(std::string chiave, const std::string& valore) {
    chiave.resize(10, ' ');
    return chiave + ":" + valore + "\r\n";
}

TEST(RequestWindowsBatch, WithoutAScreenTheRunEndsWithTheEndMarker) {
    const struct {
        const char* caso;
        const char* richiesta;
        const char* compatibilita;  // documents are asked through the window only in 2003-compatibility mode
        const char* finestra;
    } casi[] = {
        {"documents", "RichDocs", "YES", "FrmRicDocumenti :"},
        {"PHT order", "OrdinePht", "NO", "finestra FrmOrdinePht non disponibile, si usa IFCK05_IN_GESTIONALE.DAT"},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(k.caso);
        morven::testing::TempDir app;
        ReplaceFileAtomically(app / "MvnConnBT01.par",
                              Riga("Connect", "Grossista") + Riga("Code", "12345") + Riga("Mode", "FTP") +
                                  Riga("Interface", "ORDINE") + Riga("ModeIFCK", "YES") +
                                  Riga("Comp-MVN", k.compatibilita) +
                                  Riga(k.richiesta, "YES"));
        ReplaceFileAtomically(app / "IFCK05_IN_GESTIONALE.DAT", "richiesta del gestionale\r\n");
        ReplaceFileAtomically(app / "MorvenClient.end", "old\r\n");
        const ProcessResult r = morven::testing::EseguiMorvenClient(
            app.path(), {"/FILEIN:IFCK05_IN_GESTIONALE.DAT", "/BLKRUN:BT01"}, 50, 30000);

        ASSERT_TRUE(r.started) << r.error;
        EXPECT_TRUE(r.exited);
        EXPECT_FALSE(r.timedOut);
        std::string log, fine, richiesta;
        ReadWholeFile(app / "MorvenClient.log", log);
        ASSERT_TRUE(ReadWholeFile(app / "MorvenClient.end", fine)) << log;
        EXPECT_NE(fine, "old\r\n") << log;
        EXPECT_NE(log.find(k.finestra), std::string::npos) << log;
        ASSERT_TRUE(ReadWholeFile(app / "IFCK05_IN_GESTIONALE.DAT", richiesta));
        EXPECT_EQ(richiesta, "richiesta del gestionale\r\n");
    }
}

}  // namespace
}  // namespace morven
