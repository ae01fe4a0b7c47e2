// One GZIP member larger than 4 GiB through both engines: the compression engine packs a file of
// 4.5 GiB (sparse, with stretches of varied data before, across and after the 4 GiB mark), then the
// decompression engine tests the member (CRC-32 and the size modulo 2^32 of its trailer) and unpacks it to a
// file, which is compared with the source byte for byte. Rates are bytes of source per second.
//
// Off by default (scripts/bench does not run it): it needs about 5 GiB free and a few minutes.
//   cmake --build build --target large_member_bench && build/bin/large_member_bench
// The files go to a scratch folder under $TMPDIR (or /tmp), removed at the end unless LARGE_MEMBER_KEEP is set.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "gtlib/engine/gt_engine.h"
#include "gtlib/engine/records.h"
#include "gtlib/engine/ugt_engine.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMiB = 1 << 20;
constexpr std::uint64_t kSourceSize = (4608 * kMiB) + 12345;  // 4.5 GiB and a little
constexpr std::uint64_t kStretch = 16 * kMiB;
constexpr std::uint64_t kStretches[] = {0, 1024 * kMiB, 4096 * kMiB - kStretch / 2, kSourceSize - kStretch};

bool WriteSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = ::ftruncate(fd, static_cast<off_t>(kSourceSize)) == 0;
    std::mt19937_64 rng(4242);
    std::vector<std::uint8_t> data(kStretch);
    for (std::uint64_t at : kStretches) {
        // Text-like bytes: compressible, but never a run the coder could pass over.
        for (auto& b : data) b = static_cast<std::uint8_t>('a' + rng() % 20);
        ok = ok && ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(data.size());
    }
    return ::close(fd) == 0 && ok;
}

bool SameContents(const std::string& a, const std::string& b) {
    const int fa = ::open(a.c_str(), O_RDONLY), fb = ::open(b.c_str(), O_RDONLY);
    bool same = fa >= 0 && fb >= 0;
    std::vector<char> x(kMiB), y(kMiB);
    while (same) {
        const ssize_t na = ::read(fa, x.data(), x.size());
        ssize_t nb = 0;
        while (nb < na) {
            const ssize_t k = ::read(fb, y.data() + nb, static_cast<std::size_t>(na - nb));
            if (k <= 0) break;
            nb += k;
        }
        if (na < 0 || nb != na || std::memcmp(x.data(), y.data(), static_cast<std::size_t>(na)) != 0) same = false;
        if (na <= 0) break;
    }
    if (same) same = ::read(fb, y.data(), 1) == 0;
    if (fa >= 0) ::close(fa);
    if (fb >= 0) ::close(fb);
    return same;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void LargeMemberRoundTrip(benchmark::State& state) {
    const char* tmp = std::getenv("TMPDIR");
    std::string scratch = std::string(tmp && *tmp ? tmp : "/tmp") + "/large-member-XXXXXX";
    if (::mkdtemp(scratch.data()) == nullptr) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string source = scratch + "/big.dat", packed = scratch + "/big.dat.gz", out = scratch + "/out";
    for (auto _ : state) {
        if (!WriteSource(source)) {
            state.SkipWithError("cannot write the source");
            break;
        }
        auto start = std::chrono::steady_clock::now();
        gtlib::GTCMDSTRUCT gt = gtlib::NewGtCmdStruct();
        gt.lFunction = gtlib::GT_GZIP;
        gt.lpszGTFile = packed.c_str();
        gt.lpszItemList = source.c_str();
        gt.lCompFactor = 1;
        gt.bAllQuiet = -1;
        if (gtlib::GtMain(&gt) != 0) {
            state.SkipWithError("packing failed");
            break;
        }
        state.counters["pack_MBps"] = static_cast<double>(kSourceSize) / kMiB / Seconds(start);
        state.counters["packed_MiB"] = static_cast<double>(fs::file_size(packed)) / kMiB;

        start = std::chrono::steady_clock::now();
        gtlib::UGTCMDSTRUCT test = gtlib::NewUgtCmdStruct();
        test.lFunction = gtlib::UGT_GUNZIP;
        test.lpszGTFile = packed.c_str();
        test.TestFlag = -1;
        test.bAllQuiet = -1;
        if (gtlib::UgtMain(&test) != 0) {
            state.SkipWithError("testing the member failed");
            break;
        }
        state.counters["test_MBps"] = static_cast<double>(kSourceSize) / kMiB / Seconds(start);

        start = std::chrono::steady_clock::now();
        gtlib::UGTCMDSTRUCT unpack = gtlib::NewUgtCmdStruct();
        unpack.lFunction = gtlib::UGT_GUNZIP;
        unpack.lpszGTFile = packed.c_str();
        unpack.lpszDestination = out.c_str();
        unpack.bAllQuiet = -1;
        if (gtlib::UgtMain(&unpack) != 0) {
            state.SkipWithError("unpacking failed");
            break;
        }
        state.counters["unpack_MBps"] = static_cast<double>(kSourceSize) / kMiB / Seconds(start);
        // The member carries the source's path as its stored name; it is unpacked below the destination.
        if (!SameContents(source, out + source)) {
            state.SkipWithError("unpacked data differ from the source");
            break;
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(kSourceSize));
    }
    std::error_code ec;
    if (std::getenv("LARGE_MEMBER_KEEP")) std::fprintf(stderr, "files kept in %s\n", scratch.c_str());
    else fs::remove_all(scratch, ec);
}

BENCHMARK(LargeMemberRoundTrip)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
