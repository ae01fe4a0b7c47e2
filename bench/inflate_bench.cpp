// Our inflate beside zlib's and libdeflate's decoders on the same raw deflate streams: each corpus packed
// by zlib at levels 1 and 6. Rates are bytes of decoded output per second.
//   ours        the whole stream into a buffer of the right size (as libdeflate and zlib are called)
//   ours_stream the engine's path: input pulled in 10240-byte pieces, output handed over in pieces
//   ours_null   the same path with a sink that keeps nothing: what the streaming costs the decoder itself,
//               without the sink's copy of every byte into its own memory
// and many small members decoded with a fresh decoder each or with one kept for all (members/...).
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/corpora.h"
#include "gtlib/engine/inflate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& Packed(const bench::Corpus& c, int level) {
    static std::map<std::pair<std::string, int>, Bytes> cache;
    Bytes& z = cache[{c.name, level}];
    if (z.empty()) {
        z_stream s{};
        deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        z.resize(deflateBound(&s, c.data.size()));
        s.next_in = const_cast<Bytef*>(c.data.data());
        s.avail_in = static_cast<uInt>(c.data.size());
        s.next_out = z.data();
        s.avail_out = static_cast<uInt>(z.size());
        deflate(&s, Z_FINISH);
        z.resize(s.total_out);
        deflateEnd(&s);
    }
    return z;
}

