#include "gtlib/engine/tar.h"
#include "platform/core/files.h"

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

namespace gtlib {
namespace {

constexpr std::size_t kChecksumOffset = 148;
constexpr std::size_t kTypeOffset = 156;
constexpr std::size_t kMagicOffset = 257;
constexpr std::size_t kPrefixOffset = 345;
constexpr std::size_t kCopyPiece = 30720;
constexpr std::size_t kReadPiece = 8192;
constexpr std::size_t kWritePiece = 256 * 1024;  // a member's data without conversion
constexpr std::uint64_t kMaxLongName = 65536;

std::uint64_t RoundUp512(std::uint64_t n) { return (n + 511) & ~std::uint64_t{511}; }


// Reads up to n bytes; returns the count (short only at the end of the file) or -1.
ssize_t ReadFull(int fd, std::uint8_t* p, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, p + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

ssize_t PreadFull(int fd, std::uint8_t* p, std::size_t n, std::uint64_t off) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, p + got, n - got, static_cast<off_t>(off + got));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

std::string FieldText(const std::uint8_t* p, std::size_t width) {
    return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), width));
}

std::string Backslashes(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

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

std::uint64_t FileSize(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Walks the members from the current position. visit sees each counted member and returns true to stop
// there. Returns kTarFound when visit stopped the walk, else the reader result that ended it.
int Walk(TarReader& r, int selection, const std::function<bool(TarHeaderRead&)>& visit) {
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

bool IsDirectoryMember(const TarHeaderRead& m) {
    return m.header[kTypeOffset] == '5' || (!m.name.empty() && m.name.back() == '\\');
}

bool SameFile(const std::string& a, const std::string& b) {
    if (strcasecmp(a.c_str(), b.c_str()) == 0) return true;
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Creates the folders of dest/rel (all parts of rel but the last, or all when whole); refuses to pass
// through a link or a file.
bool MakeEntryFolders(const std::string& dest, const std::string& rel, bool whole) {
    std::string path = dest;
    if (!morven::MakeFolders(dest)) return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = rel.find('/', start);
        if (slash == std::string::npos && !whole) return true;
        const std::string part = rel.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        path += "/" + part;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return false;
        } else if (::mkdir(path.c_str(), 0777) != 0) {
            return false;
        }
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

// The folders of a path the rename procedure chose: the host's own choice, made as it stands.
bool MakeChosenFolders(const std::string& path, bool whole) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = whole ? path : (slash == std::string::npos ? std::string() : path.substr(0, slash));
    return folder.empty() || morven::MakeFolders(folder);
}

}  // namespace

// ---- Header fields -------------------------------------------------------------------------------------

bool TarFormatOctal(std::uint8_t* field, std::size_t width, std::uint64_t value, bool zero_byte) {
    const std::size_t digits = width - 1 - (zero_byte ? 1 : 0);
    if (digits < 22 && value >= (std::uint64_t{1} << (3 * digits))) return false;
    std::memset(field, ' ', digits);
    std::size_t i = digits;
    do {
        field[--i] = static_cast<std::uint8_t>('0' + (value & 7));
        value >>= 3;
    } while (value && i > 0);
    field[digits] = ' ';
    if (zero_byte) field[digits + 1] = 0;
    return true;
}

bool TarParseNumber(const std::uint8_t* field, std::size_t width, std::uint64_t* value) {
    if (field[0] & 0x80) {
        if (field[0] != 0x80) return false;  // negative base-256 values are of no use here
        std::uint64_t v = 0;
        for (std::size_t i = 1; i < width; ++i) {
            if (v >> 56) return false;
            v = (v << 8) | field[i];
        }
        *value = v;
        return true;
    }
    std::size_t i = 0;
    while (i < width && field[i] == ' ') ++i;
    std::uint64_t v = 0;
    std::size_t digits = 0;
    for (; i < width && field[i] >= '0' && field[i] <= '7'; ++i, ++digits) {
        if (v >> 60) return false;
        v = (v << 3) | (field[i] - '0');
    }
    for (; i < width; ++i)
        if (field[i] != ' ' && field[i] != 0) return false;
    *value = v;
    return true;
}

std::uint32_t TarChecksum(const std::uint8_t* header) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kTarBlockSize; ++i)
        sum += (i >= kChecksumOffset && i < kChecksumOffset + 8) ? ' ' : header[i];
    return sum;
}

