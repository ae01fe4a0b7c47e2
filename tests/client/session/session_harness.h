// A program for whole sessions: the fakes of the engine tests (view, message boxes, program end, dial-up)
// with the real socket or serial port against the test peers, a test clock that runs fifty times faster
// than real time (30-second limits take 0.6 s), and a recorder of the steps the session went through.
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/engine/line_devices.h"
#include "client/engine/logs.h"
#include "client/engine/testing/test_program.h"
#include "client/session/line_events.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "tests/client/session/low_port_relay.h"
#include "tests/peers/peers.h"
#include "tests/platform/core/temp_dir.h"

namespace morven::testing {

struct SessionHarness {
    TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
    std::vector<int> passi;  // each step value the session showed to the pump, in order, repeats folded
    ScopedPoller registratore;
    DeviceTcpSocket* tcp = nullptr;

    SessionHarness() {
        t.clock.SetScale(50);
        registratore = ScopedPoller(t.pump, [this] { Registra(); }, [this](WaitSet& w) { AttesaRilasci(w); });
    }

    // A waiting pump wakes for the recorder when a step with a release waiting for it is showing, and when a
    // release falls due, so the peers answer when they would against a pump that spins.
    void AttesaRilasci(WaitSet& w) {
        const int s = NumeroPasso(p.sessione.nPassoSessione);
        if (s != 0 && (passi.empty() || passi.back() != s)) w.Within(0);
        for (const auto& r : rilasci) {
            if (r.fatto || r.da < 0) continue;
            if (r.dopoSvuotamento) {
                if (Svuotamenti() > r.svuotamentiAllInizio) w.Within(0);
                continue;
            }
            w.Within(t.clock.RealMsFor(std::max<std::int64_t>(r.da + r.dopoMs - t.clock.MonotonicMs(), 0)));
        }
    }

    void Registra() {
        const int s = NumeroPasso(p.sessione.nPassoSessione);
        if (s != 0 && (passi.empty() || passi.back() != s)) {
            passi.push_back(s);
            for (auto& r : rilasci)
                if (r.passo == s && r.da < 0) {
                    r.da = t.clock.MonotonicMs();
                    if (r.dopoSvuotamento) r.svuotamentiAllInizio = Svuotamenti();
                }
        }
        for (auto& r : rilasci) {
            if (r.da < 0 || r.fatto) continue;
            const bool dovuto = r.dopoSvuotamento ? Svuotamenti() > r.svuotamentiAllInizio
                                                  : t.clock.MonotonicMs() - r.da >= r.dopoMs;
            if (dovuto) {
                r.fatto = true;
                r.azione();
            }
        }
    }

    // Runs `azione` (a peer's Release) once, `dopoMs` of session time after the session first reached step
    // `passo`: a wholesaler that waits before it answers, so the modem's input drain at the start of a
    // transfer does not swallow the answer.
    void Dopo(int passo, std::int64_t dopoMs, std::function<void()> azione) {
        rilasci.push_back({passo, dopoMs, -1, false, std::move(azione)});
    }
    // Runs `azione` once the session, in step `passo`, has drained its line (the drain at the start of a
    // receive): a wholesaler that answers only then, however long the client took to get there. A release at a
    // fixed time after the step began raced the drain on a busy machine, and the drain swallowed the answer.
    void DopoSvuotamento(int passo, std::function<void()> azione) {
        Rilascio r{passo, 0, -1, false, std::move(azione)};
        r.dopoSvuotamento = true;
        rilasci.push_back(std::move(r));
    }
    struct Rilascio {
        int passo;
        std::int64_t dopoMs, da;
        bool fatto;
        std::function<void()> azione;
        bool dopoSvuotamento = false;
        std::size_t svuotamentiAllInizio = 0;
    };
    // The line drains the session has finished so far: each one ends with its "SV:" line in the session log.
    std::size_t Svuotamenti() const {
        std::string log;
        const auto& pl = p.percorsi;
        if (pl.sCartellaLogGiorno.empty() || !ReadWholeFile(JoinPath(pl.sCartellaLogGiorno, pl.sFileLogSessione), log))
            return 0;
        std::size_t n = 0;
        for (std::size_t at = log.find("SV:"); at != std::string::npos; at = log.find("SV:", at + 3))
            if (at == 0 || log[at - 1] == '\n') ++n;
        return n;
    }
    std::vector<Rilascio> rilasci;
    // The steps, with the final one.
    std::vector<int> Passi() {
        Registra();
        return passi;
    }

    // The real socket, with the main window's socket events as the session needs them.
    void UsaTcp() {
        tcp = &p.Possiedi(std::make_unique<DeviceTcpSocket>(t.pump));
        p.oggetti.oWinsock = tcp;
        auto& ev = tcp->events;
        ev.Connect = [this] { p.sessione.sStatoLinea = "CONNECT"; };
        ev.Close = [this] {
            auto& st = p.sessione;
            Write_Status(p, "Connessione Chiusa", "", 100, 0, "", "");
            st.sStatoLinea = "NO CARRIER";
            st.bConnessioneChiusa = true;
            st.bRicezioneInCorso = false;
            st.bInvioInCorso = false;
        };
        ev.Error = [this](int number, const std::string&) {
            p.sessione.sStatoLinea = "NO CARRIER";
            if (number == 10053 || number == 10054) ChiudiTenendoRicevuti(*tcp);
        };
        ev.SendComplete = [this] { p.sessione.bInvioInCorso = false; };
    }

    // The real serial port on the modem emulator's pseudo-terminal, as COM1.
    void UsaModem(const std::string& device) {
        Scrivi("serialports.txt", "COM1=" + device + "\n");
        auto& port = p.Possiedi(std::make_unique<DeviceSerialPort>(t.pump, dir.path()));
        p.oggetti.oMSComm = &port;
    }

    void Scrivi(const std::string& rel, const std::string& contents) const {
        std::filesystem::create_directories(std::filesystem::path(dir / rel).parent_path());
        ReplaceFileAtomically(dir / rel, contents);
    }
    std::string Leggi(const std::string& rel) const {
        std::string s;
        ReadWholeFile(dir / rel, s);
        return s;
    }
    bool Esiste(const std::string& rel) const { return std::filesystem::exists(dir / rel); }

    static std::string Righe(const std::vector<std::string>& lines) {
        std::string s;
        for (const auto& l : lines) s += l + "\r\n";
        return s;
    }
    void Impostazioni(const std::vector<std::string>& lines, const std::string& slot = "01") const {
        Scrivi("MvnConn" + slot + ".par", Righe(lines));
    }
    void Ordine(const std::vector<std::string>& lines) const { Scrivi("ordseq.txt", Righe(lines)); }

    // The session log of the call (the only file in today's log folder).
    std::string LogSessione() const {
        for (const auto& e : ListFolder(dir / "log/20261210"))
            if (e.kind == EntryKind::File) return Leggi("log/20261210/" + e.name);
        return {};
    }
    std::string LogFunzioni() const { return Leggi("MorvenClient.log"); }
    // The function log without the run's outcome line ("Esito :...", which every run ends with): the lines
    // that say something went wrong.
    std::string LogErrori() const {
        std::string r;
        for (const std::string& riga : SplitLines(LogFunzioni()))
            if (riga.find(" - Esito :") == std::string::npos) r += riga + "\r\n";
        return r;
    }
};

// Settings lines "Key       :value".
inline std::string Riga(const std::string& key, const std::string& value) { return PadRight(key, 10) + ":" + value; }

}  // namespace morven::testing
