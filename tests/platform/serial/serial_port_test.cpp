#include "platform/serial/serial_port.h"
#include "platform/serial/termios_config.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace morven::platform {
namespace {

namespace fs = std::filesystem;

// A pseudo-terminal pair: the port opens the slave through the application folder's port map, the test
// plays the other end on the master.
class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(master_, 0);
        grantpt(master_);
        unlockpt(master_);
        slave_ = ptsname(master_);
    }
    ~PtyPair() {
        if (master_ >= 0) close(master_);
    }
    int master() const { return master_; }
    const std::string& slave() const { return slave_; }

    void Write(std::string_view bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    // Reads what the port sent, waiting until `n` bytes came (the device delivers them asynchronously).
    std::string Read(std::size_t n) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (got.size() < n && std::chrono::steady_clock::now() < deadline) {
            char buf[256];
            const ssize_t r = read(master_, buf, sizeof buf);
            if (r > 0) {
                got.append(buf, static_cast<std::size_t>(r));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return got;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// Waits for device I/O to arrive (not a protocol pause: the kernel hands pseudo-terminal bytes over
// asynchronously), running the pump meanwhile.
bool WaitFor(EventPump& pump, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pump.process();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        appDir_ = fs::temp_directory_path() /
                  ("serial_test_" + std::to_string(getpid()) + "_" + morven::testing::CurrentTestFolderName());
        fs::create_directories(appDir_);
        std::ofstream(appDir_ / "serialports.txt") << "# test port\ncom3 = " << pty_.slave() << "\n";
        port_.SetAppDir(appDir_.string());
        port_.SetCommPort(3);
    }
    void TearDown() override { fs::remove_all(appDir_); }

    // The configuration the modem code applies before opening.
    void ConfigureLikeModem(std::string_view settings) {
        port_.SetDTREnable(true);
        port_.SetEOFEnable(false);
        port_.SetRTSEnable(true);
        port_.SetHandshaking(comRTS);
        port_.SetInBufferSize(10240);
        port_.SetInputLen(0);
        port_.SetInputMode(0);
        port_.SetParityReplace("");
        port_.SetNullDiscard(false);
        port_.SetOutBufferSize(2048);
        port_.SetSettings(settings);
    }

    termios Termios() const {
        termios t{};
        EXPECT_EQ(tcgetattr(pty_.master(), &t), 0);
        return t;
    }

    PtyPair pty_;
    EventPump pump_;
    SerialPort port_{pump_};
    fs::path appDir_;
};

TEST(CommDevicePath, DefaultFileAndEnvironment) {
    const fs::path dir = fs::temp_directory_path() / ("serial_map_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "serialports.txt") << "# USB modem\n\nCom2=/dev/ttyUSB0\nCOM7 = /dev/ttyACM1 \nbroken line\n";
    EXPECT_EQ(CommDevicePath(1, ""), "/dev/ttyS0");
    EXPECT_EQ(CommDevicePath(4, dir.string()), "/dev/ttyS3");
    EXPECT_EQ(CommDevicePath(2, dir.string()), "/dev/ttyUSB0");
    EXPECT_EQ(CommDevicePath(7, dir.string()), "/dev/ttyACM1");
    setenv("MORVEN_COM2", "/dev/pts/99", 1);
    EXPECT_EQ(CommDevicePath(2, dir.string()), "/dev/pts/99");
    unsetenv("MORVEN_COM2");
    fs::remove_all(dir);
}

TEST(ParseSerialSettings, GoodAndBadTexts) {
    struct Case {
        const char* text;
        long speed;
        char parity;
        int data, stop;
    };
    const Case good[] = {
        {"57600,N,8,1", 57600, 'N', 8, 1},
        {"9600,E,7,1", 9600, 'E', 7, 1},
        {"14400,e,7,2", 14400, 'E', 7, 2},
        {" 2400 , O , 8 , 1.5 ", 2400, 'O', 8, 2},
        {",N,8,1", 1200, 'N', 8, 1},  // empty speed keeps the previous one
    };
    SerialSettings previous;
    previous.speed = 1200;
    for (const auto& c : good) {
        SCOPED_TRACE(c.text);
        const SerialSettings s = ParseSerialSettings(c.text, previous);
        EXPECT_EQ(s.speed, c.speed);
        EXPECT_EQ(s.parity, c.parity);
        EXPECT_EQ(s.dataBits, c.data);
        EXPECT_EQ(s.stopBits, c.stop);
    }
    for (const char* bad : {"abc,N,8,1", "9600,X,8,1", "9600,N,9,1", "9600,N,8", "9600,N,8,1,1", "9600,N,8,3", "", "-5,N,8,1"}) {
        SCOPED_TRACE(bad);
        try {
            ParseSerialSettings(bad);
            ADD_FAILURE() << "accepted";
        } catch (const SerialError& e) {
            EXPECT_EQ(e.Number(), SerialError::kInvalidPropertyValue);
        }
    }
}

TEST(MakeRawTermios, FramingOfTheSettingsListAndHandshaking) {
    struct Case {
        const char* settings;
        int handshaking;
        tcflag_t size, parity, stop, rtscts, xon;
    };
    const Case cases[] = {
        {"9600,N,8,1", comRTS, CS8, 0, 0, CRTSCTS, 0},
        {"9600,E,7,1", comRTS, CS7, PARENB, 0, CRTSCTS, 0},
        {"9600,E,7,2", comNone, CS7, PARENB, CSTOPB, 0, 0},
        {"9600,O,8,1", comXOnXoff, CS8, PARENB | PARODD, 0, 0, IXON | IXOFF},
        {"9600,N,8,1", comRTSXOnXOff, CS8, 0, 0, CRTSCTS, IXON | IXOFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        termios t{};
        t.c_lflag = ICANON | ECHO | ISIG;
        t.c_iflag = ICRNL | ISTRIP | IXON;
        t.c_oflag = OPOST;
        MakeRawTermios(t, ParseSerialSettings(c.settings), c.handshaking, false);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD), c.parity);
        EXPECT_EQ(t.c_cflag & CSTOPB, c.stop);
        EXPECT_EQ(t.c_cflag & CRTSCTS, c.rtscts);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), c.xon);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_iflag & (ICRNL | ISTRIP | INPCK), 0u);  // no parity check: bytes come as they are
        EXPECT_NE(t.c_cflag & (CREAD | CLOCAL | HUPCL), 0u);
    }
}

