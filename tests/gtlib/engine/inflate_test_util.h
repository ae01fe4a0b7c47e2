// Helpers shared by the inflate and TAR tests: sample data, zlib as the reference encoder, external tools,
// temporary folders.
#pragma once

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "scratch_dir.h"

namespace gtlib_test {

using Bytes = std::vector<std::uint8_t>;

// Sample data of several kinds: text-like, random, runs, skewed byte values (long codes), empty.
inline Bytes Sample(const std::string& kind, std::size_t n, unsigned seed = 1) {
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(n);
    if (kind == "text") {
        static const char* words[] = {"ordine", "farmacia", "grossista", "mancanti", "consegna", "prezzo",
                                      "quantita", "\n", "lotto", "scadenza", ", ", "PHT"};
        while (out.size() < n) {
            const char* w = words[rng() % 12];
            for (const char* p = w; *p && out.size() < n; ++p) out.push_back(static_cast<std::uint8_t>(*p));
            if (out.size() < n) out.push_back(' ');
        }
    } else if (kind == "random") {
        for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(rng()));
    } else if (kind == "runs") {
        while (out.size() < n) {
            const std::uint8_t b = static_cast<std::uint8_t>(rng() % 4);
            const std::size_t len = 1 + rng() % 600;
            for (std::size_t i = 0; i < len && out.size() < n; ++i) out.push_back(b);
        }
    } else if (kind == "skewed") {
        std::geometric_distribution<int> g(0.35);
        for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(std::min(g(rng), 255)));
    }
    return out;
}

// Raw deflate (no header) with zlib. flush_every > 0 calls deflate with `flush` after every that many bytes.
inline Bytes ZlibDeflateRaw(const Bytes& in, int level, int strategy, std::size_t flush_every = 0,
                            int flush = Z_SYNC_FLUSH, int window_bits = -15) {
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, window_bits, 8, strategy);
    Bytes out(deflateBound(&s, in.size()) + 64 + (flush_every ? (in.size() / flush_every + 1) * 16 : 0));
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    std::size_t pos = 0;
    const std::size_t step = flush_every ? flush_every : in.size();
    do {
        const std::size_t n = std::min(step, in.size() - pos);
        s.next_in = const_cast<std::uint8_t*>(in.data() + pos);
        s.avail_in = static_cast<uInt>(n);
        pos += n;
        deflate(&s, pos == in.size() ? Z_FINISH : flush);
    } while (pos < in.size());
    if (in.empty()) deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// Raw inflate with zlib: returns false on any error or when more than cap bytes would come out.
inline bool ZlibInflateRaw(const std::uint8_t* in, std::size_t n, Bytes& out, std::size_t cap) {
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK) return false;
    out.assign(cap + 1, 0);
    s.next_in = const_cast<std::uint8_t*>(in);
    s.avail_in = static_cast<uInt>(n);
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    const int r = inflate(&s, Z_FINISH);
    out.resize(s.total_out);
    inflateEnd(&s);
    return r == Z_STREAM_END && out.size() <= cap;
}

// Runs a program (argument vector, no shell), optionally with stdout sent to a file (and stderr to another,
// else nowhere); true on exit status 0.
inline bool Run(const std::vector<std::string>& argv, const std::string& stdout_file = "",
                const std::string& cwd = "", const std::string& stderr_file = "") {
    const pid_t pid = fork();
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        if (!stdout_file.empty()) {
            FILE* f = std::freopen(stdout_file.c_str(), "wb", stdout);
            if (!f) _exit(126);
        }
        std::FILE* devnull = std::fopen(stderr_file.empty() ? "/dev/null" : stderr_file.c_str(), "w");
        if (devnull) dup2(fileno(devnull), 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline bool HaveTool(const std::string& name) { return Run({"sh", "-c", "command -v " + name + " >/dev/null"}); }

inline Bytes ReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& p, const Bytes& b) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline void WriteFile(const std::filesystem::path& p, const std::string& s) {
    WriteFile(p, Bytes(s.begin(), s.end()));
}

// Offset of the deflate data in a GZIP member (after the optional fields of the header).
inline std::size_t GzipDataOffset(const Bytes& g) {
    std::size_t p = 10;
    const std::uint8_t flags = g[3];
    if (flags & 4) p += 2 + (g[p] | (g[p + 1] << 8));
    if (flags & 8) while (g[p++]) {}
    if (flags & 16) while (g[p++]) {}
    if (flags & 2) p += 2;
    return p;
}

}  // namespace gtlib_test
