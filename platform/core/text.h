// Text helpers shared by every layer. Texts are byte strings (Windows-1252 text, or UTF-8 paths): case is
// changed and compared for the ASCII letters only, never through the locale, so the result does not depend
// on what locale a host (or Qt) has set, and bytes above 127 pass through unchanged.
//
// Column helpers for fixed-layout records: positions are 1-based and every helper tolerates a line shorter
// than the column asked for (it yields what is there, possibly nothing). These are the only way records are
// cut.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morven {

// The characters Trim removes: the blank alone (as the system's own trim), blanks and tabs, or every ASCII
// white-space character (blank, tab, CR, LF, vertical tab, form feed).
inline constexpr std::string_view kBlanks = " ";
inline constexpr std::string_view kBlanksAndTabs = " \t";
inline constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

// The text without the leading and trailing characters found in `chars` (blanks unless told otherwise).
inline std::string Trim(std::string_view s, std::string_view chars = kBlanks) {
    const auto b = s.find_first_not_of(chars);
    if (b == std::string_view::npos) return {};
    return std::string(s.substr(b, s.find_last_not_of(chars) - b + 1));
}

// Whether `what` stands anywhere in `s` (case as it is): how the line's answers and switches are recognised.
constexpr bool Contiene(std::string_view s, std::string_view what) { return s.find(what) != std::string_view::npos; }

// ASCII case of one byte: only 'a'..'z' and 'A'..'Z' change.
constexpr char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The text with its ASCII letters in upper (lower) case; every other byte as it is.
inline std::string UpperAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = UpperAscii(c);
    return r;
}
inline std::string LowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = LowerAscii(c);
    return r;
}

// Equality without regard to the case of ASCII letters.
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

// Every occurrence of `from` replaced by `to`, left to right; a replacement is never searched again. An
// empty `from` leaves the text as it is.
inline std::string ReplaceAll(std::string s, std::string_view from, std::string_view to) {
    if (from.empty()) return s;
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
    return s;
}

// The lines of a text file's contents: CR LF, a lone CR and a lone LF each end a line; a final line end adds
// no empty line. Files written on other systems (CR only, LF only) read as the CR LF ones do.
inline std::vector<std::string> SplitLines(std::string_view dati) {
    std::vector<std::string> righe;
    std::size_t inizio = 0;
    for (std::size_t i = 0; i < dati.size(); ++i) {
        const char c = dati[i];
        if (c != '\r' && c != '\n') continue;
        righe.emplace_back(dati.substr(inizio, i - inizio));
        if (c == '\r' && i + 1 < dati.size() && dati[i + 1] == '\n') ++i;
        inizio = i + 1;
    }
    if (inizio < dati.size()) righe.emplace_back(dati.substr(inizio));
    return righe;
}

// Up to `len` bytes starting at 1-based position `start`; empty when the line ends before `start`.
inline std::string Mid(std::string_view s, std::size_t start, std::size_t len = std::string_view::npos) {
    if (start < 1 || start > s.size()) return {};
    return std::string(s.substr(start - 1, len));
}

// The first `n` bytes (the whole text when it is shorter).
inline std::string Left(std::string_view s, std::size_t n) { return std::string(s.substr(0, n)); }

// The last `n` bytes (the whole text when it is shorter).
inline std::string Right(std::string_view s, std::size_t n) {
    return n >= s.size() ? std::string(s) : std::string(s.substr(s.size() - n));
}

// Exactly `width` bytes: the last `width` bytes of (width copies of the fill's first byte, then the value).
// A longer value loses its leading bytes (width 3 on "12345" gives "345"). An empty fill means a blank.
inline std::string PadLeft(std::string_view value, int width, std::string_view fill = " ") {
    if (width < 0) throw std::invalid_argument("PadLeft: negative width");
    const char f = fill.empty() ? ' ' : fill.front();
    const auto n = static_cast<std::size_t>(width);
    if (value.size() >= n) return std::string(value.substr(value.size() - n));
    return std::string(n - value.size(), f) + std::string(value);
}

// Exactly `width` bytes: the first `width` bytes of (the value, then width copies of the fill's first byte).
inline std::string PadRight(std::string_view value, int width, std::string_view fill = " ") {
    if (width < 0) throw std::invalid_argument("PadRight: negative width");
    const char f = fill.empty() ? ' ' : fill.front();
    const auto n = static_cast<std::size_t>(width);
    if (value.size() >= n) return std::string(value.substr(0, n));
    return std::string(value) + std::string(n - value.size(), f);
}

inline std::string PadLeft(long long value, int width, std::string_view fill = " ") {
    return PadLeft(std::to_string(value), width, fill);
}
inline std::string PadRight(long long value, int width, std::string_view fill = " ") {
    return PadRight(std::to_string(value), width, fill);
}

}  // namespace morven