TEST_F(SerialPortTest, OpensRawWithTheFramingAndEverySpeedOfTheList) {
    ConfigureLikeModem("57600,N,8,1");
    port_.SetPortOpen(true);
    EXPECT_TRUE(port_.PortOpen());
    EXPECT_EQ(port_.DevicePath(), pty_.slave());
    termios t = Termios();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | ISTRIP | IXON), 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & PARENB, 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));

    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);

    // Applies at once on an open port. (A pseudo-terminal always reports 8 bits without parity, so only the
    // stop bits and the speed can be seen on this device.)
    port_.SetSettings("9600,E,7,2");
    t = Termios();
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(port_.Settings(), "9600,E,7,2");

    for (const char* speed : {"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "28800", "38400",
                              "56000", "57600", "115200", "128000", "256000"}) {
        SCOPED_TRACE(speed);
        EXPECT_NO_THROW(port_.SetSettings(std::string(speed) + ",N,8,1"));
        EXPECT_EQ(port_.Settings(), std::string(speed) + ",N,8,1");
    }
}

TEST_F(SerialPortTest, BytesIncludingNulPassBothWaysInOrder) {
    ConfigureLikeModem("9600,N,8,1");
    port_.SetPortOpen(true);
    const std::string toPort("A\0B\r\n\xff\x80z", 8);
    pty_.Write(toPort);
    ASSERT_TRUE(WaitFor(pump_, [&] { return port_.InBufferCount() == 8; }));
    EXPECT_EQ(port_.Input(), toPort);  // InputLen 0: everything pending
    EXPECT_EQ(port_.InBufferCount(), 0);
    EXPECT_EQ(port_.Input(), "");

    const std::string fromPort("AT\0\xe0\r", 5);
    for (char c : fromPort) port_.SetOutput(std::string(1, c));  // one character per assignment
    EXPECT_EQ(pty_.Read(5), fromPort);
}

