// Deflate coder (RFC 1951): hash chains over a 64 KiB sliding window, the level table of good/lazy/nice/
// chain limits, fast mode for levels 1-3 and lazy matching for 4-9, early block ends, and fixed or dynamic
// Huffman blocks (never stored ones). All working memory lives in the engine state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gtlib {

struct GtEngineState;

constexpr std::size_t kDeflateOutputBuffer = 20480;

// Pulls input: fills up to `want` bytes of `buf`, returns the count, 0 at the end of input.
using DeflateReadFn = std::size_t (*)(void* ctx, std::uint8_t* buf, std::size_t want);
// Takes the contents of the output buffer. Returns false on failure; the function sets the engine's error
// code, which stops the coder.
using DeflateWriteFn = bool (*)(void* ctx, std::uint8_t* buf, std::size_t n);

// Text/binary type of the item, decided at its first block.
enum : int { kItemTypeUnknown = -1, kItemTypeBinary = 0, kItemTypeText = 1 };

// Level clamped to 1..9.
int ClampLevel(int level);

// Starts the coder for one item: window, chains and tables (zeroed), the level's row, the first reads.
// GTE_OK when started; GTE_READ when the first read delivers nothing; GTE_MEM (reported with its
// detail) when memory is short.
int DeflateStart(GtEngineState& st, int level, DeflateReadFn read, void* readCtx);

// Compresses to the end of input, ends with the final block padded to a byte and flushes the output
// buffer. Returns the number of compressed bytes handed to `write`. Stops early when the engine's error
// code is set (the stream is then incomplete).
std::uint64_t DeflateCompress(GtEngineState& st, DeflateWriteFn write, void* writeCtx);

// Text/binary type decided for the item (kItemTypeUnknown before the first block).
int DeflateItemType(const GtEngineState& st);

// Frees the window and chain arrays of the state.
void DeflateRelease(GtEngineState& st);

// Code lengths that the coder's tree builder gives for these frequencies under a length limit (the
// literal/length and distance trees use 15, the bit-length tree 7). At most 286 symbols.
std::vector<std::uint8_t> HuffmanCodeLengths(const std::vector<std::uint16_t>& freq, int maxLength);

// Whole-buffer convenience: a raw deflate stream of `size` bytes at `level`. Empty input gives an empty
// result (the coder never starts on it).
std::vector<std::uint8_t> DeflateBuffer(const void* data, std::size_t size, int level);
// The same with a caller's state, kept between calls (no allocation per call).
void DeflateBuffer(GtEngineState& st, const void* data, std::size_t size, int level, std::vector<std::uint8_t>& out);

}  // namespace gtlib
