// Reading TAR headers: the member walk (GNU long names, pax records, the sparse forms), the header reader
// and the member index.
#include "gtlib/engine/tar.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <string_view>

#include "gtlib/engine/tar_internal.h"

namespace gtlib {

using namespace tar_detail;

namespace {

constexpr std::uint64_t kMaxLongName = 65536;

bool IsMetaType(std::uint8_t t) { return t == 'L' || t == 'K' || t == 'x' || t == 'g'; }

constexpr std::uint64_t kMaxPaxHeader = 1 << 20;
constexpr std::size_t kMaxSparseSegments = 1 << 20;

bool ParseDecimal(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// Reads the records "<length> <key>=<value>\n" of a pax extended header into v (later records win).
// False for a record that does not hold together or a size or time that is not a number.
bool ParsePax(std::string_view text, TarPaxValues& v) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] != '\0') {
        const std::size_t space = text.find(' ', pos);
        std::uint64_t length = 0;
        if (space == std::string_view::npos || !ParseDecimal(text.substr(pos, space - pos), length)) return false;
        if (length < space - pos + 3 || length > text.size() - pos || text[pos + length - 1] != '\n') return false;
        const std::string_view record = text.substr(space + 1, pos + length - 1 - (space + 1));
        const std::size_t eq = record.find('=');
        if (eq == std::string_view::npos) return false;
        const std::string_view key = record.substr(0, eq);
        const std::string_view value = record.substr(eq + 1);
        if (key == "path") {
            v.path = std::string(value);
        } else if (key == "linkpath") {
            v.linkpath = std::string(value);
        } else if (key == "size") {
            std::uint64_t size = 0;
            if (!ParseDecimal(value, size)) return false;
            v.size = size;
        } else if (key == "GNU.sparse.name") {
            v.sparseName = std::string(value);
        } else if (key == "GNU.sparse.size" || key == "GNU.sparse.realsize") {
            std::uint64_t size = 0;
            if (!ParseDecimal(value, size)) return false;
            v.sparseSize = size;
        } else if (key == "GNU.sparse.offset" || key == "GNU.sparse.numbytes") {
            // The oldest form: one record per number, offsets and sizes taking turns.
            std::uint64_t n = 0;
            if (!ParseDecimal(value, n) || v.sparseNumbers.size() >= kMaxSparseSegments * 2) return false;
            if ((key == "GNU.sparse.offset") != (v.sparseNumbers.size() % 2 == 0)) return false;
            v.sparseNumbers.push_back(n);
        } else if (key == "GNU.sparse.map") {
            v.sparseNumbers.clear();
            std::size_t at = 0;
            while (at <= value.size()) {
                std::size_t comma = value.find(',', at);
                if (comma == std::string_view::npos) comma = value.size();
                std::uint64_t n = 0;
                if (!ParseDecimal(value.substr(at, comma - at), n) || v.sparseNumbers.size() >= kMaxSparseSegments * 2)
                    return false;
                v.sparseNumbers.push_back(n);
                at = comma + 1;
            }
        } else if (key == "GNU.sparse.major") {
            v.sparseMapInData = value == "1";
        } else if (key == "mtime") {
            // Seconds, possibly negative and with a fraction: the whole seconds are kept, times before 1970
            // become 1970.
            const bool negative = !value.empty() && value[0] == '-';
            std::string_view whole = value.substr(negative ? 1 : 0);
            whole = whole.substr(0, whole.find('.'));
            std::uint64_t seconds = 0;
            if (!ParseDecimal(whole, seconds)) return false;
            v.mtime = negative ? 0 : static_cast<std::int64_t>(std::min<std::uint64_t>(seconds, INT64_MAX));
        }
        pos += length;
    }
    return true;
}

// Checks a map of a file with holes: segments in order, none overlapping another or passing the file's
// size, and together as long as the stored data.
bool SegmentsHold(const std::vector<DataSegment>& segments, std::uint64_t file_size, std::uint64_t stored) {
    std::uint64_t end = 0, total = 0;
    if (file_size > static_cast<std::uint64_t>(INT64_MAX)) return false;  // no file can be that long
    for (const DataSegment& seg : segments) {
        if (seg.offset < end || seg.size > file_size || seg.offset > file_size - seg.size) return false;
        end = seg.offset + seg.size;
        total += seg.size;
    }
    return total == stored;
}

