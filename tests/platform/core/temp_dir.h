// A fresh folder under the build tree for one test, removed with everything in it at the end.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace morven::testing {

// A test's name as one folder-name part: every character outside [A-Za-z0-9._-] becomes "_" (a
// parameterised test's name holds "/"), an empty name or a name of only dots (".", "..") becomes "t", and
// the name is cut to 200 bytes (a file-name part holds at most 255).
inline std::string SafeFolderName(std::string name) {
    if (name.size() > 200) name.resize(200);
    bool soloPunti = true;
    for (char& c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '_' || c == '-';
        if (!ok) c = '_';
        if (c != '.') soloPunti = false;
    }
    return soloPunti ? "t" : name;
}

// The running test's "Suite.Name" as a folder-name part ("t" outside a test).
inline std::string CurrentTestFolderName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return SafeFolderName(info ? std::string(info->test_suite_name()) + "." + info->name() : "t");
}

class TempDir {
public:
    TempDir() {
        const std::string base = std::string(MORVEN_BINARY_DIR) + "/test-tmp";
        std::error_code ec;
        std::filesystem::create_directories(base, ec);
        std::string tmpl = base + "/" + CurrentTestFolderName() + "-XXXXXX";
        if (!mkdtemp(tmpl.data())) {
            // Never fall back to a shared folder: the test would work in it and delete it at the end.
            const std::string why = "TempDir: cannot make " + tmpl + ": " + std::strerror(errno);
            ADD_FAILURE() << why;
            throw std::runtime_error(why);
        }
        path_ = tmpl;
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
