// Deflate coder (RFC 1951): hash chains over a 64 KiB sliding window, the level table of good/lazy/nice/
// chain limits, fast mode for levels 1-3 and lazy matching for 4-9, early block ends, and fixed or dynamic
// Huffman blocks (never stored ones). The coder needs only its own state (DeflateCoder) plus a source
// and a sink for each item; what the engine around it does with errors, cancels and warnings stays there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace gtlib {

constexpr std::size_t kDeflateOutputBuffer = 20480;

// Where the coder's input comes from.
class DeflateSource {
public:
    virtual ~DeflateSource() = default;
    // Fills up to `want` bytes of `buf`; returns the count, 0 at the end of input.
    virtual std::size_t Read(std::uint8_t* buf, std::size_t want) = 0;
    // True when the run is to stop: the input ends here (asked before every read).
    virtual bool Cancelled() { return false; }
    // True when the item has failed (asked at the start and after every read): the coder stops.
    virtual bool Failed() { return false; }
};

// Where the coder's output goes.
class DeflateSink {
public:
    virtual ~DeflateSink() = default;
    // Takes the contents of the output buffer (the sink may change the bytes in place, as encryption
    // does: the coder does not read them again); false on failure, which stops the coder.
    virtual bool Write(std::uint8_t* buf, std::size_t n) = 0;
    // True when the item has failed (asked at the start of the coding and after every write).
    virtual bool Failed() { return false; }
    // Told once per item, when its first block shows it to be binary.
    virtual void BinaryItem() {}
};

// Text/binary type of the item, decided at its first block.
enum : int { kItemTypeUnknown = -1, kItemTypeBinary = 0, kItemTypeText = 1 };

// Level clamped to 1..9.
int ClampLevel(int level);

struct DeflateState;
struct DeflateStateDeleter {
    void operator()(DeflateState* s) const;
};

// The coder's own state: window, chains and trees, allocated at the first start and kept between items.
class DeflateCoder {
public:
    // Starts the coder for one item: window, chains and tables (zeroed), the level's row, the first reads.
    // GTE_OK when started; GTE_READ when the first read delivers nothing (or the source is cancelled);
    // GTE_MEM when memory is short (the caller reports it).
    int Start(int level, DeflateSource& source);

    // Compresses to the end of input, ends with the final block padded to a byte and flushes the output
    // buffer. Returns the number of compressed bytes handed to the sink. Stops early when the source or
    // the sink has failed (the stream is then incomplete).
    std::uint64_t Compress(DeflateSink& sink);

    // Text/binary type decided for the item (kItemTypeUnknown before the first block).
    int ItemType() const;

    // Frees the window and chain arrays.
    void Release() { s_.reset(); }

private:
    std::unique_ptr<DeflateState, DeflateStateDeleter> s_;
};

// Code lengths that the coder's tree builder gives for these frequencies under a length limit (the
// literal/length and distance trees use 15, the bit-length tree 7). At most 286 symbols.
std::vector<std::uint8_t> HuffmanCodeLengths(const std::vector<std::uint16_t>& freq, int maxLength);

#ifdef GTLIB_DEFLATE_STATS
// The matcher's work since the program started, counted only where the coder is compiled with
// GTLIB_DEFLATE_STATS (the statistics benchmark; never the library).
struct DeflateStats {
    std::uint64_t searches = 0;    // longest-match searches
    std::uint64_t candidates = 0;  // chain entries tested
    std::uint64_t words = 0;       // chain words loaded (four entries each)
    std::uint64_t compares = 0;    // candidates that passed the quick test and were compared
    std::uint64_t longer = 0;      // compares that found a longer match
    std::uint64_t inserts = 0;     // positions inserted into the hash chains
};
DeflateStats& DeflateStatsNow();
#endif

// Whole-buffer convenience: a raw deflate stream of `size` bytes at `level`. Empty input gives an empty
// result (the coder never starts on it).
std::vector<std::uint8_t> DeflateBuffer(const void* data, std::size_t size, int level);
// The same with a caller's coder, kept between calls (no allocation per call).
void DeflateBuffer(DeflateCoder& coder, const void* data, std::size_t size, int level, std::vector<std::uint8_t>& out);

}  // namespace gtlib
