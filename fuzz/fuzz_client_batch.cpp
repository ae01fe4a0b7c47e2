// A whole batch call on outside input: the switch line read as start-up reads it, the slot's settings file
// and the order file, then the call driver and the session against the fake line (a socket that connects or
// not, a modem that never answers, a wholesaler that says nothing) on the test clock. A run that is a batch
// run must end: the call returns, the program-end procedure ran and MorvenClient.end is there, unless the
// session stopped to show an answer for the pharmacist to confirm. None of the input files may change (but
// the order file, when the run asks for its deletion after sending).
//
// Input (FuzzedDataProvider): byte 0 bit 0 the socket connects, bit 1 no "/BLKRUN:01" is added to the
// switch line; then the switch line and the order file as two strings (each ended by a backslash and
// another character, "\\" standing for one backslash); the rest is MvnConn01.par.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "fuzz/client_sandbox.h"
#include "client/engine/markers.h"
#include "client/engine/testing/test_program.h"
#include "client/session/call_driver.h"
#include "client/session/startup.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    std::string switches = in.ConsumeRandomLengthString(200);
    const std::string ordine = in.ConsumeRandomLengthString(2000);
    const std::string impostazioni = in.ConsumeRemainingBytesAsString();
    if (!(flags & 2)) switches += " /BLKRUN:01";

    const fs::path app = fuzzing::Box().Fresh("app");
    const std::map<std::string, std::string> ingressi = {{"MvnConn01.par", impostazioni}, {"ordseq.txt", ordine}};
    for (const auto& [nome, bytes] : ingressi) fuzzing::WriteFile(app / nome, bytes);

    morven::TestProgram t(app.string());
    // Every read of the clock moves it on a second: the longest limit a settings file can set (32767 s)
    // passes in a bounded number of rounds.
    t.clock.SetAutoStep(1000);
    t.socket.connectResult = (flags & 1) ? morven::TcpSocket::sckConnected : morven::TcpSocket::sckError;
    morven::Programma& p = t.p;

    const morven::ComandoAvvio c = morven::AnalizzaRigaComando(morven::RigaComandoAvvio("", switches));
    morven::ApplicaComandoAvvio(p, c);
    if (!p.opzioni.bBlkRun || !c.bTimer1) return 0;  // no batch call: nothing starts by itself

    morven::SceltaChiamata(p, p.opzioni.sGrossistaSelezionato);
    const bool attendeConferma = morven::NumeroPasso(p.sessione.nPassoSessione) == 50 && p.impostazioni.bDispOrdine[0];
    if (!attendeConferma) {
        Check(p.sessione.bProgrammaTerminato);
        Check(t.end.calls >= 1);
        Check(fs::exists(app / "MorvenClient.end"));
    }
    for (const auto& [nome, bytes] : ingressi) {
        // The order-file deletion after sending (/CSF or the settings' CSF line) is asked for.
        if (nome == "ordseq.txt" && p.impostazioni.bCsf) continue;
        Check(fuzzing::ReadFile(app / nome) == bytes);
    }
    return 0;
}
