// The TAR part of a compression run (building or growing an archive, removing members), kept apart from
// the compression state's header so that the TAR code's own names and the file lists' do not meet.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gtlib {

struct GtTarItem {
    std::string sourcePath;             // "/" separators; empty for the memory item
    std::string storedName;
    int64_t time = 0;
    uint32_t attributes = 0;
    bool memory = false;
};

struct GtTarRun {
    int fd = -1;                        // the temporary file (or the archive itself when growing)
    bool lfToCrlf = false;
    bool* cancel = nullptr;
    const unsigned char* memData = nullptr;
    std::size_t memSize = 0;
    // Major status for an item (true cancels); minor status in percent (true cancels).
    std::function<bool(const GtTarItem& item)> majorStatus;
    std::function<bool(int percent)> minorStatus;
    std::function<void(std::string& storedName, int64_t& mtime, uint32_t& attributes)> rename;
    std::function<void(const std::string& line)> added;  // "%s [Added]" with the source path
};

// Cuts an archive copy at its end block. GTE_* code.
int GtTarCut(int fd);

// Writes every item and the end block at the file's position. On failure `failed` names the item.
int GtTarWriteItems(GtTarRun& run, const std::vector<GtTarItem>& items, std::string& failed);

// Removes members: those the predicate selects (each logged), or the one at `index` (0-based over all
// members) when there is no predicate. GTE_INDEX when neither names a member.
int GtTarDelete(int fd, const std::function<bool(const std::string& name)>* matches, long index,
                const std::function<void(const std::string& name)>& deleted);

}  // namespace gtlib
