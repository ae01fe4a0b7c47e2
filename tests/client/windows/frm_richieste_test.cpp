// The request windows as Qt dialogs (offscreen): names and layouts, the keys and states of each window as
// the pharmacist drives them, the batch run without a screen, and an interactive call that opens the
// document request, builds the request of what was chosen and shows the documents answer.
//
// With MORVEN_DOCS_DIR set, the tests save a picture of each window into that folder:
//   MORVEN_DOCS_DIR=$PWD/docs QT_QPA_PLATFORM=offscreen build/bin/client_windows_tests --gtest_filter='FrmRichieste*'
#include "client/windows/frm_richieste.h"

#include "client/engine/programma.h"
#include "client/session/call_driver.h"
#include "client/session/ifck_request.h"
#include "client/presenters/pht_order.h"
#include "platform/core/text.h"
#include "tests/client/windows/qt_test_support.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace morven {
namespace {

void Foto(QWidget& w, const char* nome) {
    const QByteArray cartella = qgetenv("MORVEN_DOCS_DIR");
    if (cartella.isEmpty()) return;
    w.show();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    w.grab().save(QString::fromLocal8Bit(cartella) + "/" + QString::fromLatin1(nome), "PNG");
}

template <class T = QWidget>
T* C(QWidget& w, const char* nome) {
    T* c = w.findChild<T*>(QString::fromLatin1(nome));
    EXPECT_NE(c, nullptr) << nome;
    return c;
}

void Tasto(QWidget& w, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QWidget* f = QApplication::focusWidget();
    QTest::keyClick(f && f->window() == &w ? f : &w, k, m);
}

struct FrmRichiesteTest : testing::WindowFixture {
    std::string Log() {
        std::string s;
        ReadWholeFile(dir / (p.percorsi.sNomeProgramma + ".log"), s);
        return s;
    }
};

TEST_F(FrmRichiesteTest, EveryControlHasItsNameAndTheFormsHaveLayouts) {
    FrmRicDocumenti d(p);
    FrmMessaggio m(p);
    FrmOrdinePht o(p);
    const std::pair<QWidget*, std::vector<const char*>> finestre[] = {
        {&d, {"OptDDt", "OptFatture", "OptDDtFatture", "OptListino", "OptTrattatiPHT", "TxtNumeroOrdine",
              "TxtSiglaDocumento", "TxtNumeroDocumento", "DTDataDocumento", "CmdConferma", "CmdAnnulla"}},
        {&m, {"Imessaggio", "CmdConferma", "CmdAnnulla"}},
        {&o, {"TxtCodice", "TxtDescrizione", "FrameCodice", "TxtQta", "TxtRicettaParte1", "TxtRicettaParte2",
              "FrameRicetta", "FrameRicerca", "LvWProdotti", "CmdRicConferma", "CmdRicAnnulla", "LvwOrdinePht",
              "CmdCerca", "CmdConferma", "CmdAnnulla", "CmdCancella", "CmdEmettiOrdine", "CmdUscita"}},
    };
    for (const auto& [w, nomi] : finestre) {
        EXPECT_NE(w->layout(), nullptr) << w->objectName().toStdString();
        for (const char* n : nomi) C(*w, n);
    }
    EXPECT_EQ(C<QPushButton>(d, "CmdConferma")->text(), QStringLiteral("Conferma [F1]"));
    EXPECT_EQ(C<QRadioButton>(d, "OptDDtFatture")->text(), QStringLiteral("Ddt e Fatture"));
    // The entry limits of the order file's columns.
    EXPECT_EQ(C<QLineEdit>(o, "TxtQta")->maxLength(), 5);
    EXPECT_EQ(C<QLineEdit>(o, "TxtRicettaParte1")->maxLength(), 10);
    EXPECT_EQ(C<QLineEdit>(o, "TxtRicettaParte2")->maxLength(), 5);
}

TEST_F(FrmRichiesteTest, DocumentRequestByKeys) {
    FrmRicDocumenti d(p);
    d.show();
    EXPECT_TRUE(C<QRadioButton>(d, "OptListino")->isChecked());
    EXPECT_FALSE(C<QLineEdit>(d, "TxtNumeroOrdine")->isEnabled());
    QTest::mouseClick(C(d, "OptDDt"), Qt::LeftButton, {}, QPoint(6, 6));
    ASSERT_TRUE(C<QLineEdit>(d, "TxtNumeroOrdine")->isEnabled());
    C(d, "TxtNumeroOrdine")->setFocus();
    QTest::keyClicks(C(d, "TxtNumeroOrdine"), " 123 ");
    C<QDateEdit>(d, "DTDataDocumento")->setDate(QDate(2026, 3, 5));
    Tasto(d, Qt::Key_F1);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(p.impostazioni.bRichDocs);
    EXPECT_EQ(p.richiesta.sTipoDocumento, "1");
    EXPECT_EQ(p.richiesta.sNumeroOrdine, "123");
    EXPECT_EQ(p.richiesta.sDataDocumento, "05/03/2026");

}

// Closing the document request by its frame or with Escape changes nothing of the request (only Annulla
// cancels it): the flags and references stay as the last confirm left them.
TEST_F(FrmRichiesteTest, DocumentRequestClosedByTheFrameOrEscapeChangesNothing) {
    const struct {
        const char* nome;
        std::function<void(FrmRicDocumenti&)> chiudi;
    } casi[] = {
        {"close box", [](FrmRicDocumenti& d) { d.close(); }},
        {"Escape", [](FrmRicDocumenti& d) { QTest::keyClick(C(d, "TxtNumeroDocumento"), Qt::Key_Escape); }},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(k.nome);
        p.impostazioni.bRichDocs = true;
        p.richiesta.bRichListino = true;
        p.richiesta.bRichTrattatiPht = false;
        p.richiesta.sTipoDocumento = "0";
        p.richiesta.sNumeroOrdine = "77";
        FrmRicDocumenti d(p);
        d.show();
        // DDT and invoices: the order number can't be filled (grey), the document's series and number can.
        QTest::mouseClick(C(d, "OptDDtFatture"), Qt::LeftButton, {}, QPoint(6, 6));
        QTest::keyClicks(C(d, "TxtSiglaDocumento"), "A1");
        QTest::keyClicks(C(d, "TxtNumeroDocumento"), "4567");
        C<QDateEdit>(d, "DTDataDocumento")->setDate(QDate(2026, 3, 5));
        if (k.nome == std::string("close box")) Foto(d, "request-documents.png");
        k.chiudi(d);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), QDialog::Rejected);
        EXPECT_TRUE(p.impostazioni.bRichDocs);
        EXPECT_TRUE(p.richiesta.bRichListino);
        EXPECT_FALSE(p.richiesta.bRichTrattatiPht);
        EXPECT_EQ(p.richiesta.sTipoDocumento, "0");
        EXPECT_EQ(p.richiesta.sNumeroOrdine, "77");
    }
}

