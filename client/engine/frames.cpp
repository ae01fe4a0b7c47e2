#include "client/engine/frames.h"

#include "client/engine/errors.h"
#include "client/engine/logs.h"
#include "client/engine/programma.h"
#include "platform/core/text.h"

#include <stdexcept>

namespace morven {

namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

std::string Cifre(std::int64_t valore, int larghezza) { return PadLeft(std::to_string(valore), larghezza, "0"); }

void LogSessione(Programma& p, std::string_view testo) { ScriviLog(p, p.percorsi.sFileLogSessione, true, testo); }

[[noreturn]] void DivisionePerZero() { SollevaErrore(kErrDivisionePerZero, "Divisione per zero"); }

// The sums a frame carries and those of its payload. The frame has both marks and a payload (21 bytes or
// more): "AEIO" payload P(6) D(6) "OIEA".
struct ConfrontoSomme {
    std::int64_t rxP, rxD;
    SommeFrame calcolate;
    // The sender writes the last six digits of each sum.
    bool Tornano() const { return rxP == calcolate.nChkTxp % 1000000 && rxD == calcolate.nChkTxd % 1000000; }
};
ConfrontoSomme ConfrontaSomme(std::string_view frame) {
    const std::size_t l = frame.size();
    return {ValoreCifre(frame.substr(l - 16, 6)), ValoreCifre(frame.substr(l - 10, 6)),
            CalcolaSommeFrame(frame.substr(4, l - 20))};
}

}  // namespace

SommeFrame CalcolaSommeFrame(std::string_view payload) {
    const auto n = static_cast<std::int64_t>(payload.size());
    if (n == 0) throw std::invalid_argument("empty payload");
    std::int64_t p = 0, d = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        const std::int64_t c = static_cast<unsigned char>(payload[static_cast<std::size_t>(i - 1)]) + 33;
        p += c * i;
        d += c * (n - i);
    }
    return {p / n, d / n};
}

SommeRecord CalcolaSommeRecord(std::string_view dati) {
    SommeRecord s;
    for (std::size_t k = 0; k < dati.size(); ++k) {
        const std::int64_t i = static_cast<std::int64_t>(k) + 1;
        if (i > 32767) SollevaErrore(kErrOverflow);  // the position counts as a 16-bit integer
        const std::int64_t c = static_cast<unsigned char>(dati[k]);
        const std::int64_t a = c * (c / i), b = c * (i / 14);
        if (a > 32767 || b > 32767) SollevaErrore(kErrOverflow);
        s.k1 += a;
        s.k2 += b;
    }
    return s;
}

std::string FormaControllata(std::string_view r) {
    const SommeRecord s = CalcolaSommeRecord(r);
    return kStx + std::string(r) + Cifre(s.k1 % 100000, 5) + Cifre(s.k2 % 100000, 5) + kEtx;
}

std::string TagliaAlFrame(std::string_view buffer) {
    const auto inizio = buffer.find("AEIO");
    if (inizio == std::string_view::npos) return std::string(buffer);
    const auto fine = buffer.find("OIEA", inizio + 4);
    if (fine == std::string_view::npos) return std::string(buffer);
    return std::string(buffer.substr(inizio, fine + 4 - inizio));
}

std::int64_t ValoreCifre(std::string_view campo) {
    std::size_t i = 0;
    while (i < campo.size() && (campo[i] == ' ' || campo[i] == '\t')) ++i;
    bool negativo = false;
    if (i < campo.size() && (campo[i] == '-' || campo[i] == '+')) negativo = campo[i++] == '-';
    std::int64_t v = 0;
    for (; i < campo.size() && campo[i] >= '0' && campo[i] <= '9' && v < 100000000000000LL; ++i) v = v * 10 + (campo[i] - '0');
    return negativo ? -v : v;
}

std::string AddCeck_MORVEN(Programma& p, std::string_view sPayload) {
    return EseguiProcedura(p, "AddCeck_MORVEN", std::string(), [&] {
        if (sPayload.empty()) DivisionePerZero();
        const SommeFrame s = CalcolaSommeFrame(sPayload);
        return "AEIO" + std::string(sPayload) + Cifre(s.nChkTxp % 1000000, 6) + Cifre(s.nChkTxd % 1000000, 6) + "OIEA";
    });
}

