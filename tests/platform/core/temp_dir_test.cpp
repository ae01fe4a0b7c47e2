// The tests' own temporary folders: a name made from any test name is one plain folder-name part, and each
// test gets a folder of its own directly under the build's test-tmp, never test-tmp itself.
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace morven::testing {
namespace {

TEST(TempDirName, EveryTestNameBecomesOneFolderNamePart) {
    const struct {
        std::string nome, atteso;
    } casi[] = {
        {"Suite.Name", "Suite.Name"},
        {"Istanza/Suite.Caso/3", "Istanza_Suite.Caso_3"},
        {"a b\\c:d*e?\"<>|", "a_b_c_d_e_____"},
        {"Ok_-.09", "Ok_-.09"},
        {"caff\xC3\xA8", "caff__"},
        {"", "t"},
        {".", "t"},
        {"..", "t"},
        {"../..", ".._.."},
        {std::string(300, 'x'), std::string(200, 'x')},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(k.nome);
        EXPECT_EQ(SafeFolderName(k.nome), k.atteso);
    }
}

class TempDirParam : public ::testing::TestWithParam<int> {};

TEST_P(TempDirParam, AParameterisedTestGetsAFolderOfItsOwn) {
    const std::filesystem::path base = std::filesystem::path(MORVEN_BINARY_DIR) / "test-tmp";
    std::string prima;
    {
        TempDir d;
        prima = d.path();
        const std::filesystem::path p(d.path());
        EXPECT_EQ(p.parent_path(), base);
        EXPECT_EQ(p.filename().string().rfind("Mezzo_TempDirParam.AParameterisedTestGetsAFolderOfItsOwn_", 0), 0u)
            << p;
        EXPECT_TRUE(std::filesystem::is_directory(p));
        EXPECT_TRUE(std::filesystem::is_empty(p));
    }
    EXPECT_FALSE(std::filesystem::exists(prima));
    EXPECT_TRUE(std::filesystem::is_directory(base));  // the shared folder stays
}

INSTANTIATE_TEST_SUITE_P(Mezzo, TempDirParam, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& i) { return "Run" + std::to_string(i.param); });

}  // namespace
}  // namespace morven::testing
