#include "platform/com/types.h"

#include <cstdio>

namespace morven::com {

std::string GuidToString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads `digits` hexadecimal digits at `pos`; false on any other character.
bool ReadHex(std::string_view t, std::size_t pos, int digits, std::uint32_t& out) {
    out = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = HexValue(t[pos + i]);
        if (v < 0) return false;
        out = out << 4 | static_cast<std::uint32_t>(v);
    }
    return true;
}
}  // namespace

std::optional<GUID> GuidFromString(std::string_view t) {
    if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' || t[19] != '-' ||
        t[24] != '-')
        return std::nullopt;
    GUID g;
    std::uint32_t v;
    if (!ReadHex(t, 1, 8, v)) return std::nullopt;
    g.Data1 = v;
    if (!ReadHex(t, 10, 4, v)) return std::nullopt;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!ReadHex(t, 15, 4, v)) return std::nullopt;
    g.Data3 = static_cast<std::uint16_t>(v);
    static constexpr std::size_t pos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(t, pos[i], 2, v)) return std::nullopt;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

}  // namespace morven::com
