// What the client's fuzz targets share: a private folder for the files the code under test reads and
// writes (in memory when the machine has /dev/shm, since that code replaces files with fsync), removed when
// the run ends, and a check that names itself and removes the folder before the run stops.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace fuzzing {

namespace fs = std::filesystem;

struct Sandbox {
    fs::path root;
    explicit Sandbox(const char* name) {
        const fs::path base = access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string tmpl = (base / (std::string(name) + "_XXXXXX")).string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        root = tmpl;
    }
    ~Sandbox() { Remove(); }
    void Remove() const {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // An empty folder `name` inside the sandbox, made anew for one input.
    fs::path Fresh(const char* name = "app") const {
        const fs::path dir = root / name;
        std::error_code ec;
        fs::remove_all(dir, ec);
        fs::create_directories(dir);
        return dir;
    }
};

// Files of a sandbox: written whole (replacing what was there) and read whole.
inline void WriteFile(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
inline std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The target's sandbox; FUZZ_TARGET_NAME is the target's name, set by the build.
inline Sandbox& Box() {
    static Sandbox box(FUZZ_TARGET_NAME);
    return box;
}

}  // namespace fuzzing

// A failed check names itself and removes the sandbox before the run stops.
#define Check(ok)                                                                        \
    do {                                                                                 \
        if (!(ok)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #ok); \
            fuzzing::Box().Remove();                                                     \
            std::abort();                                                                \
        }                                                                                \
    } while (false)