TEST_F(SerialPortTest, InputLenOneTakesOneByteAndNullDiscardDropsNul) {
    ConfigureLikeModem("9600,N,8,1");
    port_.SetNullDiscard(true);
    port_.SetPortOpen(true);
    pty_.Write(std::string("O\0K", 3));
    ASSERT_TRUE(WaitFor(pump_, [&] { return port_.InBufferCount() == 2; }));
    port_.SetInputLen(1);
    EXPECT_EQ(port_.Input(), "O");
    EXPECT_EQ(port_.InBufferCount(), 1);
    EXPECT_EQ(port_.Input(), "K");
    EXPECT_EQ(port_.Input(), "");
}

TEST_F(SerialPortTest, InBufferSizeBoundsWhatIsTakenAndTheRestWaits) {
    ConfigureLikeModem("9600,N,8,1");
    port_.SetPortOpen(false);
    port_.SetInBufferSize(4);
    port_.SetPortOpen(true);
    pty_.Write("0123456789");
    ASSERT_TRUE(WaitFor(pump_, [&] { return port_.InBufferCount() == 4; }));
    EXPECT_EQ(port_.Input(), "0123");
    ASSERT_TRUE(WaitFor(pump_, [&] { return port_.InBufferCount() == 4; }));
    EXPECT_EQ(port_.Input(), "4567");
    ASSERT_TRUE(WaitFor(pump_, [&] { return port_.InBufferCount() == 2; }));
    EXPECT_EQ(port_.Input(), "89");
}

TEST_F(SerialPortTest, ReceiveEventComesOnlyFromThePumpAndOnlyWithAThreshold) {
    ConfigureLikeModem("9600,N,8,1");
    std::vector<int> events;
    port_.OnComm = [&] { events.push_back(port_.CommEvent()); };
    port_.SetPortOpen(true);
    port_.SetRThreshold(0);
    pty_.Write("RING\r\n");
    ASSERT_TRUE(WaitFor(pump_, [&] { return port_.InBufferCount() == 6; }));
    pump_.process();
    EXPECT_TRUE(events.empty());  // threshold 0: no receive events
    port_.Input();

    port_.SetRThreshold(1);
    pty_.Write("x");
    ASSERT_TRUE(WaitFor(pump_, [&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<int>{comEvReceive});
    pump_.process();
    EXPECT_EQ(events.size(), 1u);  // no new bytes, no new event
}

TEST_F(SerialPortTest, CloseOpenAndPortErrors) {
    ConfigureLikeModem("9600,N,8,1");
    port_.SetPortOpen(true);
    EXPECT_TRUE(port_.CDHolding());  // a pseudo-terminal has no carrier line: held while open
    try {
        port_.SetPortOpen(true);
        ADD_FAILURE();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.Number(), SerialError::kPortAlreadyOpen);
    }
    try {
        port_.SetCommPort(4);
        ADD_FAILURE();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.Number(), SerialError::kPropertyNotWhileOpen);
    }
    port_.SetPortOpen(false);
    EXPECT_FALSE(port_.PortOpen());
    EXPECT_FALSE(port_.CDHolding());
    port_.SetPortOpen(false);  // closing a closed port does nothing
    try {
        port_.SetOutput("ATH0\r\n");
        ADD_FAILURE();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.Number(), SerialError::kPortNotOpen);
    }
    // The master sees the hang-up once the last slave descriptor is gone.
    char c;
    EXPECT_EQ(read(pty_.master(), &c, 1), -1);
    EXPECT_EQ(errno, EIO);

    port_.SetPortOpen(true);  // the same device opens again
    pty_.Write("OK\r\n");
    ASSERT_TRUE(WaitFor(pump_, [&] { return port_.InBufferCount() == 4; }));
    port_.SetPortOpen(false);

    port_.SetCommPort(9);  // /dev/ttyS8: not mapped, not there
    setenv("MORVEN_COM9", "/nonexistent/ttyX", 1);
    try {
        port_.SetPortOpen(true);
        ADD_FAILURE();
    } catch (const SerialError& e) {
        EXPECT_EQ(e.Number(), SerialError::kInvalidPortNumber);
    }
    unsetenv("MORVEN_COM9");
    EXPECT_FALSE(port_.PortOpen());
}

}  // namespace
}  // namespace morven::platform
