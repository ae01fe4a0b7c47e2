// The attempt tables need a wholesaler port with the two ports below it free; the test peers take whatever
// port the system gives. This relay listens on 127.0.0.1 at a port below 32768 with the two ports below it
// free, and passes every byte both ways to the peer; when either side closes, both are closed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

namespace morven::testing {

class LowPortRelay {
public:
    explicit LowPortRelay(int targetPort);
    ~LowPortRelay();
    LowPortRelay(const LowPortRelay&) = delete;
    LowPortRelay& operator=(const LowPortRelay&) = delete;

    int Port() const { return port_; }
    // Connections passed on to the peer.
    int Relayed() const { return relayed_; }

private:
    void Run();

    int target_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> relayed_{0};
    std::thread thread_;
};

namespace relay_detail {

inline sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

inline int Listen(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = Loopback(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Nobody listens there now (bindable; a refused connect for the client).
inline bool Free(int port) {
    const int fd = Listen(port);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace relay_detail

inline LowPortRelay::LowPortRelay(int targetPort) : target_(targetPort) {
    std::mt19937 rng(std::random_device{}());
    std::uniform_int_distribution<int> pick(20000, 32000);
    for (int i = 0; i < 200 && listen_ < 0; ++i) {
        const int port = pick(rng);
        if (!relay_detail::Free(port - 1) || !relay_detail::Free(port - 2)) continue;
        listen_ = relay_detail::Listen(port);
        if (listen_ >= 0) port_ = port;
    }
    if (listen_ < 0) throw std::runtime_error("no free low port");
    thread_ = std::thread([this] { Run(); });
}

inline LowPortRelay::~LowPortRelay() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
}

inline void LowPortRelay::Run() {
    struct Pair {
        int a, b;
    };
    std::vector<Pair> pairs;
    char buf[65536];
    while (!stop_) {
        std::vector<pollfd> fds{{listen_, POLLIN, 0}};
        for (const auto& pr : pairs) {
            fds.push_back({pr.a, POLLIN, 0});
            fds.push_back({pr.b, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 5) <= 0) continue;
        const std::size_t polled = pairs.size();  // a pair accepted below has no poll entry yet
        if (fds[0].revents & POLLIN) {
            const int a = ::accept(listen_, nullptr, nullptr);
            if (a >= 0) {
                const int b = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in t = relay_detail::Loopback(target_);
                if (::connect(b, reinterpret_cast<sockaddr*>(&t), sizeof t) == 0) {
                    pairs.push_back({a, b});
                    ++relayed_;
                } else {
                    ::close(a);
                    ::close(b);
                }
            }
        }
        std::vector<Pair> keep(pairs.begin() + static_cast<std::ptrdiff_t>(polled), pairs.end());
        for (std::size_t i = 0; i < polled; ++i) {
            bool open = true;
            for (int side = 0; side < 2 && open; ++side) {
                const pollfd& f = fds[1 + 2 * i + side];
                if (!(f.revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const int from = side == 0 ? pairs[i].a : pairs[i].b;
                const int to = side == 0 ? pairs[i].b : pairs[i].a;
                const ssize_t n = ::recv(from, buf, sizeof buf, MSG_DONTWAIT);
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
                if (n <= 0 || ::send(to, buf, static_cast<size_t>(n), MSG_NOSIGNAL) != n) open = false;
            }
            if (open) {
                keep.push_back(pairs[i]);
            } else {
                ::close(pairs[i].a);
                ::close(pairs[i].b);
            }
        }
        pairs = keep;
    }
    for (const auto& pr : pairs) {
        ::close(pr.a);
        ::close(pr.b);
    }
}

}  // namespace morven::testing
