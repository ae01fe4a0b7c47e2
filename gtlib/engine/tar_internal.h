// What the TAR code's parts share inside the engine: the header's field offsets, block arithmetic, full
// reads, and the member walk that the reader, the archive builder and the member removal all use.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "gtlib/engine/tar.h"
#include "platform/core/files.h"

namespace gtlib::tar_detail {

inline constexpr std::size_t kChecksumOffset = 148;
inline constexpr std::size_t kTypeOffset = 156;
inline constexpr std::size_t kMagicOffset = 257;
inline constexpr std::size_t kPrefixOffset = 345;
inline constexpr std::size_t kCopyPiece = 30720;
inline constexpr std::size_t kReadPiece = 8192;
inline constexpr std::size_t kWritePiece = 256 * 1024;  // a member's data without conversion

inline std::uint64_t RoundUp512(std::uint64_t n) { return (n + 511) & ~std::uint64_t{511}; }

using morven::PreadFull;
using morven::ReadFull;

inline std::string FieldText(const std::uint8_t* p, std::size_t width) {
    return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), width));
}

inline std::string Backslashes(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

inline std::uint64_t FileSize(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Walks the members from the current position. visit sees each counted member and returns true to stop
// there. Returns kTarFound when visit stopped the walk, else the reader result that ended it (at the end
// block the file position is left on it).
int Walk(TarReader& r, int selection, const std::function<bool(TarHeaderRead&)>& visit);

// Copies all of `from_fd` (from its start) to `to_fd` at its position. False on a read or write failure.
bool AppendFile(int from_fd, int to_fd);

}  // namespace gtlib::tar_detail
