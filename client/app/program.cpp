#include "client/app/program.h"

#include "client/engine/connection.h"
#include "client/engine/ftp_device.h"
#include "client/engine/message_box.h"
#include "client/engine/ugtactx_control.h"

#include "client/engine/helpers.h"
#include "client/engine/line_devices.h"
#include "client/engine/line_io.h"
#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/session/call_driver.h"
#include "client/session/line_events.h"
#include "client/session/loop.h"
#include "client/session/startup.h"
#include "client/engine/settings.h"
#include "client/windows/frm_dettaglio_offerta.h"
#include "client/windows/frm_richieste.h"
#include "platform/core/clock.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <QCoreApplication>
#include <QPixmap>

namespace morven {

std::string TestoArgomenti(int argc, char** argv) {
    std::string r;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) r += ' ';
        r += argv[i];
    }
    return r;
}

namespace {

bool Vuota(const char* nome) {
    const char* v = std::getenv(nome);
    return !v || !*v;
}

bool SchermoDisponibile() { return !Vuota("DISPLAY") || !Vuota("WAYLAND_DISPLAY") || !Vuota("QT_QPA_PLATFORM"); }

// The switch that makes a batch run; the switches are matched with their case.
constexpr std::string_view kSwitchBatch = "/BLKRUN:";

// The end of a program that never shows its window: the outcome line and the end marker as every end
// writes them, through the one program-end procedure, with the exit status it asked for.
class FineRegistrata : public ProgramEnd {
public:
    void EndProgram(int exitCode) override { codice = exitCode; }
    int codice = 0;
};

}  // namespace

std::string RigaAvvioProgramma(const std::string& cartellaApp, const std::string& argomenti) {
    // The options file's first line counts as part of the command line.
    std::string riga;
    if (std::string testo; ReadWholeFile(ResolveNoCase(cartellaApp, "MorvenClient.opz"), testo))
        riga = testo.substr(0, testo.find_first_of("\r\n"));
    return RigaComandoAvvio(riga, argomenti);
}

namespace {

// The end of a start that has no screen for its window: the message on the standard error and in the
// function log, then the program-end procedure (outcome line, end marker). Returns the exit status.
int FineSenzaFinestra(const std::string& cartellaApp, const std::string& argomenti, const std::string& perche) {
    const std::string riga = RigaAvvioProgramma(cartellaApp, argomenti);
    Programma p;
    p.percorsi.sPathApp = cartellaApp;
    p.oggetti.oClock = &p.Possiedi(std::make_unique<SystemClock>());
    auto& fine = p.Possiedi(std::make_unique<FineRegistrata>());
    p.oggetti.oFine = &fine;
    std::string motivo = perche + ": l'avvio \"" + TestoVisibile(Trim(argomenti)) +
                         "\" ha bisogno di una persona davanti alla finestra, senza schermo si avvia solo " +
                         std::string(kSwitchBatch) + "<grossista>";
    if (UpperAscii(riga).find(kSwitchBatch) != std::string::npos && riga.find(kSwitchBatch) == std::string::npos)
        motivo += " (gli switch distinguono maiuscole e minuscole: " + std::string(kSwitchBatch) + ")";
    std::fprintf(stderr, "MorvenClient: %s\n", motivo.c_str());
    ScriviLogFunzione(p, motivo, "main");
    MotivoEsito(p, motivo);
    TerminaProgramma(p);
    return fine.codice == 0 ? kUscitaSenzaSchermo : fine.codice;
}

// While the Qt application is being made: the start, for a platform that cannot be had.
struct AvvioQt {
    std::string cartella, argomenti;
};
const AvvioQt* gAvvioQt = nullptr;
QtMessageHandler gGestoreQt = nullptr;  // Qt's own handler, for the diagnostics asked for

}  // namespace

std::optional<int> FineSenzaSchermo(const std::string& cartellaApp, const std::string& argomenti) {
    const std::string riga = RigaAvvioProgramma(cartellaApp, argomenti);
    if (riga.find(kSwitchBatch) != std::string::npos || SchermoDisponibile()) return std::nullopt;
    return FineSenzaFinestra(cartellaApp, argomenti, "nessuno schermo");
}

void InizioAvvioQt(const std::string& cartellaApp, const std::string& argomenti) {
    static AvvioQt avvio;
    avvio = {cartellaApp, argomenti};
    gAvvioQt = &avvio;
    gGestoreQt = qInstallMessageHandler(MessaggiQt);
}

void FineAvvioQt() { gAvvioQt = nullptr; }

