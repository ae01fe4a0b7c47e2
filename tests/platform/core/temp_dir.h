// A fresh folder under the build tree for one test, removed with everything in it at the end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace morven::testing {

class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string base = std::string(MORVEN_BINARY_DIR) + "/test-tmp";
        std::filesystem::create_directories(base);
        std::string tmpl = base + "/" + (info ? std::string(info->test_suite_name()) + "." + info->name() : "t") +
                           "-XXXXXX";
        for (auto& c : tmpl) {
            if (c == '\\') c = '_';
        }
        char* made = mkdtemp(tmpl.data());
        path_ = made ? made : base;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace morven::testing
