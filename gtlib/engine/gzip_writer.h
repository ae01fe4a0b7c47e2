// GZIP members (RFC 1952 with the own flag 0x20 for an encrypted entry): header, optional encryption
// header, deflate stream and trailer, written from a file, a caller's memory block or the memory-transfer
// procedure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gtlib/engine/records.h"

namespace gtlib {

struct GtEngineState;

enum : std::uint8_t {
    kGzFlagName = 0x08,
    kGzFlagComment = 0x10,
    kGzFlagEncrypted = 0x20,  // a 12-byte encryption header follows the header fields
};

// One item being compressed.
struct GtItem {
    std::string sourcePath;  // file to read, or the memory item's name
    std::string storedName;  // written into FNAME
    std::uint32_t time = 0;  // Unix seconds
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;  // with the 12 bytes of an encryption header
    std::uint32_t uncompressedSize = 0;
    std::uint32_t attributes = 0;
    std::string comment;
    bool hasComment = false;
    std::uint16_t method = 8;
    std::int16_t type = -1;  // -1 unknown, 0 binary, 1 text (decided at the first block)
    bool memory = false;     // source is the memory block or stream of the run
};

// The library's date-time text of a Unix time (local time) and its reverse (0 for a malformed text).
std::string FormatDateTimeText(std::int64_t unixTime);
std::int64_t ParseDateTimeText(std::string_view text);

// Member header bytes (one write): magic, CM 8, flags, MTIME, XFL, OS 0, FNAME and FCOMMENT.
std::vector<std::uint8_t> BuildGzipHeader(const GtItem& item, bool encrypted, std::uint8_t xfl);

// Writes one member for a file or memory-block source into the open output file.
int GzipFile(GtItem& item, int outFd, GtEngineState& st);

// Writes one member memory to memory through the memory-transfer procedure (source and output).
int GzipMemory(GtItem& item, GtEngineState& st);

// The name with ".gz" appended when its last component holds no point.
std::string AppendGzExtension(std::string_view name);

// LF to CR LF on the way from a source to the coder: every LF becomes CR LF (a CR already in front of it
// stays, so CR LF becomes CR CR LF). At most half the wanted count is taken from the source per call; a
// pair that does not fit the caller's buffer waits for the next call, so no byte is lost however small
// the wanted count.
class LfToCrlf {
public:
    // `fetch(buf, max)` reads up to max raw bytes (0 at the end). Returns the bytes placed in `out`.
    template <class Fetch>
    std::size_t Read(Fetch&& fetch, std::uint8_t* out, std::size_t want) {
        if (pos_ == pending_.size()) {
            const std::size_t half = want / 2 > 0 ? want / 2 : 1;
            raw_.resize(half);
            const std::size_t n = fetch(raw_.data(), half);
            pending_.clear();
            pos_ = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (raw_[i] == '\n') pending_.push_back('\r');
                pending_.push_back(raw_[i]);
            }
        }
        const std::size_t n = pending_.size() - pos_ < want ? pending_.size() - pos_ : want;
        for (std::size_t i = 0; i < n; ++i) out[i] = pending_[pos_ + i];
        pos_ += n;
        return n;
    }

private:
    std::vector<std::uint8_t> raw_, pending_;
    std::size_t pos_ = 0;
};

// Replaces successive "%d" of a message text with the numbers (other text stays as it is).
std::string FormatNumbers(std::string_view text, int a, int b);
// Replaces the first "%s" of a message text with `arg`.
std::string FormatString(std::string_view text, std::string_view arg);

}  // namespace gtlib
