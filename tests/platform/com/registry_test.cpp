#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/com/registrar.h"
#include "platform/com/registry.h"
#include "temp_registry.h"

using namespace morven::com;

namespace {
std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
}  // namespace

TEST(Registry, TreeSerialisesAndParsesBack) {
    RegistryTree t;
    t.SetValue("CLSID\\{X}\\InprocServer32", "", "/opt/lib \"quoted\" \\ back");
    t.SetValue("CLSID\\{X}\\InprocServer32", "ThreadingModel", "Both");
    t.Create("CLSID\\{X}\\Programmable");
    t.SetValue("a.b.1", "", "");
    const std::string text = t.Serialise();
    auto back = RegistryTree::Parse(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Serialise(), text);
    EXPECT_EQ(back->GetValue("clsid\\{x}\\inprocserver32"), "/opt/lib \"quoted\" \\ back");
    EXPECT_EQ(back->GetValue("CLSID\\{X}\\InprocServer32", "threadingmodel"), "Both");
    EXPECT_TRUE(back->Find("CLSID\\{X}\\Programmable"));
    EXPECT_FALSE(back->GetValue("CLSID\\{X}\\Programmable"));  // an empty key has no default value
    EXPECT_EQ(back->GetValue("a.b.1"), "");
}

TEST(Registry, MalformedFilesAreRefusedAndLeftAlone) {
    TempRegistry reg;
    for (const char* bad : {"@=\"x\"\n", "[k]\n@=\"unterminated\n", "[k]\nname=\"v\"\n", "[]\n",
                            "[k]\n\"n\"=\"v\" trailing\n"}) {
        { std::ofstream(reg.path()) << bad; }
        RegistryFile f(reg.path());
        RegistryTree t;
        EXPECT_EQ(f.Read(t), REGDB_E_READREGDB) << bad;
        EXPECT_EQ(f.Update([](RegistryTree& tr) { tr.SetValue("k", "", "v"); return S_OK; }), REGDB_E_READREGDB);
        EXPECT_EQ(Slurp(reg.path()), bad);  // nothing lost
    }
}

TEST(Registry, PathComesFromTheEnvironment) {
    TempRegistry reg;
    EXPECT_EQ(RegistryFile::DefaultPath(), reg.path());
    unsetenv("MORVEN_COM_REGISTRY");
    setenv("XDG_CONFIG_HOME", reg.dir().c_str(), 1);
    EXPECT_EQ(RegistryFile::DefaultPath(), reg.dir() + "/morven/com-registry.reg");
    unsetenv("XDG_CONFIG_HOME");
}

TEST(Registry, FailedEditWritesNothingAndMissingFileIsEmpty) {
    TempRegistry reg;
    RegistryFile f(reg.path());
    RegistryTree t;
    EXPECT_EQ(f.Read(t), S_OK);
    EXPECT_TRUE(t.Root().subkeys.empty());
    EXPECT_EQ(f.Update([](RegistryTree& tr) { tr.SetValue("k", "", "v"); return E_FAIL; }), E_FAIL);
    EXPECT_FALSE(std::filesystem::exists(reg.path()));
}

TEST(Registry, ConcurrentWritersFromManyProcessesAllLand) {
    TempRegistry reg;
    constexpr int kProcs = 6, kEach = 15;
    std::vector<pid_t> kids;
    for (int p = 0; p < kProcs; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            RegistryFile f(reg.path());
            for (int i = 0; i < kEach; ++i)
                if (FAILED(f.Update([&](RegistryTree& t) {
                        t.SetValue("P" + std::to_string(p) + "\\K" + std::to_string(i), "", "v");
                        return S_OK;
                    })))
                    _exit(1);
            _exit(0);
        }
        kids.push_back(pid);
    }
    for (pid_t k : kids) {
        int st = 0;
        waitpid(k, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    RegistryTree t;
    ASSERT_EQ(RegistryFile(reg.path()).Read(t), S_OK);
    int count = 0;
    for (const auto& pk : t.Root().subkeys) count += static_cast<int>(pk->subkeys.size());
    EXPECT_EQ(count, kProcs * kEach);
}

// ---- registrar ----

namespace {
constexpr const char* kScript = R"(HKCR
{
    sample.thing.1 = s 'Sample ''Thing'''
    {
        CLSID = s '{%CLSID%}'
    }
    NoRemove CLSID
    {
        ForceRemove {%CLSID%} = s 'Sample'
        {
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Both'
            }
            'Tool Bitmap' = s '%MODULE%, 102 (100%%)'
            Programmable
        }
    }
    NoRemove Shared
    {
        val Owner = s 'sample'
        Delete Obsolete
    }
})";
const std::map<std::string, std::string> kVars{{"CLSID", "ABC"}, {"MODULE", "/lib/x.so"}};
}  // namespace