bool TarChecksumOk(const std::uint8_t* header) {
    std::uint64_t stored = 0;
    if (!TarParseNumber(header + kChecksumOffset, 8, &stored)) return false;
    if (stored == TarChecksum(header)) return true;
    // Some old writers summed the bytes as signed values.
    std::int32_t signed_sum = 0;
    for (std::size_t i = 0; i < kTarBlockSize; ++i)
        signed_sum += (i >= kChecksumOffset && i < kChecksumOffset + 8) ? ' ' : static_cast<std::int8_t>(header[i]);
    return static_cast<std::int64_t>(stored) == signed_sum;
}

bool TarIsEndBlock(const std::uint8_t* header) { return header[0] == 0 && header[kPrefixOffset] == 0; }

unsigned TarModeFor(unsigned file_mode, std::uint32_t attributes, bool memory_item) {
    unsigned mode = memory_item ? 0666u : (file_mode & 0777u);
    if (attributes & ATTR_READONLY) mode &= ~0222u;
    return mode;
}

int TarSplitName(const std::string& stored_name, std::string* prefix, std::string* name) {
    std::string full = stored_name;
    std::replace(full.begin(), full.end(), '\\', '/');
    if (full.size() > kTarMaxStoredName) return GTE_NAME;
    prefix->clear();
    if (full.size() <= 99) {
        *name = full;
        return GTE_OK;
    }
    const std::size_t slash = full.find_last_of('/');
    std::string dir = slash == std::string::npos ? "" : full.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? full : full.substr(slash + 1);
    std::string pre;  // with its trailing "/"
    while (dir.size() + file.size() >= 100) {
        const std::size_t next = dir.find('/');
        if (next == std::string::npos || pre.size() + next + 1 > 152) break;
        pre += dir.substr(0, next + 1);
        dir.erase(0, next + 1);
    }
    if (pre.size() > 154 || dir.size() + file.size() > 99) return GTE_NAME;
    // Stored without its final "/": readers join prefix and name with one.
    if (!pre.empty()) pre.pop_back();
    *prefix = pre;
    *name = dir + file;
    return GTE_OK;
}

int TarBuildHeader(std::uint8_t* header, const std::string& stored_name, std::uint64_t size, std::int64_t mtime,
                   unsigned mode) {
    std::string prefix, name;
    if (const int r = TarSplitName(stored_name, &prefix, &name); r != GTE_OK) return r;
    std::memset(header, 0, kTarBlockSize);
    std::memcpy(header, name.data(), name.size());
    TarFormatOctal(header + 100, 8, mode & 07777, true);
    if (!TarFormatOctal(header + 124, 12, size, false)) return GTE_MEM;
    if (!TarFormatOctal(header + 136, 12, static_cast<std::uint64_t>(std::max<std::int64_t>(mtime, 0)), false))
        return GTE_MEM;
    header[kTypeOffset] = '0';
    if (prefix.empty()) {
        std::memcpy(header + kMagicOffset, "ustar  ", 8);
    } else {
        // A prefix is read only from POSIX headers by other tools; mark the header as one.
        std::memcpy(header + kMagicOffset, "ustar\0" "00", 8);
        std::memcpy(header + kPrefixOffset, prefix.data(), prefix.size());
    }
    TarFormatOctal(header + kChecksumOffset, 8, TarChecksum(header), true);
    return GTE_OK;
}

std::string TarMemberName(const std::uint8_t* header) {
    const std::string prefix = FieldText(header + kPrefixOffset, 155);
    const std::string name = FieldText(header, 100);
    std::string full = prefix;
    if (!full.empty() && full.back() != '/' && full.back() != '\\') full += '\\';
    return Backslashes(full + name);
}

// ---- Writer --------------------------------------------------------------------------------------------