std::vector<std::string> PreparaAmbienteQt(const std::string& cartellaApp, const std::string& argomenti) {
    std::vector<std::string> note;
    const std::string riga = RigaAvvioProgramma(cartellaApp, argomenti);
    // A batch run without a display has no person to show anything to: it runs offscreen instead of
    // failing to start, so that it still makes its call and writes its end marker.
    if (riga.find(kSwitchBatch) != std::string::npos && !SchermoDisponibile()) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        note.push_back("nessuno schermo: esecuzione batch con la piattaforma offscreen");
    } else if (riga.find(kSwitchBatch) != std::string::npos && Vuota("QT_QPA_PLATFORM")) {
        // A display is named but may not answer (a session that ended): the batch run falls back to the
        // offscreen platform instead of failing to start.
        ::setenv("QT_QPA_PLATFORM", Vuota("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen", 1);
    }
    // The embedded browser refuses to start as root with its sandbox on.
    if (::geteuid() == 0 && Vuota("QTWEBENGINE_DISABLE_SANDBOX")) {
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        note.push_back("utente root: browser integrato senza sandbox");
    }
    // The web engine's own process logs only what is fatal, unless its switches ask for more.
    const char* flag = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const std::string switches = flag ? flag : "";
    if (switches.find("log") == std::string::npos)
        ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", (switches.empty() ? "" : switches + " ").append("--log-level=3").c_str(),
                 1);
    return note;
}

bool DiagnosticheQtRichieste() { return !Vuota("QT_LOGGING_RULES") || !Vuota("MORVEN_QT_DIAGNOSTICS"); }

void MessaggiQt(QtMsgType tipo, const QMessageLogContext& contesto, const QString& testo) {
    // A display that is named but cannot be reached: the platform fails while the application is made,
    // before anything of a call exists. The start ends as one without a display does, not by an abort.
    if (tipo == QtFatalMsg && gAvvioQt) {
        std::string primaRiga = testo.toStdString();
        primaRiga = Trim(primaRiga.substr(0, primaRiga.find_first_of("\r\n")));
        const std::string perche = "nessuno schermo raggiungibile (" + primaRiga + ")";
        std::_Exit(FineSenzaFinestra(gAvvioQt->cartella, gAvvioQt->argomenti, perche));
    }
    if (DiagnosticheQtRichieste() && gGestoreQt) {
        gGestoreQt(tipo, contesto, testo);
        return;
    }
    // The libraries' notes and warnings (the web engine's start-up report, the offscreen platform's
    // remarks) are not the program's messages: the standard error carries ours. What ends the process
    // still says why.
    if (tipo != QtFatalMsg && tipo != QtCriticalMsg) return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(tipo, contesto, testo)));
}

namespace {

// Takes the folder's call lock for a call about to start. With another call under way the refusal is
// said (standard error, function log, outcome reasons; in a window also a message box) and false returned.
bool PrendiChiamata(Programma& p, std::string_view procedura, bool finestra) {
    std::string chi;
    if (PrendiBloccoChiamata(p, &chi) != BloccoChiamata::Occupato) return true;
    const std::string motivo = "chiamata gia' in corso nella cartella del programma (" + chi + ")";
    std::fprintf(stderr, "MorvenClient: %s, la trasmissione non viene effettuata\n", motivo.c_str());
    ScriviLogFunzione(p, motivo + ", la trasmissione non viene effettuata", procedura);
    MotivoEsito(p, motivo);
    if (finestra)
        p.MsgBox().MsgBox("Un'altra chiamata e' in corso nella cartella del programma :\r\n" + chi +
                              "\r\nla trasmissione non viene effettuata.",
                          kMbOk + kMbIconExclamation, "Errore di Trasmissione", nullptr);
    return false;
}

}  // namespace

std::optional<int> ProgrammaMorven::BloccoAvvio(const std::string& argomenti) {
    const ComandoAvvio comando = AnalizzaRigaComando(RigaAvvioProgramma(p.percorsi.sPathApp, argomenti));
    if (!comando.bTimer1 || comando.bBlkCfg || PrendiChiamata(p, "main", false)) return std::nullopt;
    TerminaProgramma(p);
    return fine->codice;
}

