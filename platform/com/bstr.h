// COM strings (BSTR): UTF-16 text preceded by its length in bytes (32 bits) and followed by a zero
// character. A BSTR points at the first character, so it reads as a zero-terminated UTF-16 text and may
// also hold zero characters inside. A null BSTR counts as the empty text everywhere.
//
// Text conversions: the "ANSI" code page of the component layer is UTF-8, the file system's own, so the
// host's paths with accented letters reach the right files. Bytes that are not valid UTF-8 become U+FFFD;
// unpaired surrogates become U+FFFD too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/types.h"

namespace morven::com {

using BSTR = OLECHAR*;

BSTR SysAllocString(const OLECHAR* text);                      // copy up to the first zero character
BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t n);  // n characters; text may be null (zero-filled)
BSTR SysAllocStringByteLen(const char* bytes, std::uint32_t n);  // n bytes; bytes may be null (zero-filled)
void SysFreeString(BSTR s);
std::uint32_t SysStringLen(BSTR s);      // characters
std::uint32_t SysStringByteLen(BSTR s);  // bytes
// Replaces *target by a copy of text (freeing the old one); false when out of memory.
bool SysReAllocString(BSTR* target, const OLECHAR* text);

// UTF-8 <-> UTF-16.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// A new BSTR holding the UTF-8 text converted (null only when out of memory).
BSTR BstrFromUtf8(std::string_view utf8);
// The whole BSTR (all SysStringLen characters) as UTF-8.
std::string Utf8FromBstr(BSTR s);
// The BSTR up to its first zero character, as UTF-8.
std::string Utf8FromBstrToZero(BSTR s);
std::u16string_view View(BSTR s);

// Owns one BSTR; frees it when it goes.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::string_view utf8) : s_(BstrFromUtf8(utf8)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) {
            SysFreeString(s_);
            s_ = o.s_;
            o.s_ = nullptr;
        }
        return *this;
    }
    ~Bstr() { SysFreeString(s_); }
    static Bstr Attach(BSTR s) {
        Bstr b;
        b.s_ = s;
        return b;
    }
    BSTR get() const { return s_; }
    BSTR* out() {
        SysFreeString(s_);
        s_ = nullptr;
        return &s_;
    }
    BSTR Detach() {
        BSTR s = s_;
        s_ = nullptr;
        return s;
    }
    std::string Utf8() const { return Utf8FromBstr(s_); }

private:
    BSTR s_ = nullptr;
};

}  // namespace morven::com
