#include "client/session/ifck_request.h"

#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/programma.h"
#include "client/session/answer_file.h"
#include "client/session/answer_lists.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace morven {

namespace {

constexpr std::string_view kCodiceTracciato = "2005001";
constexpr std::string_view kFineRiga = "\r\n";

// Removes an older file of that name; a failure is passed over (the atomic write replaces it anyway).
void CancellaVecchio(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// Writes the whole request at once; a failure leaves no file of that name.
void ScriviRichiesta(const std::string& path, const std::string& testo) {
    std::string errore;
    if (!ReplaceFileAtomically(path, testo, &errore))
        SollevaErrore(kErrAccessoPercorso, DescrizioneErrore(kErrAccessoPercorso) + " " + path + ": " + errore);
}

std::string Cifra(bool flag) { return std::to_string(FlagToBit(flag)); }

// A header with only "T", the layout code, the kind and the client code; the builders append the rest.
std::string InizioTestata(std::string_view tipo, std::string_view cliente) {
    return "T" + std::string(kCodiceTracciato) + std::string(tipo) + PadLeft(cliente, 9, "0");
}

// The header of kinds 04 and 06.
bool CreaRichiestaListinoTipo(Programma& p, std::string_view nome, std::string_view tipo,
                              const std::string& fileRichiesta, const std::string& sCodiceCliente,
                              const std::string& sTipoListino) {
    return EseguiProcedura(p, nome, false, [&] {
        CancellaVecchio(fileRichiesta);
        const std::string testata = InizioTestata(tipo, sCodiceCliente) + PadRight(sTipoListino, 1) + "A";
        ScriviRichiesta(fileRichiesta, testata + std::string(kFineRiga) + "Z" + std::string(kFineRiga));
        return true;
    });
}

bool IsDigits(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The header of kind 02 (121 columns).
std::string TestataOrdine(std::string_view tipo, std::string_view cliente, std::string_view colonne20_29,
                          std::string_view colonne30_38, int nTipoRichiesta, bool bOpzioneTestata1,
                          bool bOpzioneTestata2, bool bOpzioneTestata3, bool bDatiConseg,
                          std::string_view riempimento) {
    // One column for the request type: anything but a single digit would shift the columns after it.
    if (nTipoRichiesta < 0 || nTipoRichiesta > 9)
        SollevaErrore(kErrChiamataNonValida, "TipoRichiesta : " + std::to_string(nTipoRichiesta) + " non valido");
    return InizioTestata(tipo, cliente) + PadLeft(colonne20_29, 10) + PadLeft(colonne30_38, 9, "0") +
           std::to_string(nTipoRichiesta) + Cifra(bOpzioneTestata1) + Cifra(bOpzioneTestata2) +
           Cifra(bOpzioneTestata3) + Cifra(bDatiConseg) + PadRight(riempimento, 78);
}

// The kind-01 or kind-02 request for the lines of an order work file (its header line first).
std::string ComponiRichiestaOrdine(const std::vector<std::string>& righe, const std::string& campoCliente,
                                   const std::string& tipo, const std::string& colonne20_29, int nTipoRichiesta,
                                   bool bOpzioneTestata1, bool bOpzioneTestata2, bool bOpzioneTestata3,
                                   bool bDatiConseg, const std::string& riempimento, bool bColonna20,
                                   bool bAllineaCol, bool bSostProd, bool bConsDiffer) {
    const std::string riferimento = righe.empty() ? std::string() : Mid(righe.front(), 10, 4);
    std::string testo;
    if (tipo == "02") {
        testo = TestataOrdine(tipo, campoCliente, colonne20_29, riferimento, nTipoRichiesta, bOpzioneTestata1,
                              bOpzioneTestata2, bOpzioneTestata3, bDatiConseg, riempimento);
    } else if (tipo == "01") {
        testo = InizioTestata(tipo, campoCliente) + PadLeft(colonne20_29, 10) + Cifra(bOpzioneTestata1) +
                Cifra(bOpzioneTestata2) + Cifra(bOpzioneTestata3) + Cifra(bDatiConseg);
    } else {
        SollevaErrore(kErrLibreria, "TipoRichiesta : " + tipo + " Non GESTITA");
    }
    testo += kFineRiga;

    const std::size_t prodotti = righe.empty() ? 0 : righe.size() - 1;
    if (prodotti > static_cast<std::size_t>(kMaxRigheRichiesta)) SollevaErrore(kErrOverflow);
    const std::string opzioni = Cifra(bColonna20) + FlagToSN(bAllineaCol) + FlagToSN(bSostProd) +
                                FlagToSN(bConsDiffer) + PadRight(riempimento, 78);
    for (std::size_t k = 1; k < righe.size(); ++k) {
        const std::string& riga = righe[k];
        testo += "P" + PadRight(Mid(riga, 1, 9), 13) + PadLeft(Mid(riga, 10, 4), 5, "0") + opzioni;
        testo += kFineRiga;
    }
    testo += "Z" + PadLeft(static_cast<long long>(prodotti), 5, "0");
    testo += kFineRiga;
    return testo;
}

}  // namespace

bool ConvertiOrdineDa2003(Programma& p, const std::string& fileOrdine, const std::string& fileRichiesta,
                          const std::string& campoCliente, const std::string& tipo, const std::string& colonne20_29,
                          int nTipoRichiesta, bool bOpzioneTestata1, bool bOpzioneTestata2, bool bOpzioneTestata3,
                          bool bDatiConseg, const std::string& riempimento, bool bColonna20, bool bAllineaCol,
                          bool bSostProd, bool bConsDiffer) {
    return EseguiProcedura(p, "ConvertiOrdineDa2003", false, [&] {
        if (!FileExists(fileOrdine)) SollevaErrore(kErrLibreria, "File :" + fileOrdine + " non presente");
        CancellaVecchio(fileRichiesta);
        const ContenutoFile ordine = LeggiFileLimitato(fileOrdine);
        if (ordine.esito != EsitoLettura::Letto) SollevaErrore(kErrIODispositivo, ordine.errore);
        ScriviRichiesta(fileRichiesta,
                        ComponiRichiestaOrdine(DividiRighe(ordine.dati), campoCliente, tipo, colonne20_29,
                                               nTipoRichiesta, bOpzioneTestata1, bOpzioneTestata2, bOpzioneTestata3,
                                               bDatiConseg, riempimento, bColonna20, bAllineaCol, bSostProd,
                                               bConsDiffer));
        return true;
    });
}

std::string DataRichiestaDocumento(std::string_view testo) {
    // Only the date part counts: a time after a blank is left out; a time alone is the zero date.
    std::string data = TogliSpazi(testo);
    data = data.substr(0, data.find(' '));
    if (data.empty() || data.find(':') != std::string::npos) return std::string(8, ' ');

    std::string anno, mese, giorno;
    if (data.size() == 8 && IsDigits(data)) {
        anno = data.substr(0, 4), mese = data.substr(4, 2), giorno = data.substr(6, 2);
    } else {
        const char sep = data.find('/') != std::string::npos ? '/' : (data.find('-') != std::string::npos ? '-' : '.');
        std::vector<std::string> parti;
        std::size_t a = 0;
        for (std::size_t b; (b = data.find(sep, a)) != std::string::npos; a = b + 1) parti.push_back(data.substr(a, b - a));
        parti.push_back(data.substr(a));
        if (parti.size() != 3) return {};
        if (parti[0].size() == 4) {
            anno = parti[0], mese = parti[1], giorno = parti[2];
        } else {
            giorno = parti[0], mese = parti[1], anno = parti[2];
        }
        if (anno.size() != 4 || mese.empty() || mese.size() > 2 || giorno.empty() || giorno.size() > 2) return {};
        mese = PadLeft(mese, 2, "0");
        giorno = PadLeft(giorno, 2, "0");
    }
    const std::string risultato = anno + mese + giorno;
    if (risultato == "18991230") return std::string(8, ' ');  // the zero date of the date type
    int aa = 0, mm = 0, gg = 0;
    if (!IsDigits(risultato) || !DataDaNome(risultato, aa, mm, gg)) return {};
    return risultato;
}

bool CreaRichiestaDocumento(Programma& p, const std::string& fileRichiesta, const std::string& sCodiceCliente,
                            const std::string& sTipoDocumento, const std::string& sDataDocumento,
                            const std::string& sNumeroOrdine, const std::string& sNumeroDocumento,
                            const std::string& sSiglaDocumento, bool bColonna61) {
    return EseguiProcedura(p, "CreaRichiestaDocumento", false, [&] {
        CancellaVecchio(fileRichiesta);
        const std::string data = DataRichiestaDocumento(sDataDocumento);
        if (data.empty()) SollevaErrore(kErrTipoNonCorrispondente, "Tipo non corrispondente: data documento \"" + sDataDocumento + "\"");
        const std::string testata = InizioTestata("03", sCodiceCliente) + PadLeft(sNumeroOrdine, 20) +
                                    PadRight(sTipoDocumento, 1) + data + PadLeft(sNumeroDocumento, 10) +
                                    PadLeft(sSiglaDocumento, 2) + Cifra(bColonna61);
        ScriviRichiesta(fileRichiesta, testata + std::string(kFineRiga) + "Z" + std::string(kFineRiga));
        return true;
    });
}

bool CreaRichiestaListino(Programma& p, const std::string& fileRichiesta, const std::string& sCodiceCliente,
                          const std::string& sTipoListino) {
    return CreaRichiestaListinoTipo(p, "CreaRichiestaListino", "04", fileRichiesta, sCodiceCliente, sTipoListino);
}

bool CreaRichiestaTrattatiPHT(Programma& p, const std::string& fileRichiesta, const std::string& sCodiceCliente,
                              const std::string& sTipoListino) {
    return CreaRichiestaListinoTipo(p, "CreaRichiestaTrattatiPHT", "06", fileRichiesta, sCodiceCliente,
                                    sTipoListino);
}

void ImpostaFlagRichiesta(Programma& p, std::string_view primaRiga) {
    if (Left(primaRiga, 1) != "T") return;
    const std::string tipo = Mid(primaRiga, 9, 2);
    if (tipo != "01" && tipo != "02" && tipo != "03" && tipo != "04" && tipo != "05" && tipo != "06") return;
    ImpostazioniGrossista& imp = p.impostazioni;
    RichiestaDocumento& ric = p.richiesta;
    imp.bDisponibilita = tipo == "01";
    imp.bRichDocs = tipo == "03";
    ric.bRichListino = tipo == "04";
    imp.bOrdinePht = tipo == "05";
    ric.bRichTrattatiPht = tipo == "06";
}

bool ControllaInvio(Programma& p, const std::string& fileRichiesta, bool bCrea) {
    return EseguiProcedura(p, "ControllaInvio", false, [&] {
        const ImpostazioniGrossista& imp = p.impostazioni;
        const RichiestaDocumento& ric = p.richiesta;
        if (bCrea && imp.bCompMvn) {
            // A builder that fails leaves no file, so the test for the file below refuses to send it.
            if (imp.bRichDocs) {
                CreaRichiestaDocumento(p, fileRichiesta, imp.sCodiceCliente, ric.sTipoDocumento, ric.sDataDocumento,
                                       ric.sNumeroOrdine, ric.sNumeroDocumento, ric.sSiglaDocumento, true);
            } else if (ric.bRichListino) {
                CreaRichiestaListino(p, fileRichiesta, imp.sCodiceCliente, ric.sTipoListino);
            } else if (ric.bRichTrattatiPht) {
                CreaRichiestaTrattatiPHT(p, fileRichiesta, imp.sCodiceCliente, ric.sTipoListino);
            } else if (!imp.bOrdinePht) {
                if (!ConvertiOrdineDa2003(p, ResolveNoCase(p.percorsi.sPathApp, "ordseq.txt"), fileRichiesta,
                                          Left(imp.sCodiceCliente, 7) + "00", imp.bDisponibilita ? "01" : "02", "",
                                          imp.nTipoRichiesta, imp.bOpzioneTestata1, imp.bOpzioneTestata2,
                                          imp.bOpzioneTestata3, imp.bDatiConseg, "", false, imp.bAllineaCol,
                                          imp.bSostProd, imp.bConsDiffer))
                    return false;
            }
        }
        std::string dati;
        if (!FileExists(fileRichiesta) || !ReadWholeFile(fileRichiesta, dati) || dati.empty()) return false;
        if (bCrea) ImpostaFlagRichiesta(p, Left(dati, dati.find_first_of("\r\n")));
        return true;
    });
}

bool CreaOrdine(Programma& p, const ModelloLista& lista) {
    return EseguiProcedura(p, "CreaOrdine", false, [&] {
        // A list that was not read whole is not what the pharmacist saw: nothing is ordered from it.
        if (!lista.riuscito) SollevaErrore(kErrChiamataNonValida, "Elenco risposte non letto per intero");
        std::vector<std::string> righe{std::string(13, '0')};
        for (const RigaLista& riga : lista.righe) {
            const std::string codice = riga.testi.size() > 1 ? TogliSpazi(riga.testi[1]) : std::string();
            const std::string richiesta = riga.testi.size() > 3 ? TogliSpazi(riga.testi[3]) : std::string();
            if (!IsDigits(richiesta)) continue;  // not a number: not ordered
            const std::string quantita = richiesta.substr(std::min(richiesta.find_first_not_of('0'), richiesta.size()));
            if (quantita.empty()) continue;  // 0: not ordered
            // A code or quantity that does not fit its columns would order something else: refused whole.
            if (quantita.size() > 4)
                SollevaErrore(kErrOverflow, "Quantita' " + richiesta + " del prodotto " + codice + " oltre 4 cifre");
            if (codice.empty() || codice.size() > 9)
                SollevaErrore(kErrChiamataNonValida, "Codice prodotto \"" + codice + "\" non valido");
            righe.push_back(PadRight(codice, 9) + PadLeft(quantita, 4, "0"));
        }
        if (righe.size() == 1) SollevaErrore(kErrChiamataNonValida, "Nessun prodotto da ordinare");

        const ImpostazioniGrossista& imp = p.impostazioni;
        const std::string& app = p.percorsi.sPathApp;
        if (imp.bCompMvn) {
            // The second session converts the order work file into the order request.
            std::string testo;
            for (const std::string& r : righe) testo += r + std::string(kFineRiga);
            ScriviRichiesta(ResolveNoCase(app, "ordseq.txt"), testo);
        } else {
            // Nothing converts the order work file in this mode: the order request itself is written.
            const std::string& nome = p.opzioni.sFileIFCKIn;
            if (nome.empty()) SollevaErrore(kErrFileNonTrovato, "Nome del file richiesta mancante");
            ScriviRichiesta(ResolveNoCase(app, nome),
                            ComponiRichiestaOrdine(righe, Left(imp.sCodiceCliente, 7) + "00", "02", "",
                                                   imp.nTipoRichiesta, imp.bOpzioneTestata1, imp.bOpzioneTestata2,
                                                   imp.bOpzioneTestata3, imp.bDatiConseg, "", false, imp.bAllineaCol,
                                                   imp.bSostProd, imp.bConsDiffer));
        }
        return true;
    });
}

}  // namespace morven
