// Temporary output files of the compression engine and the replacement of the target by them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gtlib {

struct GtEngineState;

// Three-character prefix of the thread's temporary files: "G" and two characters of
// "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_" chosen by the thread id (id mod 37, id / 37 mod 37).
std::string TempFilePrefix(std::uint64_t threadId);

// Creates a new, empty file "<prefix><4 hex digits>.TMP" in `tempPath` (its folders are created) and
// returns its name in `name`. GTE_OK, or GTE_CREATE when no file could be made.
int MakeTempFileName(std::string_view tempPath, std::string& name);

// Moves the temporary file onto the target, replacing an existing one in one step; across file systems the
// data are copied into a new file beside the target, which then replaces it, and the temporary file is
// deleted. On failure the target is as it was. GTE_OK, GTE_CREATE, GTE_TEMP, GTE_WRITE or GTE_ABORT.
int ReplaceOriginalFile(GtEngineState& st, std::string_view target, std::string_view temporary);

// Copies `length` bytes (or everything, for a negative length) from one open file to another in
// 8192-byte blocks, polling for a cancel after each block. GTE_READ, GTE_TEMP or GTE_ABORT on failure.
int CopyFileData(GtEngineState& st, int fromFd, int toFd, std::int64_t length = -1);

// Creates every missing folder of the folder part of a file path. GTE_OK or GTE_CREATE.
int CreateDirectoryPath(std::string_view filePath);

}  // namespace gtlib
