#include "tests/peers/codec.h"

#include <stdexcept>

namespace morven::peers {

namespace {

std::string Digits(std::int64_t v, int width) {
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s.substr(s.size() - static_cast<std::size_t>(width));
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::int64_t Number(std::string_view s) {
    std::int64_t v = 0;
    for (char c : s) v = v * 10 + (c - '0');
    return v;
}

}  // namespace

std::string Shift(std::string_view plain) {
    std::string out;
    out.reserve(plain.size());
    for (unsigned char c : plain) {
        if (c > 192) throw std::invalid_argument("byte above 192 has no shifted form");
        out.push_back(static_cast<char>(c + 63));
    }
    return out;
}

std::string Unshift(std::string_view wire) {
    std::string out;
    for (unsigned char c : wire)
        if (c >= 63) out.push_back(static_cast<char>(c - 63));
    return out;
}

std::string DecodeLine(std::string_view wire) {
    if (wire.find("AEIO") != std::string_view::npos) return std::string(wire);
    return Unshift(wire);
}

std::string EncodeLine(std::string_view line) {
    if (line.substr(0, 4) == "AEIO") return std::string(line);
    return Shift(line);
}

FrameSums ComputeFrameSums(std::string_view payload) {
    const auto n = static_cast<std::int64_t>(payload.size());
    if (n == 0) throw std::invalid_argument("empty payload");
    std::int64_t p = 0, d = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        const std::int64_t c = static_cast<unsigned char>(payload[static_cast<std::size_t>(i - 1)]) + 33;
        p += c * i;
        d += c * (n - i);
    }
    return {p / n, d / n};
}

std::string Frame(std::string_view payload) {
    const FrameSums s = ComputeFrameSums(payload);
    return "AEIO" + std::string(payload) + Digits(s.p, 6) + Digits(s.d, 6) + "OIEA";
}

std::string FrameWithBadSums(std::string_view payload) {
    const FrameSums s = ComputeFrameSums(payload);
    return "AEIO" + std::string(payload) + Digits(s.p + 1, 6) + Digits(s.d, 6) + "OIEA";
}

bool Unframe(std::string_view frame, std::string* payload) {
    if (frame.size() < 21 || frame.substr(0, 4) != "AEIO" || frame.substr(frame.size() - 4) != "OIEA") return false;
    const std::string_view body = frame.substr(4, frame.size() - 20);
    const std::string_view p = frame.substr(frame.size() - 16, 6), d = frame.substr(frame.size() - 10, 6);
    if (!AllDigits(p) || !AllDigits(d)) return false;
    const FrameSums s = ComputeFrameSums(body);
    if (s.p % 1000000 != Number(p) || s.d % 1000000 != Number(d)) return false;
    if (payload) *payload = std::string(body);
    return true;
}

RecordSums ComputeRecordSums(std::string_view data) {
    std::int64_t k1 = 0, k2 = 0;
    for (std::size_t idx = 0; idx < data.size(); ++idx) {
        const std::int64_t i = static_cast<std::int64_t>(idx) + 1;
        const std::int64_t c = static_cast<unsigned char>(data[idx]);
        k1 += c * (c / i);
        k2 += c * (i / 14);
    }
    return {k1 % 100000, k2 % 100000};
}

std::string Record(std::string_view data) {
    const RecordSums s = ComputeRecordSums(data);
    return "\x02" + std::string(data) + Digits(s.k1, 5) + Digits(s.k2, 5) + "\x03";
}

std::string RecordWithBadSums(std::string_view data) {
    const RecordSums s = ComputeRecordSums(data);
    return "\x02" + std::string(data) + Digits((s.k1 + 1) % 100000, 5) + Digits(s.k2, 5) + "\x03";
}

bool Unrecord(std::string_view record, std::string* data) {
    if (record.size() < 12 || record.front() != '\x02' || record.back() != '\x03') return false;
    const std::string_view body = record.substr(1, record.size() - 12);
    const std::string_view k1 = record.substr(record.size() - 11, 5), k2 = record.substr(record.size() - 6, 5);
    if (!AllDigits(k1) || !AllDigits(k2)) return false;
    const RecordSums s = ComputeRecordSums(body);
    if (s.k1 != Number(k1) || s.k2 != Number(k2)) return false;
    if (data) *data = std::string(body);
    return true;
}

}  // namespace morven::peers
