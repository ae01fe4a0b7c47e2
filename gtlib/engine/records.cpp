#include "gtlib/engine/records.h"

#include <cstring>

namespace gtlib {

void CopyToField(char* field, std::size_t size, std::string_view text) {
    if (field == nullptr || size == 0) return;
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    if (n > 0) std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

std::string_view FieldText(const char* field, std::size_t size) {
    if (field == nullptr) return {};
    const void* end = std::memchr(field, 0, size);
    return {field, end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : size};
}

GZIPINFO NewGzipInfo() {
    GZIPINFO r{};
    r.ulStructSize = kGzipInfoSize;
    r.lIndex = -1;
    return r;
}

TARINFO NewTarInfo() {
    TARINFO r{};
    r.ulStructSize = kTarInfoSize;
    r.lIndex = -1;
    return r;
}

RENAMESTRUCT NewRenameStruct() {
    RENAMESTRUCT r{};
    r.ulStructSize = kRenameStructSize;
    return r;
}

CALLBACKSTRUCT NewCallbackStruct() {
    CALLBACKSTRUCT r{};
    r.ulStructSize = kCallbackStructSize;
    return r;
}

GTCMDSTRUCT NewGtCmdStruct() {
    GTCMDSTRUCT r{};
    r.ulgtStructSize = kGtCmdStructSize;
    r.lIndex = -1;
    return r;
}

UGTCMDSTRUCT NewUgtCmdStruct() {
    UGTCMDSTRUCT r{};
    r.ulugtStructSize = kUgtCmdStructSize;
    r.lIndex = -1;
    return r;
}

}  // namespace gtlib