ProgrammaMorven::ProgrammaMorven(std::string cartellaApp, double scalaOrologio) {
    p.percorsi.sPathApp = std::move(cartellaApp);
    auto& o = p.oggetti;
    if (scalaOrologio > 0) {
        auto orologio = std::make_unique<TestClock>(SystemClock().Now());
        orologio->SetScale(scalaOrologio);
        o.oClock = &p.Possiedi(std::move(orologio));
    } else {
        o.oClock = &p.Possiedi(std::make_unique<SystemClock>());
    }
    pompa = &p.Possiedi(std::make_unique<QtPump>());
    o.oPump = pompa;
    msgbox = &p.Possiedi(std::make_unique<QtMessageBoxes>());
    msgbox->programma = &p;  // batch flag, clock and function log of the boxes that answer by themselves
    o.oMsgBox = msgbox;
    fine = &p.Possiedi(std::make_unique<QtProgramEnd>());
    o.oFine = fine;
    o.oDesktop = &p.Possiedi(std::make_unique<SystemDesktop>());
    seriale = &p.Possiedi(std::make_unique<DeviceSerialPort>(*pompa, p.percorsi.sPathApp));
    o.oMSComm = seriale;
    socket = &p.Possiedi(std::make_unique<DeviceTcpSocket>(*pompa));
    o.oWinsock = socket;
    o.oRas = &p.Possiedi(std::make_unique<PppDialUp>());
    // The FTP control Ftp1: its transfers keep the window's events turning.
    o.oInet = &p.Possiedi(std::make_unique<DeviceFtpClient>(*pompa));
    // The unpacking control of the news archives, created through the component registry (the build's
    // library is registered there when the class is missing); a failure is logged and the sessions run
    // without news unpacking.
    CollegaUgtactx(p);

    CollegamentiFrmMorven c;
    c.ScriviComm = [](Programma& q, std::string_view riga) { return ScriviComm(q, riga); };
    c.LoopTrasmissione = [](Programma& q) { return LoopTrasmissione(q); };
    // The request windows (documents, PHT order, message) open modal over the main window.
    chiamata = [this](Programma& q, std::string& slot) {
        // One call at a time in a program folder: with another under way this one sends nothing and
        // touches none of its files; its end leaves that call's end marker to it.
        if (!PrendiChiamata(q, "SceltaChiamata", true)) {
            if (q.opzioni.bBlkRun && !q.sessione.bProgrammaTerminato) TerminaProgramma(q);
            return false;
        }
        q.sessione.bChiamataIniziata = true;
        DialoghiQt dialoghi(finestra.get());
        return SceltaChiamata(q, slot, &dialoghi);
    };
    c.SceltaChiamata = [this](Programma& q, std::string& slot) {
        bool fatta = false;
        if (chiamata)
            fatta = chiamata(q, slot);
        else
            ScriviLogFunzione(q, "Timer1_Timer :SceltaChiamata non disponibile");
        if (!fileSchermata.empty()) SalvaSchermataEFine();
        // A batch run that could not make its call must still end, or the caller waits for ever.
        if (!chiamata && q.opzioni.bBlkRun && !q.sessione.bProgrammaTerminato) TerminaProgramma(q);
        return fatta;
    };
    // The settings window of the selected slot: modal from the menu; alone in a configuration-only run, which
    // ends with it (without a display, after saving its picture when asked to).
    c.MostraImpostazioni = [this](bool modale) {
        MostraFrmImpostazioni(p, *finestra, impostazioni, modale);
        // Where nobody can see it, a configuration-only run has nobody to wait for: it ends at once.
        if (!modale && (!fileSchermata.empty() || p.opzioni.bSenzaSchermo)) SalvaSchermataImpostazioniEFine();
    };

    // The offer detail of an availability row, the information window and the browser window.
    c.DettaglioOfferta = [this](const std::string& codice, const std::string& file, int quantita) {
        return MostraDettaglioOfferta(p, finestra.get(), codice, file, quantita);
    };
    c.MostraInformazioni = [this](const std::string& testo) {
        if (!informazioni) informazioni = std::make_unique<FrmSplash>(p);
        informazioni->ScriviMessaggio(testo, 0);
        informazioni->show();
    };
    c.MostraPagina = [this](const std::string& indirizzo) { browser->MostraPagina(indirizzo); };

    debug = std::make_unique<FrmDebug>();
    o.oFrmDebug = &debug->Vista();
    browser = std::make_unique<FrmBrowser>(p);
    o.oFrmBrowser = &browser->Vista();
    finestra = std::make_unique<FrmMorven>(p, std::move(c));
    o.oFrmMorven = &finestra->Vista();
    finestra->Vista().orologio = o.oClock;  // the start timer waits on the program's clock like every pause

    seriale->OnComm = [this] { MSComm1_OnComm(p, seriale->CommEvent()); };
    CollegaEventiLinea(p);
    fine->primaDiUscire = [this] {
        // An end that did not go through the program-end procedure (a configuration run) still leaves its
        // outcome line.
        ScriviEsito(p);
        if (seriale && seriale->PortOpen()) seriale->SetPortOpen(false);
        if (socket && socket->State() != TcpSocket::sckClosed) socket->Close();
        if (p.oggetti.oInet) p.oggetti.oInet->Reset();
    };
}

void ProgrammaMorven::SalvaSchermataEFine() {
    // Let the window lay itself out and paint the answer before taking the picture.
    WaitMilliseconds(p, 300);
    finestra->grab().save(QString::fromStdString(fileSchermata), "PNG");
    if (!p.sessione.bProgrammaTerminato) TerminaProgramma(p);
}

void ProgrammaMorven::SalvaSchermataImpostazioniEFine() {
    if (!fileSchermata.empty()) {
        WaitMilliseconds(p, 300);
        impostazioni->grab().save(QString::fromStdString(fileSchermata), "PNG");
    } else {
        ScriviLogFunzione(p, "FrmImpostazioni :nessuno schermo, finestra chiusa senza modifiche");
    }
    impostazioni->Eventi().CmdEsci_Click();  // nothing changed: the run ends
}

ProgrammaMorven::~ProgrammaMorven() {
    impostazioni.reset();
    p.oggetti.oFrmBrowser = nullptr;
    informazioni.reset();
    browser.reset();
    finestra.reset();
    debug.reset();
}

}  // namespace morven
