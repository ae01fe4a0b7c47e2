// GZIP member header reader of the decompression engine (included by ugt_engine.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace gtlib {

namespace ugt_detail {

// Reads exactly n bytes, or fails.
template <typename Reader>
bool ReadExact(Reader& read, uint8_t* dst, std::size_t n, int64_t& pos) {
    std::size_t got = 0;
    while (got < n) {
        const std::size_t k = read(dst + got, n - got);
        if (k == 0) return false;
        got += k;
    }
    pos += static_cast<int64_t>(n);
    return true;
}

// Reads a zero-terminated field to its end; keeps at most `keep` bytes of it.
template <typename Reader>
bool ReadZeroTerminated(Reader& read, std::string& out, std::size_t keep, int64_t& pos) {
    out.clear();
    for (;;) {
        uint8_t b;
        if (!ReadExact(read, &b, 1, pos)) return false;
        if (b == 0) return true;
        if (out.size() < keep) out.push_back(static_cast<char>(b));
    }
}

}  // namespace ugt_detail

template <typename Reader>
int32_t UgtReadGzipHeader(Reader&& read, UgtGzipHeader& h) {
    constexpr int32_t kStruct = 3;  // UGTE_STRUCT
    constexpr std::size_t kKeep = 259;
    h = UgtGzipHeader{};
    int64_t pos = 0;
    if (!ugt_detail::ReadExact(read, h.fixed, 10, pos)) return kStruct;
    if (h.fixed[0] != 0x1F || h.fixed[1] != 0x8B) return kStruct;
    const uint8_t flags = h.fixed[3];
    if (flags & 0x04) {
        uint8_t len[2];
        if (!ugt_detail::ReadExact(read, len, 2, pos)) return kStruct;
        const std::size_t n = static_cast<std::size_t>(len[0]) | (static_cast<std::size_t>(len[1]) << 8);
        h.extra.resize(n);
        if (n > 0 && !ugt_detail::ReadExact(read, reinterpret_cast<uint8_t*>(h.extra.data()), n, pos))
            return kStruct;
    }
    if (flags & 0x08) {
        if (!ugt_detail::ReadZeroTerminated(read, h.name, kKeep, pos)) return kStruct;
        h.hasName = true;
    }
    if (flags & 0x10) {
        if (!ugt_detail::ReadZeroTerminated(read, h.comment, kKeep, pos)) return kStruct;
        h.hasComment = true;
        h.commentSize = static_cast<uint16_t>(h.comment.size() + 1);
    }
    if (flags & 0x02) {
        uint8_t crc[2];
        if (!ugt_detail::ReadExact(read, crc, 2, pos)) return kStruct;
    }
    if (flags & 0x20) {
        if (!ugt_detail::ReadExact(read, h.cryptHeader, 12, pos)) return kStruct;
        h.encrypted = true;
    }
    h.dataStart = pos;
    return 0;
}

}  // namespace gtlib
