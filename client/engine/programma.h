// The program object: one of each state group and the ports. No globals: every procedure takes the program
// by reference, a test builds a fresh one, and two can live side by side.
#pragma once

#include "client/engine/errors.h"
#include "client/engine/ports.h"
#include "client/engine/state.h"
#include "platform/core/clock.h"
#include "platform/core/pump.h"

#include <memory>
#include <vector>

namespace morven {

struct Programma {
    StatoSessione sessione;
    ImpostazioniGrossista impostazioni;
    OpzioniAvvio opzioni;
    PercorsiLavoro percorsi;
    RichiestaDocumento richiesta;
    RigheMessaggio messaggio;
    RiferimentiOggetti oggetti;
    FileStato fileStato;

    Programma() = default;
    Programma(const Programma&) = delete;
    Programma& operator=(const Programma&) = delete;

    // Takes ownership of a port (or any object) for the program's lifetime and returns it; the caller then
    // points the matching reference of `oggetti` at it.
    template <class T>
    T& Possiedi(std::unique_ptr<T> obj) {
        T& ref = *obj;
        possedute_.emplace_back(std::shared_ptr<T>(std::move(obj)));
        return ref;
    }

    // The ports; a port that was not given raises error 91, which the caller's boundary logs.
    EventPump& Pump() { return Richiedi(oggetti.oPump); }
    Clock& Orologio() { return Richiedi(oggetti.oClock); }
    View& FrmMorven() { return Richiedi(oggetti.oFrmMorven); }
    SerialPort& MSComm() { return Richiedi(oggetti.oMSComm); }
    TcpSocket& Winsock() { return Richiedi(oggetti.oWinsock); }
    FtpClient& Inet() { return Richiedi(oggetti.oInet); }
    DecompressionControl& Ugtactx() { return Richiedi(oggetti.oUgtactx); }
    DialUp& Ras() { return Richiedi(oggetti.oRas); }
    MessageBoxes& MsgBox() { return Richiedi(oggetti.oMsgBox); }
    ProgramEnd& Fine() { return Richiedi(oggetti.oFine); }
    Desktop& Scrivania() { return Richiedi(oggetti.oDesktop); }

private:
    template <class T>
    static T& Richiedi(T* ptr) {
        if (!ptr) SollevaErrore(kErrOggettoNonImpostato);
        return *ptr;
    }

    // Destroyed in reverse order of adoption (a port may use one adopted before it).
    struct Possedute {
        std::vector<std::shared_ptr<void>> v;
        template <class... A>
        void emplace_back(A&&... a) { v.emplace_back(std::forward<A>(a)...); }
        ~Possedute() {
            while (!v.empty()) v.pop_back();
        }
    } possedute_;
};

}  // namespace morven