// Escape and the close box of the PHT order window ask as F10 does, with No as the default: No keeps the
// window and its rows, Yes closes it without an order.
TEST_F(FrmRichiesteTest, PhtOrderWindowAsksBeforeEscapeOrTheCloseBoxLoseTheRows) {
    std::filesystem::copy(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/pht/PHT", dir / "PHT",
                          std::filesystem::copy_options::recursive);
    p.percorsi.sFileImpostazioni = dir / "MvnConn03.par";
    const struct {
        const char* nome;
        std::function<void(FrmOrdinePht&)> esci;
    } casi[] = {
        {"Escape", [](FrmOrdinePht& o) { Tasto(o, Qt::Key_Escape); }},
        {"close box", [](FrmOrdinePht& o) { o.close(); }},
        {"F10", [](FrmOrdinePht& o) { Tasto(o, Qt::Key_F10); }},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(k.nome);
        FrmOrdinePht o(p);
        o.show();
        QCoreApplication::processEvents();
        RigaOrdinePht r{"012345678", "PRODOTTO", "1", "", ""};
        ASSERT_TRUE(AggiungiRigaLvWOrdine(p, o.Vista(), "LvwOrdinePht", r));
        t.msgbox.calls.clear();
        t.msgbox.answers = {vbNo};
        k.esci(o);
        ASSERT_EQ(t.msgbox.calls.size(), 1u);
        EXPECT_EQ(t.msgbox.calls[0].prompt, "Confermi Uscita");
        EXPECT_EQ(t.msgbox.calls[0].style, 276);
        EXPECT_TRUE(o.isVisible());
        EXPECT_EQ(C<QTableWidget>(o, "LvwOrdinePht")->rowCount(), 1);
        t.msgbox.answers = {vbYes};
        k.esci(o);
        EXPECT_FALSE(o.isVisible());
        EXPECT_FALSE(o.Eventi().Emesso());
    }
}

