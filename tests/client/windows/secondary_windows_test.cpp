// The offer detail dialog, the browser window, the information window and the LCD painter, offscreen: the
// dialog's keys while it runs modally, the browser window's size and its status line, the information
// window's message and closing, and the LCD glyphs against a golden picture. With MORVEN_DOCS_DIR set the
// tests also save a picture of each window into that folder; the docs' pictures are made with
//   MORVEN_DOCS_DIR=$PWD/docs QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
//     build/bin/client_windows_tests --gtest_filter='SecondaryWindows.*:AnswerRender.*'
// MORVEN_UPDATE_GOLDEN=1 writes the LCD's golden picture anew from the painter (only after a deliberate
// change of the glyphs, looked at by eye).
#include "tests/client/windows/qt_test_support.h"

#include "client/engine/logs.h"
#include "client/windows/frm_browser.h"
#include "client/windows/frm_dettaglio_offerta.h"
#include "client/windows/frm_splash.h"
#include "client/windows/mc_lcd.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

namespace morven::testing {
namespace {

void Foto(QWidget& w, const char* nome) {
    const QByteArray cartella = qgetenv("MORVEN_DOCS_DIR");
    if (cartella.isEmpty()) return;
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    w.grab().save(QString::fromLocal8Bit(cartella) + "/" + nome, "PNG");
}

using SecondaryWindows = WindowFixture;

// One key on the focused control of the active modal dialog, as the keyboard would send it.
void Premi(QDialog& d, Qt::Key tasto, Qt::KeyboardModifiers mod = Qt::NoModifier) {
    QWidget* w = d.focusWidget() ? d.focusWidget() : &d;
    QTest::keyClick(w, tasto, mod);
}

TEST_F(SecondaryWindows, OfferDialogKeysWhileItRunsModally) {
    CopiaFixture("IFCK01_OUT_MORVEN.DAT", "IFCK01_OUT_MORVEN.DAT");
    struct Caso {
        const char* nome;
        std::function<void(FrmDettaglioOfferta&)> azioni;  // run while the dialog is open; must close it
        int scelta;
        std::size_t avvisi;
    };
    auto scrivi = [](FrmDettaglioOfferta& d, const char* testo) {
        auto* box = d.findChild<QLineEdit*>(QStringLiteral("TxtQtaRichiesta"));
        box->selectAll();
        QTest::keyClicks(box, QString::fromLatin1(testo));
    };
    const Caso casi[] = {
        {"F1 confirms the typed quantity", [&](FrmDettaglioOfferta& d) { scrivi(d, "7"); Premi(d, Qt::Key_F1); }, 7, 0},
        {"F3 restores, F10 leaves",
         [&](FrmDettaglioOfferta& d) {
             scrivi(d, "7");
             Premi(d, Qt::Key_F3);
             EXPECT_EQ(d.Vista().Text("TxtQtaRichiesta"), "10");
             EXPECT_TRUE(d.isVisible());
             Premi(d, Qt::Key_F10);
         },
         10, 0},
        {"modified F1 and other keys do nothing",
         [&](FrmDettaglioOfferta& d) {
             scrivi(d, "7");
             for (auto m : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) Premi(d, Qt::Key_F1, m);
             Premi(d, Qt::Key_F2);
             Premi(d, Qt::Key_Return);
             EXPECT_TRUE(d.isVisible());
             d.findChild<QPushButton*>(QStringLiteral("CmdConferma"))->click();
         },
         7, 0},
        {"out of range is refused and the dialog stays",
         [&](FrmDettaglioOfferta& d) {
             scrivi(d, "10000");
             Premi(d, Qt::Key_F1);
             EXPECT_TRUE(d.isVisible());
             scrivi(d, "12");
             Premi(d, Qt::Key_F1);
         },
         12, 1},
        {"closing by the frame keeps the passed quantity", [&](FrmDettaglioOfferta& d) { scrivi(d, "7"); d.close(); }, 10, 0},
        {"Escape closes as the frame does", [&](FrmDettaglioOfferta& d) { scrivi(d, "7"); Premi(d, Qt::Key_Escape); }, 10, 0},
        {"Uscita button", [&](FrmDettaglioOfferta& d) { scrivi(d, "7"); d.findChild<QPushButton*>(QStringLiteral("CmdUscita"))->click(); }, 10, 0},
    };
    for (const Caso& c : casi) {
        t.msgbox.calls.clear();
        FrmDettaglioOfferta d(p);
        bool eseguito = false;
        QTimer::singleShot(0, &d, [&] {
            eseguito = true;
            EXPECT_TRUE(d.isVisible()) << c.nome;
            EXPECT_TRUE(d.isModal()) << c.nome;
            EXPECT_EQ(d.Vista().Text("LblDescrizioneProdotto"), "TACHIPIRINA 500MG 20CPR                 ");
            EXPECT_EQ(d.Vista().Text("LblValidita(0)"), "30/01/2007 ");
            c.azioni(d);
            // A case that failed to close the dialog must not hang the suite.
            if (d.isVisible()) {
                ADD_FAILURE() << c.nome << ": still open";
                d.reject();
            }
        });
        int quantita = 10;
        EXPECT_TRUE(d.ImpostaForm("900000003", (dir / "IFCK01_OUT_MORVEN.DAT"), quantita)) << c.nome;
        EXPECT_TRUE(eseguito) << c.nome;
        EXPECT_EQ(quantita, c.scelta) << c.nome;
        EXPECT_EQ(t.msgbox.calls.size(), c.avvisi) << c.nome;
    }
}

// The double-click on an availability row of the main window opens the dialog; the quantity confirmed there
// comes back into the row, in red.
TEST_F(SecondaryWindows, DoubleClickedRowTakesTheConfirmedQuantity) {
    CopiaFixture("IFCK01_OUT_MORVEN.DAT", "IFCK01_OUT_MORVEN.DAT");
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.bDisponibilita = true;
    p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
    std::string codiceMostrato;
    c.DettaglioOfferta = [&](const std::string& codice, const std::string& file, int q) {
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<FrmDettaglioOfferta*>(QApplication::activeModalWidget());
            if (!d) {
                ADD_FAILURE() << "no offer dialog";
                return;
            }
            codiceMostrato = d->Vista().Text("LblCodiceProdotto");
            QTest::keyClicks(d->focusWidget(), QStringLiteral("7"));
            Premi(*d, Qt::Key_F1);
        });
        return MostraDettaglioOfferta(p, w.get(), codice, file, q);
    };
    Apri();
    ASSERT_TRUE(w->Eventi().MostraRispostaMancanti());
    QTableWidget& t = *w->Lista();
    t.selectRow(0);
    const QRect cella = t.visualRect(t.model()->index(0, 2));
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, cella.center());
    QTest::mouseDClick(t.viewport(), Qt::LeftButton, {}, cella.center());
    EXPECT_EQ(codiceMostrato, t.item(0, 1)->text().toStdString());
    EXPECT_EQ(t.item(0, 3)->text().toStdString(), "00007");
    EXPECT_EQ(t.item(0, 3)->foreground().color(), QColor(255, 0, 0));
}

