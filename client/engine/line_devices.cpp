#include "client/engine/line_devices.h"

#include "client/engine/errors.h"

namespace morven {

namespace {

// Runs a device call, turning the device's failure into the engine's error with the same number.
template <class F>
auto SuDispositivo(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const platform::SerialError& e) {
        throw ErroreMorven(e.Number(), e.what());
    } catch (const platform::SocketError& e) {
        throw ErroreMorven(e.Number(), e.what());
    }
}

}  // namespace

DeviceSerialPort::DeviceSerialPort(EventPump& pump, std::string appDir) : device_(pump, std::move(appDir)) {
    device_.OnComm = [this] {
        if (auto handler = OnComm) handler();
        device_.SetRThreshold(RThreshold);  // a handler that switches the events off is obeyed at once
    };
}

void DeviceSerialPort::Sync() {
    device_.SetRThreshold(RThreshold);
    device_.SetInputLen(InputLen < 0 ? 0 : InputLen);
    device_.SetInputMode(InputMode == 1 ? 1 : 0);
}

void DeviceSerialPort::SetPortOpen(bool open) {
    SuDispositivo([&] {
        if (open && !device_.PortOpen()) {
            device_.SetDTREnable(DTREnable);
            device_.SetEOFEnable(EOFEnable);
            device_.SetRTSEnable(RTSEnable);
            device_.SetHandshaking(Handshaking);
            device_.SetInBufferSize(InBufferSize);
            device_.SetOutBufferSize(OutBufferSize);
            device_.SetParityReplace(ParityReplace);
            device_.SetNullDiscard(NullDiscard);
            device_.SetCommPort(CommPort);
            device_.SetSettings(Settings);
        }
        Sync();
        device_.SetPortOpen(open);
    });
}

void DeviceSerialPort::Output(std::string_view bytes) {
    SuDispositivo([&] {
        Sync();
        device_.SetOutput(bytes);
    });
}

int DeviceSerialPort::InBufferCount() {
    return SuDispositivo([&] {
        Sync();
        return device_.InBufferCount();
    });
}

std::string DeviceSerialPort::Input() {
    return SuDispositivo([&] {
        Sync();
        return device_.Input();
    });
}

bool DeviceSerialPort::CDHolding() {
    return SuDispositivo([&] { return device_.CDHolding(); });
}

DeviceTcpSocket::DeviceTcpSocket(EventPump& pump) : device_(pump) {
    device_.OnConnect = [this] {
        if (auto h = events.Connect) h();
    };
    device_.OnClose = [this] {
        if (auto h = events.Close) h();
    };
    device_.OnSendComplete = [this] {
        if (auto h = events.SendComplete) h();
    };
    device_.OnError = [this](int number, const std::string& description) {
        if (auto h = events.Error) h(number, description);
    };
}

void DeviceTcpSocket::Connect() {
    SuDispositivo([&] {
        sCodaRicezione.clear();
        device_.Connect(RemoteHost, RemotePort);
    });
}

void DeviceTcpSocket::Close() {
    sCodaRicezione.clear();
    device_.Close();
}

void DeviceTcpSocket::SendData(std::string_view bytes) {
    SuDispositivo([&] { device_.SendData(bytes); });
}

void DeviceTcpSocket::Accept(long) {
    throw ErroreMorven(platform::sckBadState, platform::SocketErrorText(platform::sckBadState));
}

}  // namespace morven
