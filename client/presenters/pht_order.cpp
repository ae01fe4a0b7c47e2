#include "client/presenters/pht_order.h"

#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace morven {

namespace {

constexpr std::string_view kFineRiga = "\r\n";
constexpr int kQuantitaMassima = 99999;

bool SoloCifre(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

ListItem RigaLista(const RigaOrdinePht& r) {
    ListItem it;
    it.texts = {r.sCodicePht, r.sDescrizionePht, r.sQuantitaPht, r.sCodiceRicettario, r.sCodiceRegione, ""};
    it.colors.assign(it.texts.size(), 0);
    return it;
}

void ControllaIndice(const ListModel& m, int indice) {
    if (indice < 0 || indice >= static_cast<int>(m.items.size()))
        SollevaErrore(kErrChiamataNonValida, "Riga " + std::to_string(indice) + " non presente");
}

}  // namespace

bool IsBase32(std::string_view testo) {
    if (testo.size() != 6) return false;
    bool valido = true;
    for (char c : testo)
        if (kAlfabetoCodice32.find(UpperAscii(c)) == std::string_view::npos) valido = false;
    return valido;
}

std::string Conv32To10(std::string_view testo) {
    if (!IsBase32(testo)) return "0";
    std::int64_t valore = 0;
    for (char c : testo) valore = valore * 32 + static_cast<std::int64_t>(kAlfabetoCodice32.find(UpperAscii(c)));
    if (valore <= 0) return "0";
    const std::string cifre = std::to_string(valore);
    return cifre.size() >= 9 ? cifre : PadLeft(cifre, 9, "0");  // ten digits stay whole
}

std::string FilePhtDelloSlot(const std::string& sPathApp, const std::string& sFileImpostazioni) {
    // The slot's name as the news unpacking names its folder when it stores the agreements there.
    const std::string profilo = ReplaceAll(std::filesystem::path(sFileImpostazioni).filename().string(), ".par", "");
    const std::string cartella = ResolveNoCase(ResolveNoCase(sPathApp, "PHT"), profilo);
    return ResolveNoCase(cartella, "pht.dat");
}

std::vector<ProdottoPht> CercaProdottiPht(std::string_view testo, std::string_view filtro) {
    std::vector<ProdottoPht> prodotti;
    const std::string cerca = UpperAscii(filtro);
    const auto righe = SplitLines(testo);
    for (std::size_t i = 1; i < righe.size(); ++i) {
        const std::string_view riga = righe[i];
        const std::string codice = Mid(riga, 10, 13);
        if (Trim(codice).empty()) continue;
        if (!cerca.empty() && UpperAscii(riga).find(cerca) == std::string::npos) continue;
        prodotti.push_back({PadRight(codice, 13), Mid(riga, 32, 40)});
    }
    return prodotti;
}

std::string FiltroRicercaPht(std::string_view codice, std::string_view descrizione) {
    std::string filtro = Trim(codice);
    if (filtro.empty()) return Trim(descrizione);
    if (IsBase32(filtro)) filtro = Conv32To10(filtro);
    return filtro;
}

bool PopolaLvWProdottiPht(Programma& p, View& form, std::string_view lista, const std::string& filePht,
                          std::string_view filtro) {
    return EseguiProcedura(p, "PopolaLvWProdottiPht", false, [&] {
        ListModel& m = form.List(lista);
        m = ListModel{};
        m.columns = {"Codice", "Descrizione", "Sostanza"};
        form.ListChanged(lista);
        std::string testo;
        if (!ReadWholeFile(filePht, testo))
            SollevaErrore(FileExists(filePht) ? kErrAccessoPercorso : kErrFileNonTrovato,
                          "File :" + filePht + " non presente");
        for (const ProdottoPht& pr : CercaProdottiPht(testo, filtro)) {
            ListItem it;
            it.texts = {pr.sCodice, pr.sDescrizione, ""};
            it.colors.assign(3, 0);
            form.List(lista).items.push_back(std::move(it));
        }
        form.ListChanged(lista);
        AutoSizeListViewColumns(form, lista);
        return true;
    });
}

std::optional<std::string> ErroreRigaPht(const RigaOrdinePht& r) {
    if (Trim(r.sCodicePht).empty()) return "Codice prodotto mancante";
    if (r.sCodicePht.size() > 13) return "Codice prodotto troppo lungo (massimo 13 caratteri)";
    const std::string q = Trim(r.sQuantitaPht);
    if (!SoloCifre(q) || q.size() > 5 || std::stoi(q) < 1 || std::stoi(q) > kQuantitaMassima)
        return "Quantit\xE0 non valida: da 1 a 99999";
    if (r.sCodiceRicettario.size() > 10) return "Codice Ricettario troppo lungo (massimo 10 caratteri)";
    if (r.sCodiceRegione.size() > 5) return "Codice Regione troppo lungo (massimo 5 caratteri)";
    return std::nullopt;
}

bool ImpostaLvWOrdine(Programma& p, View& form, std::string_view lista) {
    return EseguiProcedura(p, "ImpostaLvWOrdine", false, [&] {
        ListModel& m = form.List(lista);
        m = ListModel{};
        m.columns = {"Codice", "Descrizione", "Quantit\xE0", "Codice Ricettario", "Codice Regione", ""};
        form.ListChanged(lista);
        return true;
    });
}

bool AggiungiRigaLvWOrdine(Programma& p, View& form, std::string_view lista, const RigaOrdinePht& r) {
    return EseguiProcedura(p, "AggiungiRigaLvWOrdine", false, [&] {
        if (const auto e = ErroreRigaPht(r)) SollevaErrore(kErrChiamataNonValida, *e);
        form.List(lista).items.push_back(RigaLista(r));
        form.ListChanged(lista);
        AutoSizeListViewColumns(form, lista);
        return true;
    });
}

bool ModificaRigaLvWOrdine(Programma& p, View& form, std::string_view lista, int indice, const RigaOrdinePht& r) {
    return EseguiProcedura(p, "ModificaRigaLvWOrdine", false, [&] {
        if (const auto e = ErroreRigaPht(r)) SollevaErrore(kErrChiamataNonValida, *e);
        ListModel& m = form.List(lista);
        ControllaIndice(m, indice);
        m.items[static_cast<std::size_t>(indice)] = RigaLista(r);
        form.ListChanged(lista);
        AutoSizeListViewColumns(form, lista);
        return true;
    });
}

bool CancellaRigaLvWOrdine(Programma& p, View& form, std::string_view lista, int indice) {
    return EseguiProcedura(p, "CancellaRigaLvWOrdine", false, [&] {
        ListModel& m = form.List(lista);
        ControllaIndice(m, indice);
        m.items.erase(m.items.begin() + indice);
        m.selected = -1;
        form.ListChanged(lista);
        AutoSizeListViewColumns(form, lista);
        return true;
    });
}

std::vector<RigaOrdinePht> RigheOrdinePht(const ListModel& lista) {
    std::vector<RigaOrdinePht> righe;
    for (const ListItem& it : lista.items) {
        auto t = [&](std::size_t i) { return i < it.texts.size() ? it.texts[i] : std::string(); };
        righe.push_back({t(0), t(1), t(2), t(3), t(4)});
    }
    return righe;
}

TestataOrdinePht TestataDaImpostazioni(const ImpostazioniGrossista& imp) {
    TestataOrdinePht t;
    t.sCodiceCliente = imp.sCodiceCliente;
    t.nTipoRichiesta = imp.nTipoRichiesta;
    t.bOpzioneTestata1 = imp.bOpzioneTestata1;
    t.bOpzioneTestata2 = imp.bOpzioneTestata2;
    t.bOpzioneTestata3 = imp.bOpzioneTestata3;
    t.bDatiConseg = imp.bDatiConseg;
    t.bAllineaCol = imp.bAllineaCol;
    t.bSostProd = imp.bSostProd;
    t.bConsDiffer = imp.bConsDiffer;
    return t;
}

std::string TestoOrdinePht(const TestataOrdinePht& t, const std::vector<RigaOrdinePht>& righe) {
    if (righe.empty()) SollevaErrore(kErrChiamataNonValida, "Ordine PHT senza righe");
    if (t.nTipoRichiesta < 0 || t.nTipoRichiesta > 9)
        SollevaErrore(kErrChiamataNonValida, "Tipo richiesta non valido: " + std::to_string(t.nTipoRichiesta));
    auto cifra = [](bool b) { return std::to_string(FlagToBit(b)); };
    std::string testo = "T2005001" "05" + PadLeft(t.sCodiceCliente, 9, "0") + std::string(10, ' ') +
                        std::string(9, '0') + std::to_string(t.nTipoRichiesta) + cifra(t.bOpzioneTestata1) +
                        cifra(t.bOpzioneTestata2) + cifra(t.bOpzioneTestata3) + cifra(t.bDatiConseg) +
                        std::string(78, ' ') + std::string(kFineRiga);
    for (const RigaOrdinePht& r : righe) {
        if (const auto e = ErroreRigaPht(r)) SollevaErrore(kErrChiamataNonValida, *e + " (" + r.sCodicePht + ")");
        testo += "P" + PadRight(r.sCodicePht, 13) + PadLeft(Trim(r.sQuantitaPht), 5, "0") +
                 FlagToSN(t.bAllineaCol) + FlagToSN(t.bSostProd) + FlagToSN(t.bConsDiffer) +
                 PadRight(r.sCodiceRicettario, 10) + PadRight(r.sCodiceRegione, 5) + std::string(65, ' ') +
                 std::string(kFineRiga);
    }
    testo += "Z" + PadLeft(static_cast<long long>(righe.size()), 5, "0") + std::string(kFineRiga);
    return testo;
}

bool EmettiOrdinePHTLvW(Programma& p, const std::vector<RigaOrdinePht>& righe, const std::string& fileRichiesta,
                        const TestataOrdinePht& t) {
    bool scrittura = false;
    return EseguiProcedura(
        p, "EmettiOrdinePHTLvW", false,
        [&] {
            const std::string testo = TestoOrdinePht(t, righe);  // refused before anything is touched
            scrittura = true;
            std::error_code ec;
            std::filesystem::remove(fileRichiesta, ec);
            std::string errore;
            if (!ReplaceFileAtomically(fileRichiesta, testo, &errore))
                SollevaErrore(kErrAccessoPercorso, "Impossibile scrivere " + fileRichiesta + ": " + errore);
            return true;
        },
        [&](const ErroreMorven&) {
            // A write that failed leaves no request to send, not even the older one.
            if (!scrittura) return;
            std::error_code ec;
            std::filesystem::remove(fileRichiesta, ec);
        });
}

}  // namespace morven
