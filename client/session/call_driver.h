// The call driver: prepares one call to one wholesaler slot (marker, settings, exchange files, window layout,
// old answers removed, request dialogs) and runs the session.
#pragma once

#include <optional>
#include <string>

namespace morven {

struct Programma;

// The request dialogs the driver opens before the session, modal (Qt windows in the program, scripted in
// tests). Each leaves its result in the program's state, as the windows do.
class DialoghiRichiesta {
public:
    virtual ~DialoghiRichiesta() = default;
    // Documents request: leaves bRichDocs, bRichListino, bRichTrattatiPht (all false when cancelled).
    virtual void RicDocumenti(Programma& p) = 0;
    // PHT order: writes the request file sPathApp/sFileIFCKIn (replacing one handed in) and returns true, or
    // returns false when left without an order (a handed-in file then stays as it was).
    virtual bool OrdinePht(Programma& p) = 0;
    // Message composer: leaves sMes1..sMes4.
    virtual void Messaggio(Programma& p) = 0;
};

// Prepares and runs one call to the wholesaler of `slot` ("01".."10", or the four characters after
// /BLKRUN:). True once the session ran; false when no call was made (a missing settings file, a slot
// without an exchange, a PHT order left without an order file, an order file that cannot be sent, or an
// error before the session).
bool SceltaChiamata(Programma& p, const std::string& slot, DialoghiRichiesta* dialoghi = nullptr);

// Whether the slot has an exchange the session can run: exchange files (IFCK mode, over the line or by FTP,
// whatever the interface), the CPJ framing, or an interface class 1 to 4 for the older framed protocols. A
// slot without one is refused.
struct ImpostazioniGrossista;
bool HaScambio(const ImpostazioniGrossista& imp);

// Why an IFCK order or availability request built from ordseq.txt (2003 compatibility) cannot go out: the
// file is missing, empty (no line) or cannot be read whole. Nothing when the request is not built from it
// or the file is fit.
std::optional<std::string> OrdineIFCKNonValido(const Programma& p);

// Whether files can be created in `cartella`: a probe file is written, closed and removed. False with the
// system's reason in `errore`.
bool CartellaScrivibile(const std::string& cartella, std::string& errore);

// The IFCK exchange kind of a request, first that holds: 01 availability, 03 documents, 04 price list,
// 05 PHT order, 06 PHT agreements, else 02 (order).
struct FlagsRichiesta {
    bool bDisponibilita = false, bRichDocs = false, bRichListino = false, bOrdinePht = false,
         bRichTrattatiPht = false;
};
std::string TipoScambioIFCK(const FlagsRichiesta& f);
inline std::string FileIFCKIn(const std::string& tipo) { return "IFCK" + tipo + "_IN_MORVEN.DAT"; }
inline std::string FileIFCKOut(const std::string& tipo) { return "IFCK" + tipo + "_OUT_MORVEN.DAT"; }

// The client code of an availability request over the older line protocol: the first 7 characters trimmed
// and filled on the left with "0" to 7, then 100 minus their digit sum as 3 digits, then "0000".
// "12345" gives "00123450850000".
std::string CodiceClienteDisponibilita(const std::string& sCodiceCliente);

// The session log name of a call: "MvnConn" & slot & "-YYYYMMDD-HHMMSS.log".
struct DateTime;
std::string NomeLogSessione(const std::string& slot, const DateTime& t);

}  // namespace morven
