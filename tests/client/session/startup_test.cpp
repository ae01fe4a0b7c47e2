// The start-up switches: options line and arguments into the start options, the slot, Timer1 and the
// configuration-only flag.
#include "client/session/startup.h"

#include "client/engine/programma.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

struct Caso {
    const char* nome;
    const char* opzioni;
    const char* argomenti;
    // Expected.
    const char* slot;
    bool timer;
    bool blkRun;
    bool blkCfg;
    const char* parametriCfg;
    bool debug;
    bool nonComporre;
};

const Caso kCasi[] = {
    {"nothing", "", "", "", false, false, false, "", false, false},
    {"debug in lower case", "", "/debug", "", false, false, false, "", true, false},
    {"nonumber mixed case", "", "/NoNumber", "", false, false, false, "", false, true},
    {"slot 3", "", "/3", "03", true, false, false, "", false, false},
    {"slot 10 over its /1", "", "/10", "10", true, false, false, "", false, false},
    {"highest slot switch wins", "", "/7 /3", "07", true, false, false, "", false, false},
    {"batch run replaces the slot", "", "/3 /BLKRUN:0005", "0005", true, true, false, "", false, false},
    {"batch run short at the line end", "", "/BLKRUN:07", "07", true, true, false, "", false, false},
    {"batch run in lower case is no switch", "", "/blkrun:0005", "", false, false, false, "", false, false},
    {"configuration run with words", "", "/BLKCFG:0003 uno due", "0003", false, false, true, " uno due", false,
     false},
    {"configuration run wins over batch run", "", "/BLKRUN:0001 /BLKCFG:0002", "0002", false, true, true, "",
     false, false},
    {"configuration run stops the slot timer", "", "/4 /BLKCFG:0004", "0004", false, false, true, "", false,
     false},
    {"switches of the options file", "/DEBUG /2", "", "02", true, false, false, "", true, false},
    {"options and arguments together", "/NONUMBER", "/5", "05", true, false, false, "", false, true},
    // The slot field ends at the first blank or "/": the caller may put further switches right after it.
    {"batch slot before another switch", "", "/BLKRUN:01 /DEBUG", "01", true, true, false, "", true, false},
    {"batch slot right before a slash", "", "/BLKRUN:01/NONUMBER", "01", true, true, false, "", false, true},
    {"batch slot from the options file alone", "/BLKRUN:01", "", "01", true, true, false, "", false, false},
    {"configuration slot before another switch", "", "/BLKCFG:02 /X", "02", false, false, true, " /X", false,
     false},
    // A batch run whose slot is still unusable stays a batch run: the call driver ends it.
    {"batch run with no slot", "", "/BLKRUN: /3", "", true, true, false, "", false, false},
    {"batch run with a path for slot", "", "/BLKRUN:..\\x", "..\\x", true, true, false, "", false, false},
    {"configuration slot with a path is refused", "", "/BLKCFG:../x", "", false, false, false, "", false, false},
};

TEST(StartupSwitches, TableOfCommandLines) {
    for (const Caso& c : kCasi) {
        SCOPED_TRACE(c.nome);
        const ComandoAvvio r = AnalizzaRigaComando(RigaComandoAvvio(c.opzioni, c.argomenti));
        EXPECT_EQ(r.sGrossistaSelezionato, c.slot);
        EXPECT_EQ(r.bTimer1, c.timer);
        EXPECT_EQ(r.nIntervalloTimer1, c.timer ? 1000 : 0);
        EXPECT_EQ(r.bBlkRun, c.blkRun);
        EXPECT_EQ(r.bBlkCfg, c.blkCfg);
        EXPECT_EQ(r.sParametriBlkCfg, c.parametriCfg);
        EXPECT_EQ(r.bDebug, c.debug);
        EXPECT_EQ(r.bNonComporre, c.nonComporre);
    }
}

TEST(StartupSwitches, WorkingLineIsOptionsBlankArguments) {
    EXPECT_EQ(RigaComandoAvvio("", ""), " ");
    EXPECT_EQ(RigaComandoAvvio("/DEBUG", "/3"), "/DEBUG /3");
}

TEST(StartupSwitches, RefusedSwitchesAreReportedForTheLog) {
    const ComandoAvvio r = AnalizzaRigaComando(" /BLKRUN:a\\b /FILEIN:IFCK01_IN_../../X.DAT /DEBUG");
    ASSERT_EQ(r.rifiutati.size(), 2u);
    EXPECT_EQ(r.rifiutati[0], "/FILEIN:IFCK01_IN_../../X.DAT");
    EXPECT_EQ(r.rifiutati[1], "/BLKRUN:a\\b");
    EXPECT_FALSE(r.fileScambio);
}

