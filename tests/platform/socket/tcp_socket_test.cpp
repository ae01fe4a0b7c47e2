#include "platform/socket/tcp_socket.h"

#include "platform/core/clock.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace morven::platform {
namespace {

// A listening socket on 127.0.0.1 and a free port; the test plays the peer on the accepted connection.
class LoopbackPeer {
public:
    LoopbackPeer() {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(listen(listen_, 4), 0);
        socklen_t len = sizeof a;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackPeer() {
        if (conn_ >= 0) close(conn_);
        close(listen_);
    }
    int port() const { return port_; }
    bool Accept() {
        pollfd p{listen_, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1) return false;
        conn_ = accept(listen_, nullptr, nullptr);
        return conn_ >= 0;
    }
    void Send(std::string_view s) { ASSERT_EQ(send(conn_, s.data(), s.size(), 0), static_cast<ssize_t>(s.size())); }
    std::string Receive(std::size_t n) {
        std::string got;
        while (got.size() < n) {
            pollfd p{conn_, POLLIN, 0};
            if (poll(&p, 1, 5000) != 1) break;
            char buf[256];
            const ssize_t r = recv(conn_, buf, sizeof buf, 0);
            if (r <= 0) break;
            got.append(buf, static_cast<std::size_t>(r));
        }
        return got;
    }
    void Close() {
        close(conn_);
        conn_ = -1;
    }
    void Reset() {
        linger l{1, 0};
        setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        Close();
    }

private:
    int listen_ = -1;
    int conn_ = -1;
    int port_ = 0;
};

// Waits for loopback I/O, running the pump (real network latency, not a protocol pause).
bool WaitFor(EventPump& pump, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pump.process();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

class TcpSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        sock_.OnConnect = [this] { events_.push_back("connect"); };
        sock_.OnClose = [this] { events_.push_back("close"); };
        sock_.OnSendComplete = [this] { events_.push_back("sendcomplete"); };
        sock_.OnError = [this](int n, const std::string& text) {
            EXPECT_FALSE(text.empty());
            events_.push_back("error " + std::to_string(n));
        };
    }
    void ConnectToPeer() {
        sock_.SetRemoteHost("127.0.0.1");
        sock_.SetRemotePort(peer_.port());
        sock_.Connect();
        ASSERT_TRUE(peer_.Accept());
        ASSERT_TRUE(WaitFor(pump_, [&] { return sock_.State() == sckConnected; }));
        events_.clear();
    }

