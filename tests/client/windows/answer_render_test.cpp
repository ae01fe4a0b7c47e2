// The answer models drawn into LVWMancanti, TreeView1 and TextMess, read back from the widgets. With
// MORVEN_DOCS_DIR set the tests also save a picture of each answer into that folder (the docs' pictures).
#include "tests/client/windows/qt_test_support.h"

#include "client/session/layout.h"
#include "client/windows/answer_render.h"
#include "client/windows/qt_text.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

namespace morven::testing {
namespace {

using AnswerRender = WindowFixture;

void Foto(FrmMorven& w, const char* nome) {
    const QByteArray cartella = qgetenv("MORVEN_DOCS_DIR");
    if (cartella.isEmpty()) return;
    w.resize(1024, 736);  // a 1024x768 screen less the title bar
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    w.grab().save(QString::fromLocal8Bit(cartella) + "/" + nome, "PNG");
}

// Every cell, colour, image and width of the table against the model.
void ConfrontaTabella(const QTableWidget& t, const ModelloLista& m) {
    ASSERT_EQ(t.columnCount(), int(m.colonne.size()));
    ASSERT_EQ(t.rowCount(), int(m.righe.size()));
    EXPECT_TRUE(t.showGrid());
    EXPECT_EQ(t.selectionBehavior(), QAbstractItemView::SelectRows);
    const QFontMetrics fm(t.font());
    for (int c = 0; c < t.columnCount(); ++c) {
        const ColonnaLista& col = m.colonne[std::size_t(c)];
        EXPECT_EQ(t.horizontalHeaderItem(c)->text().toStdString(), DaCp1252(col.intestazione).toStdString());
        EXPECT_GE(t.columnWidth(c), fm.horizontalAdvance(DaCp1252(col.testoMisura))) << c;
    }
    for (int r = 0; r < t.rowCount(); ++r) {
        const RigaLista& riga = m.righe[std::size_t(r)];
        for (int c = 0; c < t.columnCount(); ++c) {
            const QTableWidgetItem* cella = t.item(r, c);
            ASSERT_NE(cella, nullptr);
            EXPECT_EQ(cella->text().toStdString(), DaCp1252(riga.testi[std::size_t(c)]).toStdString()) << r << "," << c;
            EXPECT_GE(t.columnWidth(c), fm.horizontalAdvance(cella->text())) << r << "," << c;
            const auto& colore = riga.colori[std::size_t(c)];
            if (colore) EXPECT_EQ(cella->foreground().color(), ColoreQt(*colore)) << r << "," << c;
            else EXPECT_EQ(cella->foreground().style(), Qt::NoBrush) << r << "," << c;
        }
        EXPECT_EQ(!t.item(r, 0)->icon().isNull(), !riga.immagine.empty()) << r;
    }
}

TEST_F(AnswerRender, AvailabilityAnswerWithOffersAndTheDialogue) {
    CopiaFixture("IFCK01_OUT_MORVEN.DAT", "IFCK01_OUT_MORVEN.DAT");
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.bDisponibilita = true;
    p.impostazioni.sConnect = "Farmagross Nord";
    p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
    Apri();
    ASSERT_TRUE(w->Eventi().MostraRispostaMancanti());
    const ModelloLista& m = w->Eventi().Lista();
    ASSERT_FALSE(m.righe.empty());
    ConfrontaTabella(*w->Lista(), m);
    bool immagini = false;
    for (const RigaLista& r : m.righe) immagini |= !r.immagine.empty();
    EXPECT_TRUE(immagini);
    EXPECT_TRUE(w->Vista().Visible("CmdConferma"));
    EXPECT_TRUE(w->Vista().Visible("LVWMancanti"));
    EXPECT_FALSE(w->Vista().Visible("WebBrowser1"));
    Foto(*w, "answer-availability.png");

    // A header click sorts the model on that column and shows it again.
    const int colonna = 3;
    QTest::mouseClick(w->Lista()->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(w->Lista()->horizontalHeader()->sectionViewportPosition(colonna) + 5, 5));
    EXPECT_TRUE(w->Eventi().Lista().ordinata);
    EXPECT_EQ(w->Eventi().Lista().colonnaOrdinamento, std::size_t(colonna));
    ConfrontaTabella(*w->Lista(), w->Eventi().Lista());
}

TEST_F(AnswerRender, OrderAnswerWithLabelsAndMessages) {
    CopiaFixture("IFCK02_OUT_T115.DAT", "IFCK02_OUT_MORVEN.DAT");
    CopiaFixture("app_messages/msgrx.txt", "msgrx.txt");
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.sConnect = "Farmagross Nord";
    p.opzioni.sFileIFCKOut = "IFCK02_OUT_MORVEN.DAT";
    Apri();
    ASSERT_TRUE(w->Eventi().MostraRispostaMancanti());
    const ModelloLista& m = w->Eventi().Lista();
    ConfrontaTabella(*w->Lista(), m);
    ASSERT_TRUE(m.rifOrdineGrossista);
    EXPECT_EQ(w->Vista().Text("LblRifOrdineGrossista"), *m.rifOrdineGrossista);
    EXPECT_EQ(w->Vista().Text("TxtNoteOrdine"), *m.noteOrdine);
    EXPECT_TRUE(w->Vista().Visible("PictureinfoOrdine"));
    const std::string messaggi = w->Vista().Text("TextMess");
    std::string msgrx;
    ReadWholeFile(dir / "msgrx.txt", msgrx);
    const std::string primaRiga = msgrx.substr(0, msgrx.find('\r'));
    EXPECT_NE(messaggi.find(primaRiga), std::string::npos) << messaggi;
    EXPECT_FALSE(w->Vista().Visible("CmdConferma"));
    EXPECT_TRUE(w->Vista().Visible("CmdNaviga"));
    Foto(*w, "answer-order.png");
}

TEST_F(AnswerRender, DocumentsTreeParentsBeforeChildren) {
    CopiaFixture("IFCK03_OUT_MORVEN.DAT", "IFCK03_OUT_MORVEN.DAT");
    p.impostazioni.bRichDocs = true;
    p.impostazioni.sConnect = "Farmagross Nord";
    Apri();
    w->Eventi().MostraRispostaDocumenti();
    const ModelloDocumenti modello = DisplayDocumenti(dir / "IFCK03_OUT_MORVEN.DAT", {});
    ASSERT_FALSE(modello.nodi.empty());
    const QTreeWidget& albero = *w->Albero();
    // Every model node once, under the item of its parent, siblings in the model's order.
    std::vector<int> visti(modello.nodi.size(), 0);
    std::function<void(const QTreeWidgetItem*, std::optional<std::size_t>)> visita =
        [&](const QTreeWidgetItem* v, std::optional<std::size_t> padre) {
            const std::size_t i = v->data(0, Qt::UserRole + 1).toULongLong();
            ASSERT_LT(i, modello.nodi.size());
            ++visti[i];
            EXPECT_EQ(v->text(0).toStdString(), DaCp1252(modello.nodi[i].testo).toStdString()) << i;
            EXPECT_EQ(modello.nodi[i].genitore, padre) << i;
            std::size_t prima = 0;
            for (int k = 0; k < v->childCount(); ++k) {
                const std::size_t figlio = v->child(k)->data(0, Qt::UserRole + 1).toULongLong();
                EXPECT_GE(figlio, prima);
                prima = figlio;
                visita(v->child(k), i);
            }
        };
    for (int i = 0; i < albero.topLevelItemCount(); ++i) visita(albero.topLevelItem(i), std::nullopt);
    for (std::size_t i = 0; i < visti.size(); ++i) EXPECT_EQ(visti[i], 1) << i;
    EXPECT_TRUE(w->Vista().Visible("TreeView1"));
    EXPECT_FALSE(w->Vista().Text("TextMess").empty());
    Foto(*w, "answer-documents.png");
}

TEST_F(AnswerRender, DoubleClickOnAnOfferRowChangesItsQuantity) {
    CopiaFixture("IFCK01_OUT_MORVEN.DAT", "IFCK01_OUT_MORVEN.DAT");
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.bDisponibilita = true;
    p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
    c.DettaglioOfferta = [](const std::string&, const std::string&, int) { return 7; };
    Apri();
    ASSERT_TRUE(w->Eventi().MostraRispostaMancanti());
    QTableWidget& t = *w->Lista();
    t.selectRow(0);
    const QRect cella = t.visualRect(t.model()->index(0, 2));
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, cella.center());
    QTest::mouseDClick(t.viewport(), Qt::LeftButton, {}, cella.center());
    EXPECT_EQ(t.item(0, 3)->text().toStdString(), "00007");
    EXPECT_EQ(t.item(0, 3)->foreground().color(), QColor(255, 0, 0));
}

}  // namespace
}  // namespace morven::testing
