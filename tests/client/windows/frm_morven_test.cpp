// The main window offscreen: its named controls, the view's properties, the layout phases on the real form,
// the function keys against the fake wholesaler, the lost-line paths and the close question.
#include "tests/client/windows/qt_test_support.h"

#include "client/engine/line_devices.h"
#include "client/engine/logs.h"
#include "client/session/layout.h"
#include "client/session/line_events.h"
#include "client/session/loop.h"
#include "client/engine/menu.h"
#include "tests/peers/fake_wholesaler.h"

#include <QAction>
#include <QKeyEvent>
#include <QTableWidget>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

namespace morven::testing {
namespace {

using FrmMorvenQt = WindowFixture;

TEST_F(FrmMorvenQt, EveryNamedControlExists) {
    Apri();
    const char* nomi[] = {
        "status", "SitStatus", "tres", "ttra", "nblocchi", "lblTipoNews", "LblSpazioRosso", "LblSpazioGrigio",
        "LblRifOrdineGrossista", "Avanzamento", "TextMess", "TxtNoteOrdine", "LVWMancanti", "TreeView1",
        "PictureMenu(0)", "PictureMenu(1)", "PictureMenu(2)", "PictureinfoOrdine", "PictureMessaggio", "CmdConferma",
        "CmdAnnulla", "CmdNaviga", "CmdChiudi(0)", "WebBrowser1", "Timer1", "Timer4", "SmartMenu", "MNU_FINE",
        "MNU_INFO", "MNU_DEBUG"};
    for (const char* n : nomi) EXPECT_NE(w->Vista().Oggetto(n), nullptr) << n;
    for (int n = 1; n <= 10; ++n) {
        EXPECT_NE(w->Vista().Oggetto("MNU_CON_GROSS" + std::to_string(n)), nullptr) << n;
        EXPECT_NE(w->Vista().Oggetto("MNU_SET_GROSS" + std::to_string(n)), nullptr) << n;
    }
    // Every phase lays the real form out without a missing control.
    for (int fase = 0; fase < 6; ++fase) EXPECT_TRUE(ImpostaVisualizzazione(p, w->Vista(), fase, "T", "G")) << fase;
    EXPECT_EQ(Leggi("MorvenClient.log"), "");
}

// A call that broke off on the real window: the heading and the status say so, the counters of the status
// strip carry their captions, and no control the window lacks is touched (the function log stays empty of
// "Controllo inesistente").
TEST_F(FrmMorvenQt, ABrokenOffCallOnTheRealWindow) {
    Apri();
    t.clock.SetAutoStep(50);
    auto& imp = p.impostazioni;
    imp.sConnect = "Grossista";
    imp.bModoInternet = true;
    imp.bModeIFCK = true;
    imp.aIndirizzoIp = {"127.0.0.1", "", ""};
    p.percorsi.sFileLogSessione = "s.log";
    // The call breaks off by an abort while the request goes out.
    const ScopedPoller interruzione(p.Pump(), [&] {
        if (p.sessione.nPassoSessione == kPassoInviaIFCK) p.sessione.bProceduraAbortita = true;
    });
    EXPECT_TRUE(LoopTrasmissione(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoAbortito);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->findChild<QLabel*>("LblSpazioRosso")->text(), "Collegamento Interrotto");
    EXPECT_EQ(w->findChild<QLabel*>("status")->text(), "Collegamento Interrotto");
    EXPECT_TRUE(w->findChild<QPushButton*>("CmdChiudi_0")->isVisibleTo(w.get()));
    EXPECT_EQ(w->findChild<QLabel*>("lblTempoResiduo")->text(), "Tempo residuo:");
    EXPECT_EQ(w->findChild<QLabel*>("lblTempoTrascorso")->text(), "Tempo trascorso:");
    EXPECT_EQ(Leggi("MorvenClient.log").find("Controllo inesistente"), std::string::npos) << Leggi("MorvenClient.log");
}

// The view remembers the controls it found; a control replaced, renamed or moved out of the window since is
// looked for again, never reached through a stale object.
TEST(QtViewControls, ALookedUpControlIsFoundAgainAfterItChanges) {
    App();
    QWidget radice;
    QWidget altra;
    QtView v(&radice);
    auto etichetta = [&](QWidget* genitore, const char* nome) {
        auto* l = new QLabel(genitore);
        l->setObjectName(QString::fromLatin1(nome));
        return l;
    };
    QLabel* prima = etichetta(&radice, "status");
    v.SetText("status", "uno");
    EXPECT_EQ(prima->text(), "uno");

    delete prima;  // replaced by a new control of the same name
    QLabel* seconda = etichetta(&radice, "status");
    v.SetText("status", "due");
    EXPECT_EQ(seconda->text(), "due");

    seconda->setObjectName("altro");  // renamed: no longer the control
    EXPECT_EQ(v.Oggetto("status"), nullptr);
    seconda->setObjectName("status");
    EXPECT_EQ(v.Oggetto("status"), seconda);

    seconda->setParent(&altra);  // moved to another window
    EXPECT_EQ(v.Oggetto("status"), nullptr);

    QLabel* elemento = etichetta(&radice, "CmdChiudi_1");  // an element of a control array
    v.SetText("CmdChiudi(1)", "tre");
    EXPECT_EQ(elemento->text(), "tre");
    EXPECT_EQ(v.Text("CmdChiudi(1)"), "tre");
}

// A timer's interval is in the program's milliseconds: with the program's clock running faster (the whole
// program on a test clock) the timer fires as much sooner, and the interval still reads back as set.
TEST_F(FrmMorvenQt, TimersRunOnTheViewsClock) {
    Apri();
    QtView& v = w->Vista();
    const SystemClock macchina;
    TestClock veloce;
    veloce.SetScale(4);
    const struct {
        const char* name;
        const Clock* clock;
        int realMs;
    } cases[] = {{"no clock", nullptr, 1000}, {"the machine's clock", &macchina, 1000}, {"a clock 4x", &veloce, 250}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        v.orologio = c.clock;
        v.SetValue("Timer1", 1000);
        EXPECT_EQ(w->findChild<QTimer*>("Timer1")->interval(), c.realMs);
        EXPECT_EQ(v.Value("Timer1"), 1000);
    }
    v.orologio = nullptr;
}

TEST_F(FrmMorvenQt, ViewPropertiesByControlKind) {
    Apri();
    QtView& v = w->Vista();
    v.SetText("LblSpazioGrigio", "Perch\xE9 s\xEC");  // Windows-1252
    EXPECT_EQ(w->findChild<QLabel*>("LblSpazioGrigio")->text(), QString::fromUtf8("Perché sì"));
    EXPECT_EQ(v.Text("LblSpazioGrigio"), "Perch\xE9 s\xEC");

    // A menu entry without a caption shows a placeholder and keeps its empty caption.
    v.SetText("MNU_CON_GROSS3", "");
    EXPECT_EQ(w->findChild<QAction*>("MNU_CON_GROSS3")->text(), "Grossista 03");
    EXPECT_EQ(v.Text("MNU_CON_GROSS3"), "");
    v.SetText("MNU_CON_GROSS3", "Farmagross");
    EXPECT_EQ(v.Text("MNU_CON_GROSS3"), "Farmagross");

    v.SetValue("Timer1", 250);
    v.SetEnabled("Timer1", true);
    EXPECT_TRUE(v.Enabled("Timer1"));
    EXPECT_EQ(v.Value("Timer1"), 250);
    v.SetEnabled("Timer1", false);
    EXPECT_FALSE(w->findChild<QTimer*>("Timer1")->isActive());

    v.SetMax("Avanzamento", 40);
    v.SetValue("Avanzamento", 55);
    EXPECT_EQ(v.Value("Avanzamento"), 40);

    // A button in a hidden frame is not visible, whatever its own flag.
    v.SetVisible("PictureMenu(2)", false);
    v.SetVisible("CmdConferma", true);
    EXPECT_FALSE(v.Visible("CmdConferma"));
    v.SetVisible("PictureMenu(2)", true);
    EXPECT_TRUE(v.Visible("CmdConferma"));

    try {
        v.SetText("NonEsiste", "x");
        ADD_FAILURE() << "no error for a missing control";
    } catch (const ErroreMorven& e) {
        EXPECT_EQ(e.nNumero, 438);
    }
}

// A connected line to the fake wholesaler through the real socket adapter.
struct LineaVera {
    explicit LineaVera(Programma& p, EventPump& pump, std::vector<peers::Script> scripts)
        : grossista(std::move(scripts)), socket(pump) {
        p.oggetti.oWinsock = &socket;
        p.impostazioni.bModoInternet = true;
        p.impostazioni.bModeIFCK = false;
        CollegaEventiLinea(p);
        socket.RemoteHost = "127.0.0.1";
        socket.RemotePort = grossista.Port();
        socket.Connect();
        // A wholesaler that closes at once may be seen closing before the connection was ever seen open.
        EXPECT_TRUE(Aspetta(pump, [&] {
            return socket.State() == TcpSocket::sckConnected || socket.State() == TcpSocket::sckClosing;
        }));
    }
    peers::FakeWholesaler grossista;
    DeviceTcpSocket socket;
};

TEST_F(FrmMorvenQt, LongHeadingsAreElidedAndNeverWidenTheWindow) {
    Apri();
    const int prima = w->sizeHint().width();
    const std::string lungo(100000, 'x');
    ImpostaVisualizzazione(p, w->Vista(), 1, "Collegamento", lungo);
    QApplication::processEvents();
    auto* l = w->findChild<QLabel*>("LblSpazioGrigio");
    EXPECT_LT(l->sizeHint().width(), 1000);
    EXPECT_LT(w->sizeHint().width(), prima + 1000);
    EXPECT_LT(w->width(), 4000);
    EXPECT_EQ(w->Vista().Text("LblSpazioGrigio"), lungo);  // the whole text is kept, only its display is cut
}

TEST_F(FrmMorvenQt, ConfirmAndRefuseKeysReachTheWholesalerOnlyFromTheDialogue) {
    for (const bool conferma : {true, false}) {
        SCOPED_TRACE(conferma ? "F1" : "F3");
        Scrivi("ordseq.txt", "HEADER\r\n0001 A\r\n");
        Scrivi("ordseq.rst", "ANSWER\r\n");
        Apri();
        LineaVera linea(p, *pompa, {{peers::Expect(conferma ? "6UUU" : "6NNN")}});
        const Qt::Key tasto = conferma ? Qt::Key_F1 : Qt::Key_F3;

        // The order answer has no dialogue: the keys do nothing.
        ImpostaVisualizzazione(p, w->Vista(), kFaseMancanti, "Fine", "");
        QTest::keyClick(w.get(), tasto);
        QTest::keyClick(w.get(), Qt::Key_F1, Qt::ShiftModifier);
        EXPECT_EQ(Leggi("ordseq.rst"), "ANSWER\r\n");

        ImpostaVisualizzazione(p, w->Vista(), kFaseDisponibilita, "Elenco Risposte", "");
        QTest::keyClick(w.get(), tasto, Qt::ControlModifier);  // modified: nothing
        EXPECT_TRUE(w->Vista().Visible("CmdConferma"));
        QTest::keyClick(w.get(), tasto);
        ASSERT_TRUE(linea.grossista.WaitScripts(1));
        EXPECT_TRUE(linea.grossista.Errors().empty()) << linea.grossista.Errors().front();
        EXPECT_EQ(linea.grossista.Lines(), std::vector<std::string>{conferma ? "6UUU" : "6NNN"});
        EXPECT_FALSE(w->Vista().Visible("CmdConferma"));
        EXPECT_FALSE(w->Vista().Visible("CmdAnnulla"));
        EXPECT_TRUE(w->Vista().Enabled("CmdChiudi(0)"));
        // Refusing blanks the answers (rebuilt from the order); confirming leaves them.
        EXPECT_EQ(Leggi("ordseq.rst"), conferma ? "ANSWER\r\n" : "0001 A\r\n");
        EXPECT_EQ(t.end.calls, 0);
        p.oggetti.oWinsock = &t.socket;
        w.reset();
    }
}

TEST_F(FrmMorvenQt, ConfirmAfterThePeerClosedIsALostLine) {
    Scrivi("ordseq.txt", "HEADER\r\n0001 A\r\n");
    Apri();
    LineaVera linea(p, *pompa, {{peers::CloseLine()}});
    // No session runs: only the window's own event loop turns, and the pump's idle timer still sees the close.
    for (int i = 0; i < 1000 && !p.sessione.bConnessioneChiusa; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    ASSERT_TRUE(p.sessione.bConnessioneChiusa);
    EXPECT_EQ(p.sessione.sStatoLinea, "NO CARRIER");
    ImpostaVisualizzazione(p, w->Vista(), kFaseDisponibilita, "Elenco Risposte", "");
    QTest::keyClick(w.get(), Qt::Key_F1);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Errore di Connessione\r\nNon e' stato possibile confermare l'ordine.");
    EXPECT_EQ(t.msgbox.calls[0].title, "Errore in Conferma");
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_EQ(Leggi("ordseq.rst"), "0001 A\r\n");
    EXPECT_TRUE(linea.grossista.Lines().empty());
    p.oggetti.oWinsock = &t.socket;
}

TEST_F(FrmMorvenQt, ConfirmOverAModemWithoutCarrierIsALostLine) {
    Scrivi("ordseq.txt", "HEADER\r\n");
    Apri();
    p.impostazioni.bModoInternet = false;
    p.impostazioni.bModeIFCK = false;
    t.serial.carrier = false;
    ImpostaVisualizzazione(p, w->Vista(), kFaseDisponibilita, "Elenco Risposte", "");
    w->findChild<QPushButton*>("CmdConferma")->click();
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_TRUE(t.serial.sent.empty());
}

// F10 closes and F5 opens the last page in every layout, whether or not their buttons are shown; while a
// call runs F10 does nothing (the wholesaler would be left with half an exchange).
TEST_F(FrmMorvenQt, CloseAndBrowserKeysActInEveryLayoutButNotCloseDuringACall) {
    std::vector<std::string> pagine;
    c.MostraPagina = [&](const std::string& indirizzo) { pagine.push_back(indirizzo); };
    int fineDuranteLaChiamata = -1;
    c.SceltaChiamata = [&](Programma&, std::string&) {
        const int prima = t.end.calls;
        QTest::keyClick(w.get(), Qt::Key_F10);
        fineDuranteLaChiamata = t.end.calls - prima;
        return true;
    };
    Apri();
    for (int fase = 0; fase < kNumeroFasi; ++fase) {
        SCOPED_TRACE(fase);
        const int fine = t.end.calls;
        const std::size_t mostrate = pagine.size();
        ImpostaVisualizzazione(p, w->Vista(), fase, "T", "");
        QTest::keyClick(w.get(), Qt::Key_F5);
        EXPECT_EQ(pagine.size(), mostrate + 1);  // no external browser: the program's own window shows it
        QTest::keyClick(w.get(), Qt::Key_F10);
        EXPECT_EQ(t.end.calls, fine + 1);
        QTest::keyClick(w.get(), Qt::Key_F10, Qt::ShiftModifier);  // modified: nothing
        EXPECT_EQ(t.end.calls, fine + 1);
    }
    p.sessione.bProgrammaTerminato = false;
    w->Eventi().Timer1_Timer();
    EXPECT_EQ(fineDuranteLaChiamata, 0);
    EXPECT_TRUE(t.msgbox.calls.empty());
}

// Nothing but an explicit key or click on the shown, enabled confirm or refuse button answers an
// availability answer: not a key held down from an earlier window (its repeats), not Enter or Space
// wherever the focus goes, not the clock running on, not a click on a button that is not enabled. Then the
// answer goes out once, and the heading says what was done.
TEST_F(FrmMorvenQt, OnlyAnExplicitKeyOrClickAnswersTheAvailability) {
    std::vector<std::string> linea;
    c.ScriviComm = [&](Programma&, std::string_view r) {
        linea.emplace_back(r);
        return true;
    };
    const struct {
        const char* nome;
        std::function<void(FrmMorven&)> risposta;
        const char* inviata;
        const char* titolo;
    } casi[] = {
        {"F1", [](FrmMorven& f) { QTest::keyClick(&f, Qt::Key_F1); }, "6UUU", "Conferma Inviata"},
        {"F3", [](FrmMorven& f) { QTest::keyClick(&f, Qt::Key_F3); }, "6NNN", "Risposta Rifiutata"},
        {"click on Conferma", [](FrmMorven& f) { QTest::mouseClick(f.findChild<QPushButton*>("CmdConferma"), Qt::LeftButton); },
         "6UUU", "Conferma Inviata"},
        {"click on Annulla", [](FrmMorven& f) { QTest::mouseClick(f.findChild<QPushButton*>("CmdAnnulla"), Qt::LeftButton); },
         "6NNN", "Risposta Rifiutata"},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(k.nome);
        linea.clear();
        Scrivi("ordseq.txt", "HEADER\r\n0001 A\r\n");
        Scrivi("ordseq.man", "HEADER\r\n012345678000" "2PRODOTTO DI PROVA          \r\n");
        p.impostazioni.bModoInternet = false;
        p.impostazioni.bModeIFCK = false;
        p.impostazioni.bDisponibilita = true;
        t.serial.carrier = true;
        Apri();
        ASSERT_TRUE(w->Eventi().MostraRispostaMancanti());
        QCoreApplication::processEvents();
        ASSERT_TRUE(w->Eventi().RispostaInAttesa());

        auto ripetuto = [&](Qt::Key tasto) {
            QWidget* dove = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
            QKeyEvent giu(QEvent::KeyPress, tasto, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(dove, &giu);
        };
        for (Qt::Key tasto : {Qt::Key_F1, Qt::Key_F3}) ripetuto(tasto);
        for (QWidget* dove : {static_cast<QWidget*>(w.get()), static_cast<QWidget*>(w->Lista())}) {
            dove->setFocus();
            for (Qt::Key tasto : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) QTest::keyClick(dove, tasto);
        }
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w.get(), Qt::Key_Tab);
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w.get(), Qt::Key_Space);
        }
        t.clock.Advance(60000);
        for (int i = 0; i < 20; ++i) p.Pump().process();
        auto* conferma = w->findChild<QPushButton*>("CmdConferma");
        conferma->setEnabled(false);
        QTest::mouseClick(conferma, Qt::LeftButton);
        conferma->setEnabled(true);
        EXPECT_TRUE(linea.empty()) << linea.front();
        EXPECT_TRUE(w->Vista().Visible("CmdConferma"));
        EXPECT_FALSE(w->Vista().Enabled("Timer4"));
        EXPECT_TRUE(t.msgbox.calls.empty());

        k.risposta(*w);
        EXPECT_EQ(linea, std::vector<std::string>{k.inviata});
        EXPECT_EQ(w->Vista().Text("LblSpazioRosso"), k.titolo);
        EXPECT_FALSE(w->Eventi().RispostaInAttesa());
        // Once: neither another press, nor a held key, nor the other answer sends anything more.
        k.risposta(*w);
        QTest::keyClick(w.get(), Qt::Key_F1);
        QTest::keyClick(w.get(), Qt::Key_F3);
        ripetuto(Qt::Key_F1);
        EXPECT_EQ(linea.size(), 1u);
        EXPECT_EQ(t.end.calls, 0);
        w.reset();
    }
}

TEST_F(FrmMorvenQt, CloseBoxAsksFirst) {
    Apri();
    t.msgbox.answers = {vbCancel};
    w->close();
    QCoreApplication::processEvents();
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Confermi Uscita dal Programma");
    EXPECT_EQ(t.msgbox.calls[0].style, 49);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(t.end.calls, 0);
    t.msgbox.answers = {vbOK};
    w->close();
    EXPECT_EQ(t.end.calls, 1);
}

TEST_F(FrmMorvenQt, MenuConnectEntryArmsTimer1AndTheCallRuns) {
    Scrivi("MvnConn04.par", "Connect   :Quarto\r\n");
    std::vector<std::string> chiamate;
    bool bloccataDurante = true;
    c.SceltaChiamata = [&](Programma&, std::string& slot) {
        chiamate.push_back(slot);
        bloccataDurante = w->findChild<QAction*>("MNU_CON_GROSS4")->isEnabled() ||
                          w->findChild<QAction*>("MNU_SET_GROSS4")->isEnabled();
        return true;
    };
    Apri();
    w->Carica("");
    auto* voce = w->findChild<QAction*>("MNU_CON_GROSS4");
    EXPECT_EQ(voce->text(), "Quarto");
    EXPECT_FALSE(w->findChild<QAction*>("MNU_CON_GROSS5")->isEnabled());
    voce->trigger();
    ASSERT_TRUE(Aspetta(*pompa, [&] { return !chiamate.empty(); }));
    EXPECT_EQ(chiamate, std::vector<std::string>{"04"});
    EXPECT_FALSE(bloccataDurante);  // locked while the call ran
    EXPECT_TRUE(voce->isEnabled());  // offered again: nothing of that call waits for an answer
    EXPECT_TRUE(w->findChild<QAction*>("MNU_SET_GROSS5")->isEnabled());
}

TEST_F(FrmMorvenQt, DebugMenuShowsTheDebugWindowWithTheLogLines) {
    FrmDebug debug;
    p.oggetti.oFrmDebug = &debug.Vista();
    Apri();
    w->findChild<QAction*>("MNU_DEBUG")->trigger();
    EXPECT_TRUE(debug.isVisible());
    EXPECT_TRUE(p.opzioni.bDebug);
    ScriviLog(p, "MvnConn01-20261210-100000.log", true, "TX:riga di prova");
    auto* lista = debug.findChild<QListWidget*>("List1");
    ASSERT_NE(lista, nullptr);
    ASSERT_GE(lista->count(), 1);
    EXPECT_EQ(lista->item(lista->count() - 1)->text(), "TX:riga di prova");
    w->findChild<QAction*>("MNU_DEBUG")->trigger();
    EXPECT_FALSE(debug.isVisible());
    EXPECT_FALSE(p.opzioni.bDebug);
    p.oggetti.oFrmDebug = &t.debug;
}

TEST_F(FrmMorvenQt, RemotePageThatFailsFallsBackToTheLocalPage) {
    Scrivi("HTML/index.htm", "<html><body>locale</body></html>");
    Apri();
    auto* web = w->findChild<QWebEngineView*>("WebBrowser1");
    ImpostaVisualizzazione(p, w->Vista(), kFaseCollegamento, "Collegamento", "");
    // Nothing listens on loopback port 1: the load fails.
    std::string indirizzo = "127.0.0.1:1/pagina?x=1";
    ImpostaMainBrowser(p, indirizzo, "", false);
    EXPECT_EQ(p.percorsi.sUltimoUrl, "http://127.0.0.1:1/pagina?x=1");
    const QUrl locale = QUrl::fromLocalFile(QString::fromStdString(dir / "HTML/index.htm"));
    ASSERT_TRUE(Aspetta(*pompa, [&] { return web->url() == locale; }, 20000)) << web->url().toString().toStdString();
}

}  // namespace
}  // namespace morven::testing
