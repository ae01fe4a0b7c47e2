// Windows-1252 <-> UTF-8. Records, files and the line are Windows-1252 bytes; the window layer shows UTF-8.
// The five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 code points of
// the same value, so every byte string survives a round trip.
#pragma once

#include <string>
#include <string_view>

namespace morven {

std::string Cp1252ToUtf8(std::string_view bytes);

// Characters without a Windows-1252 byte, and bytes that are not valid UTF-8, become `replacement`.
std::string Utf8ToCp1252(std::string_view utf8, char replacement = '?');

}  // namespace morven
