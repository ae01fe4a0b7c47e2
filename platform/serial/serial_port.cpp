#include "platform/serial/serial_port.h"
#include "platform/serial/termios_config.h"

#include "platform/core/text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

namespace morven::platform {

namespace serial_detail {
bool SetCustomSpeed(int fd, long speed);
}

namespace {

bool ParseLong(std::string_view s, long& out) {
    if (s.empty() || s.size() > 9) return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

speed_t StandardSpeed(long speed) {
    switch (speed) {
        case 50: return B50;
        case 75: return B75;
        case 110: return B110;
        case 134: return B134;
        case 150: return B150;
        case 200: return B200;
        case 300: return B300;
        case 600: return B600;
        case 1200: return B1200;
        case 1800: return B1800;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        case 460800: return B460800;
        case 921600: return B921600;
        default: return 0;
    }
}

[[noreturn]] void BadValue(std::string_view what) {
    throw SerialError(SerialError::kInvalidPropertyValue, "Invalid property value: " + std::string(what));
}

}  // namespace

std::string CommDevicePath(int port, const std::string& appDir) {
    const std::string key = "MORVEN_COM" + std::to_string(port);
    if (const char* env = std::getenv(key.c_str()); env && *env) return env;
    if (!appDir.empty()) {
        std::ifstream in(appDir + "/serialports.txt");
        std::string line;
        const std::string want = "COM" + std::to_string(port);
        while (std::getline(in, line)) {
            const std::string t = Trim(line, kWhiteSpace);
            if (t.empty() || t[0] == '#') continue;
            const auto eq = t.find('=');
            if (eq == std::string::npos) continue;
            const std::string name = UpperAscii(Trim(t.substr(0, eq), kWhiteSpace));
            const std::string path = Trim(t.substr(eq + 1), kWhiteSpace);
            if (name == want && !path.empty()) return path;
        }
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}

SerialSettings ParseSerialSettings(std::string_view text, const SerialSettings& previous) {
    std::string parts[4];
    int n = 0;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        if (n == 4) BadValue(text);
        const auto len = comma == std::string_view::npos ? std::string_view::npos : comma - start;
        parts[n++] = Trim(text.substr(start, len), kWhiteSpace);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (n != 4) BadValue(text);
    SerialSettings s = previous;
    if (!parts[0].empty()) {
        long speed = 0;
        if (!ParseLong(parts[0], speed) || speed <= 0) BadValue(text);
        s.speed = speed;
    }
    if (parts[1].size() != 1) BadValue(text);
    const char p = UpperAscii(parts[1][0]);
    if (std::string_view("NEOMS").find(p) == std::string_view::npos) BadValue(text);
    s.parity = p;
    long data = 0;
    if (!ParseLong(parts[2], data) || data < 5 || data > 8) BadValue(text);
    s.dataBits = static_cast<int>(data);
    if (parts[3] == "1") {
        s.stopBits = 1;
    } else if (parts[3] == "2" || parts[3] == "1.5") {
        s.stopBits = 2;
    } else {
        BadValue(text);
    }
    return s;
}

void MakeRawTermios(termios& t, const SerialSettings& settings, int handshaking, bool markParity) {
    cfmakeraw(&t);
    t.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY | PARMRK | IGNPAR);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    switch (settings.dataBits) {
        case 5: t.c_cflag |= CS5; break;
        case 6: t.c_cflag |= CS6; break;
        case 7: t.c_cflag |= CS7; break;
        default: t.c_cflag |= CS8; break;
    }
    switch (settings.parity) {
        case 'E': t.c_cflag |= PARENB; break;
        case 'O': t.c_cflag |= PARENB | PARODD; break;
        case 'M': t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case 'S': t.c_cflag |= PARENB | CMSPAR; break;
        default: break;
    }
    if (markParity) t.c_iflag |= INPCK | PARMRK;
    if (settings.stopBits == 2) t.c_cflag |= CSTOPB;
    if (handshaking == comRTS || handshaking == comRTSXOnXOff) t.c_cflag |= CRTSCTS;
    if (handshaking == comXOnXoff || handshaking == comRTSXOnXOff) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

SerialPort::SerialPort(EventPump& pump, std::string appDir) : pump_(pump), appDir_(std::move(appDir)) {}

SerialPort::~SerialPort() {
    if (fd_ >= 0) SetPortOpen(false);
}

void SerialPort::RequireOpen() const {
    if (fd_ < 0) throw SerialError(SerialError::kPortNotOpen, "Operation valid only when the port is open");
}

void SerialPort::RequireClosed() const {
    if (fd_ >= 0) throw SerialError(SerialError::kPropertyNotWhileOpen, "Property is read-only while the port is open");
}

void SerialPort::SetDTREnable(bool on) {
    dtrEnable_ = on;
    if (fd_ >= 0) ApplyModemLines();
}

void SerialPort::SetRTSEnable(bool on) {
    rtsEnable_ = on;
    if (fd_ >= 0) ApplyModemLines();
}

void SerialPort::SetHandshaking(int mode) {
    if (mode < comNone || mode > comRTSXOnXOff) BadValue("Handshaking " + std::to_string(mode));
    handshaking_ = mode;
    if (fd_ >= 0) Configure();
}

void SerialPort::SetInBufferSize(int bytes) {
    RequireClosed();
    if (bytes < 1) BadValue("InBufferSize " + std::to_string(bytes));
    inBufferSize_ = bytes;
}

void SerialPort::SetOutBufferSize(int bytes) {
    RequireClosed();
    if (bytes < 1) BadValue("OutBufferSize " + std::to_string(bytes));
    outBufferSize_ = bytes;
}

void SerialPort::SetInputLen(int n) {
    if (n < 0) BadValue("InputLen " + std::to_string(n));
    inputLen_ = n;
}

void SerialPort::SetInputMode(int mode) {
    // 0 text, 1 binary: both hand over the bytes as they came.
    if (mode != 0 && mode != 1) BadValue("InputMode " + std::to_string(mode));
    inputMode_ = mode;
}

void SerialPort::SetParityReplace(std::string_view text) {
    parityReplace_ = std::string(text.substr(0, 1));
    if (fd_ >= 0) Configure();
}

void SerialPort::SetCommPort(int port) {
    RequireClosed();
    if (port < 1 || port > 255) throw SerialError(SerialError::kInvalidPortNumber, "Invalid port number");
    commPort_ = port;
}

std::string SerialPort::Settings() const {
    return std::to_string(settings_.speed) + "," + settings_.parity + "," + std::to_string(settings_.dataBits) + "," +
           std::to_string(settings_.stopBits);
}

void SerialPort::SetSettings(std::string_view text) {
    const SerialSettings parsed = ParseSerialSettings(text, settings_);
    const SerialSettings old = settings_;
    settings_ = parsed;
    if (fd_ >= 0) {
        try {
            Configure();
        } catch (...) {
            settings_ = old;
            Configure();
            throw;
        }
    }
}

std::string SerialPort::DevicePath() const { return fd_ >= 0 ? openPath_ : CommDevicePath(commPort_, appDir_); }

void SerialPort::SetPortOpen(bool open) {
    if (open == (fd_ >= 0)) {
        if (open) throw SerialError(SerialError::kPortAlreadyOpen, "Port already open");
        return;
    }
    if (open) {
        const std::string path = CommDevicePath(commPort_, appDir_);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int e = errno;
            if (e == ENOENT || e == ENXIO || e == ENODEV)
                throw SerialError(SerialError::kInvalidPortNumber, "Invalid port number: " + path);
            if (e == EBUSY) throw SerialError(SerialError::kPortAlreadyOpen, "Port already open: " + path);
            throw SerialError(SerialError::kDeviceUnavailable, path + ": " + std::strerror(e));
        }
        if (!isatty(fd)) {
            ::close(fd);
            throw SerialError(SerialError::kDeviceUnavailable, path + ": not a serial device");
        }
        fd_ = fd;
        openPath_ = path;
        try {
            Configure();
        } catch (...) {
            ::close(fd_);
            fd_ = -1;
            throw;
        }
        tcflush(fd_, TCIOFLUSH);
        ApplyModemLines();
        in_.clear();
        out_.clear();
        parityState_ = 0;
        newData_ = sawEof_ = false;
        lastCd_ = CDHolding();
        poller_ = ScopedPoller(pump_, [this] { Poll(); }, [this](WaitSet& w) { Interest(w); });
    } else {
        poller_.reset();
        Flush();
        // Hang up: drop DTR and RTS before closing (HUPCL does it too on the last close).
        int lines = TIOCM_DTR | TIOCM_RTS;
        ioctl(fd_, TIOCMBIC, &lines);
        ::close(fd_);
        fd_ = -1;
        in_.clear();
        out_.clear();
    }
}

void SerialPort::Configure() {
    termios t{};
    if (tcgetattr(fd_, &t) != 0)
        throw SerialError(SerialError::kDeviceUnavailable, openPath_ + ": " + std::strerror(errno));
    // With a replacement character, parity errors are marked by the driver and replaced on input; without
    // one, bytes are received as they come.
    MakeRawTermios(t, settings_, handshaking_, settings_.parity != 'N' && !parityReplace_.empty());
    const speed_t standard = StandardSpeed(settings_.speed);
    if (standard != 0) {
        cfsetispeed(&t, standard);
        cfsetospeed(&t, standard);
    }
    if (tcsetattr(fd_, TCSANOW, &t) != 0)
        throw SerialError(SerialError::kInvalidPropertyValue, "Settings refused by " + openPath_ + ": " + std::strerror(errno));
    if (standard == 0 && !serial_detail::SetCustomSpeed(fd_, settings_.speed))
        BadValue("speed " + std::to_string(settings_.speed) + " not supported by " + openPath_);
}

void SerialPort::ApplyModemLines() {
    // A pseudo-terminal has no modem-control lines: the calls fail there and that is fine.
    int dtr = TIOCM_DTR;
    ioctl(fd_, dtrEnable_ ? TIOCMBIS : TIOCMBIC, &dtr);
    if (handshaking_ != comRTS && handshaking_ != comRTSXOnXOff) {
        int rts = TIOCM_RTS;
        ioctl(fd_, rtsEnable_ ? TIOCMBIS : TIOCMBIC, &rts);
    }
}

void SerialPort::Fill() {
    if (fd_ < 0) return;
    Flush();
    char buf[4096];
    while (static_cast<int>(in_.size()) < inBufferSize_) {
        // Never read more than the buffer can hold: the rest waits in the device (and its flow control).
        const std::size_t room = std::min<std::size_t>(sizeof buf, static_cast<std::size_t>(inBufferSize_) - in_.size());
        const ssize_t n = ::read(fd_, buf, room);
        if (n <= 0) break;
        const bool replacing = settings_.parity != 'N' && !parityReplace_.empty();
        for (ssize_t i = 0; i < n; ++i) {
            char c = buf[i];
            if (replacing) {
                // Marked input: 0xFF 0xFF is a real 0xFF, 0xFF 0x00 x is x received with a parity error.
                if (parityState_ == 0 && static_cast<unsigned char>(c) == 0xFF) {
                    parityState_ = 1;
                    continue;
                }
                if (parityState_ == 1) {
                    parityState_ = c == 0 ? 2 : 0;
                    if (c == 0) continue;
                } else if (parityState_ == 2) {
                    parityState_ = 0;
                    c = parityReplace_[0];
                }
            }
            if (c == 0 && nullDiscard_) continue;
            if (eofEnable_ && c == 0x1A) sawEof_ = true;
            in_.push_back(c);
            newData_ = true;
        }
    }
}

void SerialPort::Flush() {
    while (!out_.empty()) {
        const ssize_t n = ::write(fd_, out_.data(), out_.size());
        if (n > 0) {
            out_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        // The device refuses output (for example the other end of a pseudo-terminal is gone): nothing can
        // carry these bytes any more.
        out_.clear();
        return;
    }
}

void SerialPort::SetOutput(std::string_view text) {
    RequireOpen();
    out_.append(text);
    Flush();
}

int SerialPort::InBufferCount() {
    Fill();
    return static_cast<int>(in_.size());
}

std::string SerialPort::Input() {
    RequireOpen();
    Fill();
    std::size_t n = in_.size();
    if (inputLen_ > 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(inputLen_));
    std::string s(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(n));
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(n));
    return s;
}

bool SerialPort::CDHolding() {
    if (fd_ < 0) return false;
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) return true;
    return (lines & TIOCM_CAR) != 0;
}

void SerialPort::Raise(int event) {
    commEvent_ = event;
    if (auto handler = OnComm) handler();
}

void SerialPort::Interest(WaitSet& w) const {
    if (fd_ < 0) return;
    // A full input buffer waits for the engine to take it; watching it would wake the pump at once.
    short events = static_cast<int>(in_.size()) < inBufferSize_ ? POLLIN : 0;
    if (!out_.empty()) events = static_cast<short>(events | POLLOUT);
    w.Watch(fd_, events);
    // The carrier line changes without a byte to read: look at it this often.
    w.Within(kCarrierCheckMs);
}

void SerialPort::Poll() {
    if (fd_ < 0) return;
    Fill();
    if (fd_ >= 0 && sawEof_) {
        sawEof_ = false;
        Raise(comEvEOF);
    }
    if (fd_ >= 0 && newData_) {
        newData_ = false;
        if (rThreshold_ > 0 && static_cast<int>(in_.size()) >= rThreshold_) Raise(comEvReceive);
    }
    if (fd_ >= 0) {
        const bool cd = CDHolding();
        if (cd != lastCd_) {
            lastCd_ = cd;
            Raise(comEvCD);
        }
    }
}

}  // namespace morven::platform
