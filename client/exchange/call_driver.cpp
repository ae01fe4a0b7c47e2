#include "client/exchange/call_driver.h"

#include <cstdlib>

#include "platform/core/clock.h"
#include "platform/core/text.h"

namespace morven {

std::string TipoScambioIFCK(const FlagsRichiesta& f) {
    if (f.bDisponibilita) return "01";
    if (f.bRichDocs) return "03";
    if (f.bRichListino) return "04";
    if (f.bOrdinePht) return "05";
    if (f.bRichTrattatiPht) return "06";
    return "02";
}

std::string CodiceClienteDisponibilita(const std::string& sCodiceCliente) {
    std::string c = Left(sCodiceCliente, 7);
    const auto b = c.find_first_not_of(' ');
    c = b == std::string::npos ? std::string() : c.substr(b, c.find_last_not_of(' ') - b + 1);
    c = PadLeft(c, 7, "0");
    int sum = 0;
    for (char ch : c)
        if (ch >= '0' && ch <= '9') sum += ch - '0';
    return c + PadLeft(std::abs(100 - sum), 3, "0") + "0000";
}

std::string NomeLogSessione(const std::string& slot, const DateTime& t) {
    return "MvnConn" + slot + "-" + PadLeft(t.year, 4, "0") + PadLeft(t.month, 2, "0") + PadLeft(t.day, 2, "0") +
           "-" + PadLeft(t.hour, 2, "0") + PadLeft(t.minute, 2, "0") + PadLeft(t.second, 2, "0") + ".log";
}

}  // namespace morven
