// The decompression port on the real ugtactx: the library registered into a registry of the test's own,
// created by ProgID through the component layer, and a news archive unpacked with the client's writes.
#ifdef SBGTACTX_MODULE
#include "client/engine/ugtactx_control.h"

#include "engine_test_support.h"
#include "tests/client/engine/news_archive.h"
#include "platform/com/loader.h"
#include "tests/platform/com/temp_registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace morven {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TarGz;
using testing::WriteBytes;
using com::FAILED;
using com::SUCCEEDED;

std::string RegisteredModule() {
    com::Loader loader;
    com::CLSID clsid;
    std::string path;
    if (SUCCEEDED(loader.ClsidFromProgId(kProgIdUgtactx, &clsid))) loader.ModulePath(clsid, &path);
    return path;
}

// The property writes of the news unpacking that both of its actions share, in their order.
void CommonWrites(DecompressionControl& c, const std::string& destination) {
    c.SetString("Destination", destination);
    c.SetBool("bOverwriteFlag", true);
    c.SetLong("ugtSubOptions", 0);
    c.SetLong("ugtSubOptions", c.GetLong("ugtSubOptions") + 1);  // read-only files are overwritten
    c.SetBool("bRecurseFlag", false);
    c.SetBool("bNoDirectoryNames", true);
    c.SetBool("bMajorStatus", false);
    c.SetBool("bMinorStatus", false);
    c.SetBool("bAllQuiet", true);
}

// Expansion of base.gz, then extraction of the TAR base; the two ErrorCodes.
std::pair<long, long> UnpackNews(DecompressionControl& c, const std::string& base, const std::string& destination) {
    c.SetString("GTFile", base + ".gz");
    CommonWrites(c, destination);
    c.SetLong("ActionGT", 1);
    const long expanded = c.ErrorCode();
    c.SetString("GTFile", base);
    c.SetString("Destination", destination);
    c.SetString("Filespec", "*.*");
    c.SetLong("TarIndex", -1);
    CommonWrites(c, destination);
    c.SetLong("ActionGT", 2);
    return {expanded, c.ErrorCode()};
}

class UgtactxControlTest : public ::testing::Test, public testing::EngineFixture {
protected:
    TempRegistry reg;
    fs::path news = fs::path(dir.path()) / "news";
};

TEST_F(UgtactxControlTest, UnpacksTheNewsArchiveThroughThePort) {
    ASSERT_EQ(RegistraUgtactxSeManca({SBGTACTX_MODULE}), com::S_OK);
    UgtactxControl control;

    const fs::path src = fs::path(dir.path()) / "server";
    WriteBytes(src / "IFCK0300000.DAT", "3documento\r\n");
    WriteBytes(src / "IFCK06A.DAT", std::string("\x00\x01pht\xFF", 6));
    WriteBytes(src / "oggi.htm", "<p>nuovo</p>");
    WriteBytes(src / "doc" / "extra.txt", "in a folder");
    fs::create_directories(news);
    ASSERT_TRUE(TarGz(src, {"IFCK0300000.DAT", "IFCK06A.DAT", "doc", "oggi.htm"}, news / "notizie.gz"));
    WriteBytes(news / "oggi.htm", "vecchio");
    fs::permissions(news / "oggi.htm", fs::perms::owner_read | fs::perms::group_read);  // read-only

    const auto [expanded, extracted] = UnpackNews(control, (news / "notizie").string(), news.string() + "/");
    EXPECT_EQ(expanded, 0);
    EXPECT_EQ(extracted, 0);
    EXPECT_TRUE(fs::exists(news / "notizie"));
    EXPECT_EQ(ReadBytes(news / "IFCK0300000.DAT"), "3documento\r\n");
    EXPECT_EQ(ReadBytes(news / "IFCK06A.DAT"), std::string("\x00\x01pht\xFF", 6));
    EXPECT_EQ(ReadBytes(news / "oggi.htm"), "<p>nuovo</p>");  // the read-only file was overwritten
    // "*.*" without recursion takes only the members outside folders; no folder is made.
    EXPECT_FALSE(fs::exists(news / "extra.txt"));
    EXPECT_FALSE(fs::exists(news / "doc"));
}