bool Ceck_MORVEN(Programma& p, std::string& sFrame) {
    return EseguiProcedura(p, "Ceck_MORVEN", false, [&](bool& ok) {
        if (Left(sFrame, 4) != "AEIO") {
            LogSessione(p, "RX: ERRORE manca INIZIO");
            return;
        }
        if (Right(sFrame, 4) != "OIEA") {
            LogSessione(p, "RX: ERRORE manca FINE");
            return;
        }
        const std::size_t l = sFrame.size();
        if (l < 20) SollevaErrore(kErrChiamataNonValida, "Frame troppo corto: " + std::to_string(l) + " caratteri");
        if (l == 20) {  // no payload
            sFrame.clear();
            DivisionePerZero();
        }
        const ConfrontoSomme c = ConfrontaSomme(sFrame);
        sFrame = Mid(sFrame, 5, l - 20);
        if (c.Tornano()) {
            ok = true;
            return;
        }
        LogSessione(p, "RX: ERRORE ceckSUM");
        LogSessione(p, "nRxChkTxp   :" + std::to_string(c.rxP));
        LogSessione(p, "nChkTxp :" + std::to_string(c.calcolate.nChkTxp));
        LogSessione(p, "nRxChkTxd   :" + std::to_string(c.rxD));
        LogSessione(p, "nChkTxd :" + std::to_string(c.calcolate.nChkTxd));
    });
}

bool SommeFrameGiuste(std::string_view frame) {
    const std::size_t l = frame.size();
    return l >= 21 && frame.substr(0, 4) == "AEIO" && frame.substr(l - 4) == "OIEA" && ConfrontaSomme(frame).Tornano();
}

bool GiuntaFrame::Trattieni(std::string_view frame, std::string_view dopo) {
    Scarta();
    if (frame.size() < 8 || frame.substr(0, 4) != "AEIO" || frame.substr(frame.size() - 4) != "OIEA") return false;
    attesa_.assign(frame);
    dopo_.assign(dopo);
    return true;
}

std::string GiuntaFrame::Candidato(std::string_view letto, std::string_view prima, std::size_t massimo,
                                   bool& scaduto) {
    scaduto = scartato_ = false;
    if (attesa_.empty()) return TagliaAlFrame(letto);
    std::string unito = attesa_ + dopo_;
    unito.append(prima);
    unito.append(letto);
    Scarta();
    if (letto.find("AEIO") != std::string_view::npos) {
        if (unito.size() <= massimo && SommeFrameGiuste(unito)) return unito;
        scartato_ = true;
        return TagliaAlFrame(letto);
    }
    if (letto.empty()) {
        scaduto = true;
        return {};
    }
    return unito;
}

bool Ceck_LORQ(Programma& p, std::string& sRecord) {
    return EseguiProcedura(p, "Ceck_LORQ", false, [&](bool& ok) {
        if (p.impostazioni.sInterfaccia == "ORDINE" && sRecord.find(std::string(30, '9')) != std::string::npos) {
            sRecord = Mid(sRecord, 2);
            ok = true;
            return;
        }
        if (sRecord.empty() || sRecord.front() != kStx || sRecord.back() != kEtx) return;
        const std::size_t l = sRecord.size();
        if (l < 12) SollevaErrore(kErrChiamataNonValida, "Record troppo corto: " + std::to_string(l) + " caratteri");
        const std::int64_t k1 = ValoreCifre(Mid(sRecord, l - 10, 5));
        const std::int64_t k2 = ValoreCifre(Mid(sRecord, l - 5, 5));
        sRecord = Mid(sRecord, 2, l - 12);
        const SommeRecord s = CalcolaSommeRecord(sRecord);
        // The sender writes the last five digits of each sum.
        ok = k1 == s.k1 % 100000 && k2 == s.k2 % 100000;
    });
}

bool Ceck_CPJ(Programma& p, std::string& sRecord) {
    return EseguiProcedura(p, "Ceck_CPJ", false, [&](bool& ok) {
        const auto primo = sRecord.find_first_of("951");
        if (primo != std::string::npos) sRecord.erase(0, primo);
        if (Left(sRecord, 1) == "9") {
            ok = sRecord.size() >= 3 &&
                 static_cast<std::int64_t>(sRecord.size()) == 41 * ValoreCifre(Mid(sRecord, 2, 2)) + 3;
            return;
        }
        ok = Left(sRecord, 1) == "5" || Left(sRecord, 1) == "1";
    });
}

}  // namespace morven
