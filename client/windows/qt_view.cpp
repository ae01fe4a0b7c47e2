#include "client/windows/qt_view.h"

#include "client/engine/errors.h"
#include "client/windows/qt_text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWebEngineView>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>

namespace morven {

namespace {

constexpr int kErrProprieta = 438;  // object does not support this property or method

[[noreturn]] void NonSupportato(std::string_view control, const char* cosa) {
    SollevaErrore(kErrProprieta, "Proprieta' o metodo non supportati: " + std::string(control) + "." + cosa);
}

// The caption a menu entry keeps, also when its shown text is a placeholder.
constexpr const char* kProprietaCaption = "morvenCaption";
// The interval a timer was given, in the program's milliseconds (the timer itself holds real ones).
constexpr const char* kIntervallo = "morvenIntervallo";

}  // namespace

namespace {

// The palette colour of each display element a system colour names (&H80000000 + element).
struct ColoreSistema {
    QPalette::ColorGroup gruppo;
    QPalette::ColorRole ruolo;
};
constexpr ColoreSistema kColoriSistema[] = {
    {QPalette::Disabled, QPalette::Base},       // 0 scroll bars: the grey of a field that can't be filled
    {QPalette::Active, QPalette::Window},       // 1 desktop
    {QPalette::Active, QPalette::Highlight},    // 2 active title bar
    {QPalette::Inactive, QPalette::Window},     // 3 inactive title bar
    {QPalette::Active, QPalette::Window},       // 4 menu bar
    {QPalette::Active, QPalette::Base},         // 5 window background
    {QPalette::Active, QPalette::Shadow},       // 6 window frame
    {QPalette::Active, QPalette::WindowText},   // 7 menu text
    {QPalette::Active, QPalette::Text},         // 8 window text
    {QPalette::Active, QPalette::HighlightedText},  // 9 title bar text
    {QPalette::Active, QPalette::Window},       // 10 active border
    {QPalette::Inactive, QPalette::Window},     // 11 inactive border
    {QPalette::Active, QPalette::Dark},         // 12 application workspace
    {QPalette::Active, QPalette::Highlight},    // 13 highlight
    {QPalette::Active, QPalette::HighlightedText},  // 14 highlighted text
    {QPalette::Active, QPalette::Button},       // 15 button face
    {QPalette::Active, QPalette::Mid},          // 16 button shadow
    {QPalette::Disabled, QPalette::Text},       // 17 grey (disabled) text
    {QPalette::Active, QPalette::ButtonText},   // 18 button text
    {QPalette::Inactive, QPalette::WindowText}, // 19 inactive title bar text
    {QPalette::Active, QPalette::Light},        // 20 3-D highlight
    {QPalette::Active, QPalette::Shadow},       // 21 3-D dark shadow
    {QPalette::Active, QPalette::Midlight},     // 22 3-D light
    {QPalette::Active, QPalette::ToolTipText},  // 23 tooltip text
    {QPalette::Active, QPalette::ToolTipBase},  // 24 tooltip background
};

constexpr std::uint32_t kBitColoreSistema = 0x80000000u;

}  // namespace

QColor ColoreQt(std::uint32_t c, const QPalette& tavolozza) {
    if (c & kBitColoreSistema) {
        const std::uint32_t elemento = c & 0x00FFFFFFu;
        if (elemento < std::size(kColoriSistema)) {
            const ColoreSistema& s = kColoriSistema[elemento];
            return tavolozza.color(s.gruppo, s.ruolo);
        }
        return tavolozza.color(QPalette::Active, QPalette::Window);  // an element we do not know: plain grey
    }
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

QColor ColoreQt(std::uint32_t c) { return ColoreQt(c, QApplication::palette()); }

QString NomeOggetto(std::string_view controllo) {
    QString n = QString::fromStdString(std::string(controllo));
    static const QRegularExpression elemento(QStringLiteral("^(.*)\\((\\d+)\\)$"));
    const auto m = elemento.match(n);
    if (m.hasMatch()) n = m.captured(1) + "_" + m.captured(2);
    return n;
}

QtView::QtView(QWidget* radice) : radice_(radice) {}

QObject* QtView::Oggetto(std::string_view control) const {
    if (!radice_) return nullptr;
    // A transfer updates the same few controls hundreds of times a second, and a search by name walks the
    // whole window tree: the object found is remembered, and used again while it still lives, still bears
    // the name and still belongs to this window. Anything else (a control created or renamed since, or
    // never found) is searched for again.
    if (const auto it = trovati_.find(control); it != trovati_.end()) {
        QObject* o = it->second.oggetto.data();
        if (o && o->objectName() == it->second.nome) {
            for (QObject* a = o; a; a = a->parent())
                if (a == radice_) return o;
        }
        trovati_.erase(it);
    }
    const QString nome = NomeOggetto(control);
    QObject* o = radice_->objectName() == nome ? radice_.data() : radice_->findChild<QObject*>(nome);
    if (o) trovati_.emplace(std::string(control), Trovato{QPointer<QObject>(o), nome});
    return o;
}

QObject* QtView::Richiedi(std::string_view control) const {
    QObject* o = Oggetto(control);
    if (!o) SollevaErrore(kErrProprieta, "Controllo inesistente: " + std::string(control));
    return o;
}

bool QtView::IsShown() const { return radice_ && radice_->isVisible(); }
void QtView::Show() {
    if (radice_) radice_->show();
}
void QtView::Hide() {
    if (radice_) radice_->hide();
}
void QtView::Refresh() {
    if (radice_) radice_->repaint();
}
void QtView::SetCaption(std::string_view text) {
    if (radice_) radice_->setWindowTitle(DaCp1252(text));
}
std::string QtView::Caption() const { return radice_ ? ACp1252(radice_->windowTitle()) : std::string(); }

void QtView::SetText(std::string_view control, std::string_view text) {
    QObject* o = Richiedi(control);
    const QString t = DaCp1252(text);
    if (auto* a = qobject_cast<QAction*>(o)) {
        a->setProperty(kProprietaCaption, t);
        a->setText(t.isEmpty() && testoVoceVuota ? testoVoceVuota(a->objectName()) : t);
    } else if (auto* l = qobject_cast<QLabel*>(o)) {
        l->setText(t);
    } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
        b->setText(t);
    } else if (auto* e = qobject_cast<QLineEdit*>(o)) {
        e->setText(t);
        e->setCursorPosition(0);  // a text set by the program shows from its start, not scrolled to its end
    } else if (auto* pt = qobject_cast<QPlainTextEdit*>(o)) {
        pt->setPlainText(QString(t).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    } else if (auto* te = qobject_cast<QTextEdit*>(o)) {
        te->setPlainText(QString(t).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    } else if (auto* g = qobject_cast<QGroupBox*>(o)) {
        g->setTitle(t);
    } else if (auto* c = qobject_cast<QComboBox*>(o)) {
        c->setEditText(t);
    } else if (auto* w = qobject_cast<QWidget*>(o); w && w->isWindow()) {
        w->setWindowTitle(t);
    } else {
        NonSupportato(control, "Text");
    }
}

std::string QtView::Text(std::string_view control) const {
    QObject* o = Richiedi(control);
    QString t;
    if (auto* a = qobject_cast<QAction*>(o)) {
        const QVariant v = a->property(kProprietaCaption);
        t = v.isValid() ? v.toString() : a->text();
    } else if (auto* l = qobject_cast<QLabel*>(o)) {
        t = l->text();
    } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
        t = b->text();
    } else if (auto* e = qobject_cast<QLineEdit*>(o)) {
        t = e->text();
    } else if (auto* pt = qobject_cast<QPlainTextEdit*>(o)) {
        t = pt->toPlainText().replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    } else if (auto* te = qobject_cast<QTextEdit*>(o)) {
        t = te->toPlainText().replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    } else if (auto* g = qobject_cast<QGroupBox*>(o)) {
        t = g->title();
    } else if (auto* c = qobject_cast<QComboBox*>(o)) {
        t = c->currentText();
    } else {
        NonSupportato(control, "Text");
    }
    return ACp1252(t);
}

void QtView::SetVisible(std::string_view control, bool visible) {
    QObject* o = Richiedi(control);
    if (auto* a = qobject_cast<QAction*>(o)) a->setVisible(visible);
    else if (auto* w = qobject_cast<QWidget*>(o)) w->setVisible(visible);
    else NonSupportato(control, "Visible");
}

bool QtView::Visible(std::string_view control) const {
    QObject* o = Richiedi(control);
    if (auto* a = qobject_cast<QAction*>(o)) return a->isVisible();
    if (auto* w = qobject_cast<QWidget*>(o)) {
        // Visible as the window is laid out now: hidden with its frame counts as hidden.
        if (w == radice_) return !w->isHidden();
        return w->isVisibleTo(radice_);
    }
    NonSupportato(control, "Visible");
}

void QtView::SetEnabled(std::string_view control, bool enabled) {
    QObject* o = Richiedi(control);
    if (auto* t = qobject_cast<QTimer*>(o)) {
        if (enabled) t->start();
        else t->stop();
    } else if (auto* a = qobject_cast<QAction*>(o)) {
        a->setEnabled(enabled);
    } else if (auto* w = qobject_cast<QWidget*>(o)) {
        w->setEnabled(enabled);
    } else {
        NonSupportato(control, "Enabled");
    }
}

bool QtView::Enabled(std::string_view control) const {
    QObject* o = Richiedi(control);
    if (auto* t = qobject_cast<QTimer*>(o)) return t->isActive();
    if (auto* a = qobject_cast<QAction*>(o)) return a->isEnabled();
    if (auto* w = qobject_cast<QWidget*>(o)) return w->isEnabled();
    NonSupportato(control, "Enabled");
}

void QtView::SetValue(std::string_view control, int value) {
    QObject* o = Richiedi(control);
    if (auto* t = qobject_cast<QTimer*>(o)) {
        t->setProperty(kIntervallo, value);
        t->setInterval(orologio ? static_cast<int>(std::clamp<std::int64_t>(orologio->RealMsFor(value), 0, INT_MAX))
                                : value);
    } else if (auto* p = qobject_cast<QProgressBar*>(o)) p->setValue(std::clamp(value, p->minimum(), p->maximum()));
    else if (auto* r = qobject_cast<QRadioButton*>(o)) r->setChecked(value != 0);
    else if (auto* c = qobject_cast<QCheckBox*>(o)) c->setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
    else NonSupportato(control, "Value");
}

int QtView::Value(std::string_view control) const {
    QObject* o = Richiedi(control);
    if (auto* t = qobject_cast<QTimer*>(o)) {
        const QVariant v = t->property(kIntervallo);
        return v.isValid() ? v.toInt() : t->interval();
    }
    if (auto* p = qobject_cast<QProgressBar*>(o)) return p->value();
    if (auto* r = qobject_cast<QRadioButton*>(o)) return r->isChecked() ? -1 : 0;
    if (auto* c = qobject_cast<QCheckBox*>(o)) return c->checkState() == Qt::Unchecked ? 0 : c->checkState() == Qt::Checked ? 1 : 2;
    NonSupportato(control, "Value");
}

void QtView::SetMax(std::string_view control, int max) {
    if (auto* p = qobject_cast<QProgressBar*>(Richiedi(control))) p->setMaximum(max);
    else NonSupportato(control, "Max");
}

int QtView::Max(std::string_view control) const {
    if (auto* p = qobject_cast<QProgressBar*>(Richiedi(control))) return p->maximum();
    NonSupportato(control, "Max");
}

void QtView::SetForeColor(std::string_view control, std::uint32_t color) {
    auto* w = qobject_cast<QWidget*>(Richiedi(control));
    if (!w) NonSupportato(control, "ForeColor");
    QPalette pal = w->palette();
    const QColor colore = ColoreQt(color, QApplication::palette(w));
    pal.setColor(QPalette::WindowText, colore);
    pal.setColor(QPalette::Text, colore);
    w->setPalette(pal);
}

void QtView::SetBackColor(std::string_view control, std::uint32_t color) {
    auto* w = qobject_cast<QWidget*>(Richiedi(control));
    if (!w) NonSupportato(control, "BackColor");
    QPalette pal = w->palette();
    const QColor colore = ColoreQt(color, QApplication::palette(w));
    pal.setColor(QPalette::Window, colore);
    pal.setColor(QPalette::Base, colore);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

std::vector<ControlInfo> QtView::Controls() const {
    std::vector<ControlInfo> r;
    if (!radice_) return r;
    static const QRegularExpression elemento(QStringLiteral("^(.*)_(\\d+)$"));
    auto id = [](const QString& nome, int* indice) {
        const auto m = elemento.match(nome);
        if (m.hasMatch()) {
            if (indice) *indice = m.captured(2).toInt();
            return m.captured(1) + "(" + m.captured(2) + ")";
        }
        if (indice) *indice = -1;
        return nome;
    };
    for (QWidget* w : radice_->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QStringLiteral("qt_"))) continue;
        ControlInfo ci;
        ci.name = id(w->objectName(), nullptr).toStdString();
        for (QWidget* su = w->parentWidget(); su && su != radice_; su = su->parentWidget()) {
            const QString n = su->objectName();
            if (n.startsWith(QStringLiteral("Frame")) || n.startsWith(QStringLiteral("Picture"))) {
                int indice = -1;
                const QString base = id(n, &indice);
                ci.container = (indice >= 0 ? base.left(base.indexOf('(')) : base).toStdString();
                ci.containerIndex = indice;
                break;
            }
        }
        r.push_back(std::move(ci));
    }
    return r;
}

ListModel& QtView::List(std::string_view control) {
    auto it = liste_.find(control);
    if (it == liste_.end()) it = liste_.emplace(std::string(control), ListModel{}).first;
    return it->second;
}

void QtView::ListChanged(std::string_view control) {
    QObject* o = Richiedi(control);
    const ListModel& m = List(control);
    if (auto* lw = qobject_cast<QListWidget*>(o)) {
        lw->clear();
        for (const ListItem& it : m.items) lw->addItem(DaCp1252(it.texts.empty() ? std::string() : it.texts[0]));
        if (m.selected >= 0 && m.selected < lw->count()) {
            lw->setCurrentRow(m.selected);
            lw->scrollToItem(lw->item(m.selected));
        }
    } else if (auto* tw = qobject_cast<QTableWidget*>(o)) {
        tw->clear();
        tw->setColumnCount(int(m.columns.size()));
        QStringList intestazioni;
        for (const std::string& c : m.columns) intestazioni << DaCp1252(c);
        tw->setHorizontalHeaderLabels(intestazioni);
        // A column is never narrower than its heading, also before it has any row.
        for (int c = 0; c < tw->columnCount(); ++c)
            tw->setColumnWidth(c, std::max(tw->columnWidth(c), tw->horizontalHeader()->sectionSizeHint(c)));
        tw->setRowCount(int(m.items.size()));
        for (std::size_t r = 0; r < m.items.size(); ++r) {
            const ListItem& it = m.items[r];
            for (std::size_t c = 0; c < it.texts.size() && c < m.columns.size(); ++c) {
                auto* cella = new QTableWidgetItem(DaCp1252(it.texts[c]));
                if (c < it.colors.size() && it.colors[c] != 0) cella->setForeground(ColoreQt(it.colors[c]));
                tw->setItem(int(r), int(c), cella);
            }
        }
        if (m.selected >= 0) tw->selectRow(m.selected);
    } else {
        NonSupportato(control, "ListItems");
    }
}

void QtView::AutoSizeColumns(std::string_view control) {
    ListModel& m = List(control);
    m.columnWidths.assign(m.columns.size(), 0);
    for (std::size_t c = 0; c < m.columns.size(); ++c) {
        std::size_t w = 0;
        for (const ListItem& it : m.items)
            if (c < it.texts.size()) w = std::max(w, it.texts[c].size());
        m.columnWidths[c] = int(w);
    }
    if (auto* tw = qobject_cast<QTableWidget*>(Richiedi(control))) tw->resizeColumnsToContents();
}

TreeModel& QtView::Tree(std::string_view control) {
    auto it = alberi_.find(control);
    if (it == alberi_.end()) it = alberi_.emplace(std::string(control), TreeModel{}).first;
    return it->second;
}

void QtView::TreeChanged(std::string_view control) {
    auto* tw = qobject_cast<QTreeWidget*>(Richiedi(control));
    if (!tw) NonSupportato(control, "Nodes");
    tw->clear();
    std::map<std::string, QTreeWidgetItem*> perChiave;
    for (const TreeNode& n : Tree(control).nodes) {
        QTreeWidgetItem* item = nullptr;
        auto padre = perChiave.find(n.sParentKey);
        if (!n.sParentKey.empty() && padre != perChiave.end()) item = new QTreeWidgetItem(padre->second);
        else item = new QTreeWidgetItem(tw);
        item->setText(0, DaCp1252(n.text));
        if (n.color != 0) item->setForeground(0, ColoreQt(n.color));
        item->setExpanded(n.expanded);
        if (!n.sKey.empty()) perChiave[n.sKey] = item;
    }
}

void QtView::Navigate(std::string_view browser, std::string_view address) {
    auto* web = qobject_cast<QWebEngineView*>(Richiedi(browser));
    if (!web) NonSupportato(browser, "Navigate");
    const QString a = QString::fromStdString(std::string(address));  // a path or a URL: the file system's bytes
    const bool remoto = a.contains(QStringLiteral("://")) || a.startsWith(QStringLiteral("about:"));
    web->setUrl(remoto ? QUrl(a) : QUrl::fromLocalFile(QFileInfo(a).absoluteFilePath()));
}

}  // namespace morven
