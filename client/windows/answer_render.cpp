#include "client/windows/answer_render.h"

#include "client/windows/qt_text.h"
#include "client/windows/qt_view.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTableWidget>
#include <QTreeWidget>

#include <algorithm>

namespace morven {

namespace {
// Room around a cell's text (both sides together), in pixels.
constexpr int kMargineCella = 16;
constexpr int kLarghezzaImmagine = 20;
}  // namespace

void DisegnaLista(QTableWidget& t, const ModelloLista& lista) {
    t.setSortingEnabled(false);  // the model's order is the order shown; header clicks sort the model
    t.clear();
    const int colonne = int(lista.colonne.size());
    t.setColumnCount(colonne);
    t.setRowCount(int(lista.righe.size()));
    QStringList intestazioni;
    for (const ColonnaLista& c : lista.colonne) intestazioni << DaCp1252(c.intestazione);
    t.setHorizontalHeaderLabels(intestazioni);
    t.setSelectionBehavior(lista.selezioneRigaIntera ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    t.setShowGrid(lista.lineeGriglia);
    t.verticalHeader()->setVisible(false);

    const QIcon info = t.style()->standardIcon(QStyle::SP_MessageBoxInformation);
    for (std::size_t r = 0; r < lista.righe.size(); ++r) {
        const RigaLista& riga = lista.righe[r];
        for (int c = 0; c < colonne; ++c) {
            const std::size_t k = std::size_t(c);
            auto* cella = new QTableWidgetItem(k < riga.testi.size() ? DaCp1252(riga.testi[k]) : QString());
            if (k < riga.colori.size() && riga.colori[k]) cella->setForeground(ColoreQt(*riga.colori[k]));
            if (c == 0 && !riga.immagine.empty()) {
                cella->setIcon(info);
                cella->setData(Qt::UserRole, DaCp1252(riga.immagine));
            }
            if (c == 0) cella->setData(Qt::UserRole + 1, DaCp1252(riga.chiave));
            t.setItem(int(r), c, cella);
        }
    }

    const QFontMetrics fm(t.font());
    for (int c = 0; c < colonne; ++c) {
        const ColonnaLista& col = lista.colonne[std::size_t(c)];
        int w = fm.horizontalAdvance(DaCp1252(col.testoMisura.empty() ? col.intestazione : col.testoMisura));
        for (const RigaLista& riga : lista.righe) {
            if (std::size_t(c) < riga.testi.size()) w = std::max(w, fm.horizontalAdvance(DaCp1252(riga.testi[std::size_t(c)])));
            if (c == 0 && !riga.immagine.empty()) w = std::max(w, kLarghezzaImmagine);
        }
        t.setColumnWidth(c, w + kMargineCella);
    }
}

void DisegnaDocumenti(QTreeWidget& albero, const ModelloDocumenti& documenti) {
    albero.clear();
    albero.setColumnCount(1);
    albero.setHeaderHidden(true);
    albero.setRootIsDecorated(documenti.lineeDallaRadice);
    std::vector<QTreeWidgetItem*> voci(documenti.nodi.size(), nullptr);
    for (std::size_t i = 0; i < documenti.nodi.size(); ++i) {
        const NodoAlbero& n = documenti.nodi[i];
        QTreeWidgetItem* padre = n.genitore && *n.genitore < i ? voci[*n.genitore] : nullptr;
        auto* voce = padre ? new QTreeWidgetItem(padre) : new QTreeWidgetItem(&albero);
        voce->setText(0, DaCp1252(n.testo));
        voce->setData(0, Qt::UserRole, DaCp1252(n.chiave));
        voce->setData(0, Qt::UserRole + 1, qulonglong(i));  // the node's place in the model
        voci[i] = voce;
    }
    for (int i = 0; i < albero.topLevelItemCount(); ++i) albero.topLevelItem(i)->setExpanded(true);
}

}  // namespace morven
