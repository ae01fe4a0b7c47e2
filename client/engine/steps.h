// The steps of the session state machine, as `nPassoSessione` holds them. Every transfer tells its outcome only
// through the step it leaves there, and the loop reads nothing else; the numbers are the system's own (the
// browser window and the batch caller's end rules compare them), so they never change.
#pragma once

namespace morven {

// Working steps: the loop runs the step's procedure and goes on with the step it leaves.
inline constexpr int kPassoRitenta = 3;          // failure or retry decision: call again, fall back, or end
inline constexpr int kPassoChiama = 5;           // open the line (EseguiChiamata)
inline constexpr int kPassoConnesso = 15;        // the line of an order session is open: show it, then send
inline constexpr int kPassoRiceviMancanti = 20;  // receive the shortage answer (RxLORQ, RxComproject)
inline constexpr int kPassoInviaOrdine = 30;     // send the order (TxLORQ, TxComproject)
inline constexpr int kPassoRiceviPosta = 33;     // receive mail and news (RxPosta, RxPOSTATcp), then unpack
inline constexpr int kPassoInviaPosta = 40;      // send mail (TxPosta, txPostaTCP)
inline constexpr int kPassoFineDocumenti = 45;   // end of a documents or messages session
inline constexpr int kPassoFineOrdine = 46;      // end of an order or availability session
inline constexpr int kPassoFinePosta = 47;       // end of a mail or news session
inline constexpr int kPassoInviaIFCK = 400;      // send the IFCK request over the line (TxMorvenFCK)
inline constexpr int kPassoRiceviIFCK = 401;     // receive the IFCK answer over the line (RxMorvenFCK)
inline constexpr int kPassoFTP = 500;            // the whole exchange over FTP (ChiamaFTP)

// Final steps: the loop ends.
inline constexpr int kPassoRisposteVisibili = 50;  // the answers are on screen and the program stays open
inline constexpr int kPassoAbortito = 200;         // the user or the caller aborted
inline constexpr int kPassoTermina = 999;          // nothing to show: the program ends
inline constexpr int kPassoFinestraNascosta = 2000;  // the main window is hidden

}  // namespace morven