void Report(benchmark::State& state, const bench::Corpus& c, const Bytes& out, std::size_t n, std::size_t packed) {
    if (n != c.data.size() || !std::equal(c.data.begin(), c.data.end(), out.begin())) {
        state.SkipWithError("decoded data differ");
        return;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
    state.counters["packed"] = static_cast<double>(packed);
}

void Ours(benchmark::State& state, const bench::Corpus* c, int level) {
    const Bytes& z = Packed(*c, level);
    Bytes out(c->data.size());
    std::size_t n = 0;
    for (auto _ : state) {
        gtlib::InflateInto(z.data(), z.size(), out.data(), out.size(), &n);
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, *c, out, n, z.size());
}

class PieceSource : public gtlib::InflateSource {
public:
    explicit PieceSource(const Bytes& z) : z_(z) {}
    std::size_t Read(std::uint8_t* dst, std::size_t max) override {
        const std::size_t n = std::min({max, std::size_t{10240}, z_.size() - pos_});
        std::memcpy(dst, z_.data() + pos_, n);
        pos_ += n;
        return n;
    }

private:
    const Bytes& z_;
    std::size_t pos_ = 0;
};

class BufferSink : public gtlib::InflateSink {
public:
    explicit BufferSink(Bytes& out) : out_(out) {}
    bool Write(const std::uint8_t* p, std::size_t n) override {
        if (n > out_.size() - used) return false;
        std::memcpy(out_.data() + used, p, n);
        used += n;
        return true;
    }
    std::size_t used = 0;

private:
    Bytes& out_;
};

// Counts the bytes and keeps nothing; the output is checked by the other paths.
class DiscardSink : public gtlib::InflateSink {
public:
    bool Write(const std::uint8_t* p, std::size_t n) override {
        benchmark::DoNotOptimize(p);
        used += n;
        return true;
    }
    std::size_t used = 0;
};

void OursStream(benchmark::State& state, const bench::Corpus* c, int level) {
    const Bytes& z = Packed(*c, level);
    Bytes out(c->data.size());
    std::size_t n = 0;
    for (auto _ : state) {
        PieceSource src(z);
        BufferSink sink(out);
        gtlib::Inflate(src, sink);
        n = sink.used;
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, *c, out, n, z.size());
}

void OursNull(benchmark::State& state, const bench::Corpus* c, int level) {
    const Bytes& z = Packed(*c, level);
    std::size_t n = 0;
    for (auto _ : state) {
        PieceSource src(z);
        DiscardSink sink;
        gtlib::Inflate(src, sink);
        n = sink.used;
    }
    if (n != c->data.size()) {
        state.SkipWithError("decoded size differs");
        return;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}

void Zlib(benchmark::State& state, const bench::Corpus* c, int level) {
    const Bytes& z = Packed(*c, level);
    Bytes out(c->data.size());
    z_stream s{};
    inflateInit2(&s, -15);
    std::size_t n = 0;
    for (auto _ : state) {
        inflateReset(&s);
        s.next_in = const_cast<Bytef*>(z.data());
        s.avail_in = static_cast<uInt>(z.size());
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(out.size());
        inflate(&s, Z_FINISH);
        n = s.total_out;
        benchmark::DoNotOptimize(out.data());
    }
    inflateEnd(&s);
    Report(state, *c, out, n, z.size());
}

void Libdeflate(benchmark::State& state, const bench::Corpus* c, int level) {
    const Bytes& z = Packed(*c, level);
    Bytes out(c->data.size());
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t n = 0;
    for (auto _ : state) {
        libdeflate_deflate_decompress(d, z.data(), z.size(), out.data(), out.size(), &n);
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_decompressor(d);
    Report(state, *c, out, n, z.size());
}

// Many small members, as a folder of small files packed one GZIP member each gives: the records corpus cut
// into pieces of `piece` bytes, each packed by zlib at level 6, decoded one after the other through the
// engine's path. `fresh` makes a decoder for every member (its tables and its 320 KiB of buffers), `kept`
// uses one decoder for all, as the decompression engine now does.
const std::vector<Bytes>& Members(std::size_t piece) {
    static std::map<std::size_t, std::vector<Bytes>> cache;
    std::vector<Bytes>& members = cache[piece];
    if (members.empty()) {
        const bench::Corpus* records = nullptr;
        for (const bench::Corpus& c : bench::Corpora())
            if (c.name == "records") records = &c;
        for (std::size_t at = 0; records && at < records->data.size(); at += piece) {
            const std::size_t n = std::min(piece, records->data.size() - at);
            z_stream s{};
            deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
            Bytes z(deflateBound(&s, n));
            s.next_in = const_cast<Bytef*>(records->data.data() + at);
            s.avail_in = static_cast<uInt>(n);
            s.next_out = z.data();
            s.avail_out = static_cast<uInt>(z.size());
            deflate(&s, Z_FINISH);
            z.resize(s.total_out);
            deflateEnd(&s);
            members.push_back(std::move(z));
        }
    }
    return members;
}

void SmallMembers(benchmark::State& state, std::size_t piece, bool kept) {
    const std::vector<Bytes>& members = Members(piece);
    gtlib::InflateDecoder decoder;
    Bytes out(piece);
    std::size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const Bytes& z : members) {
            PieceSource src(z);
            BufferSink sink(out);
            if (kept) gtlib::Inflate(decoder, src, sink);
            else gtlib::Inflate(src, sink);
            total += sink.used;
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(total));
    state.counters["members"] = static_cast<double>(members.size());
}

// The fixed cost of one member: an empty stream (one empty final block), decoded with a fresh decoder each
// time or with one kept decoder; the time per iteration is the cost of one call.
void EmptyMember(benchmark::State& state, bool kept) {
    const Bytes z = {0x03, 0x00};
    gtlib::InflateDecoder decoder;
    Bytes out(16);
    for (auto _ : state) {
        PieceSource src(z);
        BufferSink sink(out);
        const gtlib::InflateResult r = kept ? gtlib::Inflate(decoder, src, sink) : gtlib::Inflate(src, sink);
        benchmark::DoNotOptimize(r);
    }
}

int Register() {
    benchmark::RegisterBenchmark("members/empty/fresh", EmptyMember, false)->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("members/empty/kept", EmptyMember, true)->Unit(benchmark::kNanosecond);
    for (std::size_t piece : {1024, 8192, 65536})
        for (bool kept : {false, true})
            benchmark::RegisterBenchmark(
                ("members/records/" + std::to_string(piece / 1024) + "K/" + (kept ? "kept" : "fresh")).c_str(),
                SmallMembers, piece, kept)
                ->Unit(benchmark::kMillisecond);
    for (const bench::Corpus& c : bench::Corpora()) {
        for (int level : {1, 6}) {
            const std::string base = "inflate/" + c.name + "/L" + std::to_string(level) + "/";
            benchmark::RegisterBenchmark((base + "ours").c_str(), Ours, &c, level)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((base + "ours_stream").c_str(), OursStream, &c, level)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((base + "ours_null").c_str(), OursNull, &c, level)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((base + "zlib").c_str(), Zlib, &c, level)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((base + "libdeflate").c_str(), Libdeflate, &c, level)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return 0;
}

const int registered = Register();

}  // namespace

BENCHMARK_MAIN();
