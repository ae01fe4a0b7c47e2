// News unpacking on the real ugtactx: archives made by GNU tar and gzip, unpacked into the news folder, the
// documents and PHT answers moved out, the batch-run renames, a broken archive and the emptying of the folder.
#ifdef SBGTACTX_MODULE
#include "client/engine/news_unpack.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client/engine/ugtactx_control.h"
#include "engine_test_support.h"
#include "tests/client/engine/news_archive.h"
#include "tests/platform/com/temp_registry.h"

namespace morven {
namespace {

namespace fs = std::filesystem;

const auto& Scrivi = testing::WriteBytes;
const auto& Leggi = testing::ReadBytes;

struct NewsUnpackTest : ::testing::Test, testing::EngineFixture {
    TempRegistry reg;
    // An application folder whose own path holds "00000": only the file name is rewritten.
    fs::path app = fs::path(dir.path()) / "farmacia00000";
    fs::path news = app / "news";
    fs::path server = fs::path(dir.path()) / "server";

    NewsUnpackTest() {
        EXPECT_EQ(RegistraUgtactxSeManca({SBGTACTX_MODULE}), com::S_OK);
        p.oggetti.oUgtactx = &p.Possiedi(std::make_unique<UgtactxControl>());
        p.percorsi.sPathApp = app.string();
        p.percorsi.sFileImpostazioni = (app / "MvnConn03.par").string();
        p.opzioni.sSorgenteIFCK = "FARMA";
        fs::create_directories(news);
    }
    std::string LogFunzioni() { return Leggi(app / "MorvenClient.log"); }

    // The archive as the wholesaler's server packs it, with a member that tries to leave the folder.
    void Archivio(const std::vector<std::pair<std::string, std::string>>& membri) {
        std::vector<std::string> nomi;
        for (const auto& [nome, dati] : membri) {
            Scrivi(server / "a" / nome, dati);
            nomi.push_back(nome);
        }
        Scrivi(server / "fuori.txt", "escape");
        nomi.push_back("../fuori.txt");
        ASSERT_TRUE(testing::TarGz(server / "a", nomi, news / "notizie.gz", {"-P"}));
    }
};

TEST_F(NewsUnpackTest, UnpacksAndMovesTheFirstDocumentsAndPhtAnswers) {
    Archivio({{"IFCK03_OUT_00000.DAT", "documenti\r\n"},
              {"IFCK03_OUT_00001.DAT", "secondi\r\n"},
              {"IFCK06A.DAT", std::string("\x00\x01pht\xff", 6)},
              {"eaggdati", "Listino nuovo\r\n"}});
    // What an earlier archive left: it must not be taken for this one's.
    Scrivi(news / "IFCK03OLD.DAT", "vecchio");
    Scrivi(news / "MorvenUpgrade.bat", "vecchio");
    Scrivi(news / "ftp.nws", "x");
    Scrivi(app / "PHT/MvnConn03/pht.dat", "vecchio");

    EXPECT_EQ(ScompattaNotizie(p), -1);
    EXPECT_EQ(LogFunzioni(), "");
    EXPECT_EQ(Leggi(app / "IFCK03_OUT_FARMA.DAT"), "documenti\r\n");
    EXPECT_FALSE(fs::exists(news / "IFCK03_OUT_00000.DAT"));
    EXPECT_EQ(Leggi(news / "IFCK03_OUT_00001.DAT"), "secondi\r\n");  // only the first moves
    EXPECT_FALSE(fs::exists(news / "IFCK03OLD.DAT"));
    EXPECT_FALSE(fs::exists(app / "IFCK03OLD.DAT"));
    EXPECT_EQ(Leggi(app / "PHT/MvnConn03/pht.dat"), std::string("\x00\x01pht\xff", 6));
    EXPECT_FALSE(fs::exists(news / "IFCK06A.DAT"));
    EXPECT_EQ(Leggi(news / "eaggdati"), "Listino nuovo\r\n");
    EXPECT_FALSE(fs::exists(news / "MorvenUpgrade.bat"));
    EXPECT_FALSE(fs::exists(news / "ftp.nws"));
    EXPECT_FALSE(fs::exists(news / "notizie.gz"));
    EXPECT_TRUE(fs::exists(news / "notizie"));
    EXPECT_TRUE(fs::is_directory(app / "TEMP"));
    // Nothing left the news folder on its own.
    EXPECT_FALSE(fs::exists(app / "fuori.txt"));
    EXPECT_FALSE(fs::exists(fs::path(dir.path()) / "fuori.txt"));
}

TEST_F(NewsUnpackTest, BatchRunRenamesPriceListsAndNeverReplacesATakenName) {
    Archivio({{"listino", "L"}, {"agglist", "A1"}, {"agglistIVC", "A2"}, {"CONDIZ", "C"}, {"aggcondIVC", "G"},
              {"IFCK03_OUT_00000.DAT", "d"}});
    EXPECT_EQ(BLKScompattaNotizie(p), -1);
    EXPECT_EQ(Leggi(news / "OLTR-listino"), "L");
    EXPECT_EQ(Leggi(news / "OLTR-listagg"), "A1");
    EXPECT_EQ(Leggi(news / "agglistIVC"), "A2");  // the name was taken: it keeps its own
    EXPECT_EQ(Leggi(news / "OLTR-condiz"), "C");  // later renames still run
    EXPECT_EQ(Leggi(news / "OLTR-condagg"), "G");
    EXPECT_TRUE(fs::exists(news / "IFCK03_OUT_00000.DAT"));  // no moves in a batch run
    EXPECT_NE(LogFunzioni().find("rinomina di agglistIVC non eseguita: OLTR-listagg esiste gia'"), std::string::npos)
        << LogFunzioni();
}

TEST_F(NewsUnpackTest, BrokenArchiveIsLoggedAndKept) {
    Scrivi(news / "notizie.gz", "non e' un archivio");
    Scrivi(news / "IFCK06A.DAT", "pht");
    EXPECT_EQ(ScompattaNotizie(p), -1);
    EXPECT_NE(LogFunzioni().find("EspandiFileTarGz :Impossibile Espandere :" + (news / "notizie").string()),
              std::string::npos)
        << LogFunzioni();
    EXPECT_EQ(Leggi(news / "notizie.gz"), "non e' un archivio");
}

TEST_F(NewsUnpackTest, CancellaNewsEmptiesTheFolderButKeepsSubfolders) {
    Scrivi(news / "a.txt", "a");
    Scrivi(news / "b", "b");
    Scrivi(news / "sotto/c.txt", "c");
    EXPECT_EQ(CancellaNews(p), -1);
    EXPECT_FALSE(fs::exists(news / "a.txt"));
    EXPECT_FALSE(fs::exists(news / "b"));
    EXPECT_TRUE(fs::exists(news / "sotto/c.txt"));
    EXPECT_EQ(LogFunzioni(), "");
    EXPECT_EQ(CancellaNews(p), 0);  // nothing to delete: logged
    EXPECT_NE(LogFunzioni().find("CancellaNews :"), std::string::npos);
}

}  // namespace
}  // namespace morven
#endif