// In the product list, the row reached with the arrow keys is taken with F1 as a double-clicked one is.
TEST_F(FrmRichiesteTest, PhtProductChosenWithTheArrowKeysIsTakenWithF1) {
    std::filesystem::copy(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/pht/PHT", dir / "PHT",
                          std::filesystem::copy_options::recursive);
    p.percorsi.sFileImpostazioni = dir / "MvnConn03.par";
    FrmOrdinePht o(p);
    o.show();
    QCoreApplication::processEvents();
    C(o, "TxtDescrizione")->setFocus();
    QTest::keyClick(C(o, "TxtDescrizione"), Qt::Key_Return);  // every product
    auto* prodotti = C<QTableWidget>(o, "LvWProdotti");
    ASSERT_GE(prodotti->rowCount(), 3);
    prodotti->setFocus();
    prodotti->setCurrentCell(0, 0);
    QTest::keyClick(prodotti, Qt::Key_Down);
    QTest::keyClick(prodotti, Qt::Key_Down);
    ASSERT_EQ(prodotti->currentRow(), 2);
    EXPECT_TRUE(C(o, "CmdRicConferma")->isEnabled());
    Tasto(o, Qt::Key_F1);
    EXPECT_FALSE(C(o, "FrameRicerca")->isVisible());
    EXPECT_EQ(C<QLineEdit>(o, "TxtCodice")->text(), prodotti->item(2, 0)->text());
    EXPECT_EQ(QApplication::focusWidget(), C(o, "TxtQta"));
}

TEST_F(FrmRichiesteTest, MessageComposerByKeys) {
    FrmMessaggio m(p);
    m.show();
    C(m, "Imessaggio")->setFocus();
    QTest::keyClicks(C(m, "Imessaggio"), QStringLiteral("Consegna urgente"));
    QTest::keyClick(C(m, "Imessaggio"), Qt::Key_Return);
    C<QPlainTextEdit>(m, "Imessaggio")->insertPlainText(QStringLiteral("Caff\u00E8 per il magazzino"));
    Foto(m, "request-message.png");
    Tasto(m, Qt::Key_F1);
    EXPECT_EQ(p.messaggio.sMes1, "Consegna urgente ");
    EXPECT_EQ(p.messaggio.sMes2, "Caff\xE8 per il magazzino");  // Windows-1252 for the line
    EXPECT_EQ(m.result(), QDialog::Accepted);
}

// Escape closes the message composer as its frame does: what was typed is not taken as the message.
TEST_F(FrmRichiesteTest, MessageComposerEscapeTakesNothing) {
    p.messaggio.sMes1 = "prima";
    FrmMessaggio m(p);
    m.show();
    C(m, "Imessaggio")->setFocus();
    QTest::keyClicks(C(m, "Imessaggio"), QStringLiteral("non inviare"));
    QTest::keyClick(C(m, "Imessaggio"), Qt::Key_Escape);
    EXPECT_FALSE(m.isVisible());
    EXPECT_EQ(m.result(), QDialog::Rejected);
    EXPECT_EQ(p.messaggio.sMes1, "prima");
}

TEST_F(FrmRichiesteTest, PhtOrderByKeys) {
    std::filesystem::copy(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/pht/PHT", dir / "PHT",
                          std::filesystem::copy_options::recursive);
    p.percorsi.sFileImpostazioni = dir / "MvnConn03.par";
    p.opzioni.sFileIFCKIn = "IFCK05_IN_MORVEN.DAT";
    p.impostazioni.sCodiceCliente = "12345";
    FrmOrdinePht o(p);
    o.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(C(o, "FrameRicerca")->isVisible());
    EXPECT_FALSE(C(o, "CmdEmettiOrdine")->isEnabled());
    C(o, "TxtDescrizione")->setFocus();
    QTest::keyClicks(C(o, "TxtDescrizione"), "PHT");
    QTest::keyClick(C(o, "TxtDescrizione"), Qt::Key_Return);  // Enter searches
    ASSERT_TRUE(C(o, "FrameRicerca")->isVisible());
    auto* prodotti = C<QTableWidget>(o, "LvWProdotti");
    ASSERT_EQ(prodotti->rowCount(), 4);
    Foto(o, "pht-order-search.png");
    Tasto(o, Qt::Key_F2);  // F2 while searching does nothing
    emit prodotti->cellDoubleClicked(1, 0);
    Tasto(o, Qt::Key_F1);
    EXPECT_FALSE(C(o, "FrameRicerca")->isVisible());
    EXPECT_EQ(C<QLineEdit>(o, "TxtCodice")->text(), QStringLiteral("012345678    "));
    EXPECT_EQ(QApplication::focusWidget(), C(o, "TxtQta"));
    C<QLineEdit>(o, "TxtQta")->selectAll();
    QTest::keyClicks(C(o, "TxtQta"), "4");
    QTest::keyClicks(C(o, "TxtRicettaParte1"), "RICETTARIO99");  // longer than 10: the box keeps 10
    EXPECT_EQ(C<QLineEdit>(o, "TxtRicettaParte1")->text(), QStringLiteral("RICETTARIO"));
    Tasto(o, Qt::Key_F1);
    auto* ordine = C<QTableWidget>(o, "LvwOrdinePht");
    ASSERT_EQ(ordine->rowCount(), 1);
    EXPECT_EQ(ordine->item(0, 2)->text(), QStringLiteral("4"));
    EXPECT_TRUE(C(o, "CmdEmettiOrdine")->isEnabled());
    Foto(o, "pht-order.png");
    Tasto(o, Qt::Key_F1, Qt::ControlModifier);
    EXPECT_TRUE(o.Eventi().Emesso());
    EXPECT_EQ(o.result(), QDialog::Accepted);
    std::string scritto;
    ASSERT_TRUE(ReadWholeFile(dir / "IFCK05_IN_MORVEN.DAT", scritto));
    EXPECT_EQ(scritto.substr(123, 37), "P012345678    00004NNNRICETTARIO     ");
}

