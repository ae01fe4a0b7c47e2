// The overwrite decision every extracted file goes through, GZIP member or TAR member.
#include "gtlib/engine/overwrite.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "inflate_test_util.h"
#include "scratch_dir.h"

namespace gtlib {
namespace {

namespace fs = std::filesystem;

TEST(OverwriteTest, DecisionForEveryStateAndAnswer) {
    enum There { kNothing, kFile, kReadOnly, kFolder, kLinkToReadOnly };
    struct Case {
        const char* what;
        There there;
        bool overwrite_all, quiet, has_ask;
        int answer;
        std::string renamed_to;  // the rename dialog's answer ("taken" names an existing file)
        OverwriteDecision decision;
        bool replaced, read_only_agreed, all_after, asked_read_only, skipped;
    };
    using D = OverwriteDecision;
    const Case cases[] = {
        {"nothing there", kNothing, false, false, true, kAnswerNo, "", D::kWrite, false, false, false, false, false},
        {"a folder there", kFolder, false, false, true, kAnswerNo, "", D::kWrite, false, false, false, false, false},
        {"overwrite all, read-only", kReadOnly, true, false, true, kAnswerNo, "", D::kWrite, true, true, true, false,
         false},
        {"quiet", kFile, false, true, true, kAnswerYes, "", D::kSkip, true, false, false, false, true},
        {"nobody to ask", kFile, false, false, false, kAnswerYes, "", D::kSkip, true, false, false, false, true},
        {"yes", kFile, false, false, true, kAnswerYes, "", D::kWrite, true, false, false, false, false},
        {"yes, read-only", kReadOnly, false, false, true, kAnswerYes, "", D::kWrite, true, true, false, true, false},
        {"yes to all", kFile, false, false, true, kAnswerYesToAll, "", D::kWrite, true, false, true, false, false},
        {"yes to all (5)", kReadOnly, false, false, true, kAnswerYesToAll5, "", D::kWrite, true, true, true, true,
         false},
        {"no", kFile, false, false, true, kAnswerNo, "", D::kSkip, true, false, false, false, true},
        {"an answer that means nothing", kFile, false, false, true, 42, "", D::kSkip, true, false, false, false, true},
        {"cancel", kFile, false, false, true, kAnswerCancel, "", D::kCancel, true, false, false, false, false},
        {"rename to a new name", kFile, false, false, true, kAnswerRename, "fresh", D::kWrite, false, false, false,
         false, false},
        {"rename to an existing file", kFile, false, false, true, kAnswerRename, "taken", D::kWrite, true, true, false,
         false, false},
        {"rename cancelled", kFile, false, false, true, kAnswerRename, "", D::kSkip, true, false, false, false, true},
        // The link itself is replaced, not what it points to: not read-only.
        {"a link to a read-only file", kLinkToReadOnly, false, false, true, kAnswerYes, "", D::kWrite, true, false,
         false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gtlib_test::ScratchDir dir;
        const std::string path = dir / "out.txt";
        gtlib_test::WriteFile(dir / "taken", std::string("x"));
        switch (c.there) {
            case kNothing: break;
            case kFile: gtlib_test::WriteFile(fs::path(path), std::string("old")); break;
            case kReadOnly:
                gtlib_test::WriteFile(fs::path(path), std::string("old"));
                ::chmod(path.c_str(), 0444);
                break;
            case kFolder: fs::create_directories(path); break;
            case kLinkToReadOnly:
                gtlib_test::WriteFile(dir / "target", std::string("old"));
                ::chmod((dir / "target").c_str(), 0444);
                fs::create_symlink(dir / "target", path);
                break;
        }
        bool all = c.overwrite_all;
        std::vector<bool> asked;
        std::vector<std::string> skipped;
        OverwriteRules rules;
        rules.overwriteAll = &all;
        rules.quiet = c.quiet;
        if (c.has_ask) {
            rules.ask = [&](const std::string&, bool read_only) {
                asked.push_back(read_only);
                return c.answer;
            };
        }
        rules.rename = [&](const std::string&) { return c.renamed_to.empty() ? "" : (dir / c.renamed_to).string(); };
        rules.skipped = [&](const std::string& p) { skipped.push_back(p); };
        std::string chosen = path;
        const OverwriteOutcome o = DecideOverwrite(rules, chosen);
        EXPECT_EQ(o.decision, c.decision);
        EXPECT_EQ(o.replaced, c.replaced);
        EXPECT_EQ(o.readOnlyAgreed, c.read_only_agreed);
        EXPECT_EQ(all, c.all_after);
        if (!asked.empty()) {
            EXPECT_EQ(asked[0], c.asked_read_only);
        }
        EXPECT_EQ(skipped, c.skipped ? std::vector<std::string>{path} : std::vector<std::string>{});
        EXPECT_EQ(chosen, c.renamed_to.empty() || c.decision != D::kWrite ? path : (dir / c.renamed_to).string());
    }
}

TEST(OverwriteTest, SameFileByNameIgnoringCaseOrByIdentity) {
    gtlib_test::ScratchDir dir;
    gtlib_test::WriteFile(dir / "News.tar", std::string("t"));
    ASSERT_EQ(::link((dir / "News.tar").c_str(), (dir / "hard").c_str()), 0);
    gtlib_test::WriteFile(dir / "other", std::string("t"));
    EXPECT_TRUE(SameFile((dir / "News.tar").string(), (dir / "NEWS.TAR").string()));  // even when neither exists
    EXPECT_TRUE(SameFile((dir / "News.tar").string(), (dir / "hard").string()));
    EXPECT_FALSE(SameFile((dir / "News.tar").string(), (dir / "other").string()));
    EXPECT_FALSE(SameFile((dir / "News.tar").string(), (dir / "missing").string()));
}

}  // namespace
}  // namespace gtlib