TEST_F(SecondaryWindows, OfferDialogWithoutAnswerIsNotShown) {
    FrmDettaglioOfferta d(p);
    bool mostrato = false;
    QTimer::singleShot(0, &d, [&] {
        mostrato = d.isVisible();
        d.reject();
    });
    int quantita = 10;
    EXPECT_FALSE(d.ImpostaForm("900000003", dir / "IFCK01_OUT_MORVEN.DAT", quantita));
    QCoreApplication::processEvents();
    EXPECT_FALSE(mostrato);
    EXPECT_EQ(quantita, 10);
    EXPECT_NE(Leggi("MorvenClient.log").find("ImpostaForm :"), std::string::npos);
}

TEST_F(SecondaryWindows, OfferDialogPicture) {
    if (qEnvironmentVariableIsEmpty("MORVEN_DOCS_DIR")) GTEST_SKIP() << "pictures only with MORVEN_DOCS_DIR";
    CopiaFixture("IFCK01_OUT_MORVEN.DAT", "IFCK01_OUT_MORVEN.DAT");
    FrmDettaglioOfferta d(p);
    QTimer::singleShot(0, &d, [&] {
        Foto(d, "offer-detail.png");
        d.reject();
    });
    int quantita = 10;
    d.ImpostaForm("900000003", dir / "IFCK01_OUT_MORVEN.DAT", quantita);
}

