#include "bench/corpora.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace bench {
namespace {

namespace fs = std::filesystem;

// Concatenates regular files under `root` (sorted by path, so every run sees the same bytes).
std::vector<std::uint8_t> FromFiles(const fs::path& root, bool (*take)(const fs::path&), std::size_t size) {
    std::vector<fs::path> paths;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         it != end; it.increment(ec)) {
        if (ec) break;
        if (it->is_symlink() || !it->is_regular_file()) continue;
        if (take(it->path())) paths.push_back(it->path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::uint8_t> out;
    for (const fs::path& p : paths) {
        std::ifstream f(p, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        out.insert(out.end(), bytes.begin(), bytes.end());
        if (out.size() >= size) break;
    }
    if (out.size() > size) out.resize(size);
    return out;
}

// Records like the order work file and the shortage answer: fixed columns, CR LF line ends.
std::vector<std::uint8_t> Records(std::size_t size) {
    std::mt19937 g(20261210);
    auto next = [&g](unsigned n) { return static_cast<unsigned>(g() % n); };  // one draw per call, in order
    std::string out;
    char line[160];
    unsigned order = 1;
    while (out.size() < size) {
        const unsigned customer = next(999999), date = 20260000u + next(1231);
        std::snprintf(line, sizeof line, "0100MORVEN  %06u%08u%-10s\r\n", customer, date, "ORDINE");
        out += line;
        const unsigned rows = 5 + next(40);
        for (unsigned i = 0; i < rows; ++i) {
            const unsigned minsan = 900000000u + next(99999999u);
            const unsigned qty = 1 + next(20);
            const unsigned shortQty = next(4) == 0 ? next(qty) : 0;
            const unsigned price = next(5000000u) * 100u;
            const unsigned vat = next(3) ? 10u : 22u;
            const char* name = next(2) ? "PARACETAMOLO 500MG 20 CPR" : "IBUPROFENE 400MG 12 BUSTE";
            const char reason = "SNMD"[next(4)];
            const unsigned expiry = 20260000u + next(1231);
            std::snprintf(line, sizeof line, "02%09u%05u%05u%011u%02u%-30.30s%c%08u\r\n", minsan, qty, shortQty, price,
                          vat, name, reason, expiry);
            out += line;
        }
        std::snprintf(line, sizeof line, "9999FINE TX%06u\r\n", order++);
        out += line;
    }
    out.resize(size);
    return std::vector<std::uint8_t>(out.begin(), out.end());
}

std::vector<std::uint8_t> Random(std::size_t size) {
    std::mt19937_64 g(42);
    std::vector<std::uint8_t> out(size);
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t v = g();
        for (int k = 0; k < 8; ++k) out[i + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
    }
    return out;
}

std::vector<Corpus> Build() {
    std::vector<Corpus> c;
    c.push_back({"text", FromFiles("/usr/include", [](const fs::path& p) { return p.extension() == ".h"; }, kCorpusSize)});
    c.push_back({"binary", FromFiles("/usr/bin", [](const fs::path&) { return true; }, kCorpusSize)});
    c.push_back({"records", Records(kCorpusSize)});
    c.push_back({"random", Random(kCorpusSize)});
    return c;
}

}  // namespace

const std::vector<Corpus>& Corpora() {
    static const std::vector<Corpus> corpora = Build();
    return corpora;
}

const Corpus& CorpusNamed(std::string_view name) {
    for (const Corpus& c : Corpora())
        if (c.name == name) return c;
    std::fprintf(stderr, "unknown corpus %.*s\n", static_cast<int>(name.size()), name.data());
    std::abort();
}

}  // namespace bench
