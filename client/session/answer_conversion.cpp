#include "client/session/answer_conversion.h"

#include "client/engine/errors.h"
#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/engine/message_box.h"
#include "client/engine/programma.h"
#include "client/engine/session.h"
#include "client/engine/shortage_receive.h"
#include "client/session/answer_file.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <cstdio>
#include <utility>

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

namespace {

enum FileConversione { kRst, kMan, kMa1, kMan2006, kMsgrx };

// The conversion line by line: each piece of a work file goes to `scrivi` as it is made, so an answer is
// never held twice over in memory.
template <class Scrivi>
class Conversione {
public:
    Conversione(const std::string& testata, bool bDisponibilita, std::vector<std::string>& avvisi, Scrivi scrivi)
        : avvisi_(avvisi), scrivi_(scrivi), daDescrizione_(bDisponibilita ? 125 : 100),
          daMotivo_(bDisponibilita ? 165 : 220) {
        const std::string riferimento = Mid(testata, 5, 9) + Mid(testata, 19, 4);
        scrivi_(kMan, riferimento + std::string(29, ' ') + kCrLf);
        scrivi_(kMa1, riferimento + std::string(49, ' ') + kCrLf);
        scrivi_(kMan2006, testata + kCrLf);
        scrivi_(kMsgrx, Mid(testata, 43, 230) + kCrLf);
    }
    void Riga(std::string_view riga) {
        scrivi_(kMan2006, std::string(riga) + kCrLf);
        if (TipoRecord(riga) != 'P') return;
        const std::string codice = PadLeft(Mid(riga, 2, 9), 9, " ");
        const std::string descrizione = PadLeft(Mid(riga, daDescrizione_, 28), 28, " ");
        const std::string stato = PadLeft(Mid(riga, 51, 1), 1, " ");
        const long long mancante = ValoreQuantita(Mid(riga, 20, 5));
        if (mancante > 0) {
            const std::string qta = Quantita4(mancante, codice, avvisi_);
            scrivi_(kRst, codice + qta + kCrLf);
            scrivi_(kMan, codice + qta + descrizione + stato + kCrLf);
            scrivi_(kMa1, codice + qta + descrizione + stato + PadLeft(Mid(riga, daMotivo_, 20), 20, " ") + kCrLf);
        } else {
            const std::string qta = Quantita4(ValoreQuantita(Mid(riga, 25, 5)), codice, avvisi_);
            scrivi_(kMa1, codice + qta + descrizione + "@" + std::string(20, ' ') + kCrLf);
        }
    }

private:
    std::vector<std::string>& avvisi_;
    Scrivi scrivi_;
    std::size_t daDescrizione_, daMotivo_;
};

// Where the line that begins at `i` ends and where the next one begins, as DividiRighe cuts lines.
std::pair<std::size_t, std::size_t> FineRiga(std::string_view dati, std::size_t i) {
    const auto fine = dati.find_first_of("\r\n", i);
    if (fine == std::string_view::npos) return {dati.size(), dati.size()};
    return {fine, fine + (dati[fine] == '\r' && fine + 1 < dati.size() && dati[fine + 1] == '\n' ? 2 : 1)};
}

// The lines of `dati` one at a time, without a copy of the whole.
template <class F>
void PerOgniRiga(std::string_view dati, F f) {
    for (std::size_t i = 0; i < dati.size();) {
        const auto [fine, dopo] = FineRiga(dati, i);
        f(dati.substr(i, fine - i));
        i = dopo;
    }
}

}  // namespace

FileConvertiti ConvertiRighe(const std::string& testata, const std::vector<std::string>& righe, bool bDisponibilita) {
    FileConvertiti f;
    std::string* file[] = {&f.rst, &f.man, &f.ma1, &f.man2006, &f.msgrx};
    Conversione conversione(testata, bDisponibilita, f.avvisi,
                            [&](FileConversione k, const std::string& testo) { *file[k] += testo; });
    for (const std::string& riga : righe) conversione.Riga(riga);
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
        // The header is the answer's first line; the lines after it are converted one at a time.
        const std::string_view dati = letto.dati;
        const auto [fineTestata, dopoTestata] = FineRiga(dati, 0);
        const std::string primaRiga(dati.substr(0, fineTestata));
        const std::string testata = TestataConversione(primaRiga);
        const std::string codice = Left(testata, 4);

        if (codice != "T000" && codice != "T115" && codice != "T116") {
            ScriviLogFunzione(p, "Errore Testata Mancanti : " + testata);
            p.MsgBox().MsgBox("Errore Collegamento ERR :" + codice, kMbOk + kMbIconStop, TitoloConnessione(p), nullptr);
            TerminaProgramma(p);
            return;
        }
        // The work files are written as the lines are converted, each bounded as an answer file is; they take
        // their places only once all are whole, and only then is abort.dat removed: a conversion that fails
        // (an answer that would pass the bound, a disk that is full) leaves no work file and keeps abort.dat.
        FileRispostaInCorso uscita(app);
        const bool soloMessaggio = codice == "T116";
        const std::size_t numeri[] = {soloMessaggio ? 0 : uscita.Apri("ordseq.rst"),
                                      soloMessaggio ? 0 : uscita.Apri("ordseq.man"),
                                      soloMessaggio ? 0 : uscita.Apri("ordseq.ma1"),
                                      soloMessaggio ? 0 : uscita.Apri("ordseq2006.man"), uscita.Apri("msgrx.txt")};
        std::vector<std::string> avvisi;
        Conversione conversione(testata, p.impostazioni.bDisponibilita, avvisi,
                                [&](FileConversione k, const std::string& testo) {
                                    if (soloMessaggio && k != kMsgrx) return;
                                    uscita.Aggiungi(numeri[k], testo);
                                });
        if (!soloMessaggio) PerOgniRiga(dati.substr(dopoTestata), [&](std::string_view r) { conversione.Riga(r); });
        uscita.Conferma();
        KillAbortDat(p);
        if (soloMessaggio) return;
        for (const std::string& avviso : avvisi) ScriviLogFunzione(p, std::string(kNome) + " :" + avviso);
        risultato = true;
    });
}

}  // namespace morven
