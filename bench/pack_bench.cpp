// The whole pack and unpack of a folder, as a host does it with the two controls, beside GNU tar and gzip
// on the same tree in the same run:
//   pack    ours: the compression engine makes a TAR of the folder, then a GZIP member of the TAR (level 6)
//           GNU:  tar -cf - tree | gzip -6 > tree.tar.gz
//   unpack  ours: the decompression engine gunzips the member to the TAR, then extracts the TAR
//           GNU:  gzip -dc tree.tar.gz | tar -xf -
// The tree (about 200 MB: the four corpora cut into files of several sizes, in folders two deep) is made at
// start in a temporary folder and removed at the end. Every step's output is checked against the tree.
// Each step runs --reps times (default 2), ours and GNU's alternating; the best wall time of each is kept.
// Both sides start each step alike: the previous run's outputs are removed and the file system synced
// before the clock starts, so neither pays for deleting the other's (or its own earlier) files, nor for
// writing back the dirty pages another step left behind; the tree itself stays in the page cache for both.
// Prints one line per step: wall seconds, MB/s of tree bytes and GNU's time over ours.
// --ours runs only our side (for profiling), and --pack-reps=N packs only N times (the unpack runs go on
// --reps times).
// Then the processor time of each of our steps (best of the runs), and of the coders alone on the same data
// (best of --reps), to tell the engines' own time from the coders': the level-6 coder over the TAR's bytes in
// memory and the decoder over our member's deflate data, each called as the engine calls it (the streamed
// interfaces) with the output dropped; the rest of each GZIP and GUNZIP step is the engine's own (reading,
// CRC-32, writing, the temporary file). Processor time, not wall time: other programs on a busy machine
// then barely move the difference.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench/corpora.h"
#include "gtlib/engine/deflate.h"
#include "gtlib/engine/gt_engine.h"
#include "gtlib/engine/inflate.h"
#include "gtlib/engine/logs.h"
#include "gtlib/engine/messages.h"
#include "gtlib/engine/records.h"
#include "gtlib/engine/ugt_engine.h"

