// The wholesaler's side of the line codec: the TCP character shift, the framed blocks with their two
// 6-digit weighted sums and the STX/ETX records with their two 5-digit sums. Written from the published
// description of the line, column by column, and not from the client's code, so that the test peers that use
// it check the client against an independent reading.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morven::linecodec {

// TCP shift of a plain line: every byte moves 63 codes up. Bytes above 192 cannot be carried (the result
// would pass 255); Shift throws std::invalid_argument on them, callers who want to send garbage use raw
// bytes.
std::string Shift(std::string_view plain);
// Reverse: bytes of code 63 and more lose 63, lower bytes are dropped.
std::string Unshift(std::string_view wire);
// What a received line means: a line holding "AEIO" is taken as it is, any other is unshifted.
std::string DecodeLine(std::string_view wire);
// What goes on the wire for a line (without its CR LF): lines beginning "AEIO" unchanged, others shifted.
std::string EncodeLine(std::string_view line);

// The two weighted sums of a frame payload, each already divided by the payload length (whole values; the
// frame carries their last six digits). An empty payload has none (std::invalid_argument).
struct FrameSums {
    std::int64_t p = 0, d = 0;
};
FrameSums ComputeFrameSums(std::string_view payload);
// "AEIO" payload P(6) D(6) "OIEA"; an empty payload cannot be framed (std::invalid_argument).
std::string Frame(std::string_view payload);
// The same frame with the first sum off by one: a frame that must fail the receiver's check.
std::string FrameWithBadSums(std::string_view payload);
// Checks a frame (exactly "AEIO"...."OIEA", nothing around it, both sums six decimal digits) and gives its
// payload.
bool Unframe(std::string_view frame, std::string* payload);

// The two sums of an STX/ETX record's data, whole (the record carries their last five digits). Every product
// of the sums is a 16-bit signed value and every position a 16-bit count: data that breaks either has no
// valid record (std::invalid_argument).
struct RecordSums {
    std::int64_t k1 = 0, k2 = 0;
};
RecordSums ComputeRecordSums(std::string_view data);
// STX data K1(5) K2(5) ETX.
std::string Record(std::string_view data);
// The same record with K1 off by one: a record that must fail the receiver's check.
std::string RecordWithBadSums(std::string_view data);
// Checks an STX/ETX record and gives its data part.
bool Unrecord(std::string_view record, std::string* data);

}  // namespace morven::linecodec
