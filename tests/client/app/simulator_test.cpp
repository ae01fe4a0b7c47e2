// The wholesaler simulator, driven by a client side written with the test peers' codec: the order records
// are answered "SI", the answer follows with its header count, one entry per ordered line, the message and
// the end record, and a record refused with "NO" comes again.
#include "tools/simulator/simulator.h"

#include "tests/peers/codec.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

namespace morven {
namespace {

class Client {
public:
    explicit Client(int porta) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(porta));
        ok_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { ::close(fd_); }
    bool Ok() const { return ok_; }
    void Scrivi(const std::string& riga) {
        const std::string w = peers::EncodeLine(riga) + "\r\n";
        ASSERT_EQ(::send(fd_, w.data(), w.size(), MSG_NOSIGNAL), ssize_t(w.size()));
    }
    void ScriviGrezzo(const std::string& dati) {
        ASSERT_EQ(::send(fd_, dati.data(), dati.size(), MSG_NOSIGNAL), ssize_t(dati.size()));
    }
    // The raw bytes before `segno` (the mark taken off); empty when it does not come.
    std::string LeggiFinoA(const std::string& segno) {
        for (int i = 0; i < 1000; ++i) {
            const auto at = buf_.find(segno);
            if (at != std::string::npos) {
                std::string r = buf_.substr(0, at);
                buf_.erase(0, at + segno.size());
                return r;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            char b[4096];
            const ssize_t n = ::recv(fd_, b, sizeof b, 0);
            if (n <= 0) return {};
            buf_.append(b, std::size_t(n));
        }
        return {};
    }
    std::string Leggi() {
        for (int i = 0; i < 1000; ++i) {
            const auto lf = buf_.find("\r\n");
            if (lf != std::string::npos) {
                std::string r = peers::DecodeLine(buf_.substr(0, lf));
                buf_.erase(0, lf + 2);
                return r;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            char b[4096];
            const ssize_t n = ::recv(fd_, b, sizeof b, 0);
            if (n <= 0) return {};
            buf_.append(b, std::size_t(n));
        }
        return {};
    }

private:
    int fd_ = -1;
    bool ok_ = false;
    std::string buf_;
};

TEST(WholesalerSimulator, AnswersAnOrderWithAPlausibleShortageList) {
    simulator::Simulatore s;
    simulator::EsitoSessione esito;
    std::thread server([&] { esito = s.ServiUna(10000); });
    {
        Client c(s.Porta());
        ASSERT_TRUE(c.Ok());
        const std::vector<std::string> righe = {"0127451680002", "0047631140010", "0234510940001", "0266080450003"};
        std::string dati = "0001";
        for (const auto& r : righe) dati += r;
        c.Scrivi(peers::RecordWithBadSums("0000CLIENTE"));
        EXPECT_EQ(c.Leggi(), "NO");
        for (const std::string& d : {std::string("0000CLIENTE00000000"), dati, std::string("9999CLIENTE")}) {
            c.Scrivi(peers::Record(d));
            EXPECT_EQ(c.Leggi(), "SI");
        }
        std::vector<std::string> risposta;
        bool rifiutato = false;
        for (;;) {
            const std::string r = c.Leggi();
            std::string d;
            ASSERT_TRUE(peers::Unrecord(r, &d)) << r;
            if (!rifiutato && d.compare(0, 4, "0001") == 0) {
                rifiutato = true;  // the first entry once refused: it must come again
                c.Scrivi("NO");
                continue;
            }
            c.Scrivi("SI");
            risposta.push_back(d);
            if (d.compare(0, 4, "9999") == 0) break;
        }
        ASSERT_EQ(risposta.size(), righe.size() + 4);  // header, entries, two message records, end
        // The header counts the numbered records (entries and message lines), as the client checks it against
        // the number of the last one.
        EXPECT_EQ(risposta[0].substr(21, 4), "0006");
        EXPECT_EQ(risposta[risposta.size() - 2].substr(0, 4), "0006");
        for (std::size_t i = 0; i < righe.size(); ++i) {
            const std::string& v = risposta[i + 1];
            ASSERT_EQ(v.size(), 4u + 62u);
            EXPECT_EQ(v.substr(4, 13), righe[i]);
        }
        EXPECT_EQ(risposta[1].substr(17, 23), "TACHIPIRINA 500MG 20CPR");
        EXPECT_NE(risposta[5].find("INIZIO MESSAGGIO DA G"), std::string::npos);
        c.Scrivi("6UUU");
    }
    server.join();
    EXPECT_TRUE(esito.completa) << esito.errore;
    EXPECT_EQ(esito.righeOrdine.size(), 4u);
    EXPECT_EQ(esito.conferma, "6UUU");
}

TEST(WholesalerSimulator, HangingUpDropsTheLineAfterTheOrder) {
    simulator::Simulatore s;
    s.chiudiDopoOrdine = true;
    simulator::EsitoSessione esito;
    std::thread server([&] { esito = s.ServiUna(10000); });
    {
        Client c(s.Porta());
        ASSERT_TRUE(c.Ok());
        for (const std::string& d : {std::string("0000CLIENTE00000000"), std::string("00010127451680002"),
                                     std::string("9999CLIENTE")}) {
            c.Scrivi(peers::Record(d));
            EXPECT_EQ(c.Leggi(), "SI");
        }
        EXPECT_EQ(c.Leggi(), "");  // the line is closed: no answer comes
    }
    server.join();
    EXPECT_FALSE(esito.completa);
    EXPECT_EQ(esito.righeOrdine.size(), 1u);
    EXPECT_EQ(esito.errore, "linea chiusa dopo l'ordine");
}

// The Comproject order form, which the program sends only over the modem: "2" and the client code, "3"
// records of entries (code 9, quantity 3) with their count and quantity total, the "5" end with the
// message; each taken with "ACK". Then the line with the client code, which the client acknowledges, the
// shortages in "9" records of 41-character entries and the "5" end record, each wanting "ACK" ("NAK" makes it
// come again).
TEST(WholesalerSimulator, PlaysTheComprojectOrderForm) {
    simulator::Simulatore s;
    simulator::EsitoSessione esito;
    std::thread server([&] { esito = s.ServiUna(10000); });
    {
        Client c(s.Porta());
        ASSERT_TRUE(c.Ok());
        for (const std::string& r : {std::string("2CLIENTE01"), std::string("302012745168002004763114010") + "0012",
                                     std::string("5000")}) {
            c.Scrivi(r);
            EXPECT_EQ(c.Leggi(), "ACK") << r;
        }
        EXPECT_EQ(c.Leggi(), "1CLIENTE01");
        c.Scrivi("ACK");
        std::string voci = c.Leggi();
        ASSERT_EQ(voci.size(), 3u + 2 * 41) << voci;
        EXPECT_EQ(voci.substr(0, 3), "902");
        c.Scrivi("NAK");
        EXPECT_EQ(c.Leggi(), voci);  // refused: the same record again
        c.Scrivi("ACK");
        EXPECT_EQ(voci.substr(3, 12), "012745168002");
        EXPECT_EQ(voci.substr(16, 23), "TACHIPIRINA 500MG 20CPR");
        EXPECT_EQ(voci.substr(44, 12), "004763114010");
        const std::string fine = c.Leggi();
        EXPECT_EQ(fine, "5" + std::string("034") + s.messaggio);
        c.Scrivi("ACK");
    }
    server.join();
    EXPECT_EQ(esito.scambio, "comproject");
    EXPECT_TRUE(esito.completa) << esito.errore;
    EXPECT_EQ(esito.righeOrdine, (std::vector<std::string>{"0127451680002", "0047631140010"}));
}

// The mail exchange in its direct TCP form (the TCPIP tag): the framed header taken with "SI", the archive as
// a raw stream in blocks of 8192 up to "FINETX", answered "FINEOK"; then the news the same way back: a framed
// header the client takes with "SI0000", the archive raw, "FINETX", and the client's "FINEOK".
TEST(WholesalerSimulator, PlaysTheMailExchangeAsARawStream) {
    simulator::Simulatore s;
    s.notizie = std::string("\x1f\x8b\x08\0notizie\r\nAEIO", 15) + std::string(10000, 'n');
    simulator::EsitoSessione esito;
    std::thread server([&] { esito = s.ServiUna(10000); });
    const std::string archivio = std::string("\x1f\x8b\x08\0posta\nOIEA", 14) + std::string(3000, 'p');
    {
        Client c(s.Porta());
        ASSERT_TRUE(c.Ok());
        c.Scrivi(peers::Frame("00000001OFFERTA   CLIENTE01 TCPIPxxxxxxxxxx"));
        EXPECT_EQ(c.Leggi(), "SI");
        c.ScriviGrezzo(archivio + std::string(8192 - archivio.size(), '\0') + "FINETX");
        EXPECT_EQ(c.Leggi(), "FINEOK");
        std::string testata;
        ASSERT_TRUE(peers::Unframe(c.Leggi(), &testata));
        EXPECT_EQ(testata, "00000001OFFERTA   CLIENTE01 TCPIPxxxxxxxxxx");
        c.Scrivi("SI0000");
        EXPECT_EQ(c.LeggiFinoA("FINETX"), s.notizie);
        c.ScriviGrezzo("FINEOK");
    }
    server.join();
    EXPECT_EQ(esito.scambio, "posta");
    EXPECT_TRUE(esito.completa) << esito.errore;
    EXPECT_TRUE(esito.notizieInviate);
    EXPECT_EQ(esito.posta.substr(0, archivio.size()), archivio);
}

TEST(WholesalerSimulator, AnswerEntriesMixDeliveredAndShortLines) {
    int consegnate = 0, mancanti = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string v = simulator::VoceRisposta("9999999990005", i);
        ASSERT_EQ(v.size(), 62u);
        (v[41] == '@' ? consegnate : mancanti)++;
    }
    EXPECT_GT(consegnate, 0);
    EXPECT_GT(mancanti, 0);
}

}  // namespace
}  // namespace morven
