// The start-up switches of the main window: the first line of MorvenClient.opz and the program's arguments,
// joined into one working line, read into what the start-up sets (start options, the selected slot, the
// start timer, the configuration-only run). The reading is a pure function of the line, so every rule can be
// tested on its own; ApplicaComandoAvvio writes the result into the program's state.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morven {

struct Programma;

// Interval of Timer1 when a slot switch or a batch run arms it, in milliseconds.
inline constexpr int kIntervalloAvvioAutomatico = 1000;

// The exchange file pair named by "/FILEIN:".
struct FileScambioAvvio {
    std::string sSorgenteIFCK;  // the text between "_IN_" and the name's last "."
    std::string sFileIFCKIn;    // the name, upper-cased
    std::string sFileIFCKOut;   // the name with every "_IN_" replaced by "_OUT_"
};

struct ComandoAvvio {
    // Matched without regard to case.
    bool bRitentaMancanti = false;
    bool bNonComporre = false;   // "/NONUMBER": bComponiNumero becomes False
    bool bCsf = false;
    bool bDebug = false;
    bool bBDati = false;
    // Matched with case.
    std::optional<FileScambioAvvio> fileScambio;
    std::string sGrossistaSelezionato;  // empty: no slot switch
    bool bTimer1 = false;               // Timer1 armed for an automatic session
    int nIntervalloTimer1 = 0;
    bool bRichDisp = false;
    bool bBlkRun = false;
    bool bBlkCfg = false;
    std::string sParametriBlkCfg;
    // Switches that were present but refused (an unusable slot or file name), one text each for the log.
    std::vector<std::string> rifiutati;
};

// The working line: the options line, one blank, the arguments.
std::string RigaComandoAvvio(std::string_view rigaOpzioni, std::string_view argomenti);

// Reads the switches of the working line.
ComandoAvvio AnalizzaRigaComando(std::string_view riga);

// A slot usable in file and folder names: not empty, no blank or control character, no "/", "\" or "..".
bool SlotValido(std::string_view slot);
// A file name usable inside the application folder: the same rules.
bool NomeFileValido(std::string_view nome);

// Writes what the switches set into the start options, the settings flags they touch (bCsf,
// bDisponibilita, bSendMes) and the selected slot. Timer1 and the windows are the caller's.
void ApplicaComandoAvvio(Programma& p, const ComandoAvvio& c);

}  // namespace morven
