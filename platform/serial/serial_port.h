// Serial port for the modem line. It offers the members the session engine uses on a modem port, with the
// same meaning: configuration properties set before opening, `Settings` as "speed,parity,data,stop",
// `PortOpen` to open and close, `SetOutput` for ordered output, `InBufferCount` and `Input` for polled
// input, `RThreshold` and `OnComm` for the receive event, `CDHolding` for carrier detect.
//
// The port runs on termios in raw mode. Received bytes are taken from the device whenever the pump runs or
// a count or input member is read; the receive event is delivered only from EventPump::process().
//
// Port numbers map to device paths: `CommPort` n opens /dev/ttyS<n-1> unless the environment variable
// MORVEN_COM<n> or the file "serialports.txt" in the application folder names another device (a USB modem,
// a test pseudo-terminal).
#pragma once

#include "platform/core/pump.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace morven::platform {

// Failure of a serial port member; the numbers are those the modem code reports to the user.
class SerialError : public std::runtime_error {
public:
    enum : int {
        kInvalidPropertyValue = 380,
        kInvalidPortNumber = 8002,
        kPortAlreadyOpen = 8005,
        kDeviceUnavailable = 8010,
        kPropertyNotWhileOpen = 8016,
        kPortNotOpen = 8018,
    };
    SerialError(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
    int Number() const { return number_; }

private:
    int number_;
};

// Handshaking values.
enum : int { comNone = 0, comXOnXoff = 1, comRTS = 2, comRTSXOnXOff = 3 };
// CommEvent values raised by this port.
enum : int { comEvReceive = 2, comEvCD = 5, comEvEOF = 7 };

// Device path for port number `port` (1 and up). The environment variable MORVEN_COM<n> wins, then a line
// "COM<n>=<path>" of the file "serialports.txt" in `appDir` (blank lines and lines starting with '#' are
// skipped; "COM" is matched in any case), then /dev/ttyS<n-1>.
std::string CommDevicePath(int port, const std::string& appDir);

// The parts of a `Settings` text.
struct SerialSettings {
    long speed = 9600;
    char parity = 'N';  // N, E, O, M (mark) or S (space)
    int dataBits = 8;   // 5 to 8
    int stopBits = 1;   // 1 or 2 (1.5 is taken as 2)
};

// Parses "speed,P,D,S". An empty speed keeps `previous.speed`. Throws SerialError 380 on a bad text.
SerialSettings ParseSerialSettings(std::string_view text, const SerialSettings& previous = {});

class SerialPort {
public:
    explicit SerialPort(EventPump& pump, std::string appDir = {});
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Configuration. The buffer sizes and the port number can change only while the port is closed;
    // Settings, DTR, RTS and handshaking apply at once when it is open.
    bool DTREnable() const { return dtrEnable_; }
    void SetDTREnable(bool on);
    bool EOFEnable() const { return eofEnable_; }
    void SetEOFEnable(bool on) { eofEnable_ = on; }
    bool RTSEnable() const { return rtsEnable_; }
    void SetRTSEnable(bool on);
    int Handshaking() const { return handshaking_; }
    void SetHandshaking(int mode);
    int InBufferSize() const { return inBufferSize_; }
    void SetInBufferSize(int bytes);
    int OutBufferSize() const { return outBufferSize_; }
    void SetOutBufferSize(int bytes);
    int InputLen() const { return inputLen_; }
    void SetInputLen(int n);
    int InputMode() const { return inputMode_; }
    void SetInputMode(int mode);
    const std::string& ParityReplace() const { return parityReplace_; }
    void SetParityReplace(std::string_view text);
    bool NullDiscard() const { return nullDiscard_; }
    void SetNullDiscard(bool on) { nullDiscard_ = on; }
    int CommPort() const { return commPort_; }
    void SetCommPort(int port);
    std::string Settings() const;
    void SetSettings(std::string_view text);

    bool PortOpen() const { return fd_ >= 0; }
    // True opens the device of CommPort with the configuration; False hangs up (drops DTR) and closes.
    void SetPortOpen(bool open);

    // Queues the text for output; bytes go out in the order given.
    void SetOutput(std::string_view text);
    // Received bytes waiting.
    int InBufferCount();
    // Takes InputLen waiting bytes (all of them when InputLen is 0); empty when none wait.
    std::string Input();

    int RThreshold() const { return rThreshold_; }
    void SetRThreshold(int n) { rThreshold_ = n < 0 ? 0 : n; }
    // Carrier detect. A device without modem-control lines (a pseudo-terminal) reports the carrier as held
    // while the port is open.
    bool CDHolding();
    // The event being reported, read inside OnComm.
    int CommEvent() const { return commEvent_; }
    // Raised from the pump: comEvReceive when RThreshold is above 0 and at least that many bytes wait
    // (again only after more bytes arrive), comEvEOF when EOFEnable is on and an end-of-file byte arrived,
    // comEvCD when the carrier changes.
    std::function<void()> OnComm;

    // The device the port opens (or has open).
    std::string DevicePath() const;
    const std::string& AppDir() const { return appDir_; }
    void SetAppDir(std::string dir) { appDir_ = std::move(dir); }

private:
    void Configure();
    void ApplyModemLines();
    void Fill();
    void Flush();
    void Poll();
    // What the poller waits for: input (while the buffer has room), room to write, and the carrier line.
    void Interest(WaitSet& w) const;
    static constexpr std::int64_t kCarrierCheckMs = 50;
    void Raise(int event);
    void RequireOpen() const;
    void RequireClosed() const;

    EventPump& pump_;
    std::string appDir_;
    ScopedPoller poller_;
    int fd_ = -1;
    std::string openPath_;

    bool dtrEnable_ = false, eofEnable_ = false, rtsEnable_ = false, nullDiscard_ = false;
    int handshaking_ = comNone;
    int inBufferSize_ = 1024, outBufferSize_ = 512;
    int inputLen_ = 0, inputMode_ = 0;
    std::string parityReplace_ = "?";
    int commPort_ = 1;
    SerialSettings settings_;
    int rThreshold_ = 0;
    int commEvent_ = 0;

    std::deque<char> in_;
    std::string out_;
    int parityState_ = 0;  // position inside a marked parity error (0xFF 0x00 x) while replacing
    bool newData_ = false, sawEof_ = false;
    bool lastCd_ = false;
};

}  // namespace morven::platform
