#include "platform/socket/tcp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace morven::platform {

namespace {

// Received bytes beyond this wait in the kernel (and slow the peer down) until the engine takes them.
constexpr std::size_t kMaxReceiveBuffer = 1 << 20;
// How often the pump looks at a host lookup running on its thread.
constexpr std::int64_t kResolutionCheckMs = 5;

std::vector<unsigned char> AddressBytes(const sockaddr* sa, socklen_t len) {
    const auto* p = reinterpret_cast<const unsigned char*>(sa);
    return {p, p + len};
}

}  // namespace

int SocketErrorNumber(int err) {
    switch (err) {
        case ECONNREFUSED: return sckConnectionRefused;
        case ETIMEDOUT: return sckTimedout;
        case EHOSTUNREACH: return sckHostUnreachable;
        case ENETUNREACH: return sckNetworkUnreachable;
        case ECONNRESET: return sckConnectionReset;
        case ECONNABORTED:
        case EPIPE:
        default: return sckConnectAborted;
    }
}

std::string SocketErrorText(int number) {
    switch (number) {
        case sckConnectAborted: return "Connection is aborted due to timeout or other failure";
        case sckConnectionReset: return "Connection is reset by remote side";
        case sckTimedout: return "Attempt to connect timed out";
        case sckConnectionRefused: return "Connection is forcefully rejected";
        case sckHostUnreachable: return "No route to host";
        case sckNetworkUnreachable: return "Network is unreachable";
        case sckHostNotFound: return "Authoritative answer: Host not found";
        case sckBadState: return "Wrong protocol or connection state for the requested transaction or request";
        default: return "Socket error " + std::to_string(number);
    }
}

// A name lookup running on its own thread. The thread keeps the record alive, so the socket can forget a
// lookup it no longer needs (Close, a new Connect) without waiting for it.
struct TcpSocket::Resolution {
    std::mutex mutex;
    bool done = false;
    bool failed = false;
    std::vector<std::vector<unsigned char>> addresses;
};

TcpSocket::TcpSocket(EventPump& pump) : pump_(pump) {}

TcpSocket::~TcpSocket() { Close(); }

void TcpSocket::Connect(std::string host, int port) {
    if (state_ != sckClosed) throw SocketError(sckBadState, SocketErrorText(sckBadState));
    remoteHost_ = std::move(host);
    remotePort_ = port;
    Connect();
}

void TcpSocket::Connect() {
    if (state_ != sckClosed) throw SocketError(sckBadState, SocketErrorText(sckBadState));
    if (remotePort_ < 1 || remotePort_ > 65535) throw SocketError(sckBadState, "Invalid port " + std::to_string(remotePort_));
    received_.clear();
    sending_.clear();
    sendPending_ = peerClosed_ = shutdownWanted_ = false;
    addresses_.clear();
    nextAddress_ = 0;
    lastConnectError_ = 0;
    poller_ = ScopedPoller(pump_, [this] { Poll(); }, [this](WaitSet& w) { Interest(w); });

    // A numeric address needs no lookup.
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET, remoteHost_.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<uint16_t>(remotePort_));
        addresses_.push_back(AddressBytes(reinterpret_cast<sockaddr*>(&v4), sizeof v4));
        StartConnect();
        return;
    }
    if (inet_pton(AF_INET6, remoteHost_.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<uint16_t>(remotePort_));
        addresses_.push_back(AddressBytes(reinterpret_cast<sockaddr*>(&v6), sizeof v6));
        StartConnect();
        return;
    }

    state_ = sckResolvingHost;
    auto job = std::make_shared<Resolution>();
    resolution_ = job;
    if (remoteHost_.empty()) {
        job->done = job->failed = true;
        return;
    }
    std::thread([job, host = remoteHost_, port = std::to_string(remotePort_)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
        std::vector<std::vector<unsigned char>> found;
        if (rc == 0) {
            for (addrinfo* ai = list; ai; ai = ai->ai_next) found.push_back(AddressBytes(ai->ai_addr, ai->ai_addrlen));
            freeaddrinfo(list);
        }
        std::lock_guard lock(job->mutex);
        job->addresses = std::move(found);
        job->failed = job->addresses.empty();
        job->done = true;
    }).detach();
}

void TcpSocket::StartConnect() {
    state_ = sckConnecting;
    TryNextAddress();
}

void TcpSocket::TryNextAddress() {
    CloseFd();
    while (nextAddress_ < addresses_.size()) {
        const auto& addr = addresses_[nextAddress_++];
        const auto* sa = reinterpret_cast<const sockaddr*>(addr.data());
        fd_ = ::socket(sa->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0) {
            lastConnectError_ = errno;
            continue;
        }
        const int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(fd_, sa, static_cast<socklen_t>(addr.size())) == 0 || errno == EINPROGRESS) return;
        lastConnectError_ = errno;
        CloseFd();
    }
    // Nothing left to try: the pump reports the failure.
}