TEST(Registrar, RegisterWritesTheScript) {
    RegistryTree t;
    t.SetValue("Shared\\Obsolete", "", "old");
    t.SetValue("CLSID\\{ABC}\\Stale", "", "from an older version");
    ASSERT_EQ(ApplyRegistrationScript(t, kScript, kVars, RegistrarMode::Register), S_OK);
    EXPECT_EQ(t.GetValue("sample.thing.1"), "Sample 'Thing'");
    EXPECT_EQ(t.GetValue("sample.thing.1\\CLSID"), "{ABC}");
    EXPECT_EQ(t.GetValue("CLSID\\{ABC}\\InprocServer32"), "/lib/x.so");
    EXPECT_EQ(t.GetValue("CLSID\\{ABC}\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(t.GetValue("CLSID\\{ABC}\\Tool Bitmap"), "/lib/x.so, 102 (100%)");
    EXPECT_TRUE(t.Find("CLSID\\{ABC}\\Programmable"));
    EXPECT_FALSE(t.Find("CLSID\\{ABC}\\Stale"));  // ForceRemove rewrote the class key whole
    EXPECT_FALSE(t.Find("Shared\\Obsolete"));
    EXPECT_EQ(t.GetValue("Shared", "Owner"), "sample");
}

TEST(Registrar, RemoveTakesWhatTheScriptWroteAndKeepsTheRest) {
    RegistryTree t;
    t.SetValue("CLSID\\{OTHER}", "", "someone else");
    t.SetValue("Shared", "Keep", "yes");
    ASSERT_EQ(ApplyRegistrationScript(t, kScript, kVars, RegistrarMode::Register), S_OK);
    t.SetValue("sample.thing.1\\Extra", "", "added by a user");  // keeps the ProgID key alive
    ASSERT_EQ(ApplyRegistrationScript(t, kScript, kVars, RegistrarMode::Remove), S_OK);
    EXPECT_FALSE(t.Find("CLSID\\{ABC}"));
    EXPECT_EQ(t.GetValue("CLSID\\{OTHER}"), "someone else");
    EXPECT_TRUE(t.Find("CLSID"));
    EXPECT_FALSE(t.Find("sample.thing.1\\CLSID"));
    EXPECT_TRUE(t.Find("sample.thing.1\\Extra"));
    EXPECT_FALSE(t.GetValue("Shared", "Owner"));
    EXPECT_EQ(t.GetValue("Shared", "Keep"), "yes");
    // Removing again finds nothing to do.
    EXPECT_EQ(ApplyRegistrationScript(t, kScript, kVars, RegistrarMode::Remove), S_OK);
}

TEST(Registrar, BadScriptsLeaveTheTreeAlone) {
    for (const char* bad : {"HKLM { x }", "HKCR { a = s 'open }", "HKCR { a = q 'x' }", "HKCR { a { }",
                            "HKCR { %NOPE% }"}) {
        RegistryTree t;
        t.SetValue("keep", "", "1");
        EXPECT_EQ(ApplyRegistrationScript(t, bad, kVars, RegistrarMode::Register), E_INVALIDARG) << bad;
        EXPECT_EQ(t.Serialise(), [] { RegistryTree r; r.SetValue("keep", "", "1"); return r.Serialise(); }());
    }
}

TEST(Registry, MangledFilesAndScriptsNeverCrashAndAcceptedOnesRoundTrip) {
    RegistryTree seed;
    seed.SetValue("CLSID\\{A}\\InprocServer32", "", "/lib/a \"b\" \\c");
    seed.SetValue("CLSID\\{A}\\InprocServer32", "ThreadingModel", "Both");
    const std::string file = seed.Serialise();
    const std::string script = kScript;
    std::uint32_t state = 12345;
    auto next = [&] { return state = state * 1103515245u + 12345u, state >> 8; };
    for (int round = 0; round < 3000; ++round) {
        std::string f = file, s = script;
        for (int k = 0; k < 1 + round % 4; ++k) {
            f[next() % f.size()] = static_cast<char>(next());
            s[next() % s.size()] = "{}='% \n\\x"[next() % 9];
        }
        if (round % 7 == 0) f.resize(next() % f.size());
        if (auto t = RegistryTree::Parse(f)) {
            auto again = RegistryTree::Parse(t->Serialise());
            ASSERT_TRUE(again) << f;
            EXPECT_EQ(again->Serialise(), t->Serialise());
        }
        RegistryTree tree;
        for (auto mode : {RegistrarMode::Register, RegistrarMode::Remove})
            ApplyRegistrationScript(tree, s, kVars, mode);
    }
}