bool PairsToSegments(const std::vector<std::uint64_t>& numbers, std::vector<DataSegment>& segments) {
    if (numbers.size() % 2 != 0) return false;
    segments.clear();
    for (std::size_t i = 0; i < numbers.size(); i += 2) segments.push_back({numbers[i], numbers[i + 1]});
    return true;
}

// The old GNU form (member type "S"): four map entries in the header, more in the blocks that follow it
// while the "extended" byte is set, the real size at offset 483. The stored data follow the last block.
bool ReadOldSparse(int fd, const std::uint8_t* header, std::uint64_t pos, std::uint64_t archive_size,
                   TarHeaderRead& m) {
    constexpr std::size_t kEntry = 24;
    auto take = [&m](const std::uint8_t* entries, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* e = entries + i * kEntry;
            if (e[0] == 0) return true;  // no more entries in this block
            DataSegment seg;
            if (!TarParseNumber(e, 12, &seg.offset) || !TarParseNumber(e + 12, 12, &seg.size)) return false;
            if (m.segments.size() >= kMaxSparseSegments) return false;
            m.segments.push_back(seg);
        }
        return true;
    };
    m.segments.clear();
    if (!take(header + 386, 4)) return false;
    std::uint64_t real_size = 0;
    if (!TarParseNumber(header + 483, 12, &real_size)) return false;
    bool extended = header[482] != 0;
    std::uint64_t at = pos + kTarBlockSize;
    std::uint8_t block[kTarBlockSize];
    while (extended) {
        if (at + kTarBlockSize > archive_size || PreadFull(fd, block, kTarBlockSize, at) != kTarBlockSize) return false;
        if (!take(block, 21)) return false;
        extended = block[504] != 0;
        at += kTarBlockSize;
    }
    m.sparse = true;
    m.dataOffset = at;
    m.dataSize = real_size;
    return true;
}

// The map that pax form 1.0 puts at the start of the data: decimal numbers, each ended by a line end (the
// count of segments, then offset and size of each), padded to a whole block. Gives the map's length.
bool ReadDataMap(int fd, std::uint64_t data, std::uint64_t stored, std::vector<std::uint64_t>& numbers,
                 std::uint64_t& map_length) {
    const std::uint64_t limit = std::min<std::uint64_t>(stored, kMaxPaxHeader);
    std::uint8_t block[kTarBlockSize];
    std::uint64_t at = 0;  // bytes of the map read
    std::size_t fill = 0, used = 0;
    auto next_number = [&](std::uint64_t& value) {
        std::string digits;
        for (;;) {
            if (used == fill) {
                if (at >= limit) return false;
                const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kTarBlockSize, limit - at));
                if (PreadFull(fd, block, want, data + at) != static_cast<ssize_t>(want)) return false;
                at += want;
                fill = want;
                used = 0;
            }
            const char c = static_cast<char>(block[used++]);
            if (c == '\n') return ParseDecimal(digits, value);
            if (digits.size() > 19) return false;
            digits.push_back(c);
        }
    };
    std::uint64_t count = 0;
    if (!next_number(count) || count > kMaxSparseSegments) return false;
    numbers.clear();
    for (std::uint64_t i = 0; i < 2 * count; ++i) {
        std::uint64_t n = 0;
        if (!next_number(n)) return false;
        numbers.push_back(n);
    }
    map_length = RoundUp512(at - (fill - used));
    return map_length <= stored;
}

}  // namespace