namespace {

namespace fs = std::filesystem;
using namespace gtlib;
using Clock = std::chrono::steady_clock;

// The temporary work folder (about 1 GB at its fullest), removed on every way out.
std::string g_work;
gtlib::EngineContext g_engine;  // the engines' logs go to the work folder; no windows

[[noreturn]] void Fail() {
    if (!g_work.empty() && ::chdir("/") == 0) {
        std::error_code ec;
        fs::remove_all(g_work, ec);
    }
    std::exit(1);
}

struct TreeFile {
    std::string path;  // relative to the work folder
    std::size_t size;
};

// Files of several sizes cycled over the corpora, in folders dNN/sM, until `total` bytes are written. Each
// file starts at another place of its corpus (wrapping), so no two files are the same.
std::vector<TreeFile> MakeTree(const std::string& work, std::size_t total) {
    static const std::size_t sizes[] = {3u << 20, 700u << 10, 150u << 10, 40u << 10, 9u << 10, 1200};
    const auto& corpora = bench::Corpora();
    std::vector<TreeFile> files;
    std::size_t written = 0;
    for (std::size_t i = 0; written < total; ++i) {
        const bench::Corpus& c = corpora[i % corpora.size()];
        const std::size_t size = sizes[(i / corpora.size()) % std::size(sizes)];
        char rel[128];
        std::snprintf(rel, sizeof rel, "tree/d%02zu/s%zu/%s%04zu.%s", i % 12, (i / 12) % 3, c.name.c_str(), i,
                      c.name == "text" ? "h" : c.name == "records" ? "dat" : "bin");
        fs::create_directories((fs::path(work) / rel).parent_path());
        std::ofstream out(fs::path(work) / rel, std::ios::binary | std::ios::trunc);
        std::size_t at = (i * 104729u) % c.data.size(), left = size;
        while (left > 0) {
            const std::size_t n = std::min(left, c.data.size() - at);
            out.write(reinterpret_cast<const char*>(c.data.data() + at), static_cast<std::streamsize>(n));
            left -= n;
            at = 0;
        }
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", rel);
            Fail();
        }
        files.push_back({rel, size});
        written += size;
    }
    return files;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every tree file under `root` has the source's bytes.
bool SameTree(const std::string& work, const std::vector<TreeFile>& files, const fs::path& root) {
    for (const TreeFile& f : files) {
        if (ReadAll(root / f.path) != ReadAll(fs::path(work) / f.path)) {
            std::fprintf(stderr, "%s differs under %s\n", f.path.c_str(), root.c_str());
            return false;
        }
    }
    return true;
}

// The first error text the engine showed, for the failure message.
struct Errors {
    std::string first;
    static int32_t Proc(int32_t kind, int32_t, int32_t, int32_t, char* t1, char*, void* user) {
        auto* self = static_cast<Errors*>(user);
        if (self->first.empty() && t1) self->first = t1;
        return 0;
    }
};

void Check(bool ok, const char* what, const Errors& e) {
    if (!ok) {
        std::fprintf(stderr, "%s failed: %s\n", what, e.first.c_str());
        Fail();
    }
}

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Processor seconds this thread has used (the engines run on the caller's thread).
double ThreadCpu() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The wall and processor seconds of each action of a run.
struct Steps {
    double wall[2] = {};
    double cpu[2] = {};
};

// Times one action into `steps` (slot `i`).
template <class Run>
void TimeStep(Steps& steps, int i, Run&& run) {
    const double c0 = ThreadCpu();
    const auto t0 = Clock::now();
    run();
    steps.wall[i] = Since(t0);
    steps.cpu[i] = ThreadCpu() - c0;
}

// Ours: TAR of the tree, then a GZIP member of the TAR; the TAR goes afterwards, as GNU's pipe keeps none.
// `steps` receives the seconds of each of the two actions.
void PackOurs(const std::string& work, Steps& steps) {
    Errors e;
    GTCMDSTRUCT tar = gtlib::NewGtCmdStruct();
    const std::string tarFile = work + "/ours.tar", items = "tree/*.*", gz = work + "/ours.tar.gz", empty;
    tar.lFunction = GT_TAR;
    tar.lCompFactor = 6;
    tar.bRecurseFlag = -1;
    tar.bAllQuiet = -1;
    tar.lpszGTFile = tarFile.c_str();
    tar.lpszItemList = items.c_str();
    tar.lpszDestination = empty.c_str();
    tar.lpszTempPath = work.c_str();
    tar.lpMessageDisplay = &Errors::Proc;
    tar.lpMessageDisplayData = &e;
    TimeStep(steps, 0, [&] { Check(gtlib::GtMain(&tar, g_engine) == 0, "TAR", e); });
    GTCMDSTRUCT gzip = tar;
    gzip.lFunction = GT_GZIP;
    gzip.bRecurseFlag = 0;
    gzip.lpszGTFile = gz.c_str();
    gzip.lpszItemList = tarFile.c_str();
    TimeStep(steps, 1, [&] { Check(gtlib::GtMain(&gzip, g_engine) == 0, "GZIP", e); });
    std::remove(tarFile.c_str());
}

// Ours: the member back to the TAR in a folder of its own, then every member extracted into `out`.
void UnpackOurs(const std::string& work, const std::string& out, Steps& steps) {
    Errors e;
    const std::string gz = work + "/ours.tar.gz", dest = out + "/", filtro = "*.*", empty;
    UGTCMDSTRUCT gunzip = gtlib::NewUgtCmdStruct();
    GZIPINFO info = gtlib::NewGzipInfo();
    TARINFO tarInfo = gtlib::NewTarInfo();
    char none[1] = {0};
    gunzip.lFunction = UGT_GUNZIP;
    gunzip.lpszGTFile = gz.c_str();
    gunzip.lpszDestination = dest.c_str();
    gunzip.lpszFilespec = filtro.c_str();
    gunzip.gzipInfo = &info;
    gunzip.tarInfo = &tarInfo;
    gunzip.bOverWriteFlag = -1;
    gunzip.bAllQuiet = -1;
    gunzip.bNoDirectoryNames = -1;
    gunzip.lpszReturnString = none;
    gunzip.lpMessageDisplay = &Errors::Proc;
    gunzip.lpMessageDisplayData = &e;
    TimeStep(steps, 0, [&] { Check(gtlib::UgtMain(&gunzip, g_engine) == 0, "GUNZIP", e); });
    const std::string tarFile = out + "/ours.tar";
    UGTCMDSTRUCT untar = gunzip;
    untar.lFunction = UGT_UNTAR;
    untar.lpszGTFile = tarFile.c_str();
    untar.bNoDirectoryNames = 0;
    untar.bRecurseFlag = -1;
    TimeStep(steps, 1, [&] { Check(gtlib::UgtMain(&untar, g_engine) == 0, "UNTAR", e); });
    std::remove(tarFile.c_str());
}

// The coder's input from memory, in the pieces the coder asks for (as the engine's file readers give them).
class MemorySource final : public gtlib::DeflateSource, public gtlib::InflateSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Read(std::uint8_t* buf, std::size_t want) override {
        const std::size_t n = std::min(want, size_ - pos_);
        std::memcpy(buf, data_ + pos_, n);
        pos_ += n;
        return n;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_, pos_ = 0;
};

// Output dropped: only the count is kept.
struct CountingSink final : gtlib::DeflateSink, gtlib::InflateSink {
    std::uint64_t bytes = 0;
    bool Write(std::uint8_t*, std::size_t n) override {
        bytes += n;
        return true;
    }
    bool Write(const std::uint8_t*, std::size_t n) override {
        bytes += n;
        return true;
    }
};

// The deflate data of a member as this engine writes it (no extra field, no header CRC, not encrypted).
bool MemberData(const std::string& member, const std::uint8_t** data, std::size_t* size) {
    const auto byte = [&member](std::size_t i) { return static_cast<std::uint8_t>(member[i]); };
    if (member.size() < 18 || byte(0) != 0x1F || byte(1) != 0x8B) return false;
    const std::uint8_t flags = byte(3);
    if (flags & ~(0x08 | 0x10)) return false;
    std::size_t at = 10;
    for (std::uint8_t field : {std::uint8_t{0x08}, std::uint8_t{0x10}}) {
        if (!(flags & field)) continue;
        at = member.find('\0', at);
        if (at == std::string::npos) return false;
        ++at;
    }
    if (at + 8 > member.size()) return false;
    *data = reinterpret_cast<const std::uint8_t*>(member.data()) + at;
    *size = member.size() - at - 8;
    return true;
}

// Processor seconds of the level-6 coder over the member's TAR and of the decoder over its data, best of
// `deflateReps` and `inflateReps` runs.
bool CodersAlone(const std::string& member, int deflateReps, int inflateReps, double* deflateSeconds,
                 double* inflateSeconds) {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (!MemberData(member, &data, &size)) return false;
    std::vector<std::uint8_t> tar;
    if (gtlib::InflateBuffer(data, size, tar) != gtlib::kInflateOk) return false;
    *deflateSeconds = *inflateSeconds = 1e30;
    gtlib::DeflateCoder coder;
    for (int r = 0; r < std::max(deflateReps, inflateReps); ++r) {
        if (r < inflateReps) {
            MemorySource source(data, size);
            CountingSink sink;
            const double c0 = ThreadCpu();
            if (gtlib::Inflate(source, sink) != gtlib::kInflateOk || sink.bytes != tar.size()) return false;
            *inflateSeconds = std::min(*inflateSeconds, ThreadCpu() - c0);
        }
        if (r >= deflateReps) continue;
        MemorySource source(tar.data(), tar.size());
        CountingSink sink;
        const double c0 = ThreadCpu();
        if (coder.Start(6, source) != 0) return false;
        coder.Compress(sink);
        *deflateSeconds = std::min(*deflateSeconds, ThreadCpu() - c0);
    }
    return true;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        Fail();
    }
}

// The wall time of `run`, started once `prepare` has cleared the previous outputs and the file system holds
// no dirty pages.
double Seconds(const std::function<void()>& prepare, const std::function<void()>& run) {
    prepare();
    ::sync();
    const auto t0 = Clock::now();
    run();
    return Since(t0);
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 2;
    std::size_t megabytes = 200;
    bool oursOnly = false;
    int packReps = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--ours") == 0) oursOnly = true;
        if (std::strncmp(argv[i], "--pack-reps=", 12) == 0) packReps = std::max(1, std::atoi(argv[i] + 12));
        if (std::strncmp(argv[i], "--reps=", 7) == 0) reps = std::max(1, std::atoi(argv[i] + 7));
        if (std::strncmp(argv[i], "--mb=", 5) == 0) megabytes = static_cast<std::size_t>(std::max(1, std::atoi(argv[i] + 5)));
    }
    std::string work = (fs::temp_directory_path() / "packbench-XXXXXX").string();
    if (!::mkdtemp(work.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    g_work = work;
    g_engine.logFolder = work + "/logs";
    const std::vector<TreeFile> files = MakeTree(work, megabytes << 20);
    std::size_t bytes = 0;
    for (const TreeFile& f : files) bytes += f.size;
    // The engine takes relative item names from the current folder, as GNU tar does with -C.
    if (::chdir(work.c_str()) != 0) return 1;

    const std::string gnuGz = work + "/gnu.tar.gz", oursOut = work + "/out-ours", gnuOut = work + "/out-gnu";
    double best[4] = {1e30, 1e30, 1e30, 1e30};  // pack ours, pack GNU, unpack ours, unpack GNU
    double packSteps[2] = {}, unpackSteps[2] = {};  // ours: wall seconds of each action in the best run
    double cpu[4] = {1e30, 1e30, 1e30, 1e30};       // ours: least processor seconds of TAR, GZIP, GUNZIP, UNTAR
    Steps steps;
    const std::string oursGz = work + "/ours.tar.gz";
    auto clearFolder = [](const std::string& folder) {
        fs::remove_all(folder);
        fs::create_directories(folder);
    };
    if (packReps < 0) packReps = reps;
    for (int r = 0; r < reps; ++r) {
        if (r < packReps) {
            const double pack = Seconds([&] { std::remove(oursGz.c_str()); }, [&] { PackOurs(work, steps); });
            if (pack < best[0]) std::copy(steps.wall, steps.wall + 2, packSteps);
            for (int i = 0; i < 2; ++i) cpu[i] = std::min(cpu[i], steps.cpu[i]);
            best[0] = std::min(best[0], pack);
            if (!oursOnly)
                best[1] = std::min(best[1], Seconds([&] { std::remove(gnuGz.c_str()); },
                                                    [&] { Shell("tar -cf - tree | gzip -6 > " + Quoted(gnuGz)); }));
        }
        const double unpack = Seconds([&] { clearFolder(oursOut); }, [&] { UnpackOurs(work, oursOut, steps); });
        if (unpack < best[2]) std::copy(steps.wall, steps.wall + 2, unpackSteps);
        for (int i = 0; i < 2; ++i) cpu[2 + i] = std::min(cpu[2 + i], steps.cpu[i]);
        best[2] = std::min(best[2], unpack);
        if (!oursOnly)
            best[3] = std::min(best[3], Seconds([&] { clearFolder(gnuOut); }, [&] {
                                   Shell("gzip -dc " + Quoted(gnuGz) + " | tar -xf - -C " + Quoted(gnuOut));
                               }));
    }
    double deflateAlone = 0, inflateAlone = 0;
    if (!CodersAlone(ReadAll(work + "/ours.tar.gz"), packReps, reps, &deflateAlone, &inflateAlone)) {
        std::fprintf(stderr, "our member does not decode\n");
        Fail();
    }
    // The engines' own time, then the work folder goes.
    auto finish = [&](bool ok) {
        std::printf("processor seconds: TAR %.3f; GZIP %.3f = coder alone %.3f + engine %.3f; "
                    "GUNZIP %.3f = decoder alone %.3f + engine %.3f; UNTAR %.3f\n",
                    cpu[0], cpu[1], deflateAlone, cpu[1] - deflateAlone, cpu[2], inflateAlone, cpu[2] - inflateAlone,
                    cpu[3]);
        if (::chdir("/") != 0) return 1;
        std::error_code ec;
        fs::remove_all(work, ec);
        return ok ? 0 : 1;
    };
    if (oursOnly) {
        const bool ok = SameTree(work, files, oursOut);
        std::printf("ours: pack %.3f s (TAR %.3f s + GZIP %.3f s), unpack %.3f s (GUNZIP %.3f s + UNTAR %.3f s)%s\n",
                    best[0], packSteps[0], packSteps[1], best[2], unpackSteps[0], unpackSteps[1],
                    ok ? "" : "  OUTPUT DIFFERS FROM THE TREE");
        return finish(ok);
    }
    // Both packs hold the tree: each unpacker reads the other's member too.
    const bool ok = SameTree(work, files, oursOut) && SameTree(work, files, gnuOut);
    // Our archives end with one zero block, which GNU tar reads with a warning.
    clearFolder(gnuOut);
    Shell("gzip -dc " + Quoted(work + "/ours.tar.gz") + " | tar --warning=no-alone-zero-block -xf - -C " +
          Quoted(gnuOut));
    const bool crossOk = ok && SameTree(work, files, gnuOut);
    const auto oursSize = fs::file_size(work + "/ours.tar.gz"), gnuSize = fs::file_size(gnuGz);

    std::printf("pack and unpack of a folder (%zu files, %.1f MB), best of %d, wall seconds:\n", files.size(),
                static_cast<double>(bytes) / 1e6, reps);
    std::printf("%-8s %9s %9s %11s %11s %12s\n", "step", "ours s", "GNU s", "ours MB/s", "GNU MB/s", "GNU/ours");
    const char* names[] = {"pack", "unpack"};
    for (int s = 0; s < 2; ++s) {
        const double o = best[2 * s], g = best[2 * s + 1];
        std::printf("%-8s %9.2f %9.2f %11.1f %11.1f %12.2f\n", names[s], o, g, static_cast<double>(bytes) / 1e6 / o,
                    static_cast<double>(bytes) / 1e6 / g, g / o);
    }
    std::printf("ours by action: TAR %.2f s + GZIP %.2f s; GUNZIP %.2f s + UNTAR %.2f s\n", packSteps[0],
                packSteps[1], unpackSteps[0], unpackSteps[1]);
    std::printf("member size: ours %llu, GNU gzip -6 %llu (ours/GNU %.4f)%s\n",
                static_cast<unsigned long long>(oursSize), static_cast<unsigned long long>(gnuSize),
                static_cast<double>(oursSize) / static_cast<double>(gnuSize),
                crossOk ? "" : "  OUTPUT DIFFERS FROM THE TREE");
    return finish(crossOk);
}
