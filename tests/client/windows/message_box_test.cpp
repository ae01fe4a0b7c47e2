// The Qt message box: buttons, Italian captions, icon and default button from the style sum, and the result.
#include "tests/client/windows/qt_test_support.h"

#include "client/engine/logs.h"
#include "client/engine/message_box.h"

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
    box.piattaforma = "xcb";  // a screen with someone in front of it: the box waits for the click
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

TEST(QtMessageBox, WhoAnswersTheBox) {
    const struct {
        bool batch;
        const char* piattaforma;
        RispostaBox risposta;
    } casi[] = {
        {false, "xcb", {ModoRisposta::Utente, 0}},
        {false, "wayland", {ModoRisposta::Utente, 0}},
        {true, "xcb", {ModoRisposta::ATempo, kLimiteBoxBatchMs}},
        {false, "offscreen", {ModoRisposta::Subito, 0}},
        {true, "offscreen", {ModoRisposta::Subito, 0}},
        {false, "minimal", {ModoRisposta::Subito, 0}},
        {true, "minimal", {ModoRisposta::Subito, 0}},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(std::string(k.piattaforma) + (k.batch ? " batch" : ""));
        EXPECT_EQ(PoliticaRisposta(k.batch, k.piattaforma), k.risposta);
    }
    EXPECT_EQ(RigaRispostaAutomatica("Fine Lavoro", "Prima\r\nseconda", kMsgNo),
              "MessagBox :risposta automatica No (7) a \"Fine Lavoro\" :Prima seconda");
}

// Boxes that answer by themselves: at once where nobody can see them, after the time limit of a batch run
// (on the program's clock) unless clicked before.
TEST(QtMessageBox, BoxesThatAnswerByThemselves) {
    const struct {
        const char* caso;
        const char* piattaforma;
        bool batch;
        int stile;
        const char* premi;  // clicked at once; nullptr: nobody clicks
        bool mostrato;
        int risultato;
        bool registrato;
    } casi[] = {
        {"offscreen, default Yes", "offscreen", false, 36, nullptr, false, kMsgYes, true},
        {"offscreen batch, default No", "offscreen", true, 276, nullptr, false, kMsgNo, true},
        {"minimal, OK only", "minimal", false, 48, nullptr, false, kMsgOk, true},
        {"batch run, nobody clicks", "xcb", true, 256 + 1, nullptr, true, kMsgCancel, true},
        {"batch run, clicked in time", "xcb", true, 256 + 1, "OK", true, kMsgOk, false},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(k.caso);
        App();
        TempDir dir;
        TestProgram t{dir.path()};
        t.p.opzioni.bBlkRun = k.batch;
        // Every read of the clock moves it ten seconds: the 30-second limit passes in a few timer rounds.
        t.clock.SetAutoStep(10000);
        QtMessageBoxes box;
        box.programma = &t.p;
        box.piattaforma = k.piattaforma;
        bool mostrato = false;
        box.prima = [&](QMessageBox& m) {
            mostrato = true;
            if (!k.premi) return;
            QTimer::singleShot(0, &m, [&m, premi = QString::fromUtf8(k.premi)] {
                for (QAbstractButton* b : m.buttons())
                    if (b->text() == premi) b->click();
            });
        };
        EXPECT_EQ(box.MsgBox("Linea\r\ncaduta", k.stile, "Connessione", nullptr), k.risultato);
        EXPECT_EQ(mostrato, k.mostrato);
        std::string log;
        ReadWholeFile(dir / "MorvenClient.log", log);
        const std::string riga = RigaRispostaAutomatica("Connessione", "Linea\r\ncaduta", k.risultato);
        EXPECT_EQ(log.find(riga) != std::string::npos, k.registrato) << log;
    }
}

TEST(QtMessageBox, ABoxThatWaitsForAPersonFirstBringsTheStatusFileUpToDate) {
    App();
    TempDir dir;
    TestProgram t{dir.path()};
    // A progress held back from the status file (it came right after the last write).
    Write_Status(t.p, "Ricezione Mancanti", "", 500, 0, "", "");
    Write_Status(t.p, "Ricezione Mancanti", "", 500, 250, "", "");
    QtMessageBoxes box;
    box.programma = &t.p;
    box.piattaforma = "xcb";
    std::string visto;
    box.prima = [&](QMessageBox& m) {
        ReadWholeFile(dir / "winstat.dat", visto);
        QTimer::singleShot(0, &m, [&m] { m.buttons().first()->click(); });
    };
    box.MsgBox("Risposta ricevuta ma non salvata", 16, "Errore di Trasmissione", nullptr);
    EXPECT_EQ(visto, TestoWinstat("Ricezione Mancanti", "", 500, 250, "", ""));
}

}  // namespace
}  // namespace morven::testing
