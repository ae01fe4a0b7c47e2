// The line's integrity checks on outside input: the bytes are taken as a received frame, a standard
// shortage record, a CPJ record and a receive buffer to cut at the frame marks. Nothing may crash; a check
// that passes must leave what it promises (the payload, the data part); and what the program itself frames
// (AddCeck_MORVEN, FormaControllata) must pass its own check and give back the same bytes.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz/client_sandbox.h"
#include "client/engine/errors.h"
#include "client/engine/frames.h"
#include "client/engine/testing/test_program.h"

namespace fs = std::filesystem;

namespace {


bool Begins(std::string_view s, std::string_view with) { return s.substr(0, with.size()) == with; }
bool Ends(std::string_view s, std::string_view with) {
    return s.size() >= with.size() && s.substr(s.size() - with.size()) == with;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    morven::TestProgram t(fuzzing::Box().Fresh().string());
    morven::Programma& p = t.p;
    p.percorsi.sFileLogSessione = "sessione.log";

    // The receivers' cut: the input itself, or a piece of it from "AEIO" through "OIEA".
    const std::string cut = morven::TagliaAlFrame(input);
    if (cut != input) {
        Check(Begins(cut, "AEIO") && Ends(cut, "OIEA") && cut.size() >= 8);
        Check(input.find(cut) != std::string::npos);
    }

    // A received frame: when it passes, the argument is the payload between the marks and the sums.
    std::string frame = input;
    if (morven::Ceck_MORVEN(p, frame)) {
        Check(!frame.empty() && frame.size() + 20 == input.size());
        Check(input.compare(4, frame.size(), frame) == 0);
    }

    // Any payload framed by the program passes the check and comes back unchanged.
    if (!input.empty()) {
        std::string framed = morven::AddCeck_MORVEN(p, input);
        Check(framed.size() == input.size() + 20);
        Check(morven::Ceck_MORVEN(p, framed));
        Check(framed == input);
    }

    // A standard shortage record, read both with and without the order interface's end record rule.
    for (const char* interfaccia : {"ORDINE", "NOTIZIE"}) {
        p.impostazioni.sInterfaccia = interfaccia;
        std::string record = input;
        const bool ok = morven::Ceck_LORQ(p, record);
        if (ok && p.impostazioni.sInterfaccia != "ORDINE") {
            Check(input.size() >= 12 && record.size() + 12 == input.size());
        }
    }

    // What the program puts in checked form passes the check (outside the end record rule) unchanged.
    p.impostazioni.sInterfaccia = "NOTIZIE";
    std::string checked;
    try {
        checked = morven::FormaControllata(input);
    } catch (const morven::ErroreMorven& e) {
        Check(e.nNumero == morven::kErrOverflow);  // a byte too large for its position: refused
    }
    if (!checked.empty()) {
        Check(checked.size() == input.size() + 12);
        Check(morven::Ceck_LORQ(p, checked));
        Check(checked == input);
    }

    // A CPJ record: when it passes, it begins with its kind digit.
    std::string cpj = input;
    if (morven::Ceck_CPJ(p, cpj)) Check(!cpj.empty() && (cpj[0] == '9' || cpj[0] == '5' || cpj[0] == '1'));
    Check(cpj.size() <= input.size());

    // The number fields of the checks.
    const std::int64_t v = morven::ValoreCifre(input);
    Check(v > -1000000000000000LL && v < 1000000000000000LL);
    return 0;
}