int TarWriteEntry(TarWriter& w, const TarWriteItem& item) {
    if (w.majorStatus && w.majorStatus(item)) return GTE_ABORT;
    std::string stored = item.storedName;
    std::int64_t mtime = item.mtime;
    std::uint32_t attributes = item.attributes;
    if (w.rename) {
        std::uint32_t back = attributes;
        w.rename(stored, mtime, back);
        attributes = (attributes & ~0x27u) | (back & 0x27u);
    }
    if (stored.size() > kTarMaxStoredName) return GTE_NAME;
    std::string prefix, name;
    if (const int r = TarSplitName(stored, &prefix, &name); r != GTE_OK) return r;

    std::uint64_t size = 0;
    unsigned file_mode = 0;
    w.sourceFd = -1;
    if (item.memoryItem) {
        size = item.memSize;
        if (w.lfToCrlf) size += static_cast<std::uint64_t>(std::count(item.memData, item.memData + item.memSize, '\n'));
    } else {
        w.sourceFd = ::open(item.sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (w.sourceFd < 0) return GTE_OPEN;
        struct stat st {};
        if (::fstat(w.sourceFd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(w.sourceFd);
            w.sourceFd = -1;
            return GTE_OPEN;
        }
        size = static_cast<std::uint64_t>(st.st_size);
        file_mode = static_cast<unsigned>(st.st_mode);
        if (w.lfToCrlf) {
            // The header must carry the converted size: count the line ends first.
            std::uint8_t buf[kReadPiece];
            std::uint64_t total = 0, lfs = 0;
            for (;;) {
                const ssize_t n = ReadFull(w.sourceFd, buf, sizeof buf);
                if (n <= 0) break;
                total += static_cast<std::uint64_t>(n);
                lfs += static_cast<std::uint64_t>(std::count(buf, buf + n, '\n'));
            }
            size = total + lfs;
            ::lseek(w.sourceFd, 0, SEEK_SET);
        }
    }
    std::uint8_t header[kTarBlockSize];
    const int r = TarBuildHeader(header, stored, size, mtime, TarModeFor(file_mode, attributes, item.memoryItem));
    if (r == GTE_OK && !morven::WriteAll(w.fd, header, kTarBlockSize)) {
        if (w.sourceFd >= 0) ::close(w.sourceFd);
        w.sourceFd = -1;
        return GTE_WRITE;
    }
    if (r != GTE_OK) {
        if (w.sourceFd >= 0) ::close(w.sourceFd);
        w.sourceFd = -1;
        return r;
    }
    w.headerSize = size;
    w.item = &item;
    return GTE_OK;
}

int TarWriteFileData(TarWriter& w) {
    if (w.minorStatus && w.minorStatus(0) && w.cancel) *w.cancel = true;
    std::uint64_t left = w.headerSize;
    std::size_t mem_pos = 0;
    // Plain data are read straight into the piece that is written, in pieces of kWritePiece that end at
    // multiples of kWritePiece in the archive: few system calls, no copy, and whole cached pages for the
    // file system (pieces that start and end inside pages cost it markedly more). Converted data are read
    // in kReadPiece and grow by at most one byte per byte.
    std::vector<std::uint8_t> in(w.lfToCrlf ? kReadPiece : kWritePiece);
    const off_t at = w.lfToCrlf ? 0 : ::lseek(w.fd, 0, SEEK_CUR);
    std::size_t first = kWritePiece;  // the first piece ends at the next multiple
    if (at > 0) first -= static_cast<std::size_t>(at % static_cast<off_t>(kWritePiece));
    std::vector<std::uint8_t> converted;
    if (w.lfToCrlf) converted.resize(2 * kReadPiece);
    int result = GTE_OK;
    bool source_short = false;
    while (left > 0 && !(w.cancel && *w.cancel)) {
        // Without conversion never more than the header says is read, even when the source grew meanwhile.
        const std::size_t want =
            w.lfToCrlf ? in.size() : static_cast<std::size_t>(std::min<std::uint64_t>(first, left));
        first = kWritePiece;
        std::size_t n;
        if (w.item->memoryItem) {
            n = std::min(want, w.item->memSize - mem_pos);
            std::memcpy(in.data(), w.item->memData + mem_pos, n);
            mem_pos += n;
        } else {
            const ssize_t got = ReadFull(w.sourceFd, in.data(), want);
            n = got > 0 ? static_cast<std::size_t>(got) : 0;
        }
        if (n == 0) {
            source_short = true;
            break;
        }
        std::uint8_t* out = in.data();
        std::size_t out_size = n;
        if (w.lfToCrlf) {
            out = converted.data();
            out_size = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (in[i] == '\n') out[out_size++] = '\r';
                out[out_size++] = in[i];
            }
        }
        // Never more than the header says, even when the source grew meanwhile.
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(out_size, left));
        if (w.encrypt) w.encrypt(out, take);
        if (!morven::WriteAll(w.fd, out, take)) {
            result = GTE_WRITE;
            break;
        }
        left -= take;
        if (w.minorStatus && w.headerSize &&
            w.minorStatus(static_cast<int>((w.headerSize - left) * 100 / w.headerSize)) && w.cancel)
            *w.cancel = true;
    }
    if (result == GTE_OK) {
        // The source shrank: fill the member up to the size in its header and report it.
        if (source_short && left > 0) {
            w.sourceError = GTE_READ;
            if (w.warning) w.warning(*w.item, GTE_READ);
        }
        std::vector<std::uint8_t> zeros(kCopyPiece, 0);
        std::uint64_t fill = left + (RoundUp512(w.headerSize) - w.headerSize);
        while (fill > 0 && result == GTE_OK) {
            const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(fill, zeros.size()));
            if (!morven::WriteAll(w.fd, zeros.data(), k)) result = GTE_WRITE;
            fill -= k;
        }
    }
    if (w.sourceFd >= 0) ::close(w.sourceFd);
    w.sourceFd = -1;
    if (result != GTE_OK) return result;
    return (w.cancel && *w.cancel) ? GTE_ABORT : GTE_OK;
}

