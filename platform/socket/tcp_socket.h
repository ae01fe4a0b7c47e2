// TCP client socket for the Internet line. It offers the members the session engine uses: `State`
// (0 closed ... 7 connected, 8 closing after the peer closed, 9 error), `Connect`, `Close`, `SendData`,
// `GetData`, `BytesReceived`, `RemoteHost`, `RemotePort`, and the events Connect, Close, SendComplete and
// Error with the socket error numbers the engine tests (10053, 10054, 10060, 10061, 10065, 11001).
//
// Everything is non-blocking: a host name is resolved on a helper thread whose answer the pump picks up,
// the connection completes in the background, received bytes are gathered and sends are finished by the
// pump. Every event is delivered only from EventPump::process(), never from inside a member call.
#pragma once

#include "platform/core/pump.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morven::platform {

enum SocketState : int {
    sckClosed = 0,
    sckOpen = 1,
    sckListening = 2,
    sckConnectionPending = 3,
    sckResolvingHost = 4,
    sckHostResolved = 5,
    sckConnecting = 6,
    sckConnected = 7,
    sckClosing = 8,
    sckError = 9,
};

// Socket error numbers.
enum : int {
    sckConnectAborted = 10053,
    sckConnectionReset = 10054,
    sckTimedout = 10060,
    sckConnectionRefused = 10061,
    sckHostUnreachable = 10065,
    sckNetworkUnreachable = 10051,
    sckHostNotFound = 11001,
    sckBadState = 40006,
};

// A member called in a state that does not allow it (Connect while not closed, SendData while not
// connected, a port out of range).
class SocketError : public std::runtime_error {
public:
    SocketError(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
    int Number() const { return number_; }

private:
    int number_;
};

// The socket error number and text for an errno value of a failed connect, send or receive.
int SocketErrorNumber(int err);
std::string SocketErrorText(int number);

class TcpSocket {
public:
    explicit TcpSocket(EventPump& pump);
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    int State() const { return state_; }

    const std::string& RemoteHost() const { return remoteHost_; }
    void SetRemoteHost(std::string host) { remoteHost_ = std::move(host); }
    int RemotePort() const { return remotePort_; }
    void SetRemotePort(int port) { remotePort_ = port; }

    // Starts connecting to RemoteHost:RemotePort; the socket must be closed (State 0).
    void Connect();
    void Connect(std::string host, int port);
    // Closes at once, dropping unread and unsent bytes; State 0. No event.
    void Close();

    // Queues bytes for sending as they stand; State must be 7. SendComplete follows from the pump once all
    // queued bytes went out.
    void SendData(std::string_view bytes);

    // Ends the sending side once every queued byte went out (the peer reads the end of the stream); reading
    // goes on. State stays 7 until the peer closes too.
    void ShutdownSend();

    // Bytes received and not taken yet; they stay readable after the peer closed (State 8) until Close.
    long BytesReceived();
    // Takes every waiting byte.
    std::string GetData();

    std::function<void()> OnConnect;
    std::function<void()> OnClose;
    std::function<void()> OnSendComplete;
    std::function<void(int number, const std::string& description)> OnError;

private:
    struct Resolution;

    void Poll();
    // What the poller waits for: the descriptor while connecting or connected, at once when an event is due.
    void Interest(WaitSet& w) const;
    void StartConnect();
    void TryNextAddress();
    void ReadAvailable();
    void FlushSend();
    void Fail(int number);
    void CloseFd();

    EventPump& pump_;
    ScopedPoller poller_;
    int state_ = sckClosed;
    std::string remoteHost_;
    int remotePort_ = 0;

    int fd_ = -1;
    std::shared_ptr<Resolution> resolution_;
    std::vector<std::vector<unsigned char>> addresses_;  // sockaddr bytes to try, in order
    std::size_t nextAddress_ = 0;
    int lastConnectError_ = 0;

    std::string received_;
    std::string sending_;
    bool sendPending_ = false;     // a SendData is waiting for its SendComplete
    bool peerClosed_ = false;
    bool shutdownWanted_ = false;  // ShutdownSend was asked for: done once `sending_` is empty
};

}  // namespace morven::platform