TEST_F(SecondaryWindows, BrowserWindowSizeStatusAndClose) {
    FrmBrowser b(p);
    const QRect schermo = b.screen()->geometry();
    EXPECT_NEAR(b.width(), schermo.width() * 3 / 4, 1);
    EXPECT_NEAR(b.height(), schermo.height() * 3 / 4, 1);
    EXPECT_EQ(b.windowTitle(), QStringLiteral("Morven Browser"));
    EXPECT_FALSE(b.isVisible());

    // The transfers' status reaches the hidden window's status line and bar.
    p.oggetti.oFrmBrowser = &b.Vista();
    Apri();
    Write_Status(p, "Trasmissione Ordine", "", 40, 12, "00:10", "00:02");
    EXPECT_EQ(b.findChild<QLabel*>(QStringLiteral("status"))->text(), QStringLiteral("Trasmissione Ordine"));
    EXPECT_EQ(b.findChild<QProgressBar*>(QStringLiteral("Avanzamento"))->maximum(), 40);
    EXPECT_EQ(b.findChild<QProgressBar*>(QStringLiteral("Avanzamento"))->value(), 12);

    // The controls keep to the window's width less 100 twips and the browser to its height less 400.
    Scrivi("HTML/index.htm", "<html><body><h1>Pagina locale</h1></body></html>");
    b.MostraPagina((dir / "HTML/index.htm"));
    EXPECT_TRUE(b.isVisible());
    auto* web = b.findChild<QWebEngineView*>(QStringLiteral("WebBrowser1"));
    EXPECT_TRUE(web->url().isLocalFile());
    b.resize(600, 400);
    QCoreApplication::processEvents();
    const double tw = b.Twips();
    EXPECT_NEAR(web->maximumWidth(), (600 * tw - 100) / tw, 1);
    EXPECT_NEAR(web->maximumHeight(), (400 * tw - 400) / tw, 1);
    EXPECT_LE(web->width(), web->maximumWidth());
    // The layout never lets the window get lower than its status line and bar, so a resize to almost
    // nothing stops there, and the widths still follow.
    b.resize(300, 20);
    QCoreApplication::processEvents();
    EXPECT_GE(web->maximumHeight(), 0);
    EXPECT_NEAR(b.findChild<QLabel*>(QStringLiteral("status"))->maximumWidth(), (300 * tw - 100) / tw, 1);
    if (!qEnvironmentVariableIsEmpty("MORVEN_DOCS_DIR")) {
        b.resize(900, 600);
        Aspetta(*pompa, [&] { return !web->title().isEmpty(); }, 3000);  // the page drawn
        Foto(b, "browser-window.png");
    }

    // Closing it at session step 2000 keeps the page display; at any other step turns it off.
    p.impostazioni.bDispBrowser = true;
    p.sessione.nPassoSessione = kPassoFinestraNascosta;
    b.close();
    EXPECT_TRUE(p.impostazioni.bDispBrowser);
    b.show();
    p.sessione.nPassoSessione = kPassoInviaPosta;
    b.close();
    EXPECT_FALSE(p.impostazioni.bDispBrowser);
    EXPECT_FALSE(b.isVisible());
    p.oggetti.oFrmBrowser = &t.browser;
}

