// wholesaler-simulator [--port N | --modem] [--port-file FILE] [--sessions N] [--hang-up] [--news FILE]
//                      [--announce] [--message TEXT]
// A wholesaler on 127.0.0.1 for the demo that plays every exchange of the TCP line (order, availability,
// Comproject, IFCK, mail and news; see simulator.h). --port: the port to listen on (default: a free one
// below 32768); --modem: be a wholesaler behind a modem on a pseudo-terminal instead of TCP (the device the
// program opens as its serial port is printed and written to the --port-file); --port-file: where to write
// the port (or the device) once it listens; --sessions: calls to serve before it
// ends (default: no end); --hang-up: drop the line once the order or request is taken, before the answer;
// --news: the news archive (GZIP of a TAR) to send where the exchange has news (default: "NO-OFFERTA");
// --announce: say "AAAA" on every connection, as a Comproject wholesaler of that kind does; --message: the
// wholesaler's message in the answers. Prints "porta N" once it listens, then report lines per session.
#include "tools/simulator/simulator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <iterator>
#include <string>

namespace {

constexpr char kUso[] =
    "uso: wholesaler-simulator [--port N | --modem] [--port-file FILE] [--sessions N] [--hang-up] [--news FILE]\n"
    "                          [--announce] [--message TEXT]\n";

}  // namespace

int main(int argc, char** argv) {
    int porta = 0, sessioni = 0;
    bool chiudi = false, annuncia = false, modem = false;
    std::string filePorta, fileNotizie, messaggio;
    bool conMessaggio = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" && i + 1 < argc) porta = std::atoi(argv[++i]);
        else if (a == "--port-file" && i + 1 < argc) filePorta = argv[++i];
        else if (a == "--sessions" && i + 1 < argc) sessioni = std::atoi(argv[++i]);
        else if (a == "--news" && i + 1 < argc) fileNotizie = argv[++i];
        else if (a == "--message" && i + 1 < argc) messaggio = argv[++i], conMessaggio = true;
        else if (a == "--hang-up") chiudi = true;
        else if (a == "--announce") annuncia = true;
        else if (a == "--modem") modem = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(kUso, stdout);
            return 0;
        } else {
            std::fputs(kUso, stderr);
            return 2;
        }
    }
    try {
        auto crea = [&] {
            return modem ? std::make_unique<morven::simulator::Simulatore>(morven::simulator::Simulatore::SuModem{})
                         : std::make_unique<morven::simulator::Simulatore>(porta);
        };
        const auto simulatore = crea();
        morven::simulator::Simulatore& s = *simulatore;
        s.chiudiDopoOrdine = chiudi;
        s.annuncia = annuncia;
        if (conMessaggio) s.messaggio = messaggio;
        if (!fileNotizie.empty()) {
            std::ifstream in(fileNotizie, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "wholesaler-simulator: cannot read %s\n", fileNotizie.c_str());
                return 1;
            }
            s.notizie.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        if (!filePorta.empty()) {
            const std::string tmp = filePorta + ".tmp";
            if (modem)
                std::ofstream(tmp) << s.Dispositivo() << "\n";
            else
                std::ofstream(tmp) << s.Porta() << "\n";
            std::rename(tmp.c_str(), filePorta.c_str());
        }
        if (modem)
            std::printf("modem %s\n", s.Dispositivo().c_str());
        else
            std::printf("porta %d\n", s.Porta());
        std::fflush(stdout);
        for (int n = 0; sessioni == 0 || n < sessioni;) {
            const auto e = s.ServiUna(60000);
            if (e.errore == "nessuna connessione") continue;
            ++n;
            std::printf("sessione %d: %s, %zu righe d'ordine, risposta %s%s%s\n", n,
                        e.scambio.empty() ? "nessuna richiesta" : e.scambio.c_str(), e.righeOrdine.size(),
                        e.completa ? "completa" : "incompleta", e.errore.empty() ? "" : " - ", e.errore.c_str());
            if (e.tipoIfck) std::printf("sessione %d: richiesta IFCK di tipo %c, %zu byte\n", n, e.tipoIfck, e.richiestaIfck.size());
            if (e.scambio == "posta") std::printf("sessione %d: posta ricevuta, %zu byte\n", n, e.posta.size());
            if (e.notizieInviate) std::printf("sessione %d: notizie inviate, %zu byte\n", n, s.notizie.size());
            if (!e.conferma.empty()) std::printf("sessione %d: conferma %s\n", n, e.conferma.c_str());
            std::fflush(stdout);
        }
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "wholesaler-simulator: %s\n", ex.what());
        return 1;
    }
    return 0;
}