void TcpSocket::CloseFd() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void TcpSocket::Close() {
    poller_.reset();
    resolution_.reset();
    CloseFd();
    received_.clear();
    sending_.clear();
    sendPending_ = peerClosed_ = shutdownWanted_ = false;
    state_ = sckClosed;
}

void TcpSocket::ShutdownSend() {
    if (state_ != sckConnected) return;
    shutdownWanted_ = true;
    FlushSend();
}

void TcpSocket::SendData(std::string_view bytes) {
    if (state_ != sckConnected) throw SocketError(sckBadState, SocketErrorText(sckBadState));
    sending_.append(bytes);
    sendPending_ = true;
    FlushSend();
}

long TcpSocket::BytesReceived() { return static_cast<long>(received_.size()); }

std::string TcpSocket::GetData() {
    std::string out;
    out.swap(received_);
    return out;
}

void TcpSocket::FlushSend() {
    while (!sending_.empty() && fd_ >= 0 && lastConnectError_ == 0) {
        const ssize_t n = ::send(fd_, sending_.data(), sending_.size(), MSG_NOSIGNAL);
        if (n > 0) {
            sending_.erase(0, static_cast<std::size_t>(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return;
        } else {
            // Reported from the pump.
            lastConnectError_ = n < 0 ? errno : EPIPE;
            return;
        }
    }
    if (shutdownWanted_ && sending_.empty() && fd_ >= 0) {
        ::shutdown(fd_, SHUT_WR);
        shutdownWanted_ = false;
    }
}

void TcpSocket::ReadAvailable() {
    char buf[16384];
    while (fd_ >= 0 && received_.size() < kMaxReceiveBuffer) {
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n > 0) {
            received_.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0) {
            peerClosed_ = true;
            return;
        } else {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) lastConnectError_ = errno;
            return;
        }
    }
}

void TcpSocket::Fail(int number) {
    CloseFd();
    state_ = sckError;
    if (auto handler = OnError) handler(number, SocketErrorText(number));
}

void TcpSocket::Interest(WaitSet& w) const {
    switch (state_) {
        case sckResolvingHost:
            // The lookup's thread answers through memory, not a descriptor: look again soon.
            w.Within(kResolutionCheckMs);
            return;
        case sckConnecting:
            if (fd_ < 0) w.Within(0);  // the failure is reported at once
            else w.Watch(fd_, POLLOUT);
            return;
        case sckConnected:
            if (fd_ < 0 || lastConnectError_ != 0 || peerClosed_ || (sendPending_ && sending_.empty())) {
                w.Within(0);  // an event is ready to deliver
                return;
            }
            // A full receive buffer waits for the owner to take it; watching it would wake the pump at once.
            w.Watch(fd_, static_cast<short>((received_.size() < kMaxReceiveBuffer ? POLLIN : 0) |
                                            (sending_.empty() ? 0 : POLLOUT)));
            return;
        default: return;
    }
}

void TcpSocket::Poll() {
    switch (state_) {
        case sckResolvingHost: {
            auto job = resolution_;
            if (!job) return;
            std::unique_lock lock(job->mutex);
            if (!job->done) return;
            const bool failed = job->failed;
            addresses_ = job->addresses;
            lock.unlock();
            resolution_.reset();
            if (failed) {
                Fail(sckHostNotFound);
                return;
            }
            state_ = sckHostResolved;
            StartConnect();
            return;
        }
        case sckConnecting: {
            if (fd_ < 0) {
                Fail(SocketErrorNumber(lastConnectError_ ? lastConnectError_ : ECONNREFUSED));
                return;
            }
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 0) <= 0) return;
            int err = 0;
            socklen_t len = sizeof err;
            getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err != 0) {
                lastConnectError_ = err;
                TryNextAddress();
                return;  // the next round reports the failure when nothing was left
            }
            lastConnectError_ = 0;
            state_ = sckConnected;
            if (auto handler = OnConnect) handler();
            return;
        }
        case sckConnected: {
            FlushSend();
            ReadAvailable();
            if (lastConnectError_ != 0) {
                Fail(SocketErrorNumber(lastConnectError_));
                return;
            }
            if (sendPending_ && sending_.empty()) {
                sendPending_ = false;
                if (auto handler = OnSendComplete) handler();
                if (state_ != sckConnected) return;
            }
            if (peerClosed_) {
                CloseFd();
                state_ = sckClosing;
                sending_.clear();
                sendPending_ = false;
                if (auto handler = OnClose) handler();
            }
            return;
        }
        default: return;
    }
}

}  // namespace morven::platform
