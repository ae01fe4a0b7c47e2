// The Qt message box: buttons, Italian captions, icon and default button from the style sum, and the result.
#include "tests/client/windows/qt_test_support.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <QTimer>

namespace morven::testing {
namespace {

struct Visto {
    QStringList pulsanti;
    QString predefinito;
    QMessageBox::Icon icona = QMessageBox::NoIcon;
    QString testo, titolo;
};

int Mostra(int stile, const QString& daPremere, Visto& v, std::string_view testo = "Testo\r\nriga") {
    App();
    QtMessageBoxes box;
    box.prima = [&](QMessageBox& m) {
        for (QAbstractButton* b : m.buttons()) v.pulsanti << b->text();
        std::sort(v.pulsanti.begin(), v.pulsanti.end());
        v.predefinito = m.defaultButton() ? m.defaultButton()->text() : QString();
        v.icona = m.icon();
        v.testo = m.text();
        v.titolo = m.windowTitle();
        QTimer::singleShot(0, &m, [&m, daPremere] {
            for (QAbstractButton* b : m.buttons())
                if (b->text() == daPremere) b->click();
        });
    };
    return box.MsgBox(testo, stile, "Titolo", nullptr);
}

TEST(QtMessageBox, StyleSumsAndResults) {
    const struct {
        int stile;
        const char* premi;
        int risultato;
        QStringList pulsanti;
        const char* predefinito;
        QMessageBox::Icon icona;
    } casi[] = {
        {16, "OK", 1, {"OK"}, "OK", QMessageBox::Critical},
        {49, "Annulla", 2, {"Annulla", "OK"}, "OK", QMessageBox::Warning},
        {274, "Riprova", 4, {"Ignora", "Interrompi", "Riprova"}, "Riprova", QMessageBox::Critical},
        {274, "Interrompi", 3, {"Ignora", "Interrompi", "Riprova"}, "Riprova", QMessageBox::Critical},
        {36, "S\u00ec", 6, {"No", "S\u00ec"}, "S\u00ec", QMessageBox::Question},
        {276, "No", 7, {"No", "S\u00ec"}, "No", QMessageBox::Critical},
        {64 + 5, "Riprova", 4, {"Annulla", "Riprova"}, "Riprova", QMessageBox::Information},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(k.stile);
        Visto v;
        EXPECT_EQ(Mostra(k.stile, QString::fromUtf8(k.premi), v), k.risultato);
        EXPECT_EQ(v.pulsanti, k.pulsanti);
        EXPECT_EQ(v.predefinito, QString::fromUtf8(k.predefinito));
        EXPECT_EQ(v.icona, k.icona);
        EXPECT_EQ(v.testo, "Testo\nriga");
        EXPECT_EQ(v.titolo, "Titolo");
    }
}

TEST(QtMessageBox, TextsAreWindows1252) {
    Visto v;
    Mostra(0, "OK", v, "Non e' pi\xF9 possibile");
    EXPECT_EQ(v.testo, QString::fromUtf8("Non e' più possibile"));
}

}  // namespace
}  // namespace morven::testing
