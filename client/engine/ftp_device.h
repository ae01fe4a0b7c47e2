// The engine's FTP port on the platform's FTP client (platform/ftp). The program creates one and points
// RiferimentiOggetti::oInet at it; the members set on the port are handed to the client on every call.
#pragma once

#include "client/engine/ports.h"
#include "platform/ftp/ftp_client.h"

namespace morven {

class DeviceFtpClient final : public FtpClient {
public:
    explicit DeviceFtpClient(EventPump& pump);

    void Reset() override { device_.Close(); }
    int Connect() override;
    int Upload(const std::string& remoteName, const std::string& localPath) override;
    int Download(const std::string& remoteName, const std::string& localPath) override;
    std::string LastError() const override { return device_.LastError(); }

    platform::FtpClient& Device() { return device_; }

private:
    void Sync();

    platform::FtpClient device_;
};

}  // namespace morven