TEST_F(UgtactxControlTest, FailedActionsShowInErrorCodeAndBadMembersRaise) {
    ASSERT_EQ(RegistraUgtactxSeManca({SBGTACTX_MODULE}), com::S_OK);
    UgtactxControl control;
    fs::create_directories(news);

    // No archive, then an archive that is no GZIP member: both actions fail without raising.
    auto [expanded, extracted] = UnpackNews(control, (news / "notizie").string(), news.string() + "/");
    EXPECT_NE(expanded, 0);
    EXPECT_NE(extracted, 0);
    WriteBytes(news / "notizie.gz", "not a gzip member at all");
    WriteBytes(news / "notizie", std::string(700, 'x'));
    std::tie(expanded, extracted) = UnpackNews(control, (news / "notizie").string(), news.string() + "/");
    EXPECT_NE(expanded, 0);
    EXPECT_NE(extracted, 0);
    EXPECT_EQ(ReadBytes(news / "notizie.gz"), "not a gzip member at all");

    // Names match without regard to case; an unknown name raises 438 with the name.
    control.SetLong("tarindex", 7);
    EXPECT_EQ(control.GetLong("TARINDEX"), 7);
    try {
        control.SetBool("bNoSuchFlag", true);
        ADD_FAILURE() << "no error raised";
    } catch (const ErroreMorven& e) {
        EXPECT_EQ(e.nNumero, kErrMembroNonSupportato);
        EXPECT_NE(e.sDescrizione.find("bNoSuchFlag"), std::string::npos) << e.sDescrizione;
    }
    // A text that is no number, read as one, raises 440.
    control.SetString("GTFile", "abc");
    try {
        control.GetLong("GTFile");
        ADD_FAILURE() << "no error raised";
    } catch (const ErroreMorven& e) {
        EXPECT_EQ(e.nNumero, kErrAutomazione);
    }
}

TEST_F(UgtactxControlTest, CreationWithoutTheClassFailsWithTheReason) {
    try {
        UgtactxControl control;
        ADD_FAILURE() << "created without a registration";
    } catch (const ErroreMorven& e) {
        EXPECT_EQ(e.nNumero, kErrCreazioneOggetto);
        EXPECT_NE(e.sDescrizione.find("ugtactx.ugtactx.1"), std::string::npos) << e.sDescrizione;
        EXPECT_NE(e.sDescrizione.find("classe non registrata nel registro " + reg.path()), std::string::npos)
            << e.sDescrizione;
    }

    // The program start without any library to register: logged, the program's control left as it was.
    DecompressionControl* before = p.oggetti.oUgtactx;
    EXPECT_FALSE(CollegaUgtactx(p, {}));
    EXPECT_EQ(p.oggetti.oUgtactx, before);
    EXPECT_NE(FunctionLog().find("CollegaUgtactx :Impossibile creare l'oggetto ugtactx.ugtactx.1: classe non registrata"),
              std::string::npos)
        << FunctionLog();

    // A registered module that does not load: the loader's reason reaches the text.
    ASSERT_EQ(RegistraUgtactxSeManca({SBGTACTX_MODULE}), com::S_OK);
    const fs::path broken = fs::path(reg.dir()) / "libsbgtactx.so";
    fs::copy_file(SBGTACTX_MODULE, broken);
    com::CLSID clsid;
    ASSERT_EQ(com::Loader().ClsidFromProgId(kProgIdUgtactx, &clsid), com::S_OK);
    ASSERT_EQ(com::RegistryFile().Update([&](com::RegistryTree& t) {
        t.SetValue("CLSID\\" + com::GuidToString(clsid) + "\\InprocServer32", "", broken.string());
        return com::S_OK;
    }), com::S_OK);
    WriteBytes(broken, "no shared object");
    try {
        UgtactxControl control;
        ADD_FAILURE() << "created from a broken module";
    } catch (const ErroreMorven& e) {
        EXPECT_EQ(e.nNumero, kErrCreazioneOggetto);
        EXPECT_NE(e.sDescrizione.find("impossibile caricare il modulo " + broken.string()), std::string::npos)
            << e.sDescrizione;
    }
}

