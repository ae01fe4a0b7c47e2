// Shared bits of the answer tests: fixture paths, a recording function log, scratch folders.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "client/session/log_sink.h"
#include "tests/platform/core/temp_dir.h"

namespace morven::test {

inline std::filesystem::path Fixture(std::string_view nome) {
    return std::filesystem::path(MORVEN_SOURCE_DIR) / "tests" / "fixtures" / "answers" / std::string(nome);
}

inline std::string LeggiTutto(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    EXPECT_TRUE(in) << p;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void Scrivi(const std::filesystem::path& p, std::string_view dati) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(dati.data(), static_cast<std::streamsize>(dati.size()));
}

// Collects the function-log lines a procedure writes.
struct LogRegistrato {
    std::vector<std::string> righe;
    LogFunzione Sink() {
        return [this](std::string_view r) { righe.emplace_back(r); };
    }
    // How many lines begin with `prefisso`.
    std::size_t Conta(std::string_view prefisso) const {
        std::size_t n = 0;
        for (const auto& r : righe) n += r.rfind(prefisso, 0) == 0 ? 1 : 0;
        return n;
    }
};

// A fresh folder under the build tree, removed when the test ends.
class CartellaTemporanea {
public:
    CartellaTemporanea() {
        percorso_ = std::filesystem::path(MORVEN_BINARY_DIR) / "test-scratch" / "exchange" /
                    (morven::testing::CurrentTestFolderName() + "." + std::to_string(std::random_device{}()));
        std::filesystem::remove_all(percorso_);
        std::filesystem::create_directories(percorso_);
    }
    ~CartellaTemporanea() {
        std::error_code ec;
        std::filesystem::remove_all(percorso_, ec);
    }
    CartellaTemporanea(const CartellaTemporanea&) = delete;
    CartellaTemporanea& operator=(const CartellaTemporanea&) = delete;
    const std::filesystem::path& operator*() const { return percorso_; }
    std::filesystem::path operator/(std::string_view nome) const { return percorso_ / std::string(nome); }

private:
    std::filesystem::path percorso_;
};

}  // namespace morven::test
