// The windows as they look on a pharmacy counter's 1024x768 screen, offscreen: every window fits it whole,
// the main window gives the whole width to what each phase shows, headings are cut only when they do not
// fit, the system colours of the forms are the palette's own, and texts show whole and from their start.
#include "client/engine/settings.h"
#include "client/session/layout.h"
#include "client/windows/elided_label.h"
#include "client/windows/frm_browser.h"
#include "client/windows/frm_dettaglio_offerta.h"
#include "client/windows/frm_impostazioni.h"
#include "client/windows/frm_richieste.h"
#include "client/windows/frm_splash.h"
#include "client/windows/qt_view.h"
#include "tests/client/windows/qt_test_support.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

namespace morven::testing {
namespace {

// The screen: 1024x768, less a title bar.
constexpr int kLarghezzaSchermo = 1024;
constexpr int kAltezzaUtile = 768 - 32;

void Aggiorna() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

struct WindowLayout : WindowFixture {
    // The main window as large as the screen.
    void ApriSchermo() {
        Apri();
        w->resize(kLarghezzaSchermo, kAltezzaUtile);
        Aggiorna();
    }
    void Disponibilita() {
        CopiaFixture("IFCK01_OUT_MORVEN.DAT", "IFCK01_OUT_MORVEN.DAT");
        p.impostazioni.bModeIFCK = true;
        p.impostazioni.bDisponibilita = true;
        p.impostazioni.sConnect = "Grossista Prova Sud";
        p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
    }
    QWidget* Laterale() { return w->findChild<QWidget*>("Laterale"); }
};

// A window that does not fit the screen hides its buttons below its edge: every window's smallest size,
// and so the size it opens at, fit 1024x768. The settings window is measured for each kind of slot.
TEST_F(WindowLayout, EveryWindowFitsTheScreen) {
    auto misura = [](QWidget& f, const std::string& nome) {
        f.show();
        Aggiorna();
        SCOPED_TRACE(nome);
        for (const QSize s : {f.minimumSizeHint(), f.minimumSize(), f.size()}) {
            EXPECT_LE(s.width(), kLarghezzaSchermo) << s.width() << "x" << s.height();
            EXPECT_LE(s.height(), kAltezzaUtile) << s.width() << "x" << s.height();
        }
    };
    Apri();
    misura(*w, "FrmMorven");
    for (int fase = 0; fase < kNumeroFasi; ++fase) {
        ImpostaVisualizzazione(p, w->Vista(), fase, "Elenco Risposte", "Grossista Prova Sud");
        misura(*w, "FrmMorven phase " + std::to_string(fase));
    }

    const struct {
        const char* modo;
        const char* interfaccia;
        bool ifck;
    } slot[] = {{"NORMALE", "ORDINE", false}, {"INTERNET", "IFCK", true}, {"MISTO", "ORDINE", false},
                {"FTP", "IFCK", true},        {"INTERNET", "POSTA", false}};
    for (const auto& k : slot) {
        ImpostazioniGrossista s;
        s.sConnect = "Farmagross Nord";
        s.bModeIFCK = k.ifck;
        s.bCompMvn = k.ifck;
        s.sInterfaccia = k.interfaccia;
        std::string testo = TestoImpostazioni(s);
        const std::string mode = "Mode      :NORMALE";
        testo.replace(testo.find(mode), mode.size(), std::string("Mode      :") + k.modo);
        Scrivi("MvnConn03.par", testo);
        p.opzioni.sGrossistaSelezionato = "03";
        FrmImpostazioni d(p, CollegamentiFrmImpostazioni{});
        d.Carica();
        misura(d, std::string("FrmImpostazioni ") + k.modo + " " + k.interfaccia);
    }

    FrmRicDocumenti documenti(p);
    misura(documenti, "FrmRicDocumenti");
    FrmMessaggio messaggio(p);
    misura(messaggio, "FrmMessaggio");
    FrmOrdinePht pht(p);
    misura(pht, "FrmOrdinePht");
    FrmSplash splash(p);
    misura(splash, "frmSplash");
    FrmBrowser browser(p);
    misura(browser, "frmbrowser");
    FrmDettaglioOfferta offerta(p);
    misura(offerta, "FrmDettaglioOfferta");
}

// The right-hand column holds only the order information and the messages: where both are hidden (idle,
// connection, availability answer) it takes no room and the list or the browser has the whole width; the
// availability list then shows every column, "Nota" included, without a scroll bar.
TEST_F(WindowLayout, AHiddenColumnTakesNoRoom) {
    ApriSchermo();
    const struct {
        int fase;
        bool colonna;
    } casi[] = {{kFaseAvvio, false}, {kFaseCollegamento, false}, {kFaseDisponibilita, false},
                {kFaseMancanti, true}, {kFaseFine, true},        {kFaseDocumenti, true}};
    for (const auto& k : casi) {
        SCOPED_TRACE(k.fase);
        ImpostaVisualizzazione(p, w->Vista(), k.fase, "T", "G");
        Aggiorna();
        EXPECT_EQ(Laterale()->isVisible(), k.colonna);
        QWidget* riquadro = k.fase == kFaseDisponibilita || k.fase == kFaseMancanti ? static_cast<QWidget*>(w->Lista())
                            : k.fase == kFaseDocumenti ? static_cast<QWidget*>(w->Albero())
                                                       : w->findChild<QWidget*>("WebBrowser1");
        if (!k.colonna) {
            EXPECT_GE(riquadro->width(), w->width() - 40);
        }
    }

    Disponibilita();
    ASSERT_TRUE(w->Eventi().MostraRispostaMancanti());
    Aggiorna();
    QTableWidget* lista = w->Lista();
    EXPECT_FALSE(Laterale()->isVisible());
    EXPECT_EQ(lista->horizontalScrollBar()->maximum(), 0) << "columns wider than the list";
    const int nota = lista->columnCount() - 1;
    EXPECT_EQ(lista->horizontalHeaderItem(nota)->text(), QStringLiteral("Nota"));
    EXPECT_LE(lista->horizontalHeader()->sectionViewportPosition(nota) + lista->columnWidth(nota),
              lista->viewport()->width());
}

// The headings are cut only when the text does not fit beside each other: with room to spare each shows
// whole; a heading longer than the window is cut with "…" and still does not widen it.
TEST_F(WindowLayout, HeadingsAreCutOnlyWhenTheyDoNotFit) {
    ApriSchermo();
    auto* rosso = w->findChild<EtichettaRidotta*>("LblSpazioRosso");
    auto* grigio = w->findChild<EtichettaRidotta*>("LblSpazioGrigio");
    ASSERT_NE(rosso, nullptr);
    ASSERT_NE(grigio, nullptr);
    const std::pair<const char*, const char*> titoli[] = {{"Morven", "Scegliere il grossista dal menu Collegamento"},
                                                          {"Elenco Risposte", "Grossista Prova Sud"},
                                                          {"Collegamento Interrotto", "Farmagross Nord - INTERNET"}};
    for (const auto& [titolo, descrizione] : titoli) {
        SCOPED_TRACE(titolo);
        ImpostaVisualizzazione(p, w->Vista(), kFaseDisponibilita, titolo, descrizione);
        Aggiorna();
        for (EtichettaRidotta* l : {rosso, grigio}) {
            EXPECT_FALSE(l->Ridotta()) << l->text().toStdString() << " in " << l->width() << " px";
            EXPECT_GE(l->contentsRect().width(), l->fontMetrics().horizontalAdvance(l->text()));
        }
    }
    const std::string lungo(3000, 'x');
    ImpostaVisualizzazione(p, w->Vista(), kFaseCollegamento, "Collegamento", lungo);
    Aggiorna();
    EXPECT_TRUE(grigio->Ridotta());
    EXPECT_LE(w->width(), kLarghezzaSchermo);
    EXPECT_FALSE(rosso->Ridotta());
}

// System colours (&H80000000 + element) are the palette's colours for that element, never the black of
// their low 24 bits; plain colours are &HBBGGRR.
TEST_F(WindowLayout, SystemColoursAreThePalettesOwn) {
    App();
    QPalette tavolozza;
    tavolozza.setColor(QPalette::Disabled, QPalette::Base, QColor(0xd4, 0xd0, 0xc8));
    tavolozza.setColor(QPalette::Active, QPalette::Text, QColor(1, 2, 3));
    tavolozza.setColor(QPalette::Active, QPalette::Button, QColor(4, 5, 6));
    tavolozza.setColor(QPalette::Active, QPalette::Highlight, QColor(7, 8, 9));
    const struct {
        std::uint32_t colore;
        QColor atteso;
    } casi[] = {
        {0x80000000u, QColor(0xd4, 0xd0, 0xc8)},  // the grey of a field that can't be filled
        {0x80000008u, QColor(1, 2, 3)},           // window text
        {0x8000000Fu, QColor(4, 5, 6)},           // button face
        {0x8000000Du, QColor(7, 8, 9)},           // highlight
        {0x00FF0000u, QColor(0, 0, 255)},         // &HFF0000: blue
        {0x000000FFu, QColor(255, 0, 0)},
        {0x00FFFFFFu, QColor(255, 255, 255)},
    };
    for (const auto& k : casi) EXPECT_EQ(ColoreQt(k.colore, tavolozza), k.atteso) << std::hex << k.colore;

    // The document request's reference fields, disabled at opening, have the palette's disabled background.
    FrmRicDocumenti d(p);
    d.show();
    Aggiorna();
    for (const char* nome : {"TxtNumeroOrdine", "TxtSiglaDocumento", "TxtNumeroDocumento"}) {
        auto* campo = d.findChild<QLineEdit*>(nome);
        ASSERT_NE(campo, nullptr) << nome;
        EXPECT_FALSE(campo->isEnabled());
        const QColor sfondo = campo->palette().color(QPalette::Disabled, QPalette::Base);
        EXPECT_EQ(sfondo, QApplication::palette(campo).color(QPalette::Disabled, QPalette::Base)) << nome;
        EXPECT_NE(sfondo, QColor(Qt::black)) << nome;
    }
}

// Texts show whole and from their start: the PHT order list's headings fit their columns before any row;
// a product description taken into its field shows its beginning; the offer grid's cells hold their text;
// the captions we wrote carry their accents.
TEST_F(WindowLayout, TextsShowWholeAndFromTheirStart) {
    std::filesystem::copy(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/pht/PHT", dir / "PHT",
                          std::filesystem::copy_options::recursive);
    p.percorsi.sFileImpostazioni = dir / "MvnConn03.par";
    FrmOrdinePht o(p);
    o.show();
    Aggiorna();
    auto* ordine = o.findChild<QTableWidget*>("LvwOrdinePht");
    for (int c = 0; c < ordine->columnCount(); ++c)
        EXPECT_GE(ordine->columnWidth(c), ordine->horizontalHeader()->sectionSizeHint(c))
            << ordine->horizontalHeaderItem(c)->text().toStdString();

    // A description longer than its field, with trailing blanks, taken from the product list.
    auto* descrizione = o.findChild<QLineEdit*>("TxtDescrizione");
    descrizione->setFixedWidth(120);
    QTest::keyClicks(descrizione, "PHT");
    QTest::keyClick(descrizione, Qt::Key_Return);
    auto* prodotti = o.findChild<QTableWidget*>("LvWProdotti");
    ASSERT_GT(prodotti->rowCount(), 0);
    emit prodotti->cellDoubleClicked(0, 0);
    o.Eventi().CmdRicConferma_Click();
    Aggiorna();
    ASSERT_FALSE(descrizione->text().trimmed().isEmpty());
    EXPECT_EQ(descrizione->cursorPosition(), 0);

    // The offer grid: a long payment term beside empty conditions shows whole.
    CopiaFixture("IFCK01_OUT_MORVEN.DAT", "IFCK01_OUT_MORVEN.DAT");
    FrmDettaglioOfferta d(p);
    d.Vista().SetText("LblPagamento(0)", "Rimessa diretta 60 gg data fattura ");
    d.Vista().SetText("LblAltroOmaggio(0)", "ALTRO PRODOTTO OMAGGIO 20CPR ");
    d.show();
    d.resize(d.minimumSize());  // the smallest the dialog can be made
    Aggiorna();
    for (const char* nome : {"LblPagamento_0", "LblAltroOmaggio_0"}) {
        auto* l = d.findChild<QLabel*>(nome);
        ASSERT_NE(l, nullptr) << nome;
        // Whole: on one line, or wrapped onto lines that all fit the cell.
        const QRect r = l->contentsRect();
        const QRect testo = l->fontMetrics().boundingRect(r, Qt::TextWordWrap, l->text());
        EXPECT_LE(testo.width(), r.width()) << nome;
        EXPECT_LE(testo.height(), r.height()) << nome;
    }

    // Captions of the settings window: no word that needs its accent is written without it.
    p.opzioni.sGrossistaSelezionato = "03";
    FrmImpostazioni impostazioni(p, CollegamentiFrmImpostazioni{});
    const QStringList senzaAccento = {"Velocita", "Compatibilita", "disponibilita", "Quantita", "Validita", "Perche"};
    for (QWidget* c : impostazioni.findChildren<QWidget*>()) {
        QString testo;
        if (auto* l = qobject_cast<QLabel*>(c)) testo = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(c)) testo = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(c)) testo = g->title();
        for (const QString& parola : senzaAccento)
            EXPECT_FALSE(testo.contains(QRegularExpression("\\b" + parola + "\\b", QRegularExpression::CaseInsensitiveOption)))
                << c->objectName().toStdString() << ": " << testo.toStdString();
    }
}

}  // namespace
}  // namespace morven::testing
