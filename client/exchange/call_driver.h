// The call driver: prepares one call to one wholesaler slot (marker, settings, exchange files, window layout,
// old answers removed, request dialogs) and runs the session.
#pragma once

#include <string>

namespace morven {

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