int tar_detail::Walk(TarReader& r, int selection, const std::function<bool(TarHeaderRead&)>& visit) {
    const std::uint64_t file_size = FileSize(r.fd);
    off_t here = ::lseek(r.fd, 0, SEEK_CUR);
    if (here < 0) return kTarReadError;
    std::uint64_t pos = static_cast<std::uint64_t>(here);
    std::uint64_t member_start = pos;
    std::optional<std::string> long_name, long_link;  // GNU "L" and "K" for the next member
    TarPaxValues next;                                // pax "x" for the next member
    if (pos == 0) r.global = TarPaxValues{};
    TarPaxValues& global = r.global;                  // pax "g" for all that follow
    TarHeaderRead m;
    for (;;) {
        if (r.cancelPoll && r.cancelPoll()) return kTarCancelled;
        const ssize_t got = PreadFull(r.fd, m.header, kTarBlockSize, pos);
        if (got < 0) return kTarReadError;
        if (got == 0) {
            ::lseek(r.fd, static_cast<off_t>(pos), SEEK_SET);
            return kTarEnd;  // no end block: the archive ends after its last member
        }
        if (static_cast<std::size_t>(got) < kTarBlockSize) return kTarBadHeader;  // partial header
        if (TarIsEndBlock(m.header)) {
            ::lseek(r.fd, static_cast<off_t>(pos), SEEK_SET);
            return kTarEnd;
        }
        if (!TarChecksumOk(m.header)) return kTarBadHeader;
        std::uint64_t size = 0;
        if (!TarParseNumber(m.header + 124, 12, &size)) return kTarBadHeader;
        const std::uint64_t data = pos + kTarBlockSize;
        const std::uint8_t type = m.header[kTypeOffset];
        if (IsMetaType(type)) {
            if (size > file_size || data + size > file_size) return kTarBadHeader;  // data cut short
            if (size > ((type == 'x' || type == 'g') ? kMaxPaxHeader : kMaxLongName)) return kTarBadHeader;
            std::string text(static_cast<std::size_t>(size), '\0');
            if (PreadFull(r.fd, reinterpret_cast<std::uint8_t*>(text.data()), text.size(), data) !=
                static_cast<ssize_t>(text.size()))
                return kTarReadError;
            if (type == 'L' || type == 'K') {
                (type == 'L' ? long_name : long_link) = text.substr(0, strnlen(text.c_str(), text.size()));
            } else if (!ParsePax(text, type == 'x' ? next : global)) {
                return kTarBadHeader;
            }
            pos = data + RoundUp512(size);
            continue;
        }
        if (next.size) size = *next.size;
        else if (global.size) size = *global.size;
        m.sparse = false;
        m.segments.clear();
        m.dataOffset = data;
        m.dataSize = size;
        if (type == 'S') {
            if (!ReadOldSparse(r.fd, m.header, pos, file_size, m)) return kTarBadHeader;
        } else if (next.sparseMapInData) {
            std::uint64_t map_length = 0;
            if (size > file_size || data + size > file_size) return kTarBadHeader;
            if (!next.sparseSize || !ReadDataMap(r.fd, data, size, next.sparseNumbers, map_length) ||
                !PairsToSegments(next.sparseNumbers, m.segments))
                return kTarBadHeader;
            m.sparse = true;
            m.dataOffset = data + map_length;
            m.dataSize = *next.sparseSize;
        } else if (next.sparseSize || !next.sparseNumbers.empty()) {
            if (!next.sparseSize || !PairsToSegments(next.sparseNumbers, m.segments)) return kTarBadHeader;
            m.sparse = true;
            m.dataSize = *next.sparseSize;
        }
        // Where the member's data end: its size counts from the first block after its headers (a map at the
        // start of the data is part of it).
        const std::uint64_t data_start = type == 'S' ? m.dataOffset : data;
        if (size > file_size || data_start + size > file_size) return kTarBadHeader;  // data cut short
        m.storedSize = size - (m.dataOffset - data_start);
        if (m.sparse && !SegmentsHold(m.segments, m.dataSize, m.storedSize)) return kTarBadHeader;
        m.nextOffset = data_start + RoundUp512(size);
        const std::string* path = next.sparseName ? &*next.sparseName
                                  : next.path     ? &*next.path
                                  : long_name     ? &*long_name
                                  : global.path   ? &*global.path
                                                  : nullptr;
        // An old GNU "S" header holds times and its map where others hold the prefix: only its name counts.
        m.name = path ? Backslashes(*path) : type == 'S' ? Backslashes(FieldText(m.header, 100)) : TarMemberName(m.header);
        const std::string* link =
            next.linkpath ? &*next.linkpath : long_link ? &*long_link : global.linkpath ? &*global.linkpath : nullptr;
        m.linkName = link ? *link : FieldText(m.header + 157, 100);
        std::uint64_t header_mtime = 0;
        TarParseNumber(m.header + 136, 12, &header_mtime);
        m.mtime = next.mtime     ? *next.mtime
                  : global.mtime ? *global.mtime
                                 : static_cast<std::int64_t>(std::min<std::uint64_t>(header_mtime, INT64_MAX));
        m.headerOffset = pos;
        m.memberStart = member_start;
        const std::uint64_t after = m.nextOffset;
        pos = after;
        member_start = after;
        next = TarPaxValues{};
        long_name.reset();
        long_link.reset();
        bool counted = true;
        if (selection == kTarCountNamed) counted = !(r.ignoreLongNames && r.isLongName && r.isLongName(m.name));
        else if (selection == kTarCountMatching) counted = r.matches && r.matches(m.name);
        if (counted && visit(m)) {
            ::lseek(r.fd, static_cast<off_t>(pos), SEEK_SET);
            return kTarFound;
        }
    }
}