TEST_F(FrmRichiesteTest, BatchRunWithoutAScreenCancelsAtOnce) {
    p.opzioni.bBlkRun = true;
    p.impostazioni.bRichDocs = true;
    p.messaggio.sMes1 = "prima";
    DialoghiQt d;
    d.RicDocumenti(p);
    EXPECT_FALSE(p.impostazioni.bRichDocs);
    EXPECT_FALSE(d.OrdinePht(p));
    d.Messaggio(p);
    EXPECT_EQ(p.messaggio.sMes1, "prima");
    const std::string log = Log();
    for (const char* f : {"FrmRicDocumenti :", "FrmOrdinePht :", "FrmMessaggio :"})
        EXPECT_NE(log.find(f), std::string::npos) << f;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(FrmRichiesteTest, InteractiveCallAsksForDocumentsAndShowsTheAnswer) {
    Apri();
    auto riga = [](const std::string& k, const std::string& v) { return PadRight(k, 10) + ":" + v + "\r\n"; };
    Scrivi("MvnConn01.par", riga("Connect", "Grossista") + riga("Code", "12345") + riga("Mode", "FTP") +
                                riga("Interface", "ORDINE") + riga("RichDocs", "YES") + riga("Comp-MVN", "YES"));
    // The pharmacist: invoices, series A1 number 4567 of 5 March 2026.
    bool visto = false;
    std::function<void()> rispondi = [&] {
        auto* d = qobject_cast<FrmRicDocumenti*>(QApplication::activeModalWidget());
        if (!d) return QTimer::singleShot(10, rispondi);
        visto = true;
        QTest::mouseClick(C(*d, "OptFatture"), Qt::LeftButton, {}, QPoint(6, 6));
        QTest::keyClicks(C(*d, "TxtSiglaDocumento"), "A1");
        QTest::keyClicks(C(*d, "TxtNumeroDocumento"), "4567");
        C<QDateEdit>(*d, "DTDataDocumento")->setDate(QDate(2026, 3, 5));
        QTest::mouseClick(C(*d, "CmdConferma"), Qt::LeftButton);
    };
    QTimer::singleShot(0, rispondi);
    DialoghiQt dialoghi(w.get());
    EXPECT_TRUE(SceltaChiamata(p, "01", &dialoghi));
    ASSERT_TRUE(visto);
    EXPECT_EQ(p.opzioni.sFileIFCKIn, "IFCK03_IN_MORVEN.DAT");
    // The request sent is what was chosen.
    ASSERT_TRUE(ControllaInvio(p, dir / "IFCK03_IN_MORVEN.DAT", true));
    const std::string richiesta = Leggi("IFCK03_IN_MORVEN.DAT");
    EXPECT_EQ(richiesta.substr(0, 61), "T200500103000012345" + std::string(20, ' ') + "2" + "20260305" +
                                           "      4567" + "A1" + "1");
    // The wholesaler's documents answer is shown in the tree.
    CopiaFixture("IFCK03_OUT_MORVEN.DAT", "IFCK03_OUT_MORVEN.DAT");
    w->Eventi().MostraRispostaDocumenti();
    EXPECT_GT(w->Albero()->topLevelItemCount(), 0);
}

}  // namespace
}  // namespace morven
