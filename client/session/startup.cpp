#include "client/session/startup.h"

#include "client/engine/programma.h"
#include "platform/core/text.h"


namespace morven {

namespace {

bool NomeUsabile(std::string_view s) {
    if (s.empty()) return false;
    for (unsigned char c : s) {
        if (c <= ' ' || c == 127 || c == '/' || c == '\\') return false;
    }
    return s.find("..") == std::string_view::npos;
}

// The slot field after a switch: at most four characters, ending at the first blank or "/" (the caller may
// put further switches right after it).
std::string SlotDopo(std::string_view riga, std::size_t posSwitch, std::size_t lunghezzaSwitch) {
    std::string_view campo = riga.substr(posSwitch + lunghezzaSwitch, 4);
    return std::string(campo.substr(0, campo.find_first_of(" /")));
}

// "/FILEIN:": the name runs to the first blank after it, else to the first "/", else to the end of the line.
void LeggiFileIn(std::string_view riga, ComandoAvvio& c) {
    constexpr std::string_view kSwitch = "/FILEIN:";
    const std::size_t pos = riga.find(kSwitch);
    if (pos == std::string_view::npos) return;
    const std::size_t inizio = pos + kSwitch.size();
    std::size_t fine = riga.find(' ', inizio);
    if (fine == std::string_view::npos) fine = riga.find('/', inizio);
    if (fine == std::string_view::npos) fine = riga.size();
    const std::string nome = UpperAscii(riga.substr(inizio, fine - inizio));
    if (Left(nome, 5) != "IFCK0" || Mid(nome, 7, 4) != "_IN_") return;  // not an exchange file: ignored
    // The source is what stands between "_IN_" and the extension, whatever its length.
    const std::size_t punto = nome.rfind('.');
    std::string sorgente = punto == std::string::npos || punto < 10 ? nome.substr(10) : nome.substr(10, punto - 10);
    if (!NomeFileValido(nome) || sorgente.empty()) {
        c.rifiutati.push_back("/FILEIN:" + nome);
        return;
    }
    c.fileScambio = FileScambioAvvio{std::move(sorgente), nome, ReplaceAll(nome, "_IN_", "_OUT_")};
}

}  // namespace

bool SlotValido(std::string_view slot) { return NomeUsabile(slot); }
bool NomeFileValido(std::string_view nome) { return NomeUsabile(nome); }

std::string RigaComandoAvvio(std::string_view rigaOpzioni, std::string_view argomenti) {
    std::string r(rigaOpzioni);
    r += ' ';
    r += argomenti;
    return r;
}

ComandoAvvio AnalizzaRigaComando(std::string_view riga) {
    ComandoAvvio c;
    const std::string alta = UpperAscii(riga);
    c.bRitentaMancanti = Contiene(alta, "/RITENTAMANCANTI");
    c.bNonComporre = Contiene(alta, "/NONUMBER");
    c.bCsf = Contiene(alta, "/CSF");
    c.bDebug = Contiene(alta, "/DEBUG");
    c.bBDati = Contiene(alta, "/BDATI");

    LeggiFileIn(riga, c);

    // "/10" also holds "/1": tested in this order, the highest slot present wins.
    for (int n = 1; n <= 10; ++n) {
        if (Contiene(riga, "/" + std::to_string(n))) {
            c.sGrossistaSelezionato = PadLeft(n, 2, "0");
            c.bTimer1 = true;
            c.nIntervalloTimer1 = kIntervalloAvvioAutomatico;
        }
    }

    c.bRichDisp = Contiene(riga, "/RICHDISP");

    constexpr std::string_view kBlkRun = "/BLKRUN:";
    if (const std::size_t pos = riga.find(kBlkRun); pos != std::string_view::npos) {
        // A batch run stays a batch run whatever its slot: one that names no usable slot ends, through the
        // call driver, with the message of a missing settings file instead of waiting for a person.
        const std::string slot = SlotDopo(riga, pos, kBlkRun.size());
        if (!SlotValido(slot)) c.rifiutati.push_back(std::string(kBlkRun) + slot);
        c.bBlkRun = true;
        c.sGrossistaSelezionato = slot;
        c.bTimer1 = true;
        c.nIntervalloTimer1 = kIntervalloAvvioAutomatico;
    }

    constexpr std::string_view kBlkCfg = "/BLKCFG:";
    if (const std::size_t pos = riga.find(kBlkCfg); pos != std::string_view::npos) {
        const std::string slot = SlotDopo(riga, pos, kBlkCfg.size());
        if (SlotValido(slot)) {
            c.bBlkCfg = true;
            c.sGrossistaSelezionato = slot;
            const std::size_t resto = pos + kBlkCfg.size() + slot.size();
            c.sParametriBlkCfg = std::string(riga.substr(resto));
            // A configuration-only run never starts a call.
            c.bTimer1 = false;
            c.nIntervalloTimer1 = 0;
        } else {
            c.rifiutati.push_back(std::string(kBlkCfg) + slot);
        }
    }
    return c;
}

void ApplicaComandoAvvio(Programma& p, const ComandoAvvio& c) {
    OpzioniAvvio& o = p.opzioni;
    ImpostazioniGrossista& s = p.impostazioni;
    if (c.bRitentaMancanti) o.bRitentaMancanti = true;
    if (c.bNonComporre) o.bComponiNumero = false;
    if (c.bCsf) s.bCsf = true;
    if (c.bDebug) o.bDebug = o.bDebugAvvio = true;
    if (c.bBDati) o.bBDati = true;
    if (c.fileScambio) {
        o.sSorgenteIFCK = c.fileScambio->sSorgenteIFCK;
        o.sFileIFCKIn = c.fileScambio->sFileIFCKIn;
        o.sFileIFCKOut = c.fileScambio->sFileIFCKOut;
    }
    // A batch or configuration run's slot replaces any other, also an unusable one (the driver refuses it).
    if (!c.sGrossistaSelezionato.empty() || c.bBlkRun || c.bBlkCfg) o.sGrossistaSelezionato = c.sGrossistaSelezionato;
    if (c.bRichDisp) {
        s.bDisponibilita = true;
        o.bRichDisp = true;
        s.bSendMes = false;
    }
    if (c.bBlkRun) o.bBlkRun = true;
    if (c.bBlkCfg) {
        o.bBlkCfg = true;
        o.sParametriBlkCfg = c.sParametriBlkCfg;
    }
}

}  // namespace morven
