// The engine's serial-port and socket ports on the platform's devices (platform/serial, platform/socket).
// The program creates one of each and points RiferimentiOggetti::oMSComm and ::oWinsock at them; the
// device failures come out as ErroreMorven with the device's error number and text.
#pragma once

#include "client/engine/ports.h"
#include "platform/serial/serial_port.h"
#include "platform/socket/tcp_socket.h"

#include <functional>
#include <string>

namespace morven {

class DeviceSerialPort final : public SerialPort {
public:
    // `appDir` holds the file that may map port numbers to devices (serialports.txt).
    DeviceSerialPort(EventPump& pump, std::string appDir);

    // Opening hands the configuration fields to the device first.
    bool PortOpen() const override { return device_.PortOpen(); }
    void SetPortOpen(bool open) override;
    void Output(std::string_view bytes) override;
    int InBufferCount() override;
    // Takes InputLen bytes (all when 0) as the fields say now.
    std::string Input() override;
    bool CDHolding() override;
    int CommEvent() const override { return device_.CommEvent(); }

    // The receive event of the device, raised from the pump (RThreshold is handed over on every call).
    std::function<void()> OnComm;

    platform::SerialPort& Device() { return device_; }

private:
    void Sync();

    platform::SerialPort device_;
};

class DeviceTcpSocket final : public TcpSocket {
public:
    explicit DeviceTcpSocket(EventPump& pump);

    int State() const override { return device_.State(); }
    // Connects to RemoteHost:RemotePort as they are now.
    void Connect() override;
    void Close() override;
    void SendData(std::string_view bytes) override;
    void ShutdownSend() override { device_.ShutdownSend(); }
    long BytesReceived() override { return device_.BytesReceived(); }
    std::string GetData() override { return device_.GetData(); }
    // The socket never listens, so there is no request to accept: error 40006 (wrong state).
    void Accept(long requestId) override;

    platform::TcpSocket& Device() { return device_; }

private:
    platform::TcpSocket device_;
};

}  // namespace morven
