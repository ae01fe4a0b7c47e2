// Our deflate (levels 1, 6, 9) and CRC-32 beside zlib's and libdeflate's on the same corpora.
// Each deflate benchmark reports the input rate and the compressed size ("size", "ratio").
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/corpora.h"
#include "gtlib/engine/crc32.h"
#include "gtlib/engine/deflate.h"

namespace {

void Report(benchmark::State& state, std::size_t in, std::size_t out) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(in));
    state.counters["size"] = static_cast<double>(out);
    state.counters["ratio"] = in ? static_cast<double>(out) / static_cast<double>(in) : 0;
}

void Ours(benchmark::State& state, const bench::Corpus* c, int level) {
    gtlib::DeflateCoder st;
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        gtlib::DeflateBuffer(st, c->data.data(), c->data.size(), level, out);
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, c->data.size(), out.size());
}

void Zlib(benchmark::State& state, const bench::Corpus* c, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> out(deflateBound(&z, c->data.size()));
    std::size_t size = 0;
    for (auto _ : state) {
        deflateReset(&z);
        z.next_in = const_cast<Bytef*>(c->data.data());
        z.avail_in = static_cast<uInt>(c->data.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_FINISH);
        size = z.total_out;
        benchmark::DoNotOptimize(out.data());
    }
    deflateEnd(&z);
    Report(state, c->data.size(), size);
}

void Libdeflate(benchmark::State& state, const bench::Corpus* c, int level) {
    libdeflate_compressor* comp = libdeflate_alloc_compressor(level);
    std::vector<std::uint8_t> out(libdeflate_deflate_compress_bound(comp, c->data.size()));
    std::size_t size = 0;
    for (auto _ : state) {
        size = libdeflate_deflate_compress(comp, c->data.data(), c->data.size(), out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_compressor(comp);
    Report(state, c->data.size(), size);
}

const std::vector<std::uint8_t>& CrcData() {
    static const std::vector<std::uint8_t> data = bench::CorpusNamed("random").data;
    return data;
}

void CrcOurs(benchmark::State& state) {
    std::uint32_t crc = 0;
    for (auto _ : state) benchmark::DoNotOptimize(crc = gtlib::Crc32(crc, CrcData().data(), CrcData().size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * CrcData().size()));
}
void CrcZlib(benchmark::State& state) {
    uLong crc = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(crc = crc32(crc, CrcData().data(), static_cast<uInt>(CrcData().size())));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * CrcData().size()));
}
void CrcLibdeflate(benchmark::State& state) {
    std::uint32_t crc = 0;
    for (auto _ : state) benchmark::DoNotOptimize(crc = libdeflate_crc32(crc, CrcData().data(), CrcData().size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * CrcData().size()));
}

int Register() {
    for (const bench::Corpus& c : bench::Corpora()) {
        for (int level : {1, 6, 9}) {
            const std::string base = "deflate/" + c.name + "/L" + std::to_string(level) + "/";
            benchmark::RegisterBenchmark((base + "ours").c_str(), Ours, &c, level)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((base + "zlib").c_str(), Zlib, &c, level)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((base + "libdeflate").c_str(), Libdeflate, &c, level)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("crc32/ours", CrcOurs);
    benchmark::RegisterBenchmark("crc32/zlib", CrcZlib);
    benchmark::RegisterBenchmark("crc32/libdeflate", CrcLibdeflate);
    return 0;
}

const int registered = Register();

}  // namespace

BENCHMARK_MAIN();
