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
    bool lfToCrlf = false;
    bool* cancel = nullptr;
    const unsigned char* memData = nullptr;
    std::size_t memSize = 0;
    // Major status for an item (true cancels); minor status in percent (true cancels).
    std::function<bool(const GtTarItem& item)> majorStatus;
    std::function<bool(int percent)> minorStatus;
    std::function<void(std::string& storedName, int64_t& mtime, uint32_t& attributes)> rename;
};

// Builds the archive in `temp` (GT_TAR, GT_TAR_MEMTOFILE): without grow-existing an existing archive is
// copied first and the caller then puts `temp` in its place; with it the new members are appended to the
// archive and `temp` is deleted. On failure `failed` names the item. GTE_* code.
int GtTarBuild(const std::string& archive, const std::string& temp, const std::vector<GtTarItem>& items,
               bool growExisting, GtTarRun& run, std::string& failed);

// Removes members (GT_TAR_DELETE): those the predicate selects (each reported to `deleted`), or the one at
// `index` (0-based over all members) without a predicate; on a copy in `temp` (then put in place by the
// caller), or with grow-existing in the archive itself. GTE_INDEX when neither names a member.
int GtTarDelete(const std::string& archive, const std::string& temp,
                const std::function<bool(const std::string& name)>* matches, long index, bool growExisting,
                const std::function<void(const std::string& name)>& deleted);

}  // namespace gtlib
