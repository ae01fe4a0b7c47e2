// A program wired to fakes, for tests: a fresh Programma whose every port is a fake the test can reach by
// its concrete type, a test clock (10 December 2026, 10:00:00, not moving by itself) and an application
// folder given by the test.
#pragma once

#include "client/engine/programma.h"
#include "client/engine/testing/fakes.h"

#include <string>

namespace morven {

struct TestProgram {
    explicit TestProgram(std::string appDir);

    Programma p;
    TestClock& clock;
    EventPump& pump;
    FakeView& main;     // FrmMorven
    FakeView& browser;  // frmbrowser
    FakeView& debug;    // frmdebug
    ScriptedMessageBoxes& msgbox;
    RecordingProgramEnd& end;
    FakeSerialPort& serial;
    FakeTcpSocket& socket;
    FakeDialUp& dialup;
    FakeFtpClient& ftp;
    FakeDecompressionControl& ugtactx;
    FakeDesktop& desktop;
};

}  // namespace morven
