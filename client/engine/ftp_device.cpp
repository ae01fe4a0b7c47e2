#include "client/engine/ftp_device.h"

namespace morven {

DeviceFtpClient::DeviceFtpClient(EventPump& pump) : device_(&pump) {
    // The handler is looked up at every entry, so one set after construction is used.
    device_.trace = [this](const std::string& a, const std::string& b) {
        if (auto handler = CommandTrace) handler(a, b);
    };
}

void DeviceFtpClient::Sync() {
    device_.host = Host;
    device_.port = Port;
    device_.user = User;
    device_.password = Password;
    device_.timeoutSeconds = TimeoutSeconds;
    device_.passive = !Active;
    device_.binary = Binary;
    device_.restartOffset = RestartOffset;
    device_.maxDownload = MaxDownloadBytes;
}

int DeviceFtpClient::Connect() {
    Sync();
    return device_.Connect();
}

int DeviceFtpClient::Upload(const std::string& remoteName, const std::string& localPath) {
    Sync();
    return device_.Upload(remoteName, localPath);
}

int DeviceFtpClient::Download(const std::string& remoteName, const std::string& localPath) {
    Sync();
    return device_.Download(remoteName, localPath);
}

}  // namespace morven
