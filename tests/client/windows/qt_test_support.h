// The Qt application of the window tests (offscreen unless the environment names a platform) and a main
// window over the fake ports of a test program, with the Qt pump.
#pragma once

#include "client/engine/line_io.h"
#include "client/engine/testing/test_program.h"
#include "client/windows/frm_morven.h"
#include "client/windows/qt_ports.h"
#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"

#include <QApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace morven::testing {

inline QApplication& App() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        static int argc = 1;
        static char nome[] = "client_windows_tests";
        static char* argv[] = {nome, nullptr};
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs the pump until `fatto` holds or about `ms` of real time passed.
inline bool Aspetta(EventPump& pump, const std::function<bool()>& fatto, int ms = 20000) {
    for (int i = 0; i < ms / 5; ++i) {
        if (fatto()) return true;
        pump.process();
        QThread::msleep(5);
    }
    return fatto();
}

struct WindowFixture : ::testing::Test {
    TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
    std::unique_ptr<QtPump> pompa;
    std::unique_ptr<FrmMorven> w;
    CollegamentiFrmMorven c;

    void SetUp() override {
        App();
        pompa = std::make_unique<QtPump>();
        p.oggetti.oPump = pompa.get();
        c.ScriviComm = [](Programma& q, std::string_view riga) { return ScriviComm(q, riga); };
    }
    void Apri() {
        w = std::make_unique<FrmMorven>(p, c);
        p.oggetti.oFrmMorven = &w->Vista();
        w->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        w.reset();
        p.oggetti.oFrmMorven = &t.main;
        p.oggetti.oPump = &t.pump;
    }
    void Scrivi(const std::string& nome, const std::string& testo) {
        std::filesystem::create_directories(std::filesystem::path(dir / nome).parent_path());
        ReplaceFileAtomically(dir / nome, testo);
    }
    void CopiaFixture(const std::string& nome, const std::string& come) {
        std::filesystem::copy_file(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/answers/" + nome, dir / come);
    }
    std::string Leggi(const std::string& nome) {
        std::string s;
        ReadWholeFile(dir / nome, s);
        return s;
    }
};

}  // namespace morven::testing
