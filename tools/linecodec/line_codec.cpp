#include "tools/linecodec/line_codec.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

namespace morven::linecodec {

namespace {

constexpr std::string_view kStart = "AEIO", kEnd = "OIEA";
constexpr char kStx = 2, kEtx = 3;
constexpr int kShift = 63;

// Columns first..first+width-1 of a text, counted from 1 as the line layout counts them.
std::string_view Columns(std::string_view text, std::size_t first, std::size_t width) {
    return text.substr(first - 1, width);
}

// The last `width` decimal digits of a non-negative value, zero-padded on the left.
std::string LastDigits(std::int64_t value, int width) {
    std::int64_t modulus = 1;
    for (int k = 0; k < width; ++k) modulus *= 10;
    char text[24];
    std::snprintf(text, sizeof text, "%0*lld", width, static_cast<long long>(value % modulus));
    return text;
}

// A field of exactly the digits 0-9, read as a number; anything else is no number.
std::optional<std::int64_t> DigitField(std::string_view field) {
    if (field.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (const char ch : field) {
        if (ch < '0' || ch > '9') return std::nullopt;
        value = value * 10 + (ch - '0');
    }
    return value;
}

}  // namespace

std::string Shift(std::string_view plain) {
    std::string wire(plain);
    for (char& ch : wire) {
        const int code = static_cast<unsigned char>(ch) + kShift;
        if (code > 255) throw std::invalid_argument("byte above 192 has no shifted form");
        ch = static_cast<char>(code);
    }
    return wire;
}

std::string Unshift(std::string_view wire) {
    std::string plain;
    plain.reserve(wire.size());
    for (const unsigned char code : wire)
        if (code >= kShift) plain += static_cast<char>(code - kShift);
    return plain;
}

std::string DecodeLine(std::string_view wire) {
    return wire.find(kStart) == std::string_view::npos ? Unshift(wire) : std::string(wire);
}

std::string EncodeLine(std::string_view line) {
    return line.starts_with(kStart) ? std::string(line) : Shift(line);
}

// With c(i) the code of payload character i plus 33 (i from 1 to n):
//   P = (sum of c(i) * i) / n  and  D = (sum of c(i) * (n - i)) / n.
// The second sum is n times the plain sum of c(i) less the first, which is how it is taken here.
FrameSums ComputeFrameSums(std::string_view payload) {
    const auto n = static_cast<std::int64_t>(payload.size());
    if (n == 0) throw std::invalid_argument("an empty payload has no frame sums");
    std::int64_t plain = 0, weighted = 0, position = 0;
    for (const unsigned char code : payload) {
        const std::int64_t c = code + 33;
        plain += c;
        weighted += c * ++position;
    }
    return {weighted / n, (n * plain - weighted) / n};
}

std::string Frame(std::string_view payload) {
    const FrameSums sums = ComputeFrameSums(payload);
    return std::string(kStart) + std::string(payload) + LastDigits(sums.p, 6) + LastDigits(sums.d, 6) +
           std::string(kEnd);
}

std::string FrameWithBadSums(std::string_view payload) {
    const FrameSums sums = ComputeFrameSums(payload);
    return std::string(kStart) + std::string(payload) + LastDigits(sums.p + 1, 6) + LastDigits(sums.d, 6) +
           std::string(kEnd);
}

// Layout of a frame of n payload characters (L = n + 20): columns 1-4 "AEIO", 5..n+4 the payload,
// n+5..n+10 P, n+11..n+16 D, n+17..n+20 "OIEA".
bool Unframe(std::string_view frame, std::string* payload) {
    const std::size_t length = frame.size();
    if (length < 21) return false;
    const std::size_t n = length - 20;
    if (Columns(frame, 1, 4) != kStart || Columns(frame, n + 17, 4) != kEnd) return false;
    const auto p = DigitField(Columns(frame, n + 5, 6)), d = DigitField(Columns(frame, n + 11, 6));
    if (!p || !d) return false;
    const std::string_view body = Columns(frame, 5, n);
    const FrameSums sums = ComputeFrameSums(body);
    if (*p != sums.p % 1000000 || *d != sums.d % 1000000) return false;
    if (payload) *payload = std::string(body);
    return true;
}

// With c(i) the code of data character i (i from 1): K1 = sum of c(i) * (c(i) / i), K2 = sum of
// c(i) * (i / 14), every product a 16-bit signed value.
RecordSums ComputeRecordSums(std::string_view data) {
    constexpr std::int64_t kMax16 = 32767;
    if (static_cast<std::int64_t>(data.size()) > kMax16)
        throw std::invalid_argument("record data longer than a 16-bit position");
    RecordSums sums;
    for (std::size_t at = 0; at < data.size(); ++at) {
        const std::int64_t i = static_cast<std::int64_t>(at) + 1;
        const std::int64_t c = static_cast<unsigned char>(data[at]);
        const std::int64_t first = c * (c / i), second = c * (i / 14);
        if (first > kMax16 || second > kMax16)
            throw std::invalid_argument("a record sum product passes 16 bits");
        sums.k1 += first;
        sums.k2 += second;
    }
    return sums;
}

std::string Record(std::string_view data) {
    const RecordSums sums = ComputeRecordSums(data);
    return kStx + std::string(data) + LastDigits(sums.k1, 5) + LastDigits(sums.k2, 5) + kEtx;
}

std::string RecordWithBadSums(std::string_view data) {
    const RecordSums sums = ComputeRecordSums(data);
    return kStx + std::string(data) + LastDigits(sums.k1 + 1, 5) + LastDigits(sums.k2, 5) + kEtx;
}

// Layout of a record of length L: column 1 STX, 2..L-11 the data, L-10..L-6 K1, L-5..L-1 K2, L ETX.
bool Unrecord(std::string_view record, std::string* data) {
    const std::size_t length = record.size();
    if (length < 12 || record.front() != kStx || record.back() != kEtx) return false;
    const auto k1 = DigitField(Columns(record, length - 10, 5)), k2 = DigitField(Columns(record, length - 5, 5));
    if (!k1 || !k2) return false;
    const std::string_view body = Columns(record, 2, length - 12);
    RecordSums sums;
    try {
        sums = ComputeRecordSums(body);
    } catch (const std::invalid_argument&) {
        return false;  // a product past 16 bits: the record cannot be valid
    }
    if (*k1 != sums.k1 % 100000 || *k2 != sums.k2 % 100000) return false;
    if (data) *data = std::string(body);
    return true;
}

}  // namespace morven::linecodec
