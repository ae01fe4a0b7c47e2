// In-memory corpora shared by the benchmarks, built once at start and deterministic on a machine:
// text from the system's headers, binary from the system's executables, records laid out like the
// system's own order and answer files, and incompressible random data. Nothing is downloaded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct Corpus {
    std::string name;  // "text", "binary", "records", "random"
    std::vector<std::uint8_t> data;
};

// The four corpora, each about `kCorpusSize` bytes (the file-based ones are shorter only when the
// system holds fewer bytes).
constexpr std::size_t kCorpusSize = 4u << 20;
const std::vector<Corpus>& Corpora();

// One corpus by name (aborts on an unknown name).
const Corpus& CorpusNamed(std::string_view name);

}  // namespace bench
