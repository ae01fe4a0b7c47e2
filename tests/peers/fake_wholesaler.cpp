#include "tests/peers/fake_wholesaler.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace morven::peers {

namespace {

class TcpLink final : public Link {
public:
    TcpLink(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
    ~TcpLink() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) {
                    pollfd p{fd_, POLLOUT, 0};
                    ::poll(&p, 1, 10);
                    if (stopping_) return false;
                    continue;
                }
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    bool Read(std::string& out, int waitMs) override {
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, waitMs);
        if (r <= 0) return r == 0 || errno == EINTR;
        char buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
        out.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    void Close() override {
        // Orderly close: FIN now; the descriptor is kept until the client closes its end (see Linger), so
        // that bytes the client still sends never turn the close into a reset.
        if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
        closed_ = true;
    }

    void Reset() override {
        linger l{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(fd_);
        fd_ = -1;
    }

    bool Open() const { return fd_ >= 0 && !closed_; }
    // Hands the descriptor over (-1 when it is gone already).
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
    bool closed_ = false;
    const std::atomic<bool>& stopping_;
};

}  // namespace

FakeWholesaler::FakeWholesaler(std::vector<Script> scripts) : scripts_(std::move(scripts)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 8) != 0) {
        ::close(listen_);
        throw std::runtime_error("fake wholesaler: cannot listen on 127.0.0.1");
    }
    socklen_t len = sizeof a;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
}

FakeWholesaler::~FakeWholesaler() { Stop(); }

void FakeWholesaler::Stop() {
    record_.Stop();
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) ::close(listen_);
    listen_ = -1;
    for (const auto& l : lingering_) ::close(l.fd);
    lingering_.clear();
}

void FakeWholesaler::Linger() {
    // Reads and forgets what closed connections still receive; closes each once its client closed too, or
    // after a few seconds.
    const auto now = std::chrono::steady_clock::now();
    for (auto it = lingering_.begin(); it != lingering_.end();) {
        bool done = now > it->until;
        char buf[4096];
        while (!done) {
            const ssize_t n = ::recv(it->fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) continue;
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) done = true;
            break;
        }
        if (done) {
            ::close(it->fd);
            it = lingering_.erase(it);
        } else {
            ++it;
        }
    }
}

void FakeWholesaler::Run() {
    std::size_t next = 0;
    while (!record_.Stopping()) {
        Linger();
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++connections_;
        TcpLink link(fd, record_.StopFlag());
        if (next < scripts_.size()) {
            std::string pending;
            RunScript(scripts_[next++], link, true, pending, record_);
            if (link.Open()) link.Close();
            record_.ScriptDone();
        } else {
            link.Close();
        }
        if (const int kept = link.Release(); kept >= 0)
            lingering_.push_back({kept, std::chrono::steady_clock::now() + std::chrono::seconds(3)});
    }
}

}  // namespace morven::peers
