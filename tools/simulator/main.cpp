// wholesaler-simulator [--port N] [--port-file FILE] [--sessions N] [--hang-up]: a wholesaler on 127.0.0.1 for
// the demo. --port: the port to listen on (default: a free one below 32768); --port-file: where to write that
// port once it listens; --sessions: calls to serve before it ends (default: no end); --hang-up: drop the line
// once the order is taken, before the answer. Prints "porta N" once it listens, then one report line per
// session.
#include "tools/simulator/simulator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    int porta = 0, sessioni = 0;
    bool chiudi = false;
    std::string filePorta;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" && i + 1 < argc) porta = std::atoi(argv[++i]);
        else if (a == "--port-file" && i + 1 < argc) filePorta = argv[++i];
        else if (a == "--sessions" && i + 1 < argc) sessioni = std::atoi(argv[++i]);
        else if (a == "--hang-up") chiudi = true;
        else {
            std::fprintf(stderr, "uso: %s [--port N] [--port-file FILE] [--sessions N] [--hang-up]\n", argv[0]);
            return 2;
        }
    }
    try {
        morven::simulator::Simulatore s(porta);
        s.chiudiDopoOrdine = chiudi;
        if (!filePorta.empty()) {
            const std::string tmp = filePorta + ".tmp";
            std::ofstream(tmp) << s.Porta() << "\n";
            std::rename(tmp.c_str(), filePorta.c_str());
        }
        std::printf("porta %d\n", s.Porta());
        std::fflush(stdout);
        for (int n = 0; sessioni == 0 || n < sessioni;) {
            const auto e = s.ServiUna(60000);
            if (e.errore == "nessuna connessione") continue;
            ++n;
            std::printf("sessione %d: %zu righe d'ordine, risposta %s%s%s\n", n, e.righeOrdine.size(),
                        e.completa ? "completa" : "incompleta", e.errore.empty() ? "" : " - ", e.errore.c_str());
            if (!e.conferma.empty()) std::printf("sessione %d: conferma %s\n", n, e.conferma.c_str());
            std::fflush(stdout);
        }
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "wholesaler-simulator: %s\n", ex.what());
        return 1;
    }
    return 0;
}