int TarWriteEnd(TarWriter& w) {
    // Two zero blocks, as POSIX ends an archive (other tools warn of a lone one); the reader stops at the
    // first.
    const std::uint8_t zeros[2 * kTarBlockSize] = {};
    return morven::WriteAll(w.fd, zeros, sizeof zeros) ? GTE_OK : GTE_WRITE;
}

namespace {

// Copies all of `from` to the end of `to_fd`. False on a read or write failure.
bool AppendFile(int from_fd, int to_fd) {
    std::vector<std::uint8_t> buf(kCopyPiece);
    ::lseek(from_fd, 0, SEEK_SET);
    for (;;) {
        const ssize_t n = ReadFull(from_fd, buf.data(), buf.size());
        if (n < 0) return false;
        if (n == 0) return true;
        if (!morven::WriteAll(to_fd, buf.data(), static_cast<std::size_t>(n))) return false;
    }
}

int CutResult(int r) {
    return r == kTarBadHeader ? GTE_STRUCT : r == kTarReadError ? GTE_READ : r == kTarCancelled ? GTE_ABORT : r;
}

// What an archive holds after its end block (its end blocks and any padding to a tape block), kept so a
// failed append can put it back; a longer tail than this is put back as two zero blocks.
constexpr std::uint64_t kMaxKeptTail = 1 << 20;

// Appends the finished members in `from_fd` to the archive at its end block. When the append fails (a full
// disk, a write error), the archive is cut back to where its end block was and what followed it there is
// written back, so it holds exactly what it held before.
int AppendAtEnd(int archive, int from_fd) {
    TarReader r;
    r.fd = archive;
    ::lseek(archive, 0, SEEK_SET);
    if (const int walk = Walk(r, kTarCountAll, [](TarHeaderRead&) { return false; }); walk != kTarEnd)
        return CutResult(walk);
    const off_t end_at = ::lseek(archive, 0, SEEK_CUR);
    if (end_at < 0) return GTE_READ;
    const std::uint64_t end = static_cast<std::uint64_t>(end_at);
    const std::uint64_t old_size = FileSize(archive);
    std::vector<std::uint8_t> tail;
    if (old_size > end) {
        tail.assign(static_cast<std::size_t>(std::min(old_size - end, kMaxKeptTail)), 0);
        if (old_size - end > kMaxKeptTail) tail.assign(2 * kTarBlockSize, 0);
        else if (PreadFull(archive, tail.data(), tail.size(), end) != static_cast<ssize_t>(tail.size()))
            return GTE_READ;
    }
    const std::uint64_t added = FileSize(from_fd);
    const bool appended = ::lseek(archive, end_at, SEEK_SET) >= 0 && AppendFile(from_fd, archive) &&
                          ::ftruncate(archive, static_cast<off_t>(end + added)) == 0;
    if (appended) return GTE_OK;
    // Put the archive back as it was: its length first (which frees what the append took), then its tail.
    if (::ftruncate(archive, end_at) == 0 && !tail.empty()) {
        std::size_t done = 0;
        while (done < tail.size()) {
            const ssize_t w = ::pwrite(archive, tail.data() + done, tail.size() - done, end_at + static_cast<off_t>(done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) break;
            done += static_cast<std::size_t>(w);
        }
    }
    return GTE_WRITE;
}

}  // namespace

int TarBuildArchive(const std::string& archive_path, const std::string& temp_path,
                    const std::vector<TarWriteItem>& items, bool grow_existing, TarWriter& w,
                    const std::function<void(int code, const std::string& temp_path)>& on_error) {
    const int temp = ::open(temp_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (temp < 0) return GTE_CREATE;
    int result = GTE_OK;
    w.sourceError = GTE_OK;
    if (!grow_existing) {
        const int old = ::open(archive_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (old >= 0) {
            const bool copied = AppendFile(old, temp);
            ::close(old);
            if (!copied) result = GTE_WRITE;
            else if (const int r = TarTruncateForAppend(temp); r != GTE_OK) result = CutResult(r);
            ::lseek(temp, 0, SEEK_END);
        }
    }
    w.fd = temp;
    for (std::size_t i = 0; i < items.size() && result == GTE_OK; ++i) {
        result = TarWriteEntry(w, items[i]);
        if (result == GTE_OK) result = TarWriteFileData(w);
        if (result == GTE_OK && w.sourceError != GTE_OK) result = w.sourceError;
        if (result != GTE_OK && on_error) on_error(result, temp_path);
    }
    if (result == GTE_OK) result = TarWriteEnd(w);
    if (result == GTE_OK && grow_existing) {
        const int archive = ::open(archive_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (archive < 0) {
            result = GTE_OPEN;
        } else {
            result = AppendAtEnd(archive, temp);
            ::close(archive);
        }
    }
    ::close(temp);
    w.fd = -1;
    if (grow_existing) ::unlink(temp_path.c_str());
    return result;
}

int TarDeleteFromArchive(const std::string& archive_path, const std::string& temp_path,
                         const std::function<bool(const std::string& name)>* matches, long index,
                         bool grow_existing, const std::function<void(const std::string& name)>& log_deleted) {
    int fd;
    if (grow_existing) {
        fd = ::open(archive_path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return GTE_OPEN;
    } else {
        const int old = ::open(archive_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (old < 0) return GTE_OPEN;
        fd = ::open(temp_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            ::close(old);
            return GTE_CREATE;
        }
        const bool copied = AppendFile(old, fd);
        ::close(old);
        if (!copied) {
            ::close(fd);
            return GTE_WRITE;
        }
    }
    const int result = TarDeleteMembers(fd, matches, index, log_deleted);
    ::close(fd);
    return result;
}

// ---- Reader --------------------------------------------------------------------------------------------

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

int TarTruncateForAppend(int fd) {
    TarReader r;
    r.fd = fd;
    ::lseek(fd, 0, SEEK_SET);
    const int result = Walk(r, kTarCountAll, [](TarHeaderRead&) { return false; });
    if (result != kTarEnd) return result;
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end < 0) return GTE_READ;
    if (static_cast<std::uint64_t>(end) < FileSize(fd) && ::ftruncate(fd, end) != 0) return GTE_WRITE;
    return GTE_OK;
}

int TarRemoveMember(int fd, std::uint64_t member_start, std::uint64_t member_end) {
    const std::uint64_t size = FileSize(fd);
    const std::uint64_t length = member_end - member_start;
    std::vector<std::uint8_t> buf(kCopyPiece);
    for (std::uint64_t from = member_end; from < size;) {
        const ssize_t n = PreadFull(fd, buf.data(), buf.size(), from);
        if (n <= 0) return GTE_READ;
        std::size_t done = 0;
        while (done < static_cast<std::size_t>(n)) {
            const ssize_t w = ::pwrite(fd, buf.data() + done, static_cast<std::size_t>(n) - done,
                                       static_cast<off_t>(from - length + done));
            if (w <= 0) {
                if (w < 0 && errno == EINTR) continue;
                return GTE_WRITE;
            }
            done += static_cast<std::size_t>(w);
        }
        from += static_cast<std::uint64_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(size - length)) != 0) return GTE_WRITE;
    ::lseek(fd, static_cast<off_t>(member_start), SEEK_SET);
    return GTE_OK;
}

int TarDeleteMembers(int fd, const std::function<bool(const std::string& name)>* matches, long index,
                     const std::function<void(const std::string& name)>& log_deleted) {
    TarReader r;
    r.fd = fd;
    auto code = [](int reader_result) {
        return reader_result == kTarReadError ? GTE_READ : reader_result == kTarCancelled ? GTE_ABORT : GTE_STRUCT;
    };
    if (matches && *matches) {
        ::lseek(fd, 0, SEEK_SET);
        for (;;) {
            TarHeaderRead m;
            const int res = TarReadHeader(r, kTarCountAll, 0, &m, false, false);
            if (res == kTarEnd) return GTE_OK;
            if (res != kTarFound) return code(res);
            if ((*matches)(m.name)) {
                const int rm = TarRemoveMember(fd, m.memberStart, m.nextOffset);
                if (rm != GTE_OK) return rm;
                if (log_deleted) log_deleted(m.name);
            }
        }
    }
    if (index < 0) return GTE_INDEX;
    TarHeaderRead m;
    const int res = TarReadHeader(r, kTarCountAll, index, &m, true, false);
    if (res == kTarEnd) return GTE_INDEX;
    if (res != kTarFound) return code(res);
    const int rm = TarRemoveMember(fd, m.memberStart, m.nextOffset);
    if (rm == GTE_OK && log_deleted) log_deleted(m.name);
    return rm;
}

// ---- Extraction ----------------------------------------------------------------------------------------

bool TarSafeRelativePath(const std::string& member_name, bool no_directory_names, std::string* relative) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= member_name.size()) {
        std::size_t sep = member_name.find_first_of("/\\", start);
        if (sep == std::string::npos) sep = member_name.size();
        std::string part = member_name.substr(start, sep - start);
        if (parts.empty() && part.size() >= 2 && part[1] == ':' &&
            ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z')))
            part.erase(0, 2);  // drive letter
        if (part == "..") return false;
        if (!part.empty() && part != ".") parts.push_back(part);
        start = sep + 1;
    }
    relative->clear();
    if (parts.empty()) return true;  // the destination itself ("./", "/")
    if (no_directory_names) parts.erase(parts.begin(), parts.end() - 1);
    for (const auto& p : parts) {
        if (!relative->empty()) *relative += '/';
        *relative += p;
    }
    return true;
}

namespace {

// Is a symbolic link's target inside the destination when the link lies at `rel` (its path below the
// destination)? Only a relative target whose ".." parts all come first and climb no higher than the link's
// own folder: the folders it climbs through are real folders the extraction made (never links), so the
// target means the same to the file system as it does here, and it cannot be turned outward by a link
// made later.
bool LinkTargetInside(const std::string& rel, std::string target) {
    std::replace(target.begin(), target.end(), '\\', '/');
    if (target.empty() || target[0] == '/' || (target.size() >= 2 && target[1] == ':')) return false;
    std::size_t depth = static_cast<std::size_t>(std::count(rel.begin(), rel.end(), '/'));
    bool descended = false;
    std::size_t start = 0;
    while (start <= target.size()) {
        std::size_t slash = target.find('/', start);
        if (slash == std::string::npos) slash = target.size();
        const std::string part = target.substr(start, slash - start);
        if (part == "..") {
            if (descended || depth == 0) return false;
            --depth;
        } else if (!part.empty() && part != ".") {
            descended = true;
        }
        start = slash + 1;
    }
    return true;
}

// Makes a symbolic link at `path` (replacing a file or link there): made beside it under a passing name,
// then moved into place.
int MakeSymlink(const std::string& target, const std::string& path) {
    std::string link_target = target;
    std::replace(link_target.begin(), link_target.end(), '\\', '/');
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = folder + ".link." + std::to_string(::getpid()) + "." + std::to_string(attempt);
        if (::symlink(link_target.c_str(), temp.c_str()) != 0) {
            if (errno == EEXIST) continue;
            return UGTE_CREATE;
        }
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            ::unlink(temp.c_str());
            return UGTE_CREATE;
        }
        return UGTE_OK;
    }
    return UGTE_CREATE;
}

}  // namespace

int UntarItem(UntarContext& ctx, const TarHeaderRead& member, const std::string& name) {
    const std::uint64_t after = member.nextOffset;
    auto done = [&](int code) {
        ::lseek(ctx.archiveFd, static_cast<off_t>(after), SEEK_SET);
        return code;
    };
    const std::uint8_t type = member.header[kTypeOffset];
    const bool directory = IsDirectoryMember(member) || (!name.empty() && (name.back() == '\\' || name.back() == '/'));
    // A hard link that carries data of its own (some writers store them so) is extracted as those data.
    const bool hard_link = type == '1' && member.storedSize == 0 && !member.sparse;
    const bool symlink = type == '2';
    const bool regular = type == '0' || type == 0 || type == '7' || type == 'S' || (type == '1' && !hard_link);
    std::string rel;
    const bool to_file = ctx.output == OutputKind::kFile;
    auto skip = [&] {
        if (ctx.log) ctx.log(TarEvent::kSkipped, name);
        return done(UGTE_SKIP);
    };
    if (directory && ctx.noDirectoryNames) return done(UGTE_OK);  // nothing to create
    if ((!regular && !hard_link && !symlink && !directory) || !TarSafeRelativePath(name, ctx.noDirectoryNames, &rel) ||
        (rel.empty() && !directory))
        return skip();
    if (rel.empty()) return done(UGTE_OK);  // "./": the destination itself
    std::string path = ctx.destination + "/" + rel;

    // Where the data come from: the member's own, or for a hard link those of the member it names, when
    // that was extracted earlier in this run.
    TarDataSpan source{member.dataOffset, member.storedSize, member.dataSize, member.sparse, member.segments};
    if (hard_link) {
        std::string target;
        if (!ctx.extracted || !TarSafeRelativePath(member.linkName, false, &target)) return skip();
        const auto found = ctx.extracted->find(target);
        if (found == ctx.extracted->end()) return skip();
        source = found->second;
    }
    if (symlink && (!LinkTargetInside(rel, member.linkName) || !(to_file || ctx.output == OutputKind::kTest)))
        return skip();

    // The stored permission bits; a header without them (an empty field) gives a plain file's.
    std::uint64_t mode_value = 0644;
    if (member.header[100] == 0 || !TarParseNumber(member.header + 100, 8, &mode_value)) mode_value = 0644;
    unsigned mode = static_cast<unsigned>(mode_value & 07777);
    std::int64_t mtime = member.mtime;
    const std::string inside = path;
    if (to_file && ctx.rename) ctx.rename(path, name, mtime, mode);
    const std::uint32_t attributes = (mode & 0200) ? 0u : std::uint32_t{ATTR_READONLY};

    bool overwrite_ro = ctx.overwriteReadOnly;
    bool existed = false;
    if (to_file) {
        const bool made =
            path == inside ? MakeEntryFolders(ctx.destination, rel, directory) : MakeChosenFolders(path, directory);
        if (!made) return done(UGTE_CREATE);
        if (directory) {
            if (ctx.log) ctx.log(TarEvent::kExtracted, path);
            return done(UGTE_OK);
        }
        if (SameFile(path, ctx.archivePath)) {
            if (ctx.selfOverwrite) ctx.selfOverwrite(path);
            return done(UGTE_SKIP);
        }
        for (;;) {
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) break;
            const bool read_only = S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
            if (ctx.overwrite) {
                existed = true;
                overwrite_ro = overwrite_ro || read_only;
                break;
            }
            if (ctx.allQuiet || !ctx.askOverwrite) {
                if (ctx.log) ctx.log(TarEvent::kSkipped, path);
                return done(UGTE_SKIP);
            }
            const int answer = ctx.askOverwrite(path, read_only);
            if (answer == kAnswerYes || answer == kAnswerYesToAll || answer == kAnswerYesToAll5) {
                if (answer != kAnswerYes) ctx.overwrite = true;
                existed = true;
                overwrite_ro = overwrite_ro || read_only;
                break;
            }
            if (answer == kAnswerCancel) return done(UGTE_ABORT);
            if (answer == kAnswerRename && ctx.renameDialog) {
                const std::string chosen = ctx.renameDialog(path);
                if (!chosen.empty()) {
                    path = chosen;
                    // The new name is overwritten if it exists.
                    if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
                        existed = true;
                        overwrite_ro = true;
                    }
                    break;
                }
            }
            if (ctx.log) ctx.log(TarEvent::kSkipped, path);
            return done(UGTE_SKIP);
        }
    } else if (directory) {
        return done(UGTE_OK);
    }

    if (symlink) {
        if (to_file) {
            const int made = MakeSymlink(member.linkName, path);
            if (made != UGTE_OK) return done(made);
        }
        const TarEvent event = !to_file ? TarEvent::kTested : existed ? TarEvent::kOverwritten : TarEvent::kExtracted;
        if (ctx.log) ctx.log(event, path);
        return done(UGTE_OK);
    }

    InflateJob job;
    job.method = 0;
    job.tarMember = true;
    job.compressedLeft = source.size;
    job.expectedSize = source.fileSize;
    job.sparse = source.sparse;
    job.segments = source.segments;
    job.fileMode = static_cast<int>(mode & 0777);
    job.mtime = mtime;
    job.attributes = attributes;
    job.inputFd = ctx.archiveFd;
    job.output = ctx.output;
    job.lfToCrlf = ctx.lfToCrlf;
    job.leavePartial = ctx.leavePartial;
    job.overwriteReadOnly = overwrite_ro;
    job.memBlock = ctx.memBlock;
    job.memBlockSize = ctx.memBlockSize;
    job.startingOffset = ctx.startingOffset;
    job.memTransfer = ctx.memTransfer;
    job.progress = ctx.progress;
    // The input is read in blocks aligned to 10240 bytes in the archive.
    const std::uint64_t data = source.offset;
    const std::uint64_t aligned = data / kInputBlockSize * kInputBlockSize;
    if (job.compressedLeft > 0) {
        const ssize_t n = PreadFull(ctx.archiveFd, job.inBlock.data(), kInputBlockSize, aligned);
        if (n < 0 || static_cast<std::uint64_t>(n) < data - aligned) return done(UGTE_STRUCT);
        job.inFill = static_cast<std::size_t>(n);
        job.inPos = static_cast<std::size_t>(data - aligned);
        ::lseek(ctx.archiveFd, static_cast<off_t>(aligned + static_cast<std::uint64_t>(n)), SEEK_SET);
    }
    if (to_file) {
        const int r = PrepareOutputFile(job, path);
        if (r != UGTE_OK) return done(r);
    }
    int result = InflateItem(job);
    ctx.memProduced = job.memProduced;
    if (job.cancel && result != UGTE_ABORT && result > 1) result = UGTE_ABORT;
    const bool memory = ctx.output == OutputKind::kMemory;
    if (result == UGTE_OK || (memory && result == 1)) {
        std::string key;
        if (ctx.extracted && TarSafeRelativePath(name, false, &key)) (*ctx.extracted)[key] = source;
        if (ctx.log) {
            switch (ctx.output) {
            case OutputKind::kTest:
                ctx.log(TarEvent::kTested, path);
                break;
            case OutputKind::kMemory:
                ctx.log(TarEvent::kMemory, path);
                break;
            case OutputKind::kStream:
            case OutputKind::kMemToMem:
                ctx.log(TarEvent::kMemoryToMemory, path);
                break;
            case OutputKind::kFile:
                ctx.log(existed ? TarEvent::kOverwritten : TarEvent::kExtracted, path);
                break;
            }
        }
    }
    return done(result);
}

}  // namespace gtlib
