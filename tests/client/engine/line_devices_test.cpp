#include "client/engine/line_devices.h"

#include "client/engine/errors.h"
#include "tests/peers/peers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

namespace morven {
namespace {

bool WaitFor(EventPump& pump, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pump.process();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

TEST(DeviceSerialPort, HandsTheFieldsToTheDeviceAndObeysTheReceiveEvent) {
    peers::ModemEmulator modem({});
    setenv("MORVEN_COM5", modem.DevicePath().c_str(), 1);
    EventPump pump;
    DeviceSerialPort port(pump, "");
    port.CommPort = 5;
    port.Settings = "19200,E,7,2";
    port.InBufferSize = 10240;
    port.SetPortOpen(true);
    unsetenv("MORVEN_COM5");
    EXPECT_TRUE(port.PortOpen());
    EXPECT_EQ(port.Device().Settings(), "19200,E,7,2");
    EXPECT_EQ(port.Device().InBufferSize(), 10240);
    EXPECT_EQ(port.Device().DevicePath(), modem.DevicePath());

    int events = 0;
    port.OnComm = [&] {
        ++events;
        EXPECT_EQ(port.CommEvent(), 2);
        port.RThreshold = 0;  // as the main window does
    };
    port.RThreshold = 1;
    port.Output("AT\r");
    ASSERT_TRUE(WaitFor(pump, [&] { return events == 1; }));
    port.InputLen = 0;
    ASSERT_TRUE(WaitFor(pump, [&] { return port.InBufferCount() == 6; }));
    EXPECT_EQ(port.Input(), "\r\nOK\r\n");
    port.Device().SetOutput("AT\r");
    ASSERT_TRUE(WaitFor(pump, [&] { return port.Device().InBufferCount() == 6; }));
    pump.process();
    EXPECT_EQ(events, 1);  // switched off inside the handler

    try {
        port.SetPortOpen(true);
        ADD_FAILURE();
    } catch (const ErroreMorven& e) {
        EXPECT_EQ(e.nNumero, 8005);
    }
    port.SetPortOpen(false);
    EXPECT_FALSE(port.PortOpen());
}

TEST(DeviceTcpSocket, ForwardsTheEventsAndReportsDeviceErrorsAsEngineErrors) {
    peers::FakeWholesaler peer({{peers::Expect("X"), peers::Send("Y"), peers::CloseLine()}});
    EventPump pump;
    DeviceTcpSocket sock(pump);
    std::vector<std::string> events;
    sock.events.Connect = [&] { events.push_back("connect"); };
    sock.events.SendComplete = [&] { events.push_back("sendcomplete"); };
    sock.events.Close = [&] { events.push_back("close"); };
    sock.events.Error = [&](int n, const std::string&) { events.push_back("error " + std::to_string(n)); };
    sock.RemoteHost = "127.0.0.1";
    sock.RemotePort = peer.Port();
    sock.Connect();
    try {
        sock.Connect();
        ADD_FAILURE();
    } catch (const ErroreMorven& e) {
        EXPECT_EQ(e.nNumero, 40006);
    }
    ASSERT_TRUE(WaitFor(pump, [&] { return sock.State() == TcpSocket::sckConnected; }));
    sock.sCodaRicezione = "left over";
    sock.SendData(peers::Shift("X") + "\r\n");
    ASSERT_TRUE(WaitFor(pump, [&] { return sock.State() == TcpSocket::sckClosing; }));
    EXPECT_EQ(events, (std::vector<std::string>{"connect", "sendcomplete", "close"}));
    EXPECT_EQ(sock.GetData(), peers::Shift("Y") + "\r\n");
    sock.Close();
    EXPECT_EQ(sock.State(), TcpSocket::sckClosed);
    EXPECT_TRUE(sock.sCodaRicezione.empty());  // nothing of one connection reaches the next
    EXPECT_THROW(sock.Accept(1), ErroreMorven);
}

}  // namespace
}  // namespace morven
