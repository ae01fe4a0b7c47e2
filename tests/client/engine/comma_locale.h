// The C library's locale switched, for the object's life, to Italian, whose decimal separator is a comma: the
// locale a window program takes from an Italian desktop. When the machine has no Italian locale installed, one
// is built with localedef into a temporary folder and found through LOCPATH. Everything is put back at the end.
#pragma once

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/core/process.h"
#include "tests/platform/core/temp_dir.h"

namespace morven::testing {

class LocaleConVirgola {
public:
    LocaleConVirgola() {
        const char* prima = std::setlocale(LC_ALL, nullptr);
        salvato_ = prima ? prima : "C";
        if (const char* lp = std::getenv("LOCPATH")) locPath_ = lp;
        attiva_ = Prova();
        if (attiva_) return;
        cartella_.emplace();
        ProcessOptions o;
        o.wait = true;
        o.timeoutMs = 60000;
        StartProcess({"localedef", "-i", "it_IT", "-f", "UTF-8", cartella_->path() + "/" + kNome}, o);
        setenv("LOCPATH", cartella_->path().c_str(), 1);
        attiva_ = Prova();
    }
    ~LocaleConVirgola() {
        std::setlocale(LC_ALL, salvato_.c_str());
        if (locPath_) {
            setenv("LOCPATH", locPath_->c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
    }
    LocaleConVirgola(const LocaleConVirgola&) = delete;
    LocaleConVirgola& operator=(const LocaleConVirgola&) = delete;

    // True when the comma locale is in force.
    bool attiva() const { return attiva_; }

private:
    static constexpr const char* kNome = "it_IT.UTF-8";
    static bool Prova() {
        if (!std::setlocale(LC_ALL, kNome)) return false;
        const std::lconv* lc = std::localeconv();
        return lc && lc->decimal_point && std::string(lc->decimal_point) == ",";
    }

    std::string salvato_;
    std::optional<std::string> locPath_;
    std::optional<TempDir> cartella_;
    bool attiva_ = false;
};

}  // namespace morven::testing
