#include "gtlib/engine/filelist.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "gtlib/engine/gt_state.h"
#include "tests/gtlib/engine/test_util.h"

namespace gtlib {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TEST(FileList, SplitListText) {
    EXPECT_EQ(SplitListText("\"C:\\my dir\\a b.txt\"  d:/x/y.txt"), (Names{"C:\\my dir\\a b.txt", "d:\\x\\y.txt"}));
    EXPECT_EQ(SplitListText("  uno   due "), (Names{"uno", "due"}));
    EXPECT_EQ(SplitListText("a\"b c\"d e"), (Names{"ab cd", "e"}));
    EXPECT_TRUE(SplitListText("").empty());
    EXPECT_EQ(SplitListText(std::string(300, 'x'))[0].size(), 260u);
}

TEST(FileList, StoredNameRules) {
    struct Case {
        const char* path;
        NameRules rules;
        const char* expected;  // null: the item is dropped
    };
    NameRules none, noDir, dosify, rel, mangle, ignore;
    noDir.noDirectoryNames = true;
    dosify.dosify = true;
    rel.relativePath = true;
    rel.relativeFolder = "data/";
    mangle.mangleLongNames = true;
    ignore.ignoreLongNames = true;
    NameRules relDos = rel;
    relDos.dosify = true;
    const Case cases[] = {
        {"C:\\data\\sub\\x.txt", none, "data/sub/x.txt"},
        {"C:\\data\\sub\\x.txt", noDir, "x.txt"},
        {"C:\\data\\sub\\x.txt", rel, "sub/x.txt"},
        {"C:\\DATA\\sub\\x.txt", relDos, "SUB/X.TXT"},
        {"C:\\other\\x.txt", rel, "other/x.txt"},
        {"\\\\server\\share\\dir\\f.txt", none, "dir/f.txt"},
        {"//server/share/f.txt", none, "f.txt"},
        {"///lead/f.txt", none, "f.txt"},  // an empty server, "lead" the share
        {"/tmp/./a/../b.txt", none, "tmp/a/b.txt"},  // "." and ".." never reach a stored name
        {"../../etc/passwd", none, "etc/passwd"},
        {"data/x.txt", dosify, "DATA/X.TXT"},
        {"Long File Name.text", mangle, "LongFile.tex"},
        {"cartella lunga/nome.txt", mangle, "cartella/nome.txt"},
        {"Long File Name.text", ignore, nullptr},
        {"short.txt", ignore, "short.txt"},
        {"C:\\", none, nullptr},
    };
    for (const Case& c : cases) {
        const auto got = StoredName(c.path, c.rules);
        if (!c.expected) {
            EXPECT_FALSE(got.has_value()) << c.path;
        } else {
            ASSERT_TRUE(got.has_value()) << c.path;
            EXPECT_EQ(*got, c.expected) << c.path;
        }
    }
}

TEST(FileList, LongNames) {
    struct Case {
        const char* name;
        bool isLong;
    };
    const Case cases[] = {{"ordseq.txt", false}, {"12345678.123", false}, {"123456789.txt", true},
                          {"a.text", true},      {"a b.txt", true},       {"dir/ok.txt", false},
                          {"lunghissima/a.txt", true}, {"README", false}};
    for (const Case& c : cases) EXPECT_EQ(IsLongName(c.name), c.isLong) << c.name;
}

TEST(FileList, MatchName) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.txt", "a.txt", true},       {"*.txt", "dir/a.TXT", true}, {"*.txt", "a.txt.bak", false},
        {"*.", "README", true},         {"*.", "a.txt", false},       {"*.bak", "x.BAK", true},
        {"a?c.*", "abc.d", true},       {"a?c.*", "abbc.d", false},   {"ab*", "abc", true},
        {"ab*", "abc.txt", true},       {"abc", "abc.txt", false},    {"abc", "ABC", true},
        {"sub/*.txt", "sub/a.txt", true}, {"sub/*.txt", "other/a.txt", false}, {"*.*", "README", true},
        {"ord*.t?t", "ordseq.txt", true}, {"ord*.t?t", "ordseq.tx", false},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchName(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(FileList, Selection) {
    GtEngineState st;
    ASSERT_EQ(ParsePatternLists(st, "", ""), GTE_OK);
    EXPECT_TRUE(IsSelected(st.patterns, "any.bak"));
    ASSERT_EQ(ParsePatternLists(st, "", "*.bak"), GTE_OK);
    EXPECT_FALSE(IsSelected(st.patterns, "x.BAK"));
    EXPECT_TRUE(IsSelected(st.patterns, "x.txt"));
    ASSERT_EQ(ParsePatternLists(st, "*.txt *.dat", "old*.txt"), GTE_OK);
    EXPECT_EQ(st.patterns.includeCount, 2);
    EXPECT_TRUE(IsSelected(st.patterns, "a/b.dat"));
    EXPECT_FALSE(IsSelected(st.patterns, "old1.txt"));  // exclude wins
    EXPECT_FALSE(IsSelected(st.patterns, "x.bin"));     // includes exist and none matches
}

// A tree with nesting, dot folders and files, a long name, a link to a folder and two names that differ
// only in case.
struct Tree : ::testing::Test {
    test::ScratchDir dir;
    fs::path data;
    void SetUp() override {
        data = dir.path() / "data";
        for (const char* f : {"a.txt", "b.TXT", "README", "Readme", "x.bak", "y.BAK", ".hidden.txt", "sub/c.txt",
                              "sub/deep/d.txt", ".git/e.txt", "Long File Name.text"})
            test::WriteFile(data / f, test::ToBytes(f));
        fs::create_directory_symlink(data / "sub", data / "link");
    }
    // Stored names with the tree's own folder taken off the front.
    Names Build(const std::string& part, bool recurse, std::uint32_t sub = 0, bool hidden = false,
                const std::string& exclude = "") {
        GtEngineState st;
        st.recurse = recurse;
        st.subOptions = sub;
        st.includeSysHidden = hidden;
        EXPECT_EQ(ParsePatternLists(st, "", exclude), GTE_OK);
        EXPECT_EQ(BuildFileList(part, st), GTE_OK);
        SortAndMergeItems(st.items);
        Names out;
        const std::string prefix = StoredName(data.string(), {}).value() + "/";
        for (const GtListItem& it : st.items) {
            EXPECT_TRUE(fs::exists(it.sourcePath)) << it.sourcePath;
            out.push_back(it.storedName.starts_with(prefix) ? it.storedName.substr(prefix.size()) : it.storedName);
        }
        return out;
    }
};

TEST_F(Tree, Selections) {
    const std::string d = data.string() + "/";
    struct Case {
        const char* name;
        std::string part;
        bool recurse;
        std::uint32_t sub;
        bool hidden;
        std::string exclude;
        Names expected;
    };
    const Case cases[] = {
        {"one folder", d + "*.txt", false, 0, false, "", {"a.txt", "b.TXT"}},
        {"recursing skips dot folders and links", d + "*.txt", true, 0, false, "",
         {"a.txt", "b.TXT", "sub/c.txt", "sub/deep/d.txt"}},
        {"hidden files on request", d + "*.txt", false, 0, true, "", {".hidden.txt", "a.txt", "b.TXT"}},
        {"star-point takes names without a point", d + "*.", false, 0, false, "", {"README", "Readme"}},
        {"excludes ignore case", d + "*.*", false, 0, false, "*.bak", {"Long File Name.text", "README", "Readme", "a.txt", "b.TXT"}},
        {"an exact name", d + "README", false, 0, false, "", {"README"}},
        {"relative paths", d + "*.txt", true, GTSO_RELATIVE_PATH, false, "", {"a.txt", "b.TXT", "sub/c.txt", "sub/deep/d.txt"}},
        {"mangled long names", d + "*.text", false, GTSO_MANGLELONGNAMES | GTSO_RELATIVE_PATH, false, "", {"LongFile.tex"}},
        {"long names ignored", d + "*.text", false, GTSO_IGNORELONGNAMES | GTSO_RELATIVE_PATH, false, "", {}},
        {"a missing folder adds nothing", d + "none/*.txt", false, 0, false, "", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Build(c.part, c.recurse, c.sub, c.hidden, c.exclude), c.expected) << c.name;
}

// Relative item-list parts ("." and "..") are resolved for reading, but never stored.
TEST_F(Tree, RelativePartsStoreNoDots) {
    const fs::path old = fs::current_path();
    fs::current_path(data / "sub");
    GtEngineState st;
    EXPECT_EQ(BuildFileList("../sub/./*.txt", st), GTE_OK);
    fs::current_path(old);
    ASSERT_EQ(st.items.size(), 1u);
    EXPECT_EQ(st.items[0].storedName, "sub/c.txt");
    EXPECT_EQ(st.items[0].sourcePath, "../sub/./c.txt");
}

// Names that differ only in case are two items; equal stored names are one.
TEST(FileList, SortAndMerge) {
    std::vector<GtListItem> items(5);
    const char* names[] = {"b.txt", "README", "a.txt", "Readme", "a.txt"};
    for (int i = 0; i < 5; ++i) items[static_cast<std::size_t>(i)].storedName = names[i];
    SortAndMergeItems(items);
    Names got;
    for (const auto& it : items) got.push_back(it.storedName);
    EXPECT_EQ(got, (Names{"README", "Readme", "a.txt", "b.txt"}));
}

std::int64_t LocalTime(int y, int mo, int d, int h, int mi, int s) {
    struct tm tm {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

TEST(FileList, WindowDates) {
    std::optional<std::int64_t> t;
    ASSERT_TRUE(ParseWindowDate("01152024", false, t));
    EXPECT_EQ(*t, LocalTime(2024, 1, 15, 0, 0, 0));
    ASSERT_TRUE(ParseWindowDate("01152024", true, t));
    EXPECT_EQ(*t, LocalTime(2024, 1, 15, 23, 59, 59));
    ASSERT_TRUE(ParseWindowDate("01011975", true, t));
    EXPECT_EQ(*t, LocalTime(1980, 1, 1, 0, 0, 0));  // before 1980 counts as its first second
    ASSERT_TRUE(ParseWindowDate("", false, t));
    EXPECT_FALSE(t.has_value());
    for (const char* bad : {"13012024", "00012024", "01322024", "01011969", "01012080", "0101202", "01-12024"})
        EXPECT_FALSE(ParseWindowDate(bad, false, t)) << bad;
}

// Both ends belong to the window.
TEST(FileList, DateWindowEdges) {
    std::optional<std::int64_t> d1, d2;
    ASSERT_TRUE(ParseWindowDate("01012024", false, d1));
    ASSERT_TRUE(ParseWindowDate("12312024", true, d2));
    const std::int64_t times[] = {LocalTime(2023, 12, 31, 23, 59, 59), LocalTime(2024, 1, 1, 0, 0, 0),
                                  LocalTime(2024, 12, 31, 23, 59, 59), LocalTime(2025, 1, 1, 0, 0, 0)};
    for (bool incl : {true, false}) {
        GtEngineState st;
        st.inclDate = incl;
        st.exclDate = !incl;
        st.date1 = *d1;
        st.date2 = *d2;
        for (int i = 0; i < 4; ++i) {
            GtListItem it;
            it.storedName = std::to_string(i);
            it.time = times[i];
            st.items.push_back(it);
        }
        ApplyDateWindow(st);
        Names got;
        for (const auto& it : st.items) got.push_back(it.storedName);
        EXPECT_EQ(got, incl ? (Names{"1", "2"}) : (Names{"0", "3"}));
    }
}

TEST(FileList, MemoryItem) {
    GtEngineState st;
    EXPECT_EQ(AddMemoryItem("dati?.txt", st), GTE_PARMS);
    EXPECT_EQ(AddMemoryItem("a|b", st), GTE_PARMS);
    EXPECT_EQ(AddMemoryItem("dir\\dati.txt", st), GTE_OK);
    ASSERT_EQ(st.items.size(), 1u);
    EXPECT_TRUE(st.items[0].memory);
    EXPECT_EQ(st.items[0].attributes, 0u);
    EXPECT_EQ(st.items[0].storedName, "dir/dati.txt");
    EXPECT_LE(std::abs(st.items[0].time - static_cast<std::int64_t>(std::time(nullptr))), 2);
}

// Attributes on Linux: read-only from the write bit, hidden from a leading point, archive on files;
// with GTSO_JUST_ARCHIVED and GTSO_RESET_ARCHIVED the recorded archive bit is cleared.
TEST_F(Tree, Attributes) {
    ::chmod((data / "a.txt").c_str(), 0444);
    auto facts = GetFileFacts((data / "a.txt").string());
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->attributes, ATTR_READONLY | ATTR_ARCHIVE);
    EXPECT_EQ(GetFileFacts((data / ".hidden.txt").string())->attributes, ATTR_HIDDEN | ATTR_ARCHIVE);
    EXPECT_FALSE(GetFileFacts((data / "missing").string()).has_value());
    EXPECT_EQ(GetFileFacts((data / "missing/").string())->attributes, ATTR_SUBDIR);

    GtEngineState st;
    st.subOptions = GTSO_JUST_ARCHIVED | GTSO_RESET_ARCHIVED;
    ASSERT_EQ(BuildFileList((data / "a.txt").string(), st), GTE_OK);
    ASSERT_EQ(st.items.size(), 1u);
    EXPECT_EQ(st.items[0].attributes, ATTR_READONLY);
    ::chmod((data / "a.txt").c_str(), 0644);
}

}  // namespace
}  // namespace gtlib
