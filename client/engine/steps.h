// The steps of the session state machine, as `nPassoSessione` holds them. Every transfer tells its outcome only
// through the step it leaves there, and the loop reads nothing else; the numbers are the system's own (the
// browser window and the batch caller's end rules compare them, the session tests record them), so they never
// change. A scoped enumeration: a switch over the steps that leaves one out is a compiler warning.
#pragma once

#include <ostream>

namespace morven {

enum class PassoSessione : int {
    kPassoNessuno = 0,  // no step yet: the session has not started

    // Working steps: the loop runs the step's procedure and goes on with the step it leaves.
    kPassoRitenta = 3,          // failure or retry decision: call again, fall back, or end
    kPassoChiama = 5,           // open the line (EseguiChiamata)
    kPassoConnesso = 15,        // the line of an order session is open: show it, then send
    kPassoRiceviMancanti = 20,  // receive the shortage answer (RxLORQ, RxComproject)
    kPassoInviaOrdine = 30,     // send the order (TxLORQ, TxComproject)
    kPassoRiceviPosta = 33,     // receive mail and news (RxPosta, RxPOSTATcp), then unpack
    kPassoInviaPosta = 40,      // send mail (TxPosta, txPostaTCP)
    kPassoFineDocumenti = 45,   // end of a documents or messages session
    kPassoFineOrdine = 46,      // end of an order or availability session
    kPassoFinePosta = 47,       // end of a mail or news session
    kPassoInviaIFCK = 400,      // send the IFCK request over the line (TxMorvenFCK)
    kPassoRiceviIFCK = 401,     // receive the IFCK answer over the line (RxMorvenFCK)
    kPassoFTP = 500,            // the whole exchange over FTP (ChiamaFTP)

    // Final steps: the loop ends.
    kPassoRisposteVisibili = 50,    // the answers are on screen and the program stays open
    kPassoAbortito = 200,           // the user or the caller aborted
    kPassoTermina = 999,            // nothing to show: the program ends
    kPassoFinestraNascosta = 2000,  // the main window is hidden
};
using enum PassoSessione;

// The step's number, as logs, outside callers and the session tests' trails show it.
constexpr int NumeroPasso(PassoSessione passo) { return static_cast<int>(passo); }

inline std::ostream& operator<<(std::ostream& os, PassoSessione passo) { return os << NumeroPasso(passo); }

}  // namespace morven
