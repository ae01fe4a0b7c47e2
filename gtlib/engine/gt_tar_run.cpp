#include "gtlib/engine/gt_tar_run.h"

#include "gtlib/engine/tar.h"

namespace gtlib {

int GtTarCut(int fd) { return TarTruncateForAppend(fd); }

int GtTarWriteItems(GtTarRun& run, const std::vector<GtTarItem>& items, std::string& failed) {
    TarWriter w;
    w.fd = run.fd;
    w.lfToCrlf = run.lfToCrlf;
    w.cancel = run.cancel;
    w.majorStatus = [&run, &items](const TarWriteItem& item) {
        (void)items;
        GtTarItem g{item.sourcePath, item.storedName, item.mtime, item.attributes, item.memoryItem};
        return run.majorStatus && run.majorStatus(g);
    };
    w.minorStatus = [&run](int percent) { return run.minorStatus && run.minorStatus(percent); };
    if (run.rename) w.rename = run.rename;
    for (const GtTarItem& g : items) {
        TarWriteItem item;
        item.sourcePath = g.sourcePath;
        item.memoryItem = g.memory;
        item.memData = g.memory ? run.memData : nullptr;
        item.memSize = g.memory ? run.memSize : 0;
        item.storedName = g.storedName;
        item.mtime = g.time;
        item.attributes = g.attributes;
        int r = TarWriteEntry(w, item);
        if (r == 0) r = TarWriteFileData(w);
        if (r != 0) {
            failed = g.memory ? g.storedName : g.sourcePath;
            return r;
        }
        if (run.added) run.added(g.memory ? g.storedName : g.sourcePath);
    }
    return TarWriteEnd(w);
}

int GtTarDelete(int fd, const std::function<bool(const std::string& name)>* matches, long index,
                const std::function<void(const std::string& name)>& deleted) {
    return TarDeleteMembers(fd, matches, index, deleted);
}

}  // namespace gtlib
