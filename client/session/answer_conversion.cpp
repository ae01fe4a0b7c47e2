#include "client/session/answer_conversion.h"

#include "client/engine/errors.h"
#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/engine/programma.h"
#include "client/engine/session.h"
#include "client/session/answer_file.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <cstdio>

namespace morven {

namespace {

constexpr const char* kNome = "ConvertiMancantiA2003";
constexpr const char* kCrLf = "\r\n";

// The value of a quantity field as the older files read it: blanks, then the digits up to the first other
// character; nothing readable is 0.
long long ValoreQuantita(const std::string& campo) {
    std::size_t i = 0;
    while (i < campo.size() && campo[i] == ' ') ++i;
    long long v = 0;
    for (; i < campo.size() && campo[i] >= '0' && campo[i] <= '9'; ++i) v = v * 10 + (campo[i] - '0');
    return v;
}

// A quantity in the 4 digits of the work files. A larger value keeps its last 4 digits, as the files always
// did, but no longer silently: the caller logs the warning.
std::string Quantita4(long long valore, const std::string& codice, std::vector<std::string>& avvisi) {
    const std::string testo = PadLeft(valore, 4, "0");
    if (valore > 9999)
        avvisi.push_back("quantita' " + std::to_string(valore) + " del prodotto " + codice +
                         " oltre le 4 cifre dei file di risposta: scritta " + testo);
    return testo;
}

}  // namespace

std::string TestataConversione(const std::string& primaRiga) {
    return primaRiga.size() < 22 ? primaRiga + "000000000" : primaRiga;
}

FileConvertiti ConvertiRighe(const std::string& testata, const std::vector<std::string>& righe, bool bDisponibilita) {
    FileConvertiti f;
    const std::string riferimento = Mid(testata, 5, 9) + Mid(testata, 19, 4);
    f.man = riferimento + std::string(29, ' ') + kCrLf;
    f.ma1 = riferimento + std::string(49, ' ') + kCrLf;
    f.man2006 = testata + kCrLf;
    f.msgrx = Mid(testata, 43, 230) + kCrLf;
    const std::size_t daDescrizione = bDisponibilita ? 125 : 100;
    const std::size_t daMotivo = bDisponibilita ? 165 : 220;
    for (const std::string& riga : righe) {
        f.man2006 += riga + kCrLf;
        if (TipoRecord(riga) != 'P') continue;
        const std::string codice = PadLeft(Mid(riga, 2, 9), 9, " ");
        const std::string descrizione = PadLeft(Mid(riga, daDescrizione, 28), 28, " ");
        const std::string stato = PadLeft(Mid(riga, 51, 1), 1, " ");
        const long long mancante = ValoreQuantita(Mid(riga, 20, 5));
        if (mancante > 0) {
            const std::string qta = Quantita4(mancante, codice, f.avvisi);
            f.rst += codice + qta + kCrLf;
            f.man += codice + qta + descrizione + stato + kCrLf;
            f.ma1 += codice + qta + descrizione + stato + PadLeft(Mid(riga, daMotivo, 20), 20, " ") + kCrLf;
        } else {
            const std::string qta = Quantita4(ValoreQuantita(Mid(riga, 25, 5)), codice, f.avvisi);
            f.ma1 += codice + qta + descrizione + "@" + std::string(20, ' ') + kCrLf;
        }
    }
    return f;
}

bool ConvertiMancantiA2003(Programma& p, const std::string& fileRisposta, const std::string& /*nonUsato*/) {
    return EseguiProcedura(p, kNome, false, [&](bool& risultato) {
        if (!FileExists(fileRisposta)) SollevaErrore(kErrLibreria, "File :" + fileRisposta + " non presente");
        const std::string& app = p.percorsi.sPathApp;
        // Old answers go first, whatever follows: a conversion that stops early leaves no answer to show.
        for (const char* nome : {"ordseq.rst", "ordseq.man", "ordseq.ma1", "ordseq2006.man"}) {
            const std::string f = ResolveNoCase(app, nome);
            if (FileExists(f)) std::remove(f.c_str());
        }
        ContenutoFile letto = LeggiFileLimitato(fileRisposta);
        if (letto.esito != EsitoLettura::Letto) SollevaErrore(kErrIODispositivo, letto.errore);
        std::vector<std::string> righe = DividiRighe(letto.dati);
        const std::string testata = TestataConversione(righe.empty() ? std::string() : righe.front());
        if (!righe.empty()) righe.erase(righe.begin());
        const std::string codice = Left(testata, 4);

        auto scrivi = [&](const char* nome, const std::string& testo) {
            std::string errore;
            if (!ReplaceFileAtomically(JoinPath(app, nome), testo, &errore)) SollevaErrore(kErrAccessoPercorso, errore);
        };
        if (codice != "T000" && codice != "T115" && codice != "T116") {
            ScriviLogFunzione(p, "Errore Testata Mancanti : " + testata);
            p.MsgBox().MsgBox("Errore Collegamento ERR :" + codice, 16, TitoloConnessione(p), nullptr);
            TerminaProgramma(p);
            return;
        }
        KillAbortDat(p);
        const FileConvertiti f = ConvertiRighe(testata, righe, p.impostazioni.bDisponibilita);
        scrivi("msgrx.txt", f.msgrx);
        if (codice == "T116") return;
        for (const std::string& avviso : f.avvisi) ScriviLogFunzione(p, std::string(kNome) + " :" + avviso);
        scrivi("ordseq.rst", f.rst);
        scrivi("ordseq.man", f.man);
        scrivi("ordseq.ma1", f.ma1);
        scrivi("ordseq2006.man", f.man2006);
        risultato = true;
    });
}

}  // namespace morven
