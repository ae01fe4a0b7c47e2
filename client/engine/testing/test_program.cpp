#include "client/engine/testing/test_program.h"

namespace morven {

TestProgram::TestProgram(std::string appDir)
    : clock(p.Possiedi(std::make_unique<TestClock>())),
      pump(p.Possiedi(std::make_unique<EventPump>())),
      main(p.Possiedi(std::make_unique<FakeView>())),
      browser(p.Possiedi(std::make_unique<FakeView>())),
      debug(p.Possiedi(std::make_unique<FakeView>())),
      msgbox(p.Possiedi(std::make_unique<ScriptedMessageBoxes>())),
      end(p.Possiedi(std::make_unique<RecordingProgramEnd>())),
      serial(p.Possiedi(std::make_unique<FakeSerialPort>())),
      socket(p.Possiedi(std::make_unique<FakeTcpSocket>())),
      dialup(p.Possiedi(std::make_unique<FakeDialUp>())),
      ftp(p.Possiedi(std::make_unique<FakeFtpClient>())),
      ugtactx(p.Possiedi(std::make_unique<FakeDecompressionControl>())),
      desktop(p.Possiedi(std::make_unique<FakeDesktop>())) {
    p.percorsi.sPathApp = std::move(appDir);
    auto& o = p.oggetti;
    o.oClock = &clock;
    o.oPump = &pump;
    o.oFrmMorven = &main;
    o.oFrmBrowser = &browser;
    o.oFrmDebug = &debug;
    o.oMsgBox = &msgbox;
    o.oFine = &end;
    o.oMSComm = &serial;
    o.oWinsock = &socket;
    o.oRas = &dialup;
    o.oInet = &ftp;
    o.oUgtactx = &ugtactx;
    o.oDesktop = &desktop;
}

}  // namespace morven
