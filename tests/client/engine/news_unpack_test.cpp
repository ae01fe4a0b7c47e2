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
    EXPECT_EQ(CancellaNews(p), -1);  // nothing to delete is what the call wants: no error in the log
    EXPECT_EQ(LogFunzioni(), "");
}

// The archive's TAR as GNU tar writes it from `cartella` with these arguments, then gzip (or, with
// `comprimi` false, the TAR as it is).
std::string Impacchetta(const fs::path& cartella, const std::vector<std::string>& argomenti, bool comprimi = true) {
    const fs::path tar = cartella.parent_path() / "archivio.tar";
    std::vector<std::string> argv{"tar", "-C", cartella.string(), "-cf", tar.string()};
    argv.insert(argv.end(), argomenti.begin(), argomenti.end());
    if (testing::Wait(testing::Spawn(argv, -1, -1, {})) != 0) return {};
    if (!comprimi) return Leggi(tar);
    if (testing::Wait(testing::Spawn({"gzip", "-f", "-n", tar.string()}, -1, -1, {})) != 0) return {};
    return Leggi(tar.string() + ".gz");
}

struct MembriInCartelle : NewsUnpackTest {
    std::string Log() { return Leggi(app / "log/20261210/sessione.log"); }
    MembriInCartelle() { p.percorsi.sFileLogSessione = "sessione.log"; }
};

// Members in folders, in the "./name" form of `tar -C dir -cf - .`, and names that must stay out.
TEST_F(MembriInCartelle, AreExtractedWithoutTheirFolderNamesAndTheRestIsLogged) {
    const fs::path src = server / "src";
    Scrivi(src / "eaggdati", "lista\r\n");
    Scrivi(src / "listini/listino", "L");
    Scrivi(src / "doc/2026/IFCK03_OUT_00000.DAT", "documenti");
    Scrivi(src / "a/dup.txt", "primo");
    Scrivi(src / "b/dup.txt", "secondo");
    fs::create_symlink("eaggdati", src / "collegamento");
    struct Caso {
        const char* nome;
        std::vector<std::string> argomenti;
    };
    const Caso casi[] = {
        {"./ names", {"--sort=name", "."}},
        {"folder names", {"--sort=name", "eaggdati", "listini", "doc", "a", "b", "collegamento"}},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        fs::remove_all(news);
        fs::remove(app / "log/20261210/sessione.log");
        fs::create_directories(news);
        const std::string gz = Impacchetta(src, c.argomenti);
        ASSERT_FALSE(gz.empty());
        Scrivi(news / "notizie.gz", gz);
        std::string motivo = "?";
        EXPECT_EQ(ScompattaNotizie(p, &motivo), -1);
        EXPECT_EQ(motivo, "");
        EXPECT_EQ(Leggi(news / "eaggdati"), "lista\r\n");
        EXPECT_EQ(Leggi(news / "listino"), "L");
        EXPECT_EQ(Leggi(app / "IFCK03_OUT_FARMA.DAT"), "documenti");
        EXPECT_EQ(Leggi(news / "dup.txt"), "secondo");
        EXPECT_FALSE(fs::exists(fs::symlink_status(news / "collegamento")));
        EXPECT_FALSE(fs::exists(news / "notizie.gz"));
        for (const auto& e : fs::directory_iterator(news)) EXPECT_FALSE(e.is_directory()) << e.path();
        EXPECT_NE(Log().find("collegamento non estratto: collegamento simbolico"), std::string::npos) << Log();
        EXPECT_NE(Log().find("b/dup.txt sostituisce"), std::string::npos) << Log();
    }
    // A member that climbs out of the folder (GNU tar keeps the name with -P).
    fs::remove_all(news);
    fs::create_directories(news);
    Scrivi(server / "fuori.txt", "escape");
    const std::string gz = Impacchetta(src, {"-P", "eaggdati", "../fuori.txt"});
    Scrivi(news / "notizie.gz", gz);
    EXPECT_EQ(ScompattaNotizie(p), -1);
    EXPECT_EQ(Leggi(news / "eaggdati"), "lista\r\n");
    EXPECT_FALSE(fs::exists(news / "fuori.txt"));
    EXPECT_FALSE(fs::exists(app / "fuori.txt"));
    EXPECT_NE(Log().find("membro ../fuori.txt non estratto: il nome esce dalla cartella"), std::string::npos) << Log();
}

