// News archives as wholesalers pack them, and hostile ones, received in whole sessions over TCP and the modem
// emulator: members in folders and in the "./name" form, damaged, cut and plain-TAR archives, an archive
// whose data hold the frame's end mark sent by a wholesaler that does not cut its blocks, the bound on the
// unpacked news; each leaves its files in news/, its status in winstat.dat, its lines in the session log and
// abort.dat as they say. Also: an upgrade and a settings update from the news (nothing runs, every change is
// logged), a failed news receive after the order's answer, and the end of a stream whose line end still
// arrives one byte a segment.
#ifdef SBGTACTX_MODULE
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>

#include "client/engine/frames.h"
#include "client/engine/settings.h"
#include "client/engine/ugtactx_control.h"
#include "client/session/call_driver.h"
#include "client/session/loop.h"
#include "tests/client/engine/news_archive.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"
#include "tests/platform/com/temp_registry.h"

namespace morven {
namespace {

namespace fs = std::filesystem;
namespace peers = morven::peers;
using namespace morven::testing;

// Bytes that do not compress (a fixed run of the Mersenne twister), so gzip stores them as they are.
std::string Casuali(std::size_t n, unsigned seme) {
    std::mt19937 g(seme);
    std::string s;
    while (s.size() < n) s.push_back(static_cast<char>(g() & 0xff));
    return s;
}

// The mail request without mail, then the news as frames of `blocco` bytes, each frame whole on the line.
peers::Script PostaENotizie(const std::string& archivio, std::size_t blocco, bool attesa) {
    peers::Script s;
    s.push_back(peers::ExpectBlock(TestataPosta(0, false, kTag)));
    s.push_back(peers::Send("SI 0"));
    if (attesa) s.push_back(peers::Hold());  // the modem drains its input at the start of the receive
    const long n = static_cast<long>((archivio.size() + blocco - 1) / blocco);
    s.push_back(peers::Send(peers::Frame(TestataPosta(n, true, kTag))));
    s.push_back(peers::Expect("SI 0"));
    for (long i = 1; i <= n; ++i) {
        s.push_back(peers::Send(peers::Frame(PadLeft(i, 4, "0") + archivio.substr((i - 1) * blocco, blocco))));
        s.push_back(peers::Expect("SI " + std::to_string(i)));
    }
    s.push_back(peers::Send(peers::Frame("9999")));
    s.push_back(peers::Expect("SI 9999"));
    s.push_back(peers::Expect("SI9999"));
    return s;
}

struct Sessione : SessionHarness {
    TempRegistry reg;
    Sessione() {
        EXPECT_TRUE(CollegaUgtactx(p, {SBGTACTX_MODULE}));
        p.opzioni.bBlkRun = true;  // the management software's run: the program ends with the call
    }
    void Posta(bool modem, int porta, const std::string& device) {
        std::vector<std::string> righe{Riga("Connect", "Grossista Posta"), Riga("Code", kCodice),
                                       Riga("Interface", "POSTA"), Riga("ModeIFCK", "NO"), Riga("DispOrdine", "NO")};
        if (modem) {
            UsaModem(device);
            for (const auto& r : {Riga("Mode", "NORMALE"), Riga("Phone 1", "0212345"), Riga("CommPort", "1")})
                righe.push_back(r);
        } else {
            UsaTcp();
            for (const auto& r : {Riga("Mode", "INTERNET"), Riga("Ip1", "127.0.0.1"),
                                  Riga("Porta", std::to_string(porta)), Riga("AutoIncPor", "NO")})
                righe.push_back(r);
        }
        Impostazioni(righe);
    }
    std::vector<std::string> News() const {
        std::vector<std::string> nomi;
        for (const auto& e : ListFolder(dir / "news")) nomi.push_back(e.name);
        std::sort(nomi.begin(), nomi.end());
        return nomi;
    }
    std::string PrimaRigaStato() const {
        const std::string s = Leggi("winstat.dat");
        return Trim(s.substr(0, s.find("\r\n")));
    }
    std::string Diagnosi(const std::vector<std::string>& errori) {
        return ::testing::PrintToString(Passi()) + ::testing::PrintToString(errori) + LogSessione() + LogFunzioni();
    }
};

// The server's folder with the wholesaler's files: a price list in a folder, the news list, a stored run
// whose data hold "OIEA".
struct Server {
    TempDir tmp;
    fs::path dir = fs::path(tmp.path());
    fs::path src = dir / "src";
    Server() {
        Scrivi("eaggdati", "Nuovo listino\r\n");
        Scrivi("listini/dicembre/listino", "LISTINO");
        Scrivi("casuale", Casuali(40000, 11) + "OIEA" + Casuali(40000, 12));
        Scrivi("zeri", std::string(100000, '0'));
        Scrivi("../fuori.txt", "escape");
    }
    void Scrivi(const std::string& rel, const std::string& dati) const { WriteBytes(src / rel, dati); }
    std::string Gz(const std::vector<std::string>& membri, const std::vector<std::string>& opzioni = {}) const {
        const fs::path gz = dir / "n.gz";
        return TarGz(src, membri, gz, opzioni) ? ReadBytes(gz) : std::string();
    }
    std::string Tar(const std::vector<std::string>& membri) const {
        std::vector<std::string> argv{"tar", "-C", src.string(), "-cf", (dir / "n.tar").string()};
        argv.insert(argv.end(), membri.begin(), membri.end());
        return Wait(Spawn(argv, -1, -1, {})) == 0 ? ReadBytes(dir / "n.tar") : std::string();
    }
};

struct Forma {
    const char* nome;
    std::string archivio;
    std::vector<std::string> news;  // what news/ holds at the end
    std::string stato;              // the first line of winstat.dat
    std::string log;                // a line the session log holds
    std::uint64_t limite = 256ull << 20;
};

std::vector<Forma> Forme(const Server& s) {
    const std::string normale = s.Gz({"eaggdati", "listini"});
    std::string danneggiato = normale;
    for (std::size_t i = 20; i + 8 < danneggiato.size(); i += 5) danneggiato[i] = static_cast<char>(~danneggiato[i]);
    const std::vector<std::string> soloGz{"notizie.gz"};
    const std::string nonEspandibili = "Notizie Ricevute Ma Non Espandibili";
    return {
        {"./ names", s.Gz({"--exclude=./casuale", "--exclude=./zeri", "."}), {"OLTR-listino", "eaggdati", "notizie"},
         "Ricezione Posta Ok", "<<< Ricezione Posta"},
        {"folders and a name that climbs out", s.Gz({"-P", "eaggdati", "listini", "../fuori.txt"}),
         {"OLTR-listino", "eaggdati", "notizie"}, "Ricezione Posta Ok",
         "Notizie: membro ../fuori.txt non estratto: il nome esce dalla cartella delle notizie"},
        {"damaged", danneggiato, soloGz, nonEspandibili, "Notizie ricevute ma non espandibili: Impossibile Espandere"},
        {"cut short", normale.substr(0, normale.size() / 2), soloGz, nonEspandibili,
         "Notizie ricevute ma non espandibili: Impossibile Espandere"},
        {"a TAR without GZIP", s.Tar({"eaggdati"}), soloGz, nonEspandibili, "non e' un archivio GZIP"},
        {"\"OIEA\" in the data", s.Gz({"casuale", "eaggdati"}), {"casuale", "eaggdati", "notizie"},
         "Ricezione Posta Ok", "<<< Ricezione Posta"},
        {"beyond the bound", s.Gz({"zeri", "eaggdati"}), soloGz, nonEspandibili, "oltre il limite di 4096 byte", 4096},
    };
}

void RiceviForma(const Forma& f, bool modem) {
    SCOPED_TRACE(std::string(f.nome) + (modem ? " (modem)" : " (TCP)"));
    ASSERT_FALSE(f.archivio.empty());
    if (std::string(f.nome).find("OIEA") != std::string::npos) {
        bool dentro = false;  // the mark lies inside one block's data, so the reader cuts that block there
        for (std::size_t i = 0; i < f.archivio.size(); i += 1000)
            dentro = dentro || f.archivio.substr(i, 1000).find("OIEA") != std::string::npos;
        ASSERT_TRUE(dentro);
    }
    const peers::Script script = PostaENotizie(f.archivio, 1000, modem);
    std::unique_ptr<peers::FakeWholesaler> w;
    std::unique_ptr<LowPortRelay> relay;
    std::unique_ptr<peers::ModemEmulator> emulatore;
    Sessione h;
    if (modem) {
        emulatore = std::make_unique<peers::ModemEmulator>(std::vector<peers::ModemCall>{{"CONNECT 31200", script}});
        h.Posta(true, 0, emulatore->DevicePath());
        h.Dopo(33, 9000, [&] { emulatore->Release(); });
    } else {
        w = std::make_unique<peers::FakeWholesaler>(std::vector<peers::Script>{script});
        relay = std::make_unique<LowPortRelay>(w->Port());
        h.Posta(false, relay->Port(), "");
    }
    h.p.percorsi.nLimiteNotizieEspanse = f.limite;

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    const auto errori = modem ? emulatore->Errors() : w->Errors();
    EXPECT_TRUE(modem ? emulatore->WaitCalls(1) : w->WaitScripts(1)) << h.Diagnosi(errori);
    EXPECT_TRUE(errori.empty()) << h.Diagnosi(errori);
    EXPECT_EQ(h.Passi().back(), 999) << h.Diagnosi(errori);
    EXPECT_TRUE(h.p.sessione.bNotizieRicevute);
    EXPECT_EQ(h.News(), f.news);
    EXPECT_EQ(h.PrimaRigaStato(), f.stato);
    EXPECT_NE(h.LogSessione().find(f.log), std::string::npos) << h.LogSessione();
    EXPECT_FALSE(h.Esiste("abort.dat"));  // the news arrived: the call did not break off before an answer
    if (f.news != std::vector<std::string>{"notizie.gz"}) {
        EXPECT_EQ(h.Leggi("news/eaggdati"), "Nuovo listino\r\n");
        EXPECT_EQ(h.LogSessione().find("non espandibili"), std::string::npos);
    }
}

TEST(NewsFormsSessionTest, ArchivesAsWholesalersPackThemOverTcp) {
    Server s;
    for (const Forma& f : Forme(s)) RiceviForma(f, false);
}

TEST(NewsFormsSessionTest, ArchivesAsWholesalersPackThemOverTheModem) {
    Server s;
    for (const Forma& f : Forme(s)) RiceviForma(f, true);
}

// The news bring an upgrade batch and a settings update: nothing is run, and every key the update changes
// is logged with its old and new value in both logs.
TEST(NewsFormsSessionTest, AnUpgradeRunsNothingAndTheSettingsUpdateLogsEveryChange) {
    Server s;
    s.Scrivi("morvenupgrade.bat", "#!/bin/sh\ntouch \"$1/ESEGUITO\"\n");
    s.Scrivi("morvenprofupg.dat", Sessione::Righe({"T" + PadRight(kCodice, 9) + PadRight("", 9),
                                                    "C" + std::string(9, ' ') + PadRight("CLI777", 9) + "Grossista Nuovo",
                                                    "I" + PadRight("127.0.0.2", 80), "Z"}));
    const std::string archivio = s.Gz({"eaggdati", "morvenupgrade.bat", "morvenprofupg.dat"});
    peers::FakeWholesaler w({PostaENotizie(archivio, 1000, false)});
    LowPortRelay relay(w.Port());
    Sessione h;
    h.Posta(false, relay.Port(), "");

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(w.WaitScripts(1)) << h.Diagnosi(w.Errors());
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_FALSE(h.Esiste("ESEGUITO"));
    EXPECT_FALSE(h.Esiste("news/morvenupgrade.bat.run"));
    EXPECT_TRUE(h.Esiste("news/morvenupgrade.bat"));  // left for a person to look at
    EXPECT_FALSE(h.Esiste("news/morvenprofupg.dat"));
    const std::string settings = h.Leggi("MvnConn01.par");
    EXPECT_NE(settings.find(Riga("Connect", "Grossista Nuovo") + "\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find(Riga("Code", "CLI777") + "\r\n"), std::string::npos) << settings;
    for (const std::string& riga :
         {std::string("non eseguito, il programma non esegue file ricevuti dalla linea"),
          std::string("Aggiornamento impostazioni MvnConn01.par: Connect da 'Grossista Posta' a 'Grossista Nuovo'"),
          "Aggiornamento impostazioni MvnConn01.par: Code da '" + kCodice + "' a 'CLI777'",
          std::string("Aggiornamento impostazioni MvnConn01.par: Ip1 da '127.0.0.1' a '127.0.0.2")}) {
        EXPECT_NE(h.LogFunzioni().find(riga), std::string::npos) << riga << "\n" << h.LogFunzioni();
        EXPECT_NE(h.LogSessione().find(riga), std::string::npos) << riga << "\n" << h.LogSessione();
    }
    EXPECT_EQ(h.LogFunzioni().find("Porta da"), std::string::npos);  // only what changed
}

// The order's answer arrived and then the news fail (the wholesaler drops the line after the header): the
// status says the news failed, not the last progress or the modem's set-up.
TEST(NewsFormsSessionTest, AFailedNewsReceiveAfterTheAnswerSaysSo) {
    for (const bool modem : {false, true}) {
        SCOPED_TRACE(modem ? "modem" : "TCP");
        peers::Script s;
        for (std::size_t i = 0; i < RecordAttesi("", 2).size(); ++i) {
            s.push_back(peers::ExpectRecord());
            s.push_back(peers::Send("SI"));
        }
        if (modem) s.push_back(peers::Hold());
        Risposta(s, Testata(2));
        Risposta(s, "0001" + PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3");
        Risposta(s, "9999" + kCodice);
        if (modem) s.push_back(peers::Hold());
        s.push_back(peers::Send(peers::Frame(TestataPosta(3, true, kTag))));
        s.push_back(peers::Expect("SI 0"));
        s.push_back(peers::Silence());
        std::unique_ptr<peers::FakeWholesaler> w;
        std::unique_ptr<LowPortRelay> relay;
        std::unique_ptr<peers::ModemEmulator> emulatore;
        Sessione h;
        std::vector<std::string> righe{Riga("Connect", "Grossista Notizie"), Riga("Code", kCodice),
                                       Riga("Interface", "NOTIZIE"), Riga("ModeIFCK", "NO"), Riga("DispOrdine", "NO")};
        if (modem) {
            emulatore = std::make_unique<peers::ModemEmulator>(std::vector<peers::ModemCall>{{"CONNECT 31200", s}});
            h.UsaModem(emulatore->DevicePath());
            h.Dopo(20, 3000, [&] { emulatore->Release(); });
            h.Dopo(33, 3000, [&] { emulatore->Release(); });
            for (const auto& r : {Riga("Mode", "NORMALE"), Riga("Phone 1", "0212345"), Riga("CommPort", "1")})
                righe.push_back(r);
        } else {
            w = std::make_unique<peers::FakeWholesaler>(std::vector<peers::Script>{s});
            relay = std::make_unique<LowPortRelay>(w->Port());
            h.UsaTcp();
            for (const auto& r : {Riga("Mode", "INTERNET"), Riga("Ip1", "127.0.0.1"),
                                  Riga("Porta", std::to_string(relay->Port())), Riga("AutoIncPor", "NO")})
                righe.push_back(r);
        }
        h.Impostazioni(righe);
        h.Ordine(FileOrdine(2));

        EXPECT_TRUE(SceltaChiamata(h.p, "01"));
        EXPECT_EQ(h.t.end.calls, 1);
        EXPECT_FALSE(h.p.sessione.bNotizieRicevute);
        EXPECT_EQ(h.PrimaRigaStato(), "Ricezione Notizie ERRATA !") << h.Diagnosi({});
        EXPECT_NE(h.LogSessione().find("Ricezione notizie non riuscita"), std::string::npos) << h.LogSessione();
        EXPECT_FALSE(h.Esiste("abort.dat"));  // the order's answer arrived
        EXPECT_TRUE(h.Esiste("ordseq.rst"));
        ASSERT_FALSE(h.t.msgbox.calls.empty());
        EXPECT_EQ(h.t.msgbox.calls.back().prompt, "Trasmissione Ordine Corretta , Ricezione Notizie ERRATA !");
    }
}

// A wholesaler of its own for the end of the news stream: it sends the archive and "FINETX", reads "FINEOK",
// then sends its line end and watches how the client's end of the line closes. A client that closes while
// bytes still arrive answers them with a reset, which can cost the wholesaler the "FINEOK" it had not read.
class FineFlusso {
public:
    explicit FineFlusso(std::string archivio) : archivio_(std::move(archivio)) {
        // A port the settings take (below 32768), as the relay of the other sessions finds one.
        std::mt19937 g(std::random_device{}());
        for (int tentativo = 0; tentativo < 200 && porta_ == 0; ++tentativo) {
            ascolto_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const int porta = 20000 + static_cast<int>(g() % 12000);
            a.sin_port = htons(static_cast<std::uint16_t>(porta));
            if (::bind(ascolto_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(ascolto_, 1) == 0) {
                porta_ = porta;
            } else {
                ::close(ascolto_);
                ascolto_ = -1;
            }
        }
        if (porta_ == 0) throw std::runtime_error("cannot listen on 127.0.0.1");
        filo_ = std::thread([this] { Esegui(); });
    }
    ~FineFlusso() {
        filo_.join();
        ::close(ascolto_);
    }
    int Porta() const { return porta_; }
    // After the session: "ordinata" when the client closed in order after reading everything, "reset"
    // when it reset the line, otherwise what went wrong.
    std::string Esito() {
        filo_.join();
        filo_ = std::thread([] {});
        return esito_;
    }

private:
    bool LeggiFino(int fd, const std::string& segno) {
        char buf[4096];
        while (letti_.find(segno) == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0) return false;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return false;
            letti_.append(buf, static_cast<std::size_t>(n));
        }
        letti_.erase(0, letti_.find(segno) + segno.size());
        return true;
    }
    void Esegui() {
        pollfd p{ascolto_, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return void(esito_ = "nessuna chiamata");
        const int fd = ::accept(ascolto_, nullptr, nullptr);
        const int uno = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
        auto invia = [&](const std::string& s) { return ::send(fd, s.data(), s.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(s.size()); };
        // The lines in the TCP line encoding, the stream as it is.
        if (!LeggiFino(fd, "OIEA") || !invia(peers::EncodeLine("SI") + "\r\n") ||
            !invia(peers::EncodeLine(peers::Frame(TestataPosta(1, true, kTagTcp))) + "\r\n") ||
            !LeggiFino(fd, peers::EncodeLine("SI0000")) ||
            !invia(archivio_ + "FINETX") || !LeggiFino(fd, "FINEOK")) {
            esito_ = "protocollo";
        } else {
            invia("\r");
            invia("\n");
            char buf[256];
            ssize_t n;
            do {
                pollfd q{fd, POLLIN, 0};
                if (::poll(&q, 1, 10000) <= 0) break;
                n = ::recv(fd, buf, sizeof buf, 0);
            } while (n > 0);
            int errore = 0;
            socklen_t l = sizeof errore;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &errore, &l);
            esito_ = n == 0 && errore == 0 ? "ordinata" : n < 0 && errno == ECONNRESET ? "reset" : "altro";
        }
        ::close(fd);
    }

    std::string archivio_, letti_, esito_ = "?";
    int ascolto_ = -1, porta_ = 0;
    std::thread filo_;
};

TEST(NewsFormsSessionTest, TheStreamEndIsReadBeforeTheSocketCloses) {
    Server srv;
    FineFlusso w(srv.Gz({"eaggdati"}));
    Sessione h;
    h.UsaTcp();
    h.Impostazioni({Riga("Connect", "Grossista Posta"), Riga("Code", kCodice), Riga("Mode", "INTERNET"),
                    Riga("Ip1", "127.0.0.1"), Riga("Porta", std::to_string(w.Porta())), Riga("AutoIncPor", "NO"),
                    Riga("Interface", "POSTA"), Riga("ModeIFCK", "NO"), Riga("TcpDir", "YES"),
                    Riga("DispOrdine", "NO")});
    h.p.percorsi.sFileImpostazioni = h.dir / "MvnConn01.par";
    h.p.percorsi.sFileLogSessione = "MvnConn01-diretta.log";
    ASSERT_TRUE(LeggiImpostazioni(h.p, h.p.percorsi.sFileImpostazioni));

    EXPECT_TRUE(LoopTrasmissione(h.p));
    EXPECT_EQ(w.Esito(), "ordinata") << h.Diagnosi({});
    EXPECT_EQ(h.Leggi("news/eaggdati"), "Nuovo listino\r\n");
    EXPECT_EQ(h.PrimaRigaStato(), "Ricezione Posta Ok");
}

}  // namespace
}  // namespace morven
#endif
