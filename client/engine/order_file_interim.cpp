#include "client/engine/order_file_interim.h"

#include <vector>

#include "client/engine/errors.h"
#include "client/engine/frames.h"
#include "client/engine/logs.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

namespace morven {

namespace {

std::vector<std::string> RigheFile(Programma& p) {
    std::string text;
    if (!ReadWholeFile(JoinPath(p.percorsi.sPathApp, "ordseq.txt"), text)) SollevaErrore(kErrFileNonTrovato);
    std::vector<std::string> v;
    std::string cur;
    bool pending = false;
    for (char ch : text) {
        if (ch == '\n') {
            if (!cur.empty() && cur.back() == '\r') cur.pop_back();
            v.push_back(cur);
            cur.clear();
            pending = false;
        } else {
            cur += ch;
            pending = true;
        }
    }
    if (pending) v.push_back(cur);
    return v;
}

std::string Famiglia(const ImpostazioniGrossista& imp) {
    const bool m = imp.bMotCpj, t3 = imp.bOpzioneTestata3;
    switch (imp.nTipoInterfaccia) {
        case 1: return m ? "020011****" : "020001****";
        case 2: return m ? (t3 ? "020016****" : "020013****") : (t3 ? "020006****" : "020003****");
        case 3: return m ? (t3 ? "020017****" : "020015****") : (t3 ? "020007****" : "020005****");
        default: return "";
    }
}

void Aggiungi(StatoSessione& st, std::string r) {
    if (st.nUltimoRecord > 500) SollevaErrore(9, "Indice non compreso nell'intervallo");
    st.aRecordOrdine[st.nUltimoRecord] = std::move(r);
}

}  // namespace

bool LetturaOrdineMorven(Programma& p) {
    return EseguiProcedura(p, "LetturaOrdineMorven", false, [&] {
        auto& st = p.sessione;
        const auto& imp = p.impostazioni;
        const auto righe = RigheFile(p);
        st.nUltimoRecord = 1;
        st.aRecordOrdine[1] = "0001";
        for (std::size_t i = 0; i < righe.size(); ++i) {
            if (righe[i].size() != 13) SollevaErrore(kErrLibreria, "Formato Record non Corretto", "LetturaOrdineMorven");
            if (i == 0) {
                st.sRiferimentoTestata = Mid(righe[i], 10, 4);
                continue;
            }
            st.aRecordOrdine[st.nUltimoRecord] += righe[i];
            if (st.aRecordOrdine[st.nUltimoRecord].size() > 100) {
                ++st.nUltimoRecord;
                Aggiungi(st, PadLeft(st.nUltimoRecord, 4, "0"));
            }
        }
        ++st.nUltimoRecord;
        const std::string coda = imp.sCodiceCliente + st.sRiferimentoTestata + "0000" +
                                 PadLeft(st.nUltimoRecord, 4, "0") + Famiglia(imp) + "      ";
        st.aRecordOrdine[0] = "0000" + coda;
        const auto& m = p.messaggio;
        if (m.sMes1.find_first_not_of(' ') != std::string::npos) {
            const std::string* mes[] = {&m.sMes1, &m.sMes2, &m.sMes3, &m.sMes4};
            for (int k = 0; k < 4; ++k) {
                Aggiungi(st, "MES" + std::to_string(k + 1) + *mes[k]);
                ++st.nUltimoRecord;
            }
        }
        Aggiungi(st, "9999" + coda);
        for (int i = 0; i <= st.nUltimoRecord; ++i) st.aRecordOrdine[i] = FormaControllata(st.aRecordOrdine[i]);
        return true;
    });
}

bool LetturaOrdineComproject(Programma& p) {
    return EseguiProcedura(p, "LetturaOrdineComproject", false, [&] {
        auto& st = p.sessione;
        const auto& imp = p.impostazioni;
        const auto righe = RigheFile(p);
        st.nUltimoRecord = 1;
        std::string voci;
        int n = 0, totale = 0;
        for (std::size_t i = 1; i < righe.size(); ++i) {
            if (righe[i].size() != 13) SollevaErrore(kErrLibreria, "Formato Errato", "LetturaOrdineComproject");
            const std::string q = ValoreCifre(Mid(righe[i], 10, 4)) <= 999 ? Mid(righe[i], 11, 3) : "999";
            if (imp.bDisponibilita) {
                if (n < 4) {
                    voci += Left(righe[i], 9) + q;
                    ++n;
                }
                continue;
            }
            voci += Left(righe[i], 9) + q;
            ++n;
            totale += static_cast<int>(ValoreCifre(q));
            if (n == 20) {
                Aggiungi(st, "320" + voci + PadLeft(totale % 10000, 4, "0"));
                ++st.nUltimoRecord;
                voci.clear();
                n = 0;
                totale = 0;
            }
        }
        if (n == 0) {
            --st.nUltimoRecord;
        } else {
            Aggiungi(st, imp.bDisponibilita ? "4" + std::to_string(n) + voci
                                            : "3" + PadLeft(n, 2, "0") + voci + PadLeft(totale % 10000, 4, "0"));
        }
        if (imp.bDisponibilita) {
            st.nUltimoRecord = 1;
            st.aRecordOrdine[0] = "7" + imp.sCodiceCliente;
            return true;
        }
        st.aRecordOrdine[0] = "2" + imp.sCodiceCliente;
        ++st.nUltimoRecord;
        const auto& m = p.messaggio;
        if (m.sMes1.find_first_not_of(' ') != std::string::npos) {
            const std::string testo = m.sMes1 + m.sMes2 + m.sMes3 + m.sMes4;
            Aggiungi(st, "5" + PadLeft(static_cast<long long>(testo.size()), 3, "0") + testo);
        } else {
            Aggiungi(st, "5000");
        }
        return true;
    });
}

bool ConvertiOrdineCSF(Programma& p) {
    ScriviLogFunzione(p, "ConvertiOrdineCSF :conversione tra.dat non disponibile in questa versione");
    return false;
}

bool ConvertiMancantiCSF(Programma& p) {
    ScriviLogFunzione(p, "ConvertiMancantiCSF :conversione ric.000 non disponibile in questa versione");
    return false;
}

}  // namespace morven