struct CasoFile {
    const char* riga;
    bool preso;
    const char* in;
    const char* out;
    const char* sorgente;
};

TEST(StartupSwitches, ExchangeFileNames) {
    const CasoFile casi[] = {
        {" /FILEIN:ifck01_in_abcde.dat", true, "IFCK01_IN_ABCDE.DAT", "IFCK01_OUT_ABCDE.DAT", "ABCDE"},
        // A source of any length survives (the default source has six characters).
        {" /FILEIN:IFCK02_IN_MORVEN.DAT /3", true, "IFCK02_IN_MORVEN.DAT", "IFCK02_OUT_MORVEN.DAT", "MORVEN"},
        {" /FILEIN:IFCK05_IN_AB.CD.DAT", true, "IFCK05_IN_AB.CD.DAT", "IFCK05_OUT_AB.CD.DAT", "AB.CD"},
        {" /FILEIN:IFCK01_IN_NOEXT", true, "IFCK01_IN_NOEXT", "IFCK01_OUT_NOEXT", "NOEXT"},
        // Without a blank the name ends before the next "/".
        {" /FILEIN:IFCK01_IN_XY.DAT/DEBUG", true, "IFCK01_IN_XY.DAT", "IFCK01_OUT_XY.DAT", "XY"},
        // Not an exchange file: ignored.
        {" /FILEIN:ORDINE.TXT", false, "", "", ""},
        {" /filein:IFCK01_IN_ABCDE.DAT", false, "", "", ""},
        // A "/" before a later blank stays in the name, which is then refused.
        {" /FILEIN:IFCK01_IN_A/B.DAT /3", false, "", "", ""},
        {" /FILEIN:IFCK01_IN_.DAT", false, "", "", ""},
    };
    for (const CasoFile& c : casi) {
        SCOPED_TRACE(c.riga);
        const ComandoAvvio r = AnalizzaRigaComando(c.riga);
        ASSERT_EQ(r.fileScambio.has_value(), c.preso);
        if (!c.preso) continue;
        EXPECT_EQ(r.fileScambio->sFileIFCKIn, c.in);
        EXPECT_EQ(r.fileScambio->sFileIFCKOut, c.out);
        EXPECT_EQ(r.fileScambio->sSorgenteIFCK, c.sorgente);
    }
}

TEST(StartupSwitches, NamesFitForFiles) {
    for (const char* buono : {"01", "0005", "AB-C"}) EXPECT_TRUE(SlotValido(buono)) << buono;
    for (const char* cattivo : {"", "0 1", "a/b", "a\\b", "..", "x..", "\t1"}) EXPECT_FALSE(SlotValido(cattivo)) << cattivo;
}

TEST(StartupSwitches, AppliedToTheProgramState) {
    Programma p;
    p.impostazioni.bSendMes = true;
    ApplicaComandoAvvio(p, AnalizzaRigaComando(" /RICHDISP /CSF /bdati /ritentamancanti /NONUMBER /FILEIN:IFCK01_IN_X.DAT /9"));
    EXPECT_TRUE(p.impostazioni.bDisponibilita);
    EXPECT_TRUE(p.opzioni.bRichDisp);
    EXPECT_FALSE(p.impostazioni.bSendMes);
    EXPECT_TRUE(p.impostazioni.bCsf);
    EXPECT_TRUE(p.opzioni.bBDati);
    EXPECT_TRUE(p.opzioni.bRitentaMancanti);
    EXPECT_FALSE(p.opzioni.bComponiNumero);
    EXPECT_EQ(p.opzioni.sSorgenteIFCK, "X");
    EXPECT_EQ(p.opzioni.sFileIFCKOut, "IFCK01_OUT_X.DAT");
    EXPECT_EQ(p.opzioni.sGrossistaSelezionato, "09");

    // Without switches the defaults stay.
    Programma q;
    ApplicaComandoAvvio(q, AnalizzaRigaComando(" "));
    EXPECT_EQ(q.opzioni.sSorgenteIFCK, "MORVEN");
    EXPECT_TRUE(q.opzioni.sFileIFCKIn.empty());
    EXPECT_TRUE(q.opzioni.bComponiNumero);
    EXPECT_FALSE(q.opzioni.bBlkRun);
}

}  // namespace
}  // namespace morven