    EventPump pump_;
    TcpSocket sock_{pump_};
    LoopbackPeer peer_;
    std::vector<std::string> events_;
};

TEST_F(TcpSocketTest, ConnectsAndExchangesBytesWithEventsFromThePump) {
    sock_.Connect("127.0.0.1", peer_.port());
    EXPECT_EQ(sock_.State(), sckConnecting);
    EXPECT_TRUE(events_.empty());
    EXPECT_THROW(sock_.Connect(), SocketError);  // not closed
    ASSERT_TRUE(peer_.Accept());
    ASSERT_TRUE(WaitFor(pump_, [&] { return sock_.State() == sckConnected; }));
    EXPECT_EQ(events_, std::vector<std::string>{"connect"});
    EXPECT_EQ(sock_.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(sock_.RemotePort(), peer_.port());

    events_.clear();
    const std::string eight("\x80\x81\x82\0\xff\r\n", 7);
    sock_.SendData(eight);
    EXPECT_TRUE(events_.empty());  // SendComplete never comes from inside SendData
    pump_.process();
    EXPECT_EQ(events_, std::vector<std::string>{"sendcomplete"});
    EXPECT_EQ(peer_.Receive(7), eight);

    peer_.Send("AEIO");
    peer_.Send("xOIEA\r\n");
    ASSERT_TRUE(WaitFor(pump_, [&] { return sock_.BytesReceived() == 11; }));
    EXPECT_EQ(sock_.GetData(), "AEIOxOIEA\r\n");
    EXPECT_EQ(sock_.BytesReceived(), 0);
    sock_.Close();
    EXPECT_EQ(sock_.State(), sckClosed);
    EXPECT_EQ(events_, std::vector<std::string>{"sendcomplete"});  // Close raises no event
}

TEST_F(TcpSocketTest, RefusedPortGives10061) {
    int port;
    {
        LoopbackPeer gone;  // a port that was free a moment ago and has no listener now
        port = gone.port();
    }
    sock_.Connect("127.0.0.1", port);
    ASSERT_TRUE(WaitFor(pump_, [&] { return !events_.empty(); }));
    EXPECT_EQ(events_, std::vector<std::string>{"error 10061"});
    EXPECT_EQ(sock_.State(), sckError);
    sock_.Close();
    EXPECT_EQ(sock_.State(), sckClosed);
}

TEST_F(TcpSocketTest, PeerCloseKeepsTheBufferedDataReadableInState8) {
    ConnectToPeer();
    peer_.Send("NO CARRIER?\r\n");
    peer_.Close();
    ASSERT_TRUE(WaitFor(pump_, [&] { return !events_.empty(); }));
    EXPECT_EQ(events_, std::vector<std::string>{"close"});
    EXPECT_EQ(sock_.State(), sckClosing);
    EXPECT_EQ(sock_.BytesReceived(), 13);
    EXPECT_EQ(sock_.GetData(), "NO CARRIER?\r\n");
    EXPECT_THROW(sock_.SendData("6UUU"), SocketError);
    sock_.Close();
    EXPECT_EQ(sock_.State(), sckClosed);
}

TEST_F(TcpSocketTest, ResetGives10054) {
    ConnectToPeer();
    peer_.Reset();
    ASSERT_TRUE(WaitFor(pump_, [&] { return !events_.empty(); }));
    EXPECT_EQ(events_, std::vector<std::string>{"error 10054"});
    EXPECT_EQ(sock_.State(), sckError);
}

TEST_F(TcpSocketTest, HostNamesResolveWithoutBlocking) {
    // "localhost" may give ::1 before 127.0.0.1; the peer listens only on the latter, so this also shows
    // that the next address is tried after a refusal.
    sock_.Connect("localhost", peer_.port());
    EXPECT_EQ(sock_.State(), sckResolvingHost);
    ASSERT_TRUE(WaitFor(pump_, [&] { return sock_.State() == sckConnected; }));  // the backlog completes it
    ASSERT_TRUE(peer_.Accept());
    EXPECT_EQ(events_, std::vector<std::string>{"connect"});
    sock_.Close();

    events_.clear();
    sock_.Connect("", peer_.port());  // no host: "host not found", reported from the pump
    EXPECT_TRUE(events_.empty());
    pump_.process();
    EXPECT_EQ(events_, std::vector<std::string>{"error 11001"});
    EXPECT_EQ(sock_.State(), sckError);
}

TEST_F(TcpSocketTest, ClosingFromInsideAnEventHandlerIsSafe) {
    sock_.OnError = [this](int n, const std::string&) {
        events_.push_back("error " + std::to_string(n));
        if (sock_.State() != sckClosed) sock_.Close();
    };
    ConnectToPeer();
    peer_.Reset();
    ASSERT_TRUE(WaitFor(pump_, [&] { return !events_.empty(); }));
    EXPECT_EQ(sock_.State(), sckClosed);
    pump_.process();
    EXPECT_EQ(events_.size(), 1u);
}

// A waiting pump sleeps until the socket has something: each wait below has a minute of deadline, so an event
// the socket failed to wake the pump for shows as a hanging test.
TEST_F(TcpSocketTest, AWaitingPumpWakesForEverySocketEvent) {
    const SystemClock clock;
    auto attendi = [&] { pump_.process(clock.MonotonicMs() + 60000); };
    sock_.Connect("127.0.0.1", peer_.port());
    attendi();
    ASSERT_EQ(events_, std::vector<std::string>{"connect"});
    ASSERT_TRUE(peer_.Accept());
    sock_.SendData("ordine");
    attendi();
    EXPECT_EQ(events_.back(), "sendcomplete");
    EXPECT_EQ(peer_.Receive(6), "ordine");
    peer_.Send("risposta");
    while (sock_.BytesReceived() < 8) attendi();
    EXPECT_EQ(sock_.GetData(), "risposta");
    peer_.Close();
    attendi();
    EXPECT_EQ(events_.back(), "close");
    EXPECT_EQ(sock_.State(), sckClosing);
}

TEST(SocketErrorNumber, MapsTheSystemErrors) {
    EXPECT_EQ(SocketErrorNumber(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketErrorNumber(ETIMEDOUT), 10060);
    EXPECT_EQ(SocketErrorNumber(EHOSTUNREACH), 10065);
    EXPECT_EQ(SocketErrorNumber(ECONNRESET), 10054);
    EXPECT_EQ(SocketErrorNumber(EPIPE), 10053);
    EXPECT_EQ(SocketErrorNumber(ECONNABORTED), 10053);
}

}  // namespace
}  // namespace morven::platform
