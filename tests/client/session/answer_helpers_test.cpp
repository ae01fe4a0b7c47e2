#include "client/session/answer_helpers.h"

#include <gtest/gtest.h>

#include <clocale>

#include "tests/client/engine/comma_locale.h"
#include "tests/client/session/answer_test_support.h"

namespace morven {
namespace {

using test::LogRegistrato;

TEST(PriceHelpers, UnitPrice) {
    struct Caso {
        std::string_view campo;
        long divisore;
        std::string_view atteso;
        bool registrato;  // the failure path writes to the log
    };
    const Caso casi[] = {
        {"00012345000", 1, "1234,5000", false},
        {"00012345000", 2, "617,2500", false},
        {"00012345000", 0, "", false},
        {"00012345000", -3, "", false},
        {"00000000000", 1, "", false},
        {"-0001234000", 1, "", false},
        {"01234500000", 12345, "10,0000", false},
        {"99999999999", 1, "9999999,9999", false},
        {"00000000001", 2, "0,0001", false},       // 0.00005: halfway, away from zero
        {"00000000001", 3, "0,0000", false},       // a price, however small
        {"00000010000", 3, "0,3333", false},
        {"00000020000", 3, "0,6667", false},
        {"00000000005", 10, "0,0001", false},      // 0.00005 again
        {"00000000004", 10, "0,0000", false},
        {"00000123450", 10, "1,2345", false},
        {"00012345000", 99999, "0,0123", false},   // the largest quantity does not overflow
        {"           ", 1, "", true},
        {"", 1, "", true},
        {"0001234500", 1, "", true},
        {"ABCDEFGHIJK", 1, "", true},
        {"ABCDEFGHIJK", 0, "", true},              // the field is read before the divisor is looked at
    };
    for (const auto& c : casi) {
        LogRegistrato log;
        EXPECT_EQ(CalcolaPrezzoSingolo(c.campo, c.divisore, log.Sink()), c.atteso) << c.campo << " / " << c.divisore;
        EXPECT_EQ(log.Conta("CalcolaPrezzoSingolo :"), c.registrato ? 1u : 0u) << c.campo;
        EXPECT_EQ(log.righe.size(), c.registrato ? 1u : 0u) << c.campo;
    }
}

TEST(PriceHelpers, PriceWithoutVat) {
    struct Caso {
        std::string_view campo;
        long aliquota;
        std::string_view atteso;
        bool registrato;
    };
    const Caso casi[] = {
        {"00001210000", 10, "110,0000", false},
        {"00001210000", 0, "", false},
        {"00001210000", -1, "", false},
        {"00001210000", 4, "116,3462", false},     // 116.346153...
        {"00001210000", 22, "99,1803", false},
        {"00000000000", 10, "", false},
        {"99999999999", 1, "9900990,0989", false},
        {"   ", 10, "", true},
        {"0000121000X", 10, "", true},
    };
    for (const auto& c : casi) {
        LogRegistrato log;
        EXPECT_EQ(CalcolaPrezzoDeivato(c.campo, c.aliquota, log.Sink()), c.atteso) << c.campo << " @ " << c.aliquota;
        EXPECT_EQ(log.Conta("CalcolaPrezzoDeivato :"), c.registrato ? 1u : 0u) << c.campo;
    }
}

TEST(PriceHelpers, Discount) {
    struct Caso {
        std::string_view riferimento;
        std::string_view prezzo;
        std::string_view atteso;
        bool registrato;
    };
    const Caso casi[] = {
        {"10.0000", "8.0000", "20,00%", false},
        {"10,0000", "8,0000", "20,00%", false},
        {"10,0000", "8.0000", "20,00%", false},
        {" 10 ", " 8 ", "20,00%", false},
        {"8", "10", "-25,00%", false},             // a price above the reference
        {"3", "2", "33,33%", false},
        {"3", "1", "66,67%", false},
        {"8", "7,99995", "0,00%", false},
        {"10", "10", "0,00%", false},
        {"110,0000", "10,0000", "90,91%", false},
        {"9999999,9999", "0,0001", "100,00%", false},
        {"0", "8", "", false},
        {"10", "0", "", false},
        {"-10", "8", "", false},
        {"", "8", "", true},
        {"10", "", "", true},
        {"10", "abc", "", true},
        {"1,5.0", "1", "", true},                  // two separators
        {"1 0", "1", "", true},
        {"1234567890123456", "1", "", true},       // not a price
    };
    for (const auto& c : casi) {
        LogRegistrato log;
        EXPECT_EQ(CalcolaSconto(c.riferimento, c.prezzo, log.Sink()), c.atteso) << c.riferimento << " vs " << c.prezzo;
        EXPECT_EQ(log.Conta("CalcolaSconto :"), c.registrato ? 1u : 0u) << c.riferimento << " vs " << c.prezzo;
    }
    // What the offer window feeds it: the texts of the two price helpers.
    EXPECT_EQ(CalcolaSconto(CalcolaPrezzoDeivato("00001210000", 10), CalcolaPrezzoSingolo("00000880000", 1)), "20,00%");
}

TEST(DateHelper, ShortDateOrEmpty) {
    struct Caso {
        std::string_view campo;
        std::string_view atteso;
        bool registrato;
    };
    const Caso casi[] = {
        {"20061231", "31/12/2006", false},
        {"20070101", "01/01/2007", false},
        {"20040229", "29/02/2004", false},
        {"18991230", "", false},                   // the zero date of the date type
        {"18991231", "31/12/1899", false},
        {"00000000", "", true},
        {"20061332", "", true},
        {"20050229", "", true},
        {"        ", "", true},
        {"2006123", "", true},
        {"", "", true},
    };
    for (const auto& c : casi) {
        LogRegistrato log;
        EXPECT_EQ(VerificaData(c.campo, log.Sink()), c.atteso) << c.campo;
        EXPECT_EQ(log.Conta("VerificaData :"), c.registrato ? 1u : 0u) << c.campo;
    }
}

TEST(ReasonHelper, CodesAndLongLines) {
    const std::string corta(42, ' ');
    struct Caso {
        std::string_view codice;
        std::string_view testo;
    };
    const Caso casi[] = {
        {"1", "Fornitore Sprov."},     {"F", "Fornitore Sprov."},
        {"2", "Sprovvisto.Temp."},     {"B", "Sprovvisto.Temp."},
        {"3", "Sospeso/Revocato"},     {"C", "Sospeso/Revocato"},
        {"4", "Non Trattato    "},     {"E", "Non Trattato    "},
        {"5", "Non Riconosciuto"},     {"A", "Non Riconosciuto"},
        {"6", "Stupefacente Disponibile"}, {"I", "Stupefacente Disponibile"},
        {"7", "Stupefacente NON Disponibile"}, {"J", "Stupefacente NON Disponibile"},
        {"8", "Scarsa Disponibilit\xE0"}, {"D", "Scarsa Disponibilit\xE0"},
        {"9", "Cessata Produzione"},   {"G", "Cessata Produzione"},
        {"H", "Sequestrato"},
        {"K", "Trasferito Ad Altro Fornitore"},
        {"L", "Procedura Risposte Non Attiva"},
        {"Z", "                    "}, {"f", "                    "},  // exact, case-sensitive
        {"@", "                    "}, {"*", "                    "},
        {" ", "                    "}, {"", "                    "},
        {"10", "                    "},
    };
    for (const auto& c : casi) EXPECT_EQ(EspandiMotivazione(c.codice, corta), c.testo) << '"' << c.codice << '"';
    EXPECT_EQ(EspandiMotivazione("4", std::string(40, 'x')).size(), 16u);

    // A long 2003 line carries its own reason in columns 43-62, whatever the code.
    std::string lunga = std::string(42, '.') + "Motivo lungo ventiC." + "oltre";
    for (std::string_view codice : {"1", "Z", "@"}) {
        EXPECT_EQ(EspandiMotivazione(codice, lunga), "Motivo lungo ventiC.");
        EXPECT_EQ(EspandiMotivazione(codice, lunga.substr(0, 62)), "Motivo lungo ventiC.");
    }
    EXPECT_EQ(EspandiMotivazione("1", lunga.substr(0, 61)), "Fornitore Sprov.");
}

TEST(PriceHelpers, IgnoreTheMachineLocale) {
    // A C library locale with another decimal separator changes nothing.
    const char* prima = std::setlocale(LC_ALL, nullptr);
    const std::string salvato = prima ? prima : "C";
    for (const char* nome : {"de_DE.UTF-8", "it_IT.UTF-8", "en_US.UTF-8", "C.UTF-8"}) {
        if (!std::setlocale(LC_ALL, nome)) continue;
        EXPECT_EQ(CalcolaPrezzoSingolo("00012345000", 2), "617,2500") << nome;
        EXPECT_EQ(CalcolaSconto("10.0000", "8,0000"), "20,00%") << nome;
        EXPECT_EQ(VerificaData("20061231"), "31/12/2006") << nome;
    }
    std::setlocale(LC_ALL, salvato.c_str());

    // The Italian locale a window program takes from the desktop, made for the test when it is not installed.
    morven::testing::LocaleConVirgola virgola;
    if (!virgola.attiva()) GTEST_SKIP() << "no Italian locale can be made on this machine";
    EXPECT_EQ(CalcolaPrezzoSingolo("00012345000", 2), "617,2500");
    EXPECT_EQ(CalcolaSconto("10.0000", "8,0000"), "20,00%");
    EXPECT_EQ(VerificaData("20061231"), "31/12/2006");
}

}  // namespace
}  // namespace morven
