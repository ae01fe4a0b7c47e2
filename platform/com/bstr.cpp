#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>

namespace morven::com {

namespace {
// Block layout: 4-byte length in bytes, the characters, a zero character. A BSTR points past the length.
BSTR AllocBytes(std::uint32_t bytes) {
    if (bytes > 0x7FFFFFF0u) return nullptr;
    auto* p = static_cast<char*>(std::malloc(4 + static_cast<std::size_t>(bytes) + 2));
    if (!p) return nullptr;
    std::memcpy(p, &bytes, 4);
    std::memset(p + 4 + bytes, 0, 2);
    return reinterpret_cast<BSTR>(p + 4);
}
}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t n) {
    if (n > 0x3FFFFFF0u) return nullptr;
    BSTR s = AllocBytes(n * 2);
    if (!s) return nullptr;
    if (text)
        std::memcpy(s, text, std::size_t{n} * 2);
    else
        std::memset(s, 0, std::size_t{n} * 2);
    return s;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    std::uint32_t n = 0;
    while (text[n]) ++n;
    return SysAllocStringLen(text, n);
}

BSTR SysAllocStringByteLen(const char* bytes, std::uint32_t n) {
    BSTR s = AllocBytes(n);
    if (!s) return nullptr;
    auto* d = reinterpret_cast<char*>(s);
    if (bytes)
        std::memcpy(d, bytes, n);
    else
        std::memset(d, 0, n);
    d[n] = 0;  // an odd byte count still ends in a zero character
    return s;
}

void SysFreeString(BSTR s) {
    if (s) std::free(reinterpret_cast<char*>(s) - 4);
}

std::uint32_t SysStringByteLen(BSTR s) {
    if (!s) return 0;
    std::uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<char*>(s) - 4, 4);
    return bytes;
}

std::uint32_t SysStringLen(BSTR s) { return SysStringByteLen(s) / 2; }

bool SysReAllocString(BSTR* target, const OLECHAR* text) {
    BSTR n = SysAllocString(text);
    if (text && !n) return false;
    SysFreeString(*target);
    *target = n;
    return true;
}

std::u16string_view View(BSTR s) { return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view(); }

std::u16string Utf8ToUtf16(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        const auto c = static_cast<unsigned char>(in[i]);
        char32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if (c >= 0xC2 && c < 0xE0) {
            cp = c & 0x1F;
            extra = 1;
        } else if (c >= 0xE0 && c < 0xF0) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xF0 && c < 0xF5) {
            cp = c & 0x07;
            extra = 3;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        bool ok = i + static_cast<std::size_t>(extra) < in.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(in[i + k]);
            if ((cc & 0xC0) != 0x80)
                ok = false;
            else
                cp = cp << 6 | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
        if (ok && ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                   (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += 1 + static_cast<std::size_t>(extra);
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

BSTR BstrFromUtf8(std::string_view utf8) {
    const std::u16string w = Utf8ToUtf16(utf8);
    return SysAllocStringLen(w.data(), static_cast<std::uint32_t>(w.size()));
}

std::string Utf8FromBstr(BSTR s) { return Utf16ToUtf8(View(s)); }

std::string Utf8FromBstrToZero(BSTR s) {
    std::u16string_view v = View(s);
    const auto z = v.find(u'\0');
    if (z != std::u16string_view::npos) v = v.substr(0, z);
    return Utf16ToUtf8(v);
}

}  // namespace morven::com
