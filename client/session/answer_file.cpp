#include "client/session/answer_file.h"

#include <array>
#include <fstream>
#include <system_error>

#include "platform/core/text.h"

namespace morven {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits of `s` as a number; nothing when one is not a digit or the value would not fit comfortably.
std::optional<std::int64_t> Cifre(std::string_view s) {
    if (s.empty() || s.size() > 15) return std::nullopt;
    std::int64_t v = 0;
    for (char c : s) {
        if (!IsDigit(c)) return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::optional<long> NumeroIntero(std::string_view campo) {
    const std::string t = TogliSpazi(campo);
    if (t.empty()) return 0L;
    if (t.size() > 9) return std::nullopt;
    const auto v = Cifre(t);
    if (!v) return std::nullopt;
    return static_cast<long>(*v);
}

bool Bisestile(int anno) { return (anno % 4 == 0 && anno % 100 != 0) || anno % 400 == 0; }

int GiorniDelMese(int anno, int mese) {
    static constexpr std::array<int, 12> giorni{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (mese == 2 && Bisestile(anno)) ? 29 : giorni[static_cast<std::size_t>(mese - 1)];
}

}  // namespace

ContenutoFile LeggiFileLimitato(const std::filesystem::path& file, std::uintmax_t limite) {
    ContenutoFile out;
    std::error_code ec;
    const auto stato = std::filesystem::status(file, ec);
    if (ec || !std::filesystem::exists(stato)) {
        out.esito = EsitoLettura::Mancante;
        out.errore = "File " + file.string() + " non presente";
        return out;
    }
    if (!std::filesystem::is_regular_file(stato)) {
        out.esito = EsitoLettura::Errore;
        out.errore = "File " + file.string() + " non leggibile";
        return out;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        out.esito = EsitoLettura::Errore;
        out.errore = "File " + file.string() + " non leggibile";
        return out;
    }
    // Read in chunks and stop one byte past the limit: the size on disk may change while we read, so the
    // bound is on what is actually read, not on what the directory said.
    std::string dati;
    std::array<char, 64 * 1024> blocco{};
    while (in) {
        in.read(blocco.data(), static_cast<std::streamsize>(blocco.size()));
        const auto letti = static_cast<std::size_t>(in.gcount());
        dati.append(blocco.data(), letti);
        if (dati.size() > limite) {
            out.esito = EsitoLettura::TroppoGrande;
            out.errore = "File " + file.string() + " oltre il limite di " + std::to_string(limite) +
                         " byte: non letto";
            return out;
        }
    }
    if (in.bad()) {
        out.esito = EsitoLettura::Errore;
        out.errore = "Errore di lettura del file " + file.string();
        return out;
    }
    out.esito = EsitoLettura::Letto;
    out.dati = std::move(dati);
    return out;
}

std::vector<std::string> DividiRighe(std::string_view dati) { return SplitLines(dati); }

std::optional<std::filesystem::path> CercaFile(const std::filesystem::path& cartella, std::string_view nome) {
    std::error_code ec;
    const auto esatto = cartella / std::string(nome);
    if (std::filesystem::is_regular_file(esatto, ec)) return esatto;
    // Walked with error codes only: a folder that vanishes or can't be read means "not found", never a throw.
    std::filesystem::directory_iterator it(cartella, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string n = it->path().filename().string();
        std::error_code ecVoce;
        if (EqualsNoCase(n, nome) && it->is_regular_file(ecVoce)) return it->path();
    }
    return std::nullopt;
}

std::string Colonne(std::string_view riga, std::size_t da, std::size_t a) {
    if (a < da) return {};
    return Mid(riga, da, a - da + 1);
}

std::string DallaColonna(std::string_view riga, std::size_t da) { return Mid(riga, da); }

std::string TogliSpazi(std::string_view testo) {
    std::size_t b = 0;
    std::size_t e = testo.size();
    while (b < e && testo[b] == ' ') ++b;
    while (e > b && testo[e - 1] == ' ') --e;
    return std::string(testo.substr(b, e - b));
}

std::optional<long> LeggiQuantita(std::string_view campo) { return NumeroIntero(campo); }

std::optional<long> LeggiAliquota(std::string_view campo) { return NumeroIntero(campo); }

std::optional<std::int64_t> LeggiImporto(std::string_view campo) {
    if (campo.size() != 11) return std::nullopt;
    std::string_view intera = campo.substr(0, 7);
    const std::string_view decimali = campo.substr(7, 4);
    while (!intera.empty() && intera.front() == ' ') intera.remove_prefix(1);
    bool negativo = false;
    if (!intera.empty() && (intera.front() == '-' || intera.front() == '+')) {
        negativo = intera.front() == '-';
        intera.remove_prefix(1);
    }
    const auto i = Cifre(intera);
    const auto d = Cifre(decimali);
    if (!i || !d) return std::nullopt;
    const std::int64_t v = *i * 10000 + *d;
    return negativo ? -v : v;
}

std::optional<Data> LeggiData(std::string_view campo) {
    if (campo.size() != 8) return std::nullopt;
    const auto a = Cifre(campo.substr(0, 4));
    const auto m = Cifre(campo.substr(4, 2));
    const auto g = Cifre(campo.substr(6, 2));
    if (!a || !m || !g) return std::nullopt;
    const Data d{static_cast<int>(*a), static_cast<int>(*m), static_cast<int>(*g)};
    if (d.anno < 100 || d.mese < 1 || d.mese > 12 || d.giorno < 1) return std::nullopt;
    if (d.giorno > GiorniDelMese(d.anno, d.mese)) return std::nullopt;
    return d;
}

char TipoRecord(std::string_view riga) { return riga.empty() ? '\0' : riga.front(); }

bool CodiceTestataAccettato(std::string_view codice) {
    return codice == "T000" || codice == "T115" || codice == "T116";
}

std::optional<TestataRisposta> LeggiTestata(std::string_view riga) {
    if (TipoRecord(riga) != 'T') return std::nullopt;
    return TestataRisposta{Left(riga, 4), Colonne(riga, 23, 42), DallaColonna(riga, 43)};
}

RecordProdotto LeggiRecordProdotto(std::string_view riga, LayoutProdotto layout) {
    RecordProdotto p;
    p.codice = Colonne(riga, 2, 14);
    p.qtaRichiesta = Colonne(riga, 15, 19);
    p.qtaMancante = Colonne(riga, 20, 24);
    p.qtaConsegnata = Colonne(riga, 25, 29);
    p.importoNetto = Colonne(riga, 40, 50);
    p.stato = Colonne(riga, 51, 51);
    p.dataDisponibilita = Colonne(riga, 52, 59);
    if (layout == LayoutProdotto::Disponibilita) {
        p.prezzoPubblico = Colonne(riga, 100, 110);
        p.aliquota = Colonne(riga, 111, 112);
        p.descrizione = Colonne(riga, 125, 164);
        p.nota = Colonne(riga, 165, 184);
    } else {
        p.descrizione = Colonne(riga, 100, 127);
        p.nota = Colonne(riga, 220, 239);
    }
    return p;
}

RecordOfferta LeggiRecordOfferta(std::string_view riga) {
    RecordOfferta o;
    o.codice = Colonne(riga, 2, 14);
    o.validita = Colonne(riga, 15, 22);
    o.qtaMinima = Colonne(riga, 27, 31);
    o.qtaDa = Colonne(riga, 32, 36);
    o.qtaA = Colonne(riga, 37, 41);
    o.qtaAssegnata = Colonne(riga, 42, 46);
    o.qtaOmaggio = Colonne(riga, 47, 51);
    o.importo = Colonne(riga, 52, 62);
    o.qtaAltroOmaggio = Colonne(riga, 76, 80);
    o.pagamento = Colonne(riga, 81, 110);
    o.descrizioneAltroOmaggio = Colonne(riga, 117, 144);
    return o;
}

RecordDocumento LeggiRecordDocumento(std::string_view riga) {
    RecordDocumento r;
    r.chiave = Colonne(riga, 2, 14);
    r.tipo = Colonne(riga, 2, 2);
    r.serie = Colonne(riga, 3, 4);
    r.numero = Colonne(riga, 5, 14);
    r.data = Colonne(riga, 15, 22);
    r.pagamento = Colonne(riga, 37, 66);
    r.importoDocumento = Colonne(riga, 72, 82);
    r.importoNettoMerce = Colonne(riga, 83, 93);
    r.importoNettoPagare = Colonne(riga, 94, 104);
    r.importoSpese = Colonne(riga, 105, 115);
    return r;
}

RecordOrdineDocumento LeggiRecordOrdineDocumento(std::string_view riga) {
    return RecordOrdineDocumento{Colonne(riga, 2, 21), Colonne(riga, 51, 61)};
}

RecordRigaDocumento LeggiRecordRigaDocumento(std::string_view riga) {
    return RecordRigaDocumento{Colonne(riga, 25, 29), Colonne(riga, 36, 46), Colonne(riga, 52, 79)};
}

ProdottoDisponibilita LeggiProdottoDisponibilita(const std::vector<std::string>& righe, std::string_view codice,
                                                 const LogFunzione& log, std::string_view nomeProcedura) {
    ProdottoDisponibilita out;
    const std::string cercato = TogliSpazi(codice);
    for (std::size_t i = 1; i < righe.size(); ++i) {
        const std::string& riga = righe[i];
        const char tipo = TipoRecord(riga);
        if (tipo != 'P' && tipo != 'O') continue;
        if (TogliSpazi(Colonne(riga, 2, 14)) != cercato) continue;
        if (tipo == 'P') {
            if (!out.prodotto) out.prodotto = LeggiRecordProdotto(riga, LayoutProdotto::Disponibilita);
            continue;
        }
        if (out.offerte.size() < kMaxOfferteProdotto) {
            out.offerte.push_back(LeggiRecordOfferta(riga));
        } else {
            ++out.offerteScartate;
            ScriviErrore(log, nomeProcedura,
                         "Condizione d'offerta oltre la " + std::to_string(kMaxOfferteProdotto) +
                             "a per il prodotto " + cercato + " (riga " + std::to_string(i + 1) + ") ignorata");
        }
    }
    return out;
}

}  // namespace morven
