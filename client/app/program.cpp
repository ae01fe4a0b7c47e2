#include "client/app/program.h"

#include "client/engine/connection.h"
#include "client/engine/ftp_device.h"
#include "client/engine/ugtactx_control.h"

#include "client/engine/helpers.h"
#include "client/engine/line_devices.h"
#include "client/engine/line_io.h"
#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/exchange/call_driver.h"
#include "client/exchange/line_events.h"
#include "client/exchange/loop.h"
#include "client/windows/frm_dettaglio_offerta.h"
#include "platform/core/clock.h"

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
    // The request dialogs (documents, PHT order, message) are not part of this program yet.
    chiamata = [](Programma& q, std::string& slot) { return SceltaChiamata(q, slot, nullptr); };
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
        if (!modale && !fileSchermata.empty()) SalvaSchermataImpostazioniEFine();
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

    seriale->OnComm = [this] { MSComm1_OnComm(p, seriale->CommEvent()); };
    CollegaEventiLinea(p);
    fine->primaDiUscire = [this] {
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
    WaitMilliseconds(p, 300);
    impostazioni->grab().save(QString::fromStdString(fileSchermata), "PNG");
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
