#include "client/engine/order_file.h"

#include "client/engine/errors.h"
#include "client/engine/frames.h"
#include "client/engine/line_io.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <cstdio>
#include <vector>

namespace morven {

namespace {

constexpr int kUltimoIndice = 500;  // aRecordOrdine holds indices 0 to 500

// The lines of a text file (CR LF, CR or LF end a line; a final line end adds no empty line). Error 53 when
// the file is not there.
std::vector<std::string> LeggiRighe(const std::string& path) {
    std::string dati;
    if (!FileExists(path) || !ReadWholeFile(path, dati)) SollevaErrore(kErrFileNonTrovato);
    return SplitLines(dati);
}

void Scrivi(const std::string& path, const std::string& testo) {
    std::string errore;
    if (!ReplaceFileAtomically(path, testo, &errore))
        SollevaErrore(kErrAccessoPercorso, DescrizioneErrore(kErrAccessoPercorso) + " " + path + ": " + errore);
}

// The next index of the record array; an order that needs more than it holds is refused.
int Cresci(StatoSessione& s) {
    if (s.nUltimoRecord >= kUltimoIndice) SollevaErrore(kErrIndiceFuoriIntervallo, "Ordine troppo lungo: oltre 500 record");
    return ++s.nUltimoRecord;
}

std::string Contatore(int n) { return PadLeft(std::to_string(n), 4, "0"); }

// A message line as a record carries it: without line ends, and over TCP in letters the shift can carry.
std::string RigaMessaggio(Programma& p, const std::string& testo) {
    std::string out;
    for (char c : testo)
        if (c != '\r' && c != '\n') out.push_back(c);
    return p.impostazioni.bModoInternet ? SostituisciNonTrasmissibili(out) : out;
}

// A piece of an order record that must go on the TCP line byte for byte: bytes the shift cannot carry
// (above 192) refuse the order, naming the piece.
void ControllaTrasmissibile(const std::string& nome, const std::string& testo) {
    for (unsigned char c : testo) {
        if (c > 192)
            SollevaErrore(kErrLibreria, "Carattere non trasmissibile (" + std::to_string(c) + ") nell'ordine, " +
                                            nome + " :" + testo);
    }
}

// Keeps why a reader refused the order file, for the message that stops the session.
auto MotivoRifiuto(Programma& p) {
    return [&p](const ErroreMorven& e) { p.sessione.sErroreOrdine = e.sDescrizione; };
}

std::string Percorso(Programma& p, const char* nome) { return ResolveNoCase(p.percorsi.sPathApp, nome); }

}  // namespace

std::string PrefissoFamiglia(int nTipoInterfaccia, bool bOpzioneTestata3, bool bMotCpj) {
    switch (nTipoInterfaccia) {
        case kClasseOrdine: return bMotCpj ? "020011****" : "020001****";
        case kClasseDisponibilita: return bMotCpj ? (bOpzioneTestata3 ? "020016****" : "020013****") : (bOpzioneTestata3 ? "020006****" : "020003****");
        case kClasseNotizie: return bMotCpj ? (bOpzioneTestata3 ? "020017****" : "020015****") : (bOpzioneTestata3 ? "020007****" : "020005****");
        default: return {};
    }
}

char EsitoCsf(char risposta) {
    switch (risposta) {
        case '1': case 'F': case '9': case 'G': return '1';
        case '3': case 'C': return '3';
        case '4': case 'E': return '4';
        case '5': case 'A': return '5';
        default: return '0';
    }
}

bool LetturaOrdineMorven(Programma& p) {
    return EseguiProcedura(p, "LetturaOrdineMorven", false, [&](bool& ok) {
        p.sessione.sErroreOrdine.clear();
        StatoSessione& s = p.sessione;
        const ImpostazioniGrossista& imp = p.impostazioni;
        s.aRecordOrdine.fill(std::string());
        s.nUltimoRecord = 1;
        s.aRecordOrdine[1] = "0001";
        s.sRiferimentoTestata.clear();
        const std::string prefisso = PrefissoFamiglia(imp.nTipoInterfaccia, imp.bOpzioneTestata3, imp.bMotCpj);

        const std::vector<std::string> righe = LeggiRighe(Percorso(p, "ordseq.txt"));
        if (righe.empty()) SollevaErrore(kErrLibreria, "File ordine vuoto", "LetturaOrdineMorven");
        // Over TCP the records' checks must hold for the bytes on the line, and a code cannot be respelled.
        if (imp.bModoInternet) ControllaTrasmissibile("codice cliente", imp.sCodiceCliente);
        for (std::size_t k = 0; k < righe.size(); ++k) {
            const std::string& riga = righe[k];
            if (riga.size() != 13) SollevaErrore(kErrLibreria, "Formato Record non Corretto", "LetturaOrdineMorven");
            if (imp.bModoInternet) ControllaTrasmissibile("riga " + std::to_string(k + 1), riga);
            if (k == 0) {
                s.sRiferimentoTestata = Mid(riga, 10, 4);
                continue;
            }
            std::string& record = s.aRecordOrdine[static_cast<std::size_t>(s.nUltimoRecord)];
            record += riga;
            if (record.size() > 100) {
                const int n = Cresci(s);
                s.aRecordOrdine[static_cast<std::size_t>(n)] = Contatore(n);
            }
        }

        const std::string contatoreFine = Contatore(Cresci(s));
        const std::string coda = s.sRiferimentoTestata + "0000" + contatoreFine + prefisso + std::string(6, ' ');
        s.aRecordOrdine[0] = "0000" + imp.sCodiceCliente + coda;
        const RigheMessaggio& m = p.messaggio;
        if (!Trim(RigaMessaggio(p, m.sMes1)).empty()) {
            const std::string* testi[] = {&m.sMes1, &m.sMes2, &m.sMes3, &m.sMes4};
            for (int k = 0; k < 4; ++k) {
                s.aRecordOrdine[static_cast<std::size_t>(s.nUltimoRecord)] =
                    "MES" + std::to_string(k + 1) + RigaMessaggio(p, *testi[k]);
                Cresci(s);
            }
        }
        s.aRecordOrdine[static_cast<std::size_t>(s.nUltimoRecord)] = "9999" + imp.sCodiceCliente + coda;

        for (int r = 0; r <= s.nUltimoRecord; ++r) {
            auto& record = s.aRecordOrdine[static_cast<std::size_t>(r)];
            record = FormaControllata(record);
        }
        ok = true;
    }, MotivoRifiuto(p));
}

bool LetturaOrdineComproject(Programma& p) {
    return EseguiProcedura(p, "LetturaOrdineComproject", false, [&](bool& ok) {
        p.sessione.sErroreOrdine.clear();
        StatoSessione& s = p.sessione;
        const ImpostazioniGrossista& imp = p.impostazioni;
        const bool disponibilita = imp.bDisponibilita;
        s.aRecordOrdine.fill(std::string());
        s.nUltimoRecord = 1;

        const std::vector<std::string> righe = LeggiRighe(Percorso(p, "ordseq.txt"));
        if (righe.empty()) SollevaErrore(kErrLibreria, "File ordine vuoto", "LetturaOrdineComproject");
        int conta = 0;
        long totale = 0;
        for (std::size_t k = 1; k < righe.size(); ++k) {
            const std::string& riga = righe[k];
            if (riga.size() != 13) SollevaErrore(kErrLibreria, "Formato Errato", "LetturaOrdineComproject");
            const std::string quantita = ValoreCifre(Mid(riga, 10, 4)) <= 999 ? Mid(riga, 11, 3) : "999";
            const std::string voce = Left(riga, 9) + quantita;
            std::string& record = s.aRecordOrdine[static_cast<std::size_t>(s.nUltimoRecord)];
            ++conta;
            totale += static_cast<long>(ValoreCifre(quantita));
            if (disponibilita) {
                if (conta > 4) {
                    conta = 4;  // from the fifth line on the lines are not asked for
                } else {
                    record += voce;
                }
                continue;
            }
            record += voce;
            if (conta == 20) {
                record = "320" + record + PadLeft(std::to_string(totale), 4, "0");
                conta = 0;
                totale = 0;
                Cresci(s);
            }
        }
        if (s.aRecordOrdine[static_cast<std::size_t>(s.nUltimoRecord)].empty()) --s.nUltimoRecord;
        if (conta > 0) {
            std::string& record = s.aRecordOrdine[static_cast<std::size_t>(s.nUltimoRecord)];
            record = disponibilita ? "4" + std::to_string(conta) + record
                                   : "3" + PadLeft(std::to_string(conta), 2, "0") + record +
                                         PadLeft(std::to_string(totale), 4, "0");
        }

        if (disponibilita) {
            s.nUltimoRecord = 1;
            s.aRecordOrdine[0] = "7" + imp.sCodiceCliente;
        } else {
            s.aRecordOrdine[0] = "2" + imp.sCodiceCliente;
            const int n = Cresci(s);
            const RigheMessaggio& m = p.messaggio;
            const std::string mes1 = RigaMessaggio(p, m.sMes1);
            if (!Trim(mes1).empty()) {
                const std::string testo = mes1 + RigaMessaggio(p, m.sMes2) + RigaMessaggio(p, m.sMes3) + RigaMessaggio(p, m.sMes4);
                s.aRecordOrdine[static_cast<std::size_t>(n)] = "5" + PadLeft(std::to_string(testo.size()), 3, "0") + testo;
            } else {
                s.aRecordOrdine[static_cast<std::size_t>(n)] = "5000";
            }
        }
        ok = true;
    }, MotivoRifiuto(p));
}

bool ConvertiOrdineCSF(Programma& p) {
    const std::string uscita = Percorso(p, "ordseq.txt");
    return EseguiProcedura(
        p, "ConvertiOrdineCSF", false,
        [&](bool& ok) {
            std::string dati;
            const std::string ingresso = Percorso(p, "tra.dat");
            if (!FileExists(ingresso) || !ReadWholeFile(ingresso, dati)) SollevaErrore(kErrFileNonTrovato);
            StatoSessione& s = p.sessione;
            std::string testo;
            bool testata = false;
            std::size_t i = 0;
            auto campo = [&](std::size_t n) {
                if (dati.size() - i < n) SollevaErrore(kErrLibreria, "tra.dat troncato: voce incompleta alla fine");
                std::string c = dati.substr(i, n);
                i += n;
                return c;
            };
            while (i < dati.size()) {
                const char tag = dati[i++];
                if (tag == 'C') {
                    if (testata) SollevaErrore(kErrLibreria, "tra.dat con piu' di una testata C");
                    s.sCsfCodice = campo(9);
                    s.sCsfNumero = campo(6);
                    testata = true;
                    testo += PadRight(p.impostazioni.sCodiceCliente, 9) + Right(s.sCsfNumero, 4) + "\r\n";
                } else if (tag == 'P') {
                    if (!testata) SollevaErrore(kErrLibreria, "tra.dat con un prodotto prima della testata C");
                    const std::string codice = campo(9);
                    const std::string quantita = campo(6);
                    const std::string cifre = Trim(quantita);
                    const bool numero = !cifre.empty() && cifre.find_first_not_of("0123456789") == std::string::npos;
                    if (!numero || ValoreCifre(cifre) > 9999)
                        SollevaErrore(kErrLibreria, "tra.dat: quantita' non valida \"" + quantita + "\" per " + codice);
                    testo += codice + PadLeft(std::to_string(ValoreCifre(cifre)), 4, "0") + "\r\n";
                }
            }
            Scrivi(uscita, testo);
            ok = true;
        },
        [&](const ErroreMorven&) { std::remove(uscita.c_str()); });
}

bool ConvertiMancantiCSF(Programma& p) {
    return EseguiProcedura(p, "ConvertiMancantiCSF", false, [&](bool& ok) {
        const StatoSessione& s = p.sessione;
        const std::vector<std::string> righe = LeggiRighe(Percorso(p, "ordseq.man"));
        std::string testo;
        std::string corrente = "C" + PadRight(s.sCsfCodice, 9) + PadRight(s.sCsfNumero, 6);
        for (std::size_t k = 1; k < righe.size(); ++k) {
            const std::string& riga = righe[k];
            if (riga.size() == 42) corrente += "P" + Left(riga, 9) + EsitoCsf(riga[41]) + "0" + Mid(riga, 10, 4);
            if (corrente.size() >= 128) {
                testo += corrente + "\r\n";
                corrente.clear();
            }
        }
        corrente += "Z" + p.impostazioni.sCodiceCliente;
        while (corrente.size() > 128) {
            testo += corrente.substr(0, 128) + "\r\n";
            corrente.erase(0, 128);
        }
        testo += PadRight(corrente, 128, "0") + "\r\n";
        Scrivi(Percorso(p, "ric.000"), testo);
        ok = true;
    });
}

}  // namespace morven
