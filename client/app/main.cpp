// MorvenClient: the pharmacy's program that calls its wholesalers.
#include "client/app/program.h"
#include "platform/core/desktop.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("MorvenClient"));

    // MORVEN_CLOCK_SCALE: a faster program clock for tests of the whole program.
    const char* scala = std::getenv("MORVEN_CLOCK_SCALE");
    morven::ProgrammaMorven programma(morven::ApplicationFolder(), scala ? std::atof(scala) : 0);
    if (const char* s = std::getenv("MORVEN_SCREENSHOT")) programma.fileSchermata = s;
    programma.finestra->Carica(morven::TestoArgomenti(argc, argv));
    if (programma.fine->terminato) return programma.fine->codice;
    if (!programma.p.opzioni.bBlkCfg) programma.finestra->show();
    return app.exec();
}