bool TarIndexCurrent(const TarMemberIndex& index, const std::string& archive_name, int fd) {
    if (!index.valid || strcasecmp(index.archiveName.c_str(), archive_name.c_str()) != 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    const std::int64_t mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return mtime_ns == index.mtimeNs && static_cast<std::uint64_t>(st.st_size) == index.size &&
           st.st_dev == index.device && st.st_ino == index.inode;
}

int TarReadHeader(TarReader& r, int selection, long count, TarHeaderRead* out, bool from_start,
                  bool restore_position) {
    const off_t start_pos = ::lseek(r.fd, 0, SEEK_CUR);
    TarHeaderRead found;
    int result;
    if (r.index && r.index->valid && r.index->mode == selection && r.index->ignoreLongNames == r.ignoreLongNames &&
        TarIndexCurrent(*r.index, r.archiveName, r.fd)) {
        if (count < 0 || static_cast<std::size_t>(count) >= r.index->offsets.size()) {
            result = kTarEnd;
        } else {
            // The recorded offset is the member's first header (a long name may come before the member).
            ::lseek(r.fd, static_cast<off_t>(r.index->offsets[static_cast<std::size_t>(count)]), SEEK_SET);
            result = Walk(r, kTarCountAll, [&](TarHeaderRead& m) {
                found = m;
                return true;
            });
        }
    } else {
        if (from_start) ::lseek(r.fd, 0, SEEK_SET);
        long n = 0;
        result = Walk(r, selection, [&](TarHeaderRead& m) {
            if (n++ < count) return false;
            found = m;
            return true;
        });
    }
    if (out) {
        if (result == kTarFound) {
            *out = found;
        } else {
            out->name.clear();
        }
    }
    if (restore_position) ::lseek(r.fd, start_pos, SEEK_SET);
    return result;
}

int TarBuildIndex(TarReader& r, int selection, long* count,
                  const std::function<bool(long index, const TarHeaderRead& member)>& on_member) {
    if (!r.index) return kTarNoMemory;
    TarMemberIndex& idx = *r.index;
    idx = TarMemberIndex{};
    struct stat st {};
    if (::fstat(r.fd, &st) != 0) return kTarReadError;
    ::lseek(r.fd, 0, SEEK_SET);
    std::vector<std::uint64_t> offsets;
    bool cancelled = false;
    const int result = Walk(r, selection, [&](TarHeaderRead& m) {
        offsets.push_back(m.memberStart);
        if (on_member && on_member(static_cast<long>(offsets.size() - 1), m)) {
            cancelled = true;
            return true;
        }
        return false;
    });
    if (cancelled) return kTarCancelled;
    if (result != kTarEnd) return result;
    idx.valid = true;
    idx.archiveName = r.archiveName;
    idx.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    idx.size = static_cast<std::uint64_t>(st.st_size);
    idx.device = st.st_dev;
    idx.inode = st.st_ino;
    idx.mode = selection;
    idx.ignoreLongNames = r.ignoreLongNames;
    idx.offsets = std::move(offsets);
    if (count) *count = static_cast<long>(idx.offsets.size());
    return kTarFound;
}

}  // namespace gtlib
