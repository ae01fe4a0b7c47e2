// Files and folders as the program names them. Names are matched without regard to (ASCII) case and with DOS
// wildcard rules, as the wholesalers' and the management software's files arrive in any case; files that
// other programs read are replaced atomically so a reader never sees half a file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morven {

// Reads a whole file as bytes. False when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& contents);

// Replaces (or creates) `path` with `contents`: the bytes go to a temporary file in the same folder, which is
// flushed to the disk and renamed over the target, so the target holds either the old or the new contents.
// A file that existed keeps its permission bits. On failure the target is untouched, the temporary file is
// removed, and `error` (when given) says why. With `flush` false nothing is forced to the disk: a reader still
// sees the old or the new contents whole, but a crash of the machine soon after may lose the change (or, on
// some file systems, leave an empty file); for a file rewritten many times a second whose every version
// need not survive a crash.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents, std::string* error = nullptr,
                           bool flush = true);

// DOS wildcard match, case-insensitive for ASCII letters: "*" any run of characters, "?" one character.
// As on DOS, a pattern ending in ".*" also matches a name without a point ("*.*" matches every name,
// "ORDSEQ.*" matches "ordseq"), and a pattern ending in "." matches names without an extension.
bool DosMatch(std::string_view pattern, std::string_view name);

// Writes every byte to the descriptor, going on after a partial write or an interruption; a descriptor that
// takes nothing (or would block) twenty times in a row fails. False when the bytes could not all be written.
bool WriteAll(int fd, std::string_view data);
bool WriteAll(int fd, const void* data, std::size_t size);

// Reads until `size` bytes are in or the file ends, going on after a partial read or an interruption: the count
// read (short only at the end of the file), or -1 when a read fails (errno as it left it).
ssize_t ReadFull(int fd, void* data, std::size_t size);
// The same from `offset` on, by positioned reads: the descriptor's file position does not move.
ssize_t PreadFull(int fd, void* data, std::size_t size, std::uint64_t offset);

// Creates `folder` and every missing folder above it with `mode` (less the umask); "a/b//c/" and "./a" are
// taken as they would be by the system. True when the folder exists at the end. On failure `errno` is left
// from the step that failed and `failed` (when given) is that step's path; a part that exists as a file fails
// with ENOTDIR.
bool MakeFolders(std::string_view folder, unsigned mode = 0777, std::string* failed = nullptr);

// The folders above the file `path` (everything before its last "/"), made as MakeFolders makes them.
bool MakeParentFolders(std::string_view path, unsigned mode = 0777);

enum class EntryKind { File, Directory, Link, Other };

struct DirEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;  // from lstat: a symbolic link is Link, never what it points to
};

// The entries of `folder` whose names match the DOS `pattern`, "." and ".." left out, sorted by name.
// Empty when the folder cannot be read.
std::vector<DirEntry> ListFolder(const std::string& folder, std::string_view pattern = "*.*");

// The name, as stored, of the entry of `folder` equal to `name` without regard to case; an exact match wins.
std::optional<std::string> FindNameNoCase(const std::string& folder, std::string_view name);

// `folder` + "/" + the stored name of the entry matching `name` case-insensitively, or `folder` + "/" + `name`
// itself when none matches (so a file about to be created gets the name as given).
std::string ResolveNoCase(const std::string& folder, std::string_view name);

// Joins a folder and a name with exactly one "/" between them.
std::string JoinPath(std::string_view folder, std::string_view name);

bool FileExists(const std::string& path);       // a regular file (links followed)
bool DirectoryExists(const std::string& path);  // a directory (links followed)

}  // namespace morven
