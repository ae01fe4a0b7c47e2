// Helpers shared by the engine tests: zlib as the decoding oracle, sample data, temporary folders,
// and running interop programs with an argument vector.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <random>
#include <system_error>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "scratch_dir.h"

namespace gtlib::test {

using Bytes = std::vector<std::uint8_t>;

// Raw deflate (windowBits -15) or gzip (windowBits 31) decoded by zlib; false when zlib rejects it.
bool ZlibInflate(const Bytes& in, Bytes& out, int windowBits);

// Block types of a raw deflate stream in order (0 stored, 1 fixed, 2 dynamic), found by stepping zlib
// through the stream block by block. Empty when the stream does not decode.
std::vector<int> BlockTypes(const Bytes& raw);

Bytes TextSample(std::size_t size, std::uint32_t seed = 1);  // words and lines, compressible
Bytes RandomBytes(std::size_t size, std::uint32_t seed = 2);
Bytes ToBytes(const std::string& s);


void WriteFile(const std::filesystem::path& p, const Bytes& data);
Bytes ReadFile(const std::filesystem::path& p);

// Runs a program (argument vector, no shell); returns its exit status, stdout (and stderr with
// `withStderr`) in `out` when given.
int Run(const std::vector<std::string>& argv, std::string* out = nullptr, const Bytes* stdinData = nullptr,
        bool withStderr = false);

// ---- definitions ----


inline bool ZlibInflate(const Bytes& in, Bytes& out, int windowBits) {
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) return false;
    out.clear();
    z.next_in = const_cast<Bytes::value_type*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    std::uint8_t buf[65536];
    int rc;
    do {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
    } while (rc == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
    const bool ok = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return ok;
}

inline std::vector<int> BlockTypes(const Bytes& raw) {
    std::vector<int> types;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return {};
    z.next_in = const_cast<Bytes::value_type*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    std::vector<std::uint8_t> buf(1 << 20);
    auto bitAt = [&raw](std::size_t bit) { return (raw[bit >> 3] >> (bit & 7)) & 1; };
    std::size_t headerBit = 0;  // the first block header starts at bit 0
    for (;;) {
        types.push_back(bitAt(headerBit + 1) | (bitAt(headerBit + 2) << 1));
        int rc;
        // Decode until the end of this block.
        do {
            z.next_out = buf.data();
            z.avail_out = static_cast<uInt>(buf.size());
            rc = inflate(&z, Z_BLOCK);
        } while (rc == Z_OK && !(z.data_type & 128) && z.avail_in > 0);
        if (rc == Z_STREAM_END || (rc == Z_OK && (z.data_type & 64))) break;  // the final block ended
        if (rc != Z_OK || !(z.data_type & 128)) {
            types.clear();
            break;
        }
        const std::size_t consumed = raw.size() - z.avail_in;
        headerBit = consumed * 8 - static_cast<std::size_t>(z.data_type & 7);
        if (headerBit + 3 > raw.size() * 8) {
            types.clear();
            break;
        }
    }
    inflateEnd(&z);
    return types;
}

inline Bytes TextSample(std::size_t size, std::uint32_t seed) {
    static const char* words[] = {"farmacia", "ordine", "grossista", "mancanti", "prodotto", "quantita",
                                  "codice", "prezzo", "sconto", "consegna", "the", "of", "and", "data",
                                  "0001", "12.50", "IVA", "lotto", "scadenza", "disponibile"};
    std::mt19937 g(seed);
    Bytes out;
    while (out.size() < size) {
        const int n = 3 + static_cast<int>(g() % 9);
        for (int i = 0; i < n && out.size() < size; ++i) {
            const char* w = words[g() % (sizeof words / sizeof *words)];
            out.insert(out.end(), w, w + std::strlen(w));
            out.push_back(' ');
        }
        out.push_back('\n');
    }
    out.resize(size);
    return out;
}

inline Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 g(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>(g());
    return out;
}

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline void WriteFile(const std::filesystem::path& p, const Bytes& data) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes ReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline int Run(const std::vector<std::string>& argv, std::string* out, const Bytes* stdinData, bool withStderr) {
    int outPipe[2], inPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(inPipe) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(inPipe[0], 0);
        ::dup2(outPipe[1], 1);
        if (withStderr) {
            ::dup2(outPipe[1], 2);
        } else {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 2);
        }
        ::close(inPipe[1]);
        ::close(outPipe[0]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    if (stdinData && !stdinData->empty()) {
        std::size_t done = 0;
        while (done < stdinData->size()) {
            const ssize_t w = ::write(inPipe[1], stdinData->data() + done, stdinData->size() - done);
            if (w <= 0) break;
            done += static_cast<std::size_t>(w);
        }
    }
    ::close(inPipe[1]);
    char buf[65536];
    ssize_t r;
    while ((r = ::read(outPipe[0], buf, sizeof buf)) > 0)
        if (out) out->append(buf, static_cast<std::size_t>(r));
    ::close(outPipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace gtlib::test
