// Shared bits of the engine tests: a test program in a fresh application folder, and file reading.
#pragma once

#include "client/engine/testing/test_program.h"
#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"

#include <string>

namespace morven::testing {

struct EngineFixture {
    TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;

    std::string Read(const std::string& relative) const {
        std::string s;
        ReadWholeFile(dir / relative, s);
        return s;
    }
    void Write(const std::string& relative, const std::string& contents) const {
        ReplaceFileAtomically(dir / relative, contents);
    }
    std::string FunctionLog() const { return Read("MorvenClient.log"); }
};

}  // namespace morven::testing
