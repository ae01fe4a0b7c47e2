// The engine tests' one scratch folder: a fresh empty folder under the system's temporary folder, removed
// with everything in it when the object goes (read-only files and folders made by a test included).
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

namespace gtlib::test {

class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "gtengine-XXXXXX").string();
        // An empty path would put the test's files under "/" and remove them from there.
        if (!::mkdtemp(tmpl.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
        path_ = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        ::chmod(path_.c_str(), 0755);
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            ::chmod(it->path().c_str(), 0755);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of a name inside the folder.
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace gtlib::test

namespace gtlib_test {
using gtlib::test::ScratchDir;
}  // namespace gtlib_test