TEST_F(SecondaryWindows, InformationWindowMessageAndClosing) {
    FrmSplash s(p);
    auto* avviso = s.findChild<QLabel*>(QStringLiteral("lblWarning"));
    EXPECT_EQ(avviso->text(), QStringLiteral("Avviso"));
    for (const char* nome : {"lblCopyright", "lblCompany", "lblWarning"})
        EXPECT_EQ(s.findChild<QLabel*>(QString::fromLatin1(nome))->font().family(), QStringLiteral("Arial")) << nome;
    t.clock.SetAutoStep(50);  // the 200 ms wait passes on the test clock
    const std::int64_t prima = t.clock.MonotonicMs();
    EXPECT_TRUE(s.ScriviMessaggio(" Versione  1.0.0", 0xFF));
    EXPECT_EQ(avviso->text(), QStringLiteral(" Versione  1.0.0"));
    EXPECT_EQ(avviso->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_GE(t.clock.MonotonicMs() - prima, 200);
    // A colour that is no RGB value is logged and writes nothing.
    EXPECT_FALSE(s.ScriviMessaggio("altro", 0x1000000));
    EXPECT_FALSE(s.ScriviMessaggio("altro", -1));
    EXPECT_EQ(avviso->text(), QStringLiteral(" Versione  1.0.0"));
    EXPECT_NE(Leggi("MorvenClient.log").find("ScriviMessaggio :"), std::string::npos);

    EXPECT_TRUE(s.ScriviMessaggio(" Versione  1.0.0", 0));  // as the main window writes it
    s.show();
    QCoreApplication::processEvents();
    auto* logo = s.findChild<QLabel*>(QStringLiteral("ImgLogo"));
    ASSERT_FALSE(logo->pixmap().isNull());
    Foto(s, "information.png");
    for (Qt::Key k : {Qt::Key_A, Qt::Key_Space, Qt::Key_Escape}) {
        s.show();
        QTest::keyClick(&s, k);
        EXPECT_FALSE(s.isVisible()) << k;
    }
    s.show();
    QTest::mouseClick(&s, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(s.isVisible());
}

// The menu entry "Informazioni" and the navigate button of a main window wired as the program wires it.
TEST_F(SecondaryWindows, MainWindowOpensInformationAndBrowserWindows) {
    std::unique_ptr<FrmSplash> info;
    FrmBrowser b(p);
    c.MostraInformazioni = [&](const std::string& testo) {
        if (!info) info = std::make_unique<FrmSplash>(p);
        info->ScriviMessaggio(testo, 0);
        info->show();
    };
    c.MostraPagina = [&](const std::string& a) { b.MostraPagina(a); };
    t.clock.SetAutoStep(50);
    Apri();
    w->Eventi().SmartMenu_ItemClick("MNU_INFO");
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->isVisible());
    EXPECT_EQ(info->findChild<QLabel*>(QStringLiteral("lblWarning"))->text(), QStringLiteral(" Versione  1.0.0"));

    p.impostazioni.sBrowserEsterno.clear();
    p.percorsi.sUltimoUrl = "http://127.0.0.1:9/pagina";
    w->Vista().SetVisible("CmdNaviga", true);
    w->Vista().SetEnabled("CmdNaviga", true);
    QTest::keyClick(w.get(), Qt::Key_F5);
    EXPECT_TRUE(b.isVisible());
    EXPECT_EQ(b.findChild<QWebEngineView*>(QStringLiteral("WebBrowser1"))->url().toString(),
              QStringLiteral("http://127.0.0.1:9/pagina"));
    b.hide();
}

TEST_F(SecondaryWindows, LcdPainterMatchesItsGoldenPicture) {
    const QColor nero(Qt::black), verde(0, 255, 0);
    const QImage immagine = McLCD::Disegna(160, 36, CellaPerAltezza(36), nero, verde, "12.5 Aa*");
    const QString oro = QStringLiteral(MORVEN_SOURCE_DIR "/tests/fixtures/windows/lcd-12.5-Aa.png");
    if (!qEnvironmentVariableIsEmpty("MORVEN_UPDATE_GOLDEN")) immagine.save(oro, "PNG");
    const QImage atteso = QImage(oro).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(atteso.isNull()) << oro.toStdString();
    EXPECT_EQ(immagine, atteso);
    // Only the two colours are drawn (no smoothing), and the cell of the lower-case "a" stays empty.
    const int xa = 2 + 2 * 23 + 16 + 3 * 23;  // after "1", "2", ".", "5", " " and "A"
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 160; ++x) {
            const QColor c = immagine.pixelColor(x, y);
            ASSERT_TRUE(c == nero || c == verde) << x << "," << y;
            if (x >= xa + 2 && x < xa + 18 + 3) {
                EXPECT_EQ(c, nero) << x << "," << y;
            }
        }

    // Bound to a label 36 pixels high inside: H 30, W 18; an empty caption only clears the area.
    QLabel area;
    area.setFixedSize(160, 36);
    McLCD lcd;
    lcd.NewLCD(area);
    EXPECT_EQ(lcd.Cella().altezza, 30);
    EXPECT_EQ(lcd.Cella().larghezza, 18);
    lcd.BackColor(0x000000);
    lcd.ForeColor(0x00FF00);
    lcd.Caption("12.5 Aa*");
    EXPECT_EQ(area.pixmap().toImage().convertToFormat(QImage::Format_RGB32), atteso);
    lcd.BackColor(0x800000);  // &HBBGGRR: dark blue
    lcd.Caption("");
    const QImage vuota = area.pixmap().toImage();
    for (int y = 0; y < 36; y += 5)
        for (int x = 0; x < 160; x += 7) ASSERT_EQ(vuota.pixelColor(x, y), QColor(0, 0, 128)) << x << "," << y;

    if (!qEnvironmentVariableIsEmpty("MORVEN_DOCS_DIR")) {
        const QImage grande = McLCD::Disegna(300, 56, CellaPerAltezza(56), QColor(32, 32, 32), QColor(64, 208, 64),
                                             "MORVEN 12.5");
        grande.save(QString::fromLocal8Bit(qgetenv("MORVEN_DOCS_DIR")) + "/lcd.png", "PNG");
    }
}

}  // namespace
}  // namespace morven::testing
