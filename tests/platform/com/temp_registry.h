// A registry file in a fresh temporary folder, named by MORVEN_COM_REGISTRY for the test's length. Shared by
// every test that registers a component module (the component layer's, the controls', the client's).
#pragma once

#include <errno.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

class TempRegistry {
public:
    TempRegistry() {
        char tmpl[] = "/tmp/comreg-XXXXXX";
        // Without its own folder the test would share (and later remove) whatever the empty path names.
        if (!mkdtemp(tmpl)) throw std::system_error(errno, std::generic_category(), "mkdtemp");
        dir_ = tmpl;
        path_ = dir_ + "/registry.reg";
        const char* old = getenv("MORVEN_COM_REGISTRY");
        if (old) old_ = old, hadOld_ = true;
        setenv("MORVEN_COM_REGISTRY", path_.c_str(), 1);
    }
    ~TempRegistry() {
        if (hadOld_)
            setenv("MORVEN_COM_REGISTRY", old_.c_str(), 1);
        else
            unsetenv("MORVEN_COM_REGISTRY");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_, path_, old_;
    bool hadOld_ = false;
};
