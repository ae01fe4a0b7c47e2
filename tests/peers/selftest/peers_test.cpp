#include "tests/peers/peers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace morven::peers {
namespace {

TEST(PeerCodec, PublishedFrameVectors) {
    EXPECT_EQ(Frame("A"), "AEIOA000098000000OIEA");
    EXPECT_EQ(Frame("AB"), "AEIOAB000148000049OIEA");
    std::string payload;
    EXPECT_TRUE(Unframe("AEIOAB000148000049OIEA", &payload));
    EXPECT_EQ(payload, "AB");
    EXPECT_FALSE(Unframe("AEIOAC000148000049OIEA", nullptr));
    EXPECT_FALSE(Unframe(FrameWithBadSums("AB"), nullptr));
    EXPECT_FALSE(Unframe("AEIOAB000148000049OIE", nullptr));
    EXPECT_FALSE(Unframe("AEIOAB00014800004xOIEA", nullptr));  // a sum that is not six digits
    EXPECT_FALSE(Unframe("AEIO000000000000OIEA", nullptr));    // no payload
    EXPECT_THROW(Frame(""), std::invalid_argument);
    // 8200 bytes of code 255 (c = 288): P = 288 * 8201 / 2 = 1180944, D = 288 * 8199 / 2 = 1180656; the
    // frame carries their last six digits.
    const std::string big(8200, '\xff');
    EXPECT_EQ(Frame(big), "AEIO" + big + "180944" "180656" "OIEA");
    EXPECT_TRUE(Unframe(Frame(big), nullptr));
}

TEST(PeerCodec, ShiftAndRecords) {
    EXPECT_EQ(Shift("ABC"), "\x80\x81\x82");
    EXPECT_EQ(Unshift("\x80\x81\x10\x82"), "ABC");
    EXPECT_THROW(Shift("\xe0"), std::invalid_argument);
    EXPECT_EQ(DecodeLine("xxAEIOyy"), "xxAEIOyy");
    EXPECT_EQ(EncodeLine("AEIOx"), "AEIOx");

    const std::string data = "0001000000000  1234567890123";
    const std::string rec = Record(data);
    EXPECT_EQ(rec.front(), '\x02');
    EXPECT_EQ(rec.back(), '\x03');
    EXPECT_EQ(rec.size(), data.size() + 12);
    std::string back;
    EXPECT_TRUE(Unrecord(rec, &back));
    EXPECT_EQ(back, data);
    std::string bad = rec;
    bad[3] ^= 1;
    EXPECT_FALSE(Unrecord(bad, nullptr));
    EXPECT_FALSE(Unrecord(RecordWithBadSums(data), nullptr));
    // Single characters: K1 = c * c, K2 = 0.
    EXPECT_EQ(Record("A"), std::string("\x02") + "A" + "04225" + "00000" + "\x03");
    // Products are 16-bit: 181 * 181 = 32761 fits, 182 * 182 does not and no record can carry it.
    EXPECT_TRUE(Unrecord("\x02\xb5" "32761" "00000" "\x03", nullptr));
    EXPECT_FALSE(Unrecord("\x02\xb6" "33124" "00000" "\x03", nullptr));
    EXPECT_THROW(Record("\xb6"), std::invalid_argument);
    // 14 spaces (c = 32): K1 = 32 * (32 + 16 + 10 + 8 + 6 + 5 + 4 + 4 + 3 + 3 + 2 + 2 + 2 + 2) = 3168;
    // K2 counts only from the 14th character: 32 * (14 / 14) = 32.
    EXPECT_EQ(Record(std::string(14, ' ')).substr(15, 10), "03168" "00032");
}

int ConnectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

// Reads until `want` bytes came or the other side closed; `closed` tells which, `err` the errno of a failure.
std::string ReadFd(int fd, std::size_t want, bool* closed = nullptr, int* err = nullptr) {
    std::string got;
    if (closed) *closed = false;
    while (got.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) != 1) break;
        char buf[512];
        const ssize_t n = read(fd, buf, std::min(sizeof buf, want - got.size()));
        if (n <= 0) {
            if (closed) *closed = true;
            if (err) *err = n < 0 ? errno : 0;
            break;
        }
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(FakeWholesaler, PlaysOneScriptPerConnectionInTheShiftedEncoding) {
    FakeWholesaler peer({
        {Expect("PING"), Send("PONG"), ExpectFrame("DA"), Send(Frame("OK")), SendSplit(Shift("AB") + "\r\n", 1),
         CloseLine()},
        {ResetLine()},
    });
    int fd = ConnectTo(peer.Port());
    const std::string ping = Shift("PING") + "\r\n";
    write(fd, ping.data(), ping.size());
    EXPECT_EQ(ReadFd(fd, 6), Shift("PONG") + "\r\n");
    const std::string frame = "junk" + Frame("DATA") + "\r\n";
    write(fd, frame.data(), frame.size());
    EXPECT_EQ(ReadFd(fd, 24), Frame("OK") + "\r\n");
    EXPECT_EQ(ReadFd(fd, 4), Shift("AB") + "\r\n");
    bool closed = false;
    ReadFd(fd, 1, &closed);
    EXPECT_TRUE(closed);
    close(fd);

    fd = ConnectTo(peer.Port());
    int err = 0;
    ReadFd(fd, 1, &closed, &err);
    EXPECT_TRUE(closed);
    EXPECT_EQ(err, ECONNRESET);
    close(fd);
    ASSERT_TRUE(peer.WaitScripts(2));
    EXPECT_TRUE(peer.Errors().empty());
    EXPECT_EQ(peer.Lines(), (std::vector<std::string>{"PING", "junk" + Frame("DATA")}));
    EXPECT_EQ(peer.Connections(), 2);
}

TEST(FakeWholesaler, ChecksTheClientsRecords) {
    FakeWholesaler peer({{ExpectRecord("0001"), ExpectRecord("0002"), Send("SI")}});
    const int fd = ConnectTo(peer.Port());
    const std::string good = Shift(Record("0001ABC")) + "\r\n", bad = Shift(RecordWithBadSums("0002")) + "\r\n";
    write(fd, good.data(), good.size());
    write(fd, bad.data(), bad.size());
    close(fd);
    ASSERT_TRUE(peer.WaitScripts(1));
    ASSERT_EQ(peer.Errors().size(), 1u);
    EXPECT_NE(peer.Errors()[0].find("bad record"), std::string::npos);
    EXPECT_EQ(peer.Lines().size(), 2u);
}

TEST(FakeWholesaler, RecordsAnUnexpectedLineAndAHold) {
    FakeWholesaler peer({{Hold(), Expect("6UUU"), Send("never")}});
    const int fd = ConnectTo(peer.Port());
    peer.Release();
    const std::string line = Shift("6NNN") + "\r\n";
    write(fd, line.data(), line.size());
    close(fd);
    ASSERT_TRUE(peer.WaitScripts(1));
    ASSERT_EQ(peer.Errors().size(), 1u);
    EXPECT_NE(peer.Errors()[0].find("6NNN"), std::string::npos);
}

class ModemClient {
public:
    explicit ModemClient(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(fd_, 0);
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~ModemClient() { Close(); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    void Send(const std::string& s) { ASSERT_EQ(write(fd_, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
    std::string Read(std::size_t n) { return ReadFd(fd_, n); }

private:
    int fd_ = -1;
};

TEST(ModemEmulator, AnswersSetUpAndDialsAndCarriesTheDialogue) {
    ModemEmulator modem({{"BUSY", {}}, {"CONNECT 9600", {Expect("HELLO"), Send("WORLD")}}, {"NO CARRIER", {}}});
    ModemClient port(modem.DevicePath());
    port.Send("ATH0\r\n");
    EXPECT_EQ(port.Read(6), "\r\nOK\r\n");
    port.Send("ATDT0212345\r");
    EXPECT_EQ(port.Read(8), "\r\nBUSY\r\n");
    port.Send("ATDT0299999\r");
    EXPECT_EQ(port.Read(16), "\r\nCONNECT 9600\r\n");
    port.Send("HELLO\r\n");
    EXPECT_EQ(port.Read(7), "WORLD\r\n");
    EXPECT_EQ(port.Read(14), "\r\nNO CARRIER\r\n");  // end of the dialogue: the wholesaler hangs up
    port.Send("ATDT1\r");
    EXPECT_EQ(port.Read(14), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(modem.Commands(), (std::vector<std::string>{"ATH0", "ATDT0212345", "ATDT0299999", "ATDT1"}));
    EXPECT_EQ(modem.Lines(), std::vector<std::string>{"HELLO"});
    EXPECT_TRUE(modem.Errors().empty());
}

TEST(ModemEmulator, SilentCallEndsWhenTheClientTalksToTheModemAgain) {
    ModemEmulator modem({{"CONNECT 9600", {Silence()}}, {"CONNECT 2400", {Expect("X")}}}, {.echo = false, .unansweredCommands = 1});
    ModemClient port(modem.DevicePath());
    port.Send("ATZ\r");  // not answered
    ASSERT_TRUE(modem.WaitCommands(1));
    port.Send("ATDT1\r");
    EXPECT_EQ(port.Read(16), "\r\nCONNECT 9600\r\n");
    port.Send("anything\r\n");
    port.Close();  // hang up by closing the port
    ModemClient again(modem.DevicePath());
    again.Send("ATH0\r");
    EXPECT_EQ(again.Read(6), "\r\nOK\r\n");
    again.Send("ATDT2\r");
    EXPECT_EQ(again.Read(16), "\r\nCONNECT 2400\r\n");
    again.Send("X\r\n");
    EXPECT_EQ(again.Read(14), "\r\nNO CARRIER\r\n");
    EXPECT_TRUE(modem.Errors().empty());
}

}  // namespace
}  // namespace morven::peers
