#include "client/presenters/offer_detail.h"

#include "client/engine/errors.h"
#include "client/engine/logs.h"
#include "client/engine/message_box.h"
#include "client/engine/ports.h"
#include "client/engine/programma.h"
#include "client/session/answer_file.h"
#include "client/session/answer_helpers.h"
#include "client/presenters/keys.h"

#include <optional>

namespace morven {

namespace {

constexpr std::string_view kImpostaForm = "ImpostaForm";

// A quantity field as plain digits ("00012" -> "12", blanks -> "0"); empty when it holds no number.
std::string Numero(std::string_view campo) {
    const std::optional<long> n = LeggiQuantita(campo);
    return n ? std::to_string(*n) : std::string();
}

long ValoreIntero(std::string_view campo) { return LeggiQuantita(campo).value_or(0); }

void TestiProdotto(TestiDettaglioOfferta& t, const RecordProdotto& r, const std::string& deivato,
                   const LogFunzione& log) {
    t["LblDescrizioneProdotto"] = r.descrizione;
    t["LblSituazioneProdotto"] = r.stato == " " ? std::string("Disponibile") : r.nota;
    t["LblAliquota"] = r.aliquota;
    const std::string pubblico = CalcolaPrezzoSingolo(r.prezzoPubblico, 1, log);
    const std::string netto = CalcolaPrezzoSingolo(r.importoNetto, ValoreIntero(r.qtaConsegnata), log);
    t["LblPrezzoPubblico"] = pubblico;
    t["LblPrezzoDeivato"] = deivato;
    t["LblPrezzoNetto"] = netto;
    t["LblScontoNetto"] = CalcolaSconto(deivato, netto, log);
    t["LblScontoLOrdo"] = CalcolaSconto(pubblico, netto, log);
}

void TestiOfferta(TestiDettaglioOfferta& t, int colonna, const RecordOfferta& o, const std::string& deivato,
                  const LogFunzione& log) {
    auto cella = [&](std::string_view riga) -> std::string& { return t[ControlId(riga, colonna)]; };
    cella("LblValidita") = VerificaData(o.validita, log) + " ";
    cella("LblQtaMinima") = Numero(o.qtaMinima) + " ";
    cella("LblQtaDaA") = Numero(o.qtaDa) + " / " + Numero(o.qtaA) + " ";
    cella("LblQtaAssegnata") = Numero(o.qtaAssegnata) + " ";
    cella("LblQtaOmaggio") = Numero(o.qtaOmaggio) + " ";
    const std::string unitario = CalcolaPrezzoSingolo(o.importo, ValoreIntero(o.qtaAssegnata), log);
    cella("LblPrezzoUnitario") = unitario + " / " + CalcolaSconto(deivato, unitario, log) + " ";
    cella("LblAltroOmaggio") = o.descrizioneAltroOmaggio + " ";
    cella("LblQtaAltroOmaggio") = Numero(o.qtaAltroOmaggio) + " ";
    cella("LblPagamento") = o.pagamento + " ";
}

}  // namespace

TestiDettaglioOfferta TestiDettaglio(const std::vector<std::string>& righe, std::string_view codice,
                                     const LogFunzione& log) {
    TestiDettaglioOfferta t;
    for (std::string_view c : kCampiProdottoOfferta) t[std::string(c)];
    for (std::string_view c : kCampiFondoOfferta) t[std::string(c)];
    for (std::string_view r : kRigheGrigliaOfferta)
        for (int i = 0; i < kColonneGrigliaOfferta; ++i) t[ControlId(r, i)];
    t["LblCodiceProdotto"] = std::string(codice);

    const ProdottoDisponibilita prodotto = LeggiProdottoDisponibilita(righe, codice, log, kImpostaForm);
    std::string deivato;
    if (prodotto.prodotto) {
        const RecordProdotto& r = *prodotto.prodotto;
        deivato = CalcolaPrezzoDeivato(r.prezzoPubblico, ValoreIntero(r.aliquota), log);
        TestiProdotto(t, r, deivato, log);
    }
    for (std::size_t i = 0; i < prodotto.offerte.size() && i < std::size_t(kColonneGrigliaOfferta); ++i)
        TestiOfferta(t, static_cast<int>(i), prodotto.offerte[i], deivato, log);
    return t;
}

int LeggiQtaRichiesta(std::string_view testo) {
    const std::string t = TogliSpazi(testo);
    if (t.empty() || t.size() > 5) return -1;
    int n = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n <= kQtaMassimaOfferta ? n : -1;
}

DettaglioOfferta::DettaglioOfferta(Programma& p, View& form) : p_(p), form_(form) {}

bool DettaglioOfferta::Prepara(std::string_view codice, const std::filesystem::path& fileRisposta, int quantita) {
    return EseguiProcedura(p_, kImpostaForm, false, [&](bool& ok) {
        const LogFunzione log = [this](std::string_view m) { ScriviLogFunzione(p_, m); };
        // Every field starts empty, so nothing of a product shown before stays in the window.
        const TestiDettaglioOfferta vuoti = TestiDettaglio({}, "", {});
        for (const auto& [nome, testo] : vuoti) form_.SetText(nome, testo);
        form_.SetText("TxtQtaRichiesta", "");

        const auto trovato = CercaFile(fileRisposta.parent_path(), fileRisposta.filename().string());
        const ContenutoFile f = LeggiFileLimitato(trovato ? *trovato : fileRisposta);
        if (f.esito == EsitoLettura::Mancante) SollevaErrore(kErrFileNonTrovato, "File non trovato " + fileRisposta.string());
        if (f.esito != EsitoLettura::Letto) SollevaErrore(kErrIODispositivo, f.errore);

        for (const auto& [nome, testo] : TestiDettaglio(DividiRighe(f.dati), codice, log)) form_.SetText(nome, testo);
        nTmpQtaOri = nTmpQta = quantita;
        form_.SetText("TxtQtaRichiesta", std::to_string(nTmpQta));
        ok = true;
    });
}

bool DettaglioOfferta::CmdConferma_Click() {
    return EseguiProcedura(p_, "CmdConferma_Click", false, [&](bool& chiudi) {
        const int n = LeggiQtaRichiesta(form_.Text("TxtQtaRichiesta"));
        if (n < 0) {
            p_.MsgBox().MsgBox("Quantita' non valida\r\nIndicare un numero da 0 a " + std::to_string(kQtaMassimaOfferta) +
                                   ".",
                               kMbOk + kMbIconExclamation, "Dettaglio Offerta", &form_);
            return;
        }
        nTmpQta = n;
        chiudi = true;
    });
}

bool DettaglioOfferta::CmdAnnulla_Click() {
    nTmpQta = nTmpQtaOri;
    EseguiProceduraVoid(p_, "CmdAnnulla_Click", [&] { form_.SetText("TxtQtaRichiesta", std::to_string(nTmpQtaOri)); });
    return false;
}

bool DettaglioOfferta::CmdUscita_Click() {
    nTmpQta = nTmpQtaOri;
    return true;
}

bool DettaglioOfferta::Gestisci_Tasto_Funzione(int& tasto, int shift, bool& chiudi) {
    chiudi = false;
    tasto = CodiceTasto(tasto, shift);
    if (tasto == kTastoF1) chiudi = CmdConferma_Click();
    else if (tasto == kTastoF3) chiudi = CmdAnnulla_Click();
    else if (tasto == kTastoF10) chiudi = CmdUscita_Click();
    return true;
}

}  // namespace morven
