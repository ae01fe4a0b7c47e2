// The deflate matcher's work per input byte on each corpus at levels 1, 6 and 9: searches, chain entries
// tested (candidates), chain words loaded, full compares and the longer matches they found, positions
// inserted. The coder is compiled into this program a second time with its counters on; the library and
// the speed benchmarks have none. The counts follow from the matcher's rules alone, so they are the same
// on every machine.
#include <cstdio>

#include "bench/corpora.h"
#include "gtlib/engine/deflate.h"

int main() {
    std::printf("%-8s %3s %11s %11s %13s %11s %10s %10s %10s\n", "corpus", "lvl", "searches/B", "cand/B",
                "chain words/B", "cand/search", "compare/B", "longer/B", "insert/B");
    for (const bench::Corpus& c : bench::Corpora()) {
        for (int level : {1, 6, 9}) {
            gtlib::DeflateStatsNow() = {};
            gtlib::DeflateBuffer(c.data.data(), c.data.size(), level);
            const gtlib::DeflateStats& st = gtlib::DeflateStatsNow();
            const double n = static_cast<double>(c.data.size());
            std::printf("%-8s %3d %11.3f %11.2f %13.2f %11.1f %10.3f %10.3f %10.2f\n", c.name.c_str(), level,
                        st.searches / n, st.candidates / n, st.words / n,
                        st.searches ? static_cast<double>(st.candidates) / st.searches : 0.0, st.compares / n,
                        st.longer / n, st.inserts / n);
        }
    }
    return 0;
}
