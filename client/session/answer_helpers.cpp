#include "client/session/answer_helpers.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "client/session/answer_file.h"
#include "platform/core/text.h"

namespace morven {

namespace {

using Int128 = __int128;

// num / den rounded to the nearest whole number, halfway away from zero; den > 0.
Int128 DividiArrotondando(Int128 num, Int128 den) {
    if (num >= 0) return (2 * num + den) / (2 * den);
    return -((-2 * num + den) / (2 * den));
}

std::string CifreDi(Int128 v) {
    if (v == 0) return "0";
    std::string s;
    while (v > 0) {
        s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    }
    return s;
}

// A scaled whole number (value / 10^decimali) as text with exactly `decimali` decimals.
std::string FormattaScalato(Int128 v, int decimali) {
    const bool negativo = v < 0;
    if (negativo) v = -v;
    Int128 scala = 1;
    for (int i = 0; i < decimali; ++i) scala *= 10;
    std::string out = negativo ? "-" : "";
    out += CifreDi(v / scala);
    if (decimali > 0) {
        out += kSeparatoreDecimale;
        out += PadLeft(CifreDi(v % scala), decimali, "0");
    }
    return out;
}

// A decimal number written with "." or "," as its separator, as a mantissa and a count of decimals.
struct Decimale {
    Int128 mantissa = 0;
    int decimali = 0;
};

std::optional<Decimale> LeggiDecimale(std::string_view testo) {
    const std::string t = TogliSpazi(testo);
    std::size_t i = 0;
    bool negativo = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        negativo = t[i] == '-';
        ++i;
    }
    Decimale d;
    int cifre = 0;
    bool separatore = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            if (++cifre > 15) return std::nullopt;
            d.mantissa = d.mantissa * 10 + (c - '0');
            if (separatore) ++d.decimali;
        } else if ((c == '.' || c == ',') && !separatore) {
            separatore = true;
        } else {
            return std::nullopt;
        }
    }
    if (cifre == 0) return std::nullopt;
    if (negativo) d.mantissa = -d.mantissa;
    return d;
}

Int128 Scala(const Decimale& d, int decimali) {
    Int128 v = d.mantissa;
    for (int i = d.decimali; i < decimali; ++i) v *= 10;
    return v;
}

std::string ImportoNonValido(std::string_view campo) {
    return "Importo non valido \"" + std::string(campo) + "\"";
}

}  // namespace

std::string CalcolaPrezzoSingolo(std::string_view campo, long divisore, const LogFunzione& log) {
    const auto valore = LeggiImporto(campo);
    if (!valore) {
        ScriviErrore(log, "CalcolaPrezzoSingolo", ImportoNonValido(campo));
        return {};
    }
    if (divisore < 1 || *valore <= 0) return {};
    return FormattaScalato(DividiArrotondando(*valore, divisore), 4);
}

std::string CalcolaPrezzoDeivato(std::string_view campo, long aliquota, const LogFunzione& log) {
    const auto valore = LeggiImporto(campo);
    if (!valore) {
        ScriviErrore(log, "CalcolaPrezzoDeivato", ImportoNonValido(campo));
        return {};
    }
    if (aliquota < 1 || *valore <= 0) return {};
    // value / ((rate + 100) / 100) == value * 100 / (rate + 100), kept in ten-thousandths.
    return FormattaScalato(DividiArrotondando(Int128{*valore} * 100, Int128{aliquota} + 100), 4);
}

std::string CalcolaSconto(std::string_view riferimento, std::string_view prezzo, const LogFunzione& log) {
    const auto r = LeggiDecimale(riferimento);
    if (!r) {
        ScriviErrore(log, "CalcolaSconto", "Prezzo non valido \"" + std::string(riferimento) + "\"");
        return {};
    }
    const auto p = LeggiDecimale(prezzo);
    if (!p) {
        ScriviErrore(log, "CalcolaSconto", "Prezzo non valido \"" + std::string(prezzo) + "\"");
        return {};
    }
    if (r->mantissa <= 0 || p->mantissa <= 0) return {};
    const int decimali = std::max(r->decimali, p->decimali);
    const Int128 rif = Scala(*r, decimali);
    const Int128 pr = Scala(*p, decimali);
    // (rif - pr) / rif * 100, in hundredths of a percent.
    const Int128 centesimi = DividiArrotondando((rif - pr) * 10000, rif);
    return FormattaScalato(centesimi, 2) + "%";
}

std::string VerificaData(std::string_view campo, const LogFunzione& log) {
    const auto d = LeggiData(campo);
    if (!d) {
        ScriviErrore(log, "VerificaData", "Data non valida \"" + std::string(campo) + "\"");
        return {};
    }
    if (*d == Data{1899, 12, 30}) return {};
    return PadLeft(d->giorno, 2, "0") + "/" + PadLeft(d->mese, 2, "0") + "/" + PadLeft(d->anno, 4, "0");
}

std::string EspandiMotivazione(std::string_view codice, std::string_view riga) {
    if (riga.size() >= 62) return Colonne(riga, 43, 62);
    struct Motivo {
        std::string_view codici[2];
        std::string_view testo;
    };
    // Texts are Windows-1252 bytes, like every record and label of the program.
    static constexpr Motivo motivi[] = {
        {{"1", "F"}, "Fornitore Sprov."},
        {{"2", "B"}, "Sprovvisto.Temp."},
        {{"3", "C"}, "Sospeso/Revocato"},
        {{"4", "E"}, "Non Trattato    "},
        {{"5", "A"}, "Non Riconosciuto"},
        {{"6", "I"}, "Stupefacente Disponibile"},
        {{"7", "J"}, "Stupefacente NON Disponibile"},
        {{"8", "D"}, "Scarsa Disponibilit\xE0"},
        {{"9", "G"}, "Cessata Produzione"},
        {{"H", "H"}, "Sequestrato"},
        {{"K", "K"}, "Trasferito Ad Altro Fornitore"},
        {{"L", "L"}, "Procedura Risposte Non Attiva"},
    };
    for (const auto& m : motivi) {
        if (codice == m.codici[0] || codice == m.codici[1]) return std::string(m.testo);
    }
    return std::string(20, ' ');
}

}  // namespace morven
