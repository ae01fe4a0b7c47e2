// MorvenClient: the pharmacy's program that calls its wholesalers.
#include "client/app/program.h"
#include "client/engine/logs.h"
#include "platform/core/desktop.h"

#include <QApplication>

#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::string cartella = morven::ApplicationFolder();
    const std::string argomenti = morven::TestoArgomenti(argc, argv);
    // Without a display only a batch run can go on; any other start ends here, with its end marker.
    if (const auto codice = morven::FineSenzaSchermo(cartella, argomenti)) return *codice;
    morven::InizioAvvioQt(cartella, argomenti);
    const std::vector<std::string> note = morven::PreparaAmbienteQt(cartella, argomenti);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    morven::FineAvvioQt();
    QApplication::setApplicationName(QStringLiteral("MorvenClient"));

    // MORVEN_CLOCK_SCALE: a faster program clock for tests of the whole program.
    const char* scala = std::getenv("MORVEN_CLOCK_SCALE");
    morven::ProgrammaMorven programma(cartella, scala ? std::atof(scala) : 0);
    for (const std::string& nota : note) morven::ScriviLogFunzione(programma.p, nota, "main");
    const QString piattaforma = QGuiApplication::platformName();
    programma.p.opzioni.bSenzaSchermo =
        piattaforma == QStringLiteral("offscreen") || piattaforma == QStringLiteral("minimal");
    if (const char* s = std::getenv("MORVEN_SCREENSHOT")) programma.fileSchermata = s;
    // A start that calls by itself while another call runs in the folder ends before its window loads.
    if (const auto codice = programma.BloccoAvvio(argomenti)) return *codice;
    programma.finestra->Carica(argomenti);
    if (programma.fine->terminato) return programma.fine->codice;
    if (!programma.p.opzioni.bBlkCfg) programma.finestra->show();
    return app.exec();
}
