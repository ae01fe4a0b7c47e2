// Path helpers of both engines: the paths of a command record as this system reads them.
#pragma once

#include <limits.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace gtlib {

// Longer paths are refused, never cut.
inline constexpr std::size_t kEnginePathLimit = PATH_MAX - 1;

// A path of a command record (archive, destination, temporary folder): double quotes dropped, "\" read as
// the folder separator "/", and with `folder` a "/" added at the end of a non-empty path. A null text
// gives an empty path. False when the result is longer than a path may be.
bool NormalisePath(const char* in, std::string& out, bool folder = false);

// The last part of a path (all of it without a "/").
std::string BaseName(std::string_view path);

}  // namespace gtlib