TEST_F(UgtactxControlTest, ProgramStartRegistersTheLibraryOnlyWhenTheClassIsMissing) {
    const std::string missing = reg.dir() + "/nowhere/libsbgtactx.so";
    // Nothing registered, no library found.
    EXPECT_EQ(RegistraUgtactxSeManca({missing}), com::REGDB_E_CLASSNOTREG);
    EXPECT_EQ(RegisteredModule(), "");

    // The first candidate that exists is registered.
    EXPECT_TRUE(CollegaUgtactx(p, {missing, SBGTACTX_MODULE}));
    EXPECT_NE(dynamic_cast<UgtactxControl*>(p.oggetti.oUgtactx), nullptr);
    EXPECT_EQ(RegisteredModule(), SBGTACTX_MODULE);
    EXPECT_EQ(p.Ugtactx().GetLong("TarIndex"), -1);

    // Registered and there: left alone, whatever the candidates.
    EXPECT_EQ(RegistraUgtactxSeManca({missing}), com::S_OK);
    EXPECT_EQ(RegisteredModule(), SBGTACTX_MODULE);

    // Registered, but the module is gone: registered again from a candidate.
    const fs::path copy = fs::path(reg.dir()) / "copy" / "libsbgtactx.so";
    fs::create_directories(copy.parent_path());
    fs::copy_file(SBGTACTX_MODULE, copy);
    ASSERT_EQ(com::Loader::RegisterModule(copy.string()), com::S_OK);
    ASSERT_EQ(RegisteredModule(), copy.string());
    fs::remove(copy);
    EXPECT_EQ(RegistraUgtactxSeManca({missing, SBGTACTX_MODULE}), com::S_OK);
    EXPECT_EQ(RegisteredModule(), SBGTACTX_MODULE);

    // A registry that cannot be read is never overwritten.
    WriteBytes(reg.path(), "[unclosed\n");
    EXPECT_EQ(RegistraUgtactxSeManca({SBGTACTX_MODULE}), com::REGDB_E_READREGDB);
    EXPECT_EQ(ReadBytes(reg.path()), "[unclosed\n");
}

// Another installation registered its copy last (here one that no longer loads, so that using it would
// fail): the program uses the library installed with it, says so once in the function log, and leaves the
// registry to the other copy.
TEST_F(UgtactxControlTest, ProgramStartUsesItsOwnLibraryWhenTheRegistryNamesAnother) {
    // The other copy is written as a file that is no shared object, and registered by hand: a copy loaded
    // into this process could not be overwritten under it.
    const fs::path other = fs::path(reg.dir()) / "other" / "libsbgtactx.so";
    WriteBytes(other, "an older copy that no longer loads");
    ASSERT_EQ(com::Loader::RegisterModule(SBGTACTX_MODULE), com::S_OK);
    com::CLSID clsid;
    ASSERT_EQ(com::Loader().ClsidFromProgId(kProgIdUgtactx, &clsid), com::S_OK);
    ASSERT_EQ(com::RegistryFile().Update([&](com::RegistryTree& t) {
        t.SetValue("CLSID\\" + com::GuidToString(clsid) + "\\InprocServer32", "", other.string());
        return com::S_OK;
    }), com::S_OK);
    ASSERT_EQ(RegisteredModule(), other.string());

    ASSERT_TRUE(CollegaUgtactx(p, {SBGTACTX_MODULE})) << FunctionLog();
    EXPECT_EQ(p.Ugtactx().GetLong("TarIndex"), -1);
    EXPECT_EQ(RegisteredModule(), other.string());
    const std::string log = FunctionLog();
    EXPECT_NE(log.find("[FUNZIONE : CollegaUgtactx]il registro " + reg.path() + " indica " + other.string() +
                       " per ugtactx.ugtactx.1: si usa la libreria del programma " + SBGTACTX_MODULE),
              std::string::npos)
        << log;

    // The registry naming the program's own copy, or none left to name: nothing to say.
    for (const bool own : {true, false}) {
        SCOPED_TRACE(own ? "own copy registered" : "registered copy gone");
        fs::remove(other);
        if (own) {
            ASSERT_EQ(com::Loader::RegisterModule(SBGTACTX_MODULE), com::S_OK);
        }
        fs::remove(fs::path(dir.path()) / "MorvenClient.log");
        ASSERT_TRUE(CollegaUgtactx(p, {SBGTACTX_MODULE})) << FunctionLog();
        EXPECT_EQ(FunctionLog().find("si usa la libreria del programma"), std::string::npos) << FunctionLog();
        EXPECT_EQ(RegisteredModule(), SBGTACTX_MODULE);
    }
}

TEST(UgtactxControlDefaults, TheBuildsLibraryIsAmongTheDefaultPlaces) {
    // Test programs and MorvenClient are built into bin/, the library into lib/ beside it.
    bool found = false;
    for (const auto& c : ModuliUgtactxPredefiniti()) {
        std::error_code ec;
        found = found || fs::equivalent(c, SBGTACTX_MODULE, ec);
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace morven
#endif
