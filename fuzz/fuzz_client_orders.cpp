// The order readers and the conversions for the outside ordering program, on outside input: the order
// work file ordseq.txt, the outside program's tra.dat and the answer file ordseq.man (which becomes ric.000)
// are written from the input into an application folder of their own. Nothing may crash; every record a
// reader builds is in the array and, for the standard protocol, passes the wholesaler's check; a tra.dat
// that converts makes an ordseq.txt the reader takes (when its fields hold no line ends, and over TCP no
// byte the line cannot carry), a refused one
// leaves none; ric.000 is always lines of 128 characters.
//
// Input (FuzzedDataProvider): the session switches from the last bytes, then ordseq.txt, tra.dat and
// ordseq.man as three strings, each ended by a backslash and another character ("\\" stands for one
// backslash).
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/client_sandbox.h"
#include "client/engine/frames.h"
#include "client/engine/order_file.h"
#include "client/engine/testing/test_program.h"

namespace fs = std::filesystem;

namespace {


// The records of the last read, each inside the array.
void CheckRecords(const morven::Programma& p) {
    Check(p.sessione.nUltimoRecord >= 0 &&
          static_cast<std::size_t>(p.sessione.nUltimoRecord) < p.sessione.aRecordOrdine.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int tipo = in.ConsumeIntegralInRange<int>(0, 4);
    const bool internet = in.ConsumeBool();
    const bool testata3 = in.ConsumeBool();
    const bool motCpj = in.ConsumeBool();
    const bool disponibilita = in.ConsumeBool();
    const bool messaggio = in.ConsumeBool();
    const std::string ordseq = in.ConsumeRandomLengthString(64 * 1024);
    const std::string tra = in.ConsumeRandomLengthString(64 * 1024);
    const std::string man = in.ConsumeRandomLengthString(64 * 1024);

    const fs::path app = fuzzing::Box().Fresh();
    morven::TestProgram t(app.string());
    morven::Programma& p = t.p;
    auto& imp = p.impostazioni;
    imp.sCodiceCliente = "123456789";
    imp.nTipoInterfaccia = tipo;
    imp.bModoInternet = internet;
    imp.bOpzioneTestata3 = testata3;
    imp.bMotCpj = motCpj;
    imp.bDisponibilita = disponibilita;
    imp.sInterfaccia = "NOTIZIE";  // no end-record rule in the checks below
    if (messaggio) p.messaggio = {"Consegna urgente", "per favore \xe8 tardi", "", "grazie"};

    // The work file as the management software left it.
    fuzzing::WriteFile(app / "ordseq.txt", ordseq);
    if (morven::LetturaOrdineMorven(p)) {
        CheckRecords(p);
        for (int r = 0; r <= p.sessione.nUltimoRecord; ++r) {
            std::string record = p.sessione.aRecordOrdine[static_cast<std::size_t>(r)];
            Check(morven::Ceck_LORQ(p, record));
        }
    }
    if (morven::LetturaOrdineComproject(p)) CheckRecords(p);

    // The outside program's order: converted, or refused without leaving an order file.
    fuzzing::WriteFile(app / "tra.dat", tra);
    if (morven::ConvertiOrdineCSF(p)) {
        // Lines of 13 characters, the products' ending in a 4-digit quantity; when no field carried a line
        // end of its own and the order fits the array, the reader takes them.
        const std::string ordine = fuzzing::ReadFile(app / "ordseq.txt");
        bool tredici = true;
        std::size_t righe = 0;
        for (std::size_t i = 0; i < ordine.size(); i += 15, ++righe) {
            Check(ordine.size() - i >= 15 && ordine.compare(i + 13, 2, "\r\n") == 0);
            const std::string_view riga(ordine.data() + i, 13);
            if (riga.find_first_of("\r\n") != std::string_view::npos) tredici = false;
            if (i > 0) Check(riga.substr(9).find_first_not_of("0123456789") == std::string_view::npos);
        }
        // Over TCP a byte the line cannot carry (above 192) refuses the order, in a line or in the client
        // code that heads it.
        auto trasmissibile = [](std::string_view t) {
            return std::none_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) > 192; });
        };
        if (internet && (!trasmissibile(ordine) || !trasmissibile(p.impostazioni.sCodiceCliente))) tredici = false;
        if (tredici && righe > 0 && righe <= 3000) Check(morven::LetturaOrdineMorven(p));
    } else {
        Check(!fs::exists(app / "ordseq.txt"));
    }

    // The answer for the outside program.
    fuzzing::WriteFile(app / "ordseq.man", man);
    if (morven::ConvertiMancantiCSF(p)) {
        const std::string ric = fuzzing::ReadFile(app / "ric.000");
        Check(!ric.empty() && ric.size() % 130 == 0);
        for (std::size_t i = 0; i < ric.size(); i += 130) Check(ric.compare(i + 128, 2, "\r\n") == 0);
    }
    return 0;
}
