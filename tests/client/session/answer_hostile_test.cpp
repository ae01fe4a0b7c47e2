// Answers that no wholesaler should send: random record kinds, lengths and bytes. Whatever comes in, every
// display keeps its shape (one text per column, unique keys, parents before children) and reports instead
// of failing.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "client/session/answer_documents.h"
#include "client/session/answer_file.h"
#include "client/session/answer_helpers.h"
#include "client/session/answer_lists.h"

namespace morven {
namespace {

std::string RispostaCasuale(std::mt19937& rng) {
    static constexpr std::string_view tipi = "TPPPOOORSACX 9";
    static constexpr std::string_view alfabeto = "0123456789000000     ABC*@-+.,\xE0\t";
    static constexpr std::string_view fini[] = {"\r\n", "\r\n", "\r\n", "\n", "\r", ""};
    std::uniform_int_distribution<int> righe(0, 60);
    std::uniform_int_distribution<int> lunghezza(0, 300);
    std::string out;
    const int n = righe(rng);
    for (int i = 0; i < n; ++i) {
        out += tipi[rng() % tipi.size()];
        const int len = lunghezza(rng);
        for (int k = 0; k < len; ++k) {
            out += (rng() % 50 == 0) ? static_cast<char>(rng() % 256) : alfabeto[rng() % alfabeto.size()];
        }
        out += fini[rng() % std::size(fini)];
    }
    return out;
}

void ControllaLista(const ModelloLista& m, std::size_t colonne, std::string_view dati) {
    ASSERT_EQ(m.colonne.size(), colonne);
    EXPECT_EQ(m.riuscito, !DividiRighe(dati).empty());
    std::set<std::string> chiavi;
    for (const auto& r : m.righe) {
        ASSERT_EQ(r.testi.size(), colonne);
        ASSERT_EQ(r.colori.size(), colonne);
        if (!r.chiave.empty()) {
            EXPECT_TRUE(chiavi.insert(r.chiave).second) << r.chiave;
        }
    }
    for (std::size_t i = 1; i < m.righe.size(); ++i) {
        // Sorted: no row compares below the one before it (ASCII letters folded).
        auto piega = [](std::string s) {
            for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
            return s;
        };
        const auto a = piega(m.righe[i - 1].testi[1]);
        const auto b = piega(m.righe[i].testi[1]);
        EXPECT_FALSE(std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [](char p, char q) {
            return static_cast<unsigned char>(p) < static_cast<unsigned char>(q);
        }));
    }
}

TEST(HostileAnswers, DisplaysKeepTheirShape) {
    std::mt19937 rng(20261210);
    for (int giro = 0; giro < 300; ++giro) {
        const std::string dati = RispostaCasuale(rng);
        const LogFunzione log = [](std::string_view r) {
            EXPECT_NE(r.find(" :"), std::string_view::npos) << r;
        };
        ControllaLista(ModelloMancanti2006(dati, log), 8, dati);
        ControllaLista(ModelloDisponibilita2006(dati, log), 9, dati);
        ControllaLista(ModelloMancanti2003(dati, log), 5, dati);

        const ModelloDocumenti d = ModelloDocumentiDaTesto(dati, log);
        EXPECT_EQ(d.riuscito, !DividiRighe(dati).empty());
        std::set<std::string> chiavi;
        for (std::size_t i = 0; i < d.nodi.size(); ++i) {
            if (d.nodi[i].genitore) {
                EXPECT_LT(*d.nodi[i].genitore, i);
            }
            if (!d.nodi[i].chiave.empty()) {
                EXPECT_TRUE(chiavi.insert(d.nodi[i].chiave).second) << d.nodi[i].chiave;
            }
        }

        const auto righe = DividiRighe(dati);
        for (std::size_t i = 1; i < righe.size(); ++i) {
            const auto p = LeggiProdottoDisponibilita(righe, Colonne(righe[i], 2, 14), log, "ImpostaForm");
            EXPECT_LE(p.offerte.size(), kMaxOfferteProdotto);
            const std::string_view riga = righe[i];
            CalcolaPrezzoSingolo(Colonne(riga, 40, 50), LeggiQuantita(Colonne(riga, 25, 29)).value_or(0), log);
            CalcolaPrezzoDeivato(Colonne(riga, 100, 110), LeggiAliquota(Colonne(riga, 111, 112)).value_or(0), log);
            CalcolaSconto(Colonne(riga, 2, 10), Colonne(riga, 11, 20), log);
            VerificaData(Colonne(riga, 52, 59), log);
            EspandiMotivazione(Colonne(riga, 42, 42), riga);
        }
    }
}

}  // namespace
}  // namespace morven