// Archives that cannot be unpacked, and archives beyond the bound: each fails with its reason, the received
// archive stays, and nothing of the unpacking is left (no TAR, no member).
TEST_F(MembriInCartelle, ArchivesThatCannotBeUnpackedFailWithTheirReason) {
    const fs::path src = server / "src";
    Scrivi(src / "eaggdati", "lista");
    Scrivi(src / "grande", std::string(20000, 'z'));
    const std::string buono = Impacchetta(src, {"eaggdati"});
    const std::string grande = Impacchetta(src, {"grande"});
    ASSERT_FALSE(buono.empty());
    ASSERT_FALSE(grande.empty());
    std::string danneggiato = buono;
    for (std::size_t i = 12; i < danneggiato.size() - 8; i += 7) danneggiato[i] = static_cast<char>(danneggiato[i] ^ 0x5a);
    // A trailer that claims a small size: the write limit stops the library all the same.
    std::string bugiardo = grande;
    bugiardo.replace(bugiardo.size() - 4, 4, std::string("\x10\x00\x00\x00", 4));
    // Five names for one file: the TAR is small, what it extracts is not.
    Scrivi(src / "uno", std::string(3000, 'u'));
    for (const char* n : {"due", "tre", "quattro", "cinque"}) fs::create_hard_link(src / "uno", src / n);
    const std::string collegati = Impacchetta(src, {"uno", "due", "tre", "quattro", "cinque"});

    struct Caso {
        const char* nome;
        std::string archivio;
        std::uint64_t limite;
        const char* azione;
        const char* perche;
    };
    const Caso casi[] = {
        {"damaged", danneggiato, 1 << 20, "Impossibile Espandere", ""},
        {"cut short", buono.substr(0, buono.size() / 2), 1 << 20, "Impossibile Espandere", ""},
        {"not GZIP", "non e' un archivio", 1 << 20, "Impossibile Espandere", "non e' un archivio GZIP"},
        {"TAR without GZIP", Impacchetta(src, {"eaggdati"}, false), 1 << 20, "Impossibile Espandere",
         "non e' un archivio GZIP"},
        {"announced beyond the bound", grande, 16384, "Impossibile Espandere", "oltre il limite di 16384 byte"},
        {"lying about its size", bugiardo, 16384, "Impossibile Espandere", "oltre il limite di 16384 byte"},
        {"members beyond the bound", collegati, 12000, "Impossibile Estrarre", "i file superano il limite di 12000 byte"},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        fs::remove_all(news);
        fs::create_directories(news);
        Scrivi(news / "notizie", "TAR di ieri");
        Scrivi(news / "notizie.gz", c.archivio);
        p.percorsi.nLimiteNotizieEspanse = c.limite;
        std::string motivo;
        EXPECT_EQ(ScompattaNotizie(p, &motivo), -1);
        const std::string atteso = std::string(c.azione) + " :" + (news / "notizie").string();
        EXPECT_EQ(motivo.rfind(atteso, 0), 0u) << motivo;
        EXPECT_NE(motivo.find(c.perche), std::string::npos) << motivo;
        EXPECT_EQ(Leggi(news / "notizie.gz"), c.archivio);
        std::vector<std::string> resto;
        for (const auto& e : fs::directory_iterator(news)) resto.push_back(e.path().filename().string());
        EXPECT_EQ(resto, std::vector<std::string>{"notizie.gz"});
        EXPECT_NE(LogFunzioni().find("EspandiFileTarGz :" + atteso), std::string::npos) << LogFunzioni();
    }
    // Within the bound the same archives unpack.
    for (const std::string* a : {&grande, &collegati}) {
        fs::remove_all(news);
        fs::create_directories(news);
        Scrivi(news / "notizie.gz", *a);
        p.percorsi.nLimiteNotizieEspanse = 1 << 20;
        std::string motivo;
        ScompattaNotizie(p, &motivo);
        EXPECT_EQ(motivo, "");
    }
    EXPECT_EQ(Leggi(news / "cinque"), std::string(3000, 'u'));
}

// A GZIP that stores a name of its own for the TAR (gzip without -n): the TAR is taken under the news name.
TEST_F(MembriInCartelle, AGzipStoringAnotherNameForItsTarIsTakenAllTheSame) {
    const fs::path src = server / "src";
    Scrivi(src / "eaggdati", "lista");
    const fs::path tar = server / "listino-dicembre.tar";
    ASSERT_EQ(testing::Wait(testing::Spawn({"tar", "-C", src.string(), "-cf", tar.string(), "eaggdati"}, -1, -1, {})), 0);
    ASSERT_EQ(testing::Wait(testing::Spawn({"gzip", "-f", tar.string()}, -1, -1, {})), 0);
    Scrivi(news / "notizie.gz", Leggi(tar.string() + ".gz"));
    std::string motivo;
    EXPECT_EQ(ScompattaNotizie(p, &motivo), -1);
    EXPECT_EQ(motivo, "");
    EXPECT_EQ(Leggi(news / "eaggdati"), "lista");
    EXPECT_TRUE(fs::exists(news / "notizie"));
    EXPECT_FALSE(fs::exists(news / "listino-dicembre.tar"));
}

}  // namespace
}  // namespace morven
#endif
