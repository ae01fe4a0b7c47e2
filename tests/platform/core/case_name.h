// The name of one case of a parameterised test, made from the case's own description ("bad sum is refused"
// becomes "BadSumIsRefused"), so that the runner and ctest show which case ran instead of its printed bytes.
#pragma once

#include <string>
#include <string_view>

namespace morven::testing {

// Letters and digits of the description, each word begun with a capital; everything else is dropped. A
// description without a letter or digit gives "Case".
inline std::string CaseName(std::string_view description) {
    std::string name;
    bool wordStart = true;
    for (const char c : description) {
        const bool lower = c >= 'a' && c <= 'z', upper = c >= 'A' && c <= 'Z', digit = c >= '0' && c <= '9';
        if (!lower && !upper && !digit) {
            wordStart = true;
            continue;
        }
        name += wordStart && lower ? static_cast<char>(c - 'a' + 'A') : c;
        wordStart = false;
    }
    return name.empty() ? "Case" : name;
}

}  // namespace morven::testing
