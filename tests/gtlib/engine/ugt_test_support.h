// A command record for the decompression engine with the texts and records it points to, and fixtures
// made by GNU tar, gzip and Python at test time.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "gtlib/engine/records.h"
#include "gtlib/engine/ugt_engine.h"
#include "inflate_test_util.h"

namespace gtlib::test {

struct UgtCommand {
    UGTCMDSTRUCT c = NewUgtCmdStruct();
    std::string file, dest, filespec, code;
    GZIPINFO gzipInfo = NewGzipInfo();
    TARINFO tarInfo = NewTarInfo();
    CALLBACKSTRUCT callbacks = NewCallbackStruct();
    std::vector<char> returnString = std::vector<char>(1, 0);
    ScriptedHost host;
    bool useHost = true;

    explicit UgtCommand(int32_t action = UGT_GUNZIP) { c.lFunction = action; }

    // Points the record at the texts and the scripted host.
    UGTCMDSTRUCT& Prepare() {
        c.lpszGTFile = file.c_str();
        c.lpszDestination = dest.c_str();
        c.lpszFilespec = filespec.c_str();
        if (!code.empty() || c.bDecryptFlag) c.lpszDecryptCode = code.c_str();
        if (c.lpszReturnString == nullptr) c.lpszReturnString = returnString.data();
        if (useHost) {
            c.lpMessageDisplay = &ScriptedHost::Proc;
            c.lpMessageDisplayData = &host;
        }
        return c;
    }

    // Has the data pass through the host's memory-transfer procedure (the stream actions).
    void Stream(MemoryTransferProc proc, void* data) {
        callbacks.lpMemToMemProc = proc;
        callbacks.lpMemToMemUserData = data;
        c.lpCallbackStruct = &callbacks;
    }

    int32_t Run(UgtEngineState* state = nullptr) {
        Prepare();
        const EngineContext context = LogEnvironment::Current();
        return state ? UgtRun(state, &c, context) : UgtMain(&c, context);
    }

    // Texts of the messages shown (kind 5 errors), in order.
    std::vector<std::string> Errors() const {
        std::vector<std::string> out;
        for (const auto& call : host.calls)
            if (call.kind == MSGID_GTERROR) out.push_back(call.text1);
        return out;
    }
};

inline std::string GzipFile(const std::string& path, std::vector<std::string> options = {}) {
    std::vector<std::string> argv = {"gzip", "-c"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(path);
    const std::string out = path + ".gz";
    EXPECT_TRUE(gtlib_test::Run(argv, out));
    return out;
}

inline bool Python(const std::string& script) { return gtlib_test::Run({"python3", "-c", script}); }

// A GZIP member put together byte by byte: flags and fields as given, data deflated by zlib.
struct GzipBuilder {
    uint8_t flags = 0;
    uint32_t mtime = 0;
    uint8_t xfl = 0, os = 3, method = 8;
    std::string extra, name, comment;
    static GzipBuilder With(uint8_t flags, std::string name, std::string comment = "") {
        GzipBuilder b;
        b.flags = flags;
        b.name = std::move(name);
        b.comment = std::move(comment);
        return b;
    }
    std::string Build(const std::string& data) const {
        std::string g = {'\x1f', '\x8b', static_cast<char>(method), static_cast<char>(flags)};
        for (int i = 0; i < 4; ++i) g.push_back(static_cast<char>(mtime >> (8 * i)));
        g.push_back(static_cast<char>(xfl));
        g.push_back(static_cast<char>(os));
        if (flags & 0x04) {
            g.push_back(static_cast<char>(extra.size() & 0xFF));
            g.push_back(static_cast<char>(extra.size() >> 8));
            g += extra;
        }
        if (flags & 0x08) g += name + std::string(1, '\0');
        if (flags & 0x10) g += comment + std::string(1, '\0');
        if (flags & 0x02) {
            const uint32_t hcrc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(g.data()),
                                                              static_cast<uInt>(g.size())));
            g.push_back(static_cast<char>(hcrc & 0xFF));
            g.push_back(static_cast<char>((hcrc >> 8) & 0xFF));
        }
        const gtlib_test::Bytes raw = gtlib_test::ZlibDeflateRaw(
            gtlib_test::Bytes(data.begin(), data.end()), 6, Z_DEFAULT_STRATEGY);
        g.append(raw.begin(), raw.end());
        const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                                         static_cast<uInt>(data.size())));
        for (int i = 0; i < 4; ++i) g.push_back(static_cast<char>(crc >> (8 * i)));
        for (int i = 0; i < 4; ++i) g.push_back(static_cast<char>(data.size() >> (8 * i)));
        return g;
    }
};

}  // namespace gtlib::test
