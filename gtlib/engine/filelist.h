// Item lists of the compression engine: list texts split into parts, stored names, wildcard matching,
// include/exclude selection, folder scans (with recursion), the date window and file facts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gtlib/engine/records.h"

namespace gtlib {

struct GtEngineState;

// File attributes are the ATTR_* constants of records.h. On Linux: read-only when the owner may not write,
// hidden when the name starts with a point, archive set on every regular file, never system or volume.

constexpr std::size_t kMaxPath = 260;

struct GtListItem {
    std::string sourcePath;  // separators "/"
    std::string storedName;  // separators "/"
    std::int64_t time = 0;   // last write, Unix seconds
    std::uint32_t attributes = 0;
    bool memory = false;     // the memory item
};

struct PatternEntry {
    std::string pattern;
    char kind = 'i';  // 'i' include, 'x' exclude
};

struct PatternList {
    std::vector<PatternEntry> entries;
    int includeCount = 0;
};

// Parts of a list text: cut at blanks outside double quotes, quotes removed, at most 260 bytes each,
// "/" turned into "\". Empty parts are left out.
std::vector<std::string> SplitListText(std::string_view text);

// Valid file name: no byte below 32 and none of * < > ? |
bool ValidFileName(std::string_view name);

// Long name: a blank or double quote, or a component with more than 8 bytes before its first point or
// more than 3 after it.
bool IsLongName(std::string_view name);
// 8.3 form: blanks and quotes dropped, each component cut to 8 + 3, further points dropped.
std::string MangleName(std::string_view name);

struct NameRules {
    bool noDirectoryNames = false;
    bool dosify = false;
    bool relativePath = false;
    bool ignoreLongNames = false;
    bool mangleLongNames = false;
    std::string relativeFolder;  // folder of the item-list part: lower case, "/" separators, no leading "/"
};

// Stored name of a path under the rules, in order: separators, server/share, drive and leading slashes
// (and any "." or ".." component) removed, directory names dropped, capitals, relative path, long names.
// No value when the rules drop the item.
std::optional<std::string> StoredName(std::string_view path, const NameRules& rules);

// Matches a stored name against a pattern (base and extension separately, "*" and "?", case ignored).
bool MatchName(std::string_view pattern, std::string_view name);

// Selected by the pattern list: no patterns selects all; an exclude match drops; an include match takes;
// a name matching nothing is taken only when there are no include patterns.
bool IsSelected(const PatternList& patterns, std::string_view storedName);

// Include and exclude lists into the state's pattern list. GTE_OK or GTE_MEM.
int ParsePatternLists(GtEngineState& st, std::string_view includeList, std::string_view excludeList);

// Adds every file that one item-list part names (recursing with the state's option). A folder that
// cannot be listed adds nothing.
int BuildFileList(std::string_view part, GtEngineState& st);

// Adds the memory item named by the part (a valid file name, else GTE_PARMS).
int AddMemoryItem(std::string_view part, GtEngineState& st);

// Builds the stored name of a path, applies the selection and appends the item.
int AddItemToList(std::string_view sourcePath, std::int64_t time, std::uint32_t attributes, GtEngineState& st,
                  const std::string& relativeFolder);

// Sorts the items by stored name and keeps one of items whose stored names are equal (names compare
// exactly: "Readme" and "README" are two files on Linux).
void SortAndMergeItems(std::vector<GtListItem>& items);

// With both window dates set: drops items outside the window (inclDate) or inside it (exclDate).
void ApplyDateWindow(GtEngineState& st);

// Date1/Date2 text "MMDDYYYY" (month 1-12, day 1-31, year 1970-2079) as local time: 00:00:00 of the day,
// or 23:59:59 with endOfDay; a day before 1980 counts as 1980-01-01 00:00:00. Empty text: no value and ok.
bool ParseWindowDate(std::string_view text, bool endOfDay, std::optional<std::int64_t>& out);

struct FileFacts {
    std::int64_t time = 0;  // last write, Unix seconds rounded to the nearest second
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
};
// Facts of a file (the path may use "\" or "/"). No value when it does not exist.
std::optional<FileFacts> GetFileFacts(std::string_view path);

// "\" to "/": the path as the Linux file system takes it.
std::string NativePath(std::string_view path);

}  // namespace gtlib
