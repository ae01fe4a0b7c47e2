// Raw deflate decoder (RFC 1951): stored, fixed and dynamic blocks.
//
// The decoder is table driven with a 64-bit bit buffer. It reads its input either from one memory block or
// through an InflateSource (in pieces of any size) and writes either into memory (a growing buffer or a fixed
// one) or through an InflateSink, to which it hands the output in pieces while it keeps the last 32 KiB as the
// window for matches.
//
// Every malformed stream is refused rather than guessed at: over-subscribed or incomplete codes (except the
// single-code and the empty distance code that RFC 1951 allows), a code-length repeat with no previous length
// or one that runs past the lengths, a literal/length code without end-of-block, more than 286 literal/length
// or 30 distance codes, the symbols 286/287 and 30/31, a distance reaching before the first byte produced,
// block type 3, and any symbol that would need bits beyond the end of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace gtlib {

enum InflateResult : int {
    kInflateOk = 0,
    kInflateBadData = 1,     // malformed block (bad code, bad length, bad distance, stored length mismatch)
    kInflateBadBlock = 2,    // block type 3
    kInflateNoMemory = 3,    // the decoder's state could not be allocated
    kInflateTruncated = 4,   // the input ended before the final block was complete
    kInflateStopped = 5,     // the sink stopped the output, the caller cancelled, or the output limit was hit
};

// Supplies compressed bytes. Read returns the number of bytes placed in dst (at most max); 0 ends the input.
class InflateSource {
public:
    virtual ~InflateSource() = default;
    virtual std::size_t Read(std::uint8_t* dst, std::size_t max) = 0;
};

// Receives decoded bytes in order. Write returns false to stop decoding (output complete, full, or failed).
// Cancelled is asked between blocks and whenever output is handed over.
class InflateSink {
public:
    virtual ~InflateSink() = default;
    virtual bool Write(const std::uint8_t* data, std::size_t len) = 0;
    virtual bool Cancelled() { return false; }
};

struct InflateOptions {
    // After a data error in a block, go on with the next block header at the bit where the error was found,
    // keeping what was decoded. Decoding still ends at the end of the input, at a final block, or on any
    // other error; the result is then the first data error.
    bool leavePartial = false;
};

// A decoder kept between streams: its code tables and its streaming buffers (about 340 KiB together) are
// allocated by the first Inflate that uses it and reused by every later one. One stream at a time.
class InflateDecoder {
public:
    InflateDecoder();
    ~InflateDecoder();
    InflateDecoder(const InflateDecoder&) = delete;
    InflateDecoder& operator=(const InflateDecoder&) = delete;

    struct Impl;

private:
    friend InflateResult Inflate(InflateDecoder& decoder, InflateSource& source, InflateSink& sink,
                                 const InflateOptions& options, std::uint64_t* consumed,
                                 std::vector<std::uint8_t>* unused);
    std::unique_ptr<Impl> impl_;
};

// Streaming decode: everything decoded goes to the sink (the last piece is handed over before returning,
// whatever the result). `consumed`, when given, receives the number of input bytes used up to the end of the
// final block: what the source delivered beyond it (a GZIP trailer, a further member) was read ahead only,
// and `unused`, when given, receives those bytes in order (after a complete stream; empty otherwise).
InflateResult Inflate(InflateSource& source, InflateSink& sink, const InflateOptions& options = {},
                      std::uint64_t* consumed = nullptr, std::vector<std::uint8_t>* unused = nullptr);
// The same with a decoder kept by the caller (nothing is allocated after its first use).
InflateResult Inflate(InflateDecoder& decoder, InflateSource& source, InflateSink& sink,
                      const InflateOptions& options = {}, std::uint64_t* consumed = nullptr,
                      std::vector<std::uint8_t>* unused = nullptr);

// Decode a whole raw deflate stream held in memory. `out` receives the data (replacing what it held);
// decoding stops with kInflateStopped when more than max_out bytes would be produced. `consumed`, when given,
// receives the number of input bytes used up to the end of the final block.
InflateResult InflateBuffer(const std::uint8_t* in, std::size_t in_len, std::vector<std::uint8_t>& out,
                            const InflateOptions& options = {}, std::size_t max_out = SIZE_MAX,
                            std::size_t* consumed = nullptr);

// Decode into a fixed buffer of out_cap bytes; *out_len receives the bytes produced. kInflateStopped when the
// data do not fit.
InflateResult InflateInto(const std::uint8_t* in, std::size_t in_len, std::uint8_t* out, std::size_t out_cap,
                          std::size_t* out_len, const InflateOptions& options = {});

}  // namespace gtlib
