// The TAR member header: octal fields, checksum, end block, mode, name split and the header built for a file.
#include "gtlib/engine/tar.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "gtlib/engine/tar_internal.h"

namespace gtlib {

using namespace tar_detail;

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

}  // namespace gtlib
