#include "gtlib/engine/gt_tar_run.h"

#include "gtlib/engine/tar.h"

namespace gtlib {

int GtTarBuild(const std::string& archive, const std::string& temp, const std::vector<GtTarItem>& items,
               bool growExisting, GtTarRun& run, std::string& failed) {
    TarWriter w;
    w.lfToCrlf = run.lfToCrlf;
    w.cancel = run.cancel;
    w.minorStatus = [&run](int percent) { return run.minorStatus && run.minorStatus(percent); };
    if (run.rename) w.rename = run.rename;
    std::vector<TarWriteItem> list(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool memory = items[i].memory;
        list[i].sourcePath = items[i].sourcePath;
        list[i].memoryItem = memory;
        list[i].memData = memory ? run.memData : nullptr;
        list[i].memSize = memory ? run.memSize : 0;
        list[i].storedName = items[i].storedName;
        list[i].mtime = items[i].time;
        list[i].attributes = items[i].attributes;
    }
    std::size_t written = 0;
    w.majorStatus = [&run, &written, &items](const TarWriteItem&) {
        const GtTarItem& g = items[std::min(written++, items.size() - 1)];
        return run.majorStatus && run.majorStatus(g);
    };
    const int r = TarBuildArchive(archive, temp, list, growExisting, w, {});
    if (r != 0 && written > 0) {
        const GtTarItem& g = items[written - 1];
        failed = g.memory ? g.storedName : g.sourcePath;
    }
    return r;
}

int GtTarDelete(const std::string& archive, const std::string& temp,
                const std::function<bool(const std::string& name)>* matches, long index, bool growExisting,
                const std::function<void(const std::string& name)>& deleted) {
    return TarDeleteFromArchive(archive, temp, matches, index, growExisting, deleted);
}

}  // namespace gtlib
