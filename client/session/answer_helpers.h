// Texts shown for the raw fields of the received answers: unit price, price without VAT, discount, date and
// the reason of a 2003 answer line. No state; the number formats and the rounding are fixed here and do not
// follow the machine's locale.
#pragma once

#include <string>
#include <string_view>

#include "client/session/log_sink.h"

namespace morven {

// Decimal separator of every price and percentage shown (the program's Italian form).
inline constexpr char kSeparatoreDecimale = ',';

// Money field / divisor with four decimals ("1234,5000"); "" when the divisor is below 1 or the amount is
// zero or less. A field that is not an amount is logged under "CalcolaPrezzoSingolo :" and yields "".
// Halfway quotients are rounded away from zero.
std::string CalcolaPrezzoSingolo(std::string_view campo, long divisore, const LogFunzione& log = {});

// Money field without its VAT: amount / ((rate + 100) / 100), four decimals; "" for a rate below 1 or an
// amount of zero or less. A bad field is logged under "CalcolaPrezzoDeivato :".
std::string CalcolaPrezzoDeivato(std::string_view campo, long aliquota, const LogFunzione& log = {});

// Discount of `prezzo` against `riferimento` in percent, two decimals and "%" ("20,00%"); negative when the
// price is above the reference; "" when either is zero or less. Either "." or "," is taken as the decimal
// separator and surrounding blanks are ignored; a text that is no number is logged under "CalcolaSconto :".
std::string CalcolaSconto(std::string_view riferimento, std::string_view prezzo, const LogFunzione& log = {});

// "YYYYMMDD" shown as "dd/mm/yyyy"; "" for a field that is not a calendar date (logged under
// "VerificaData :") and for the zero date of the date type, 30 December 1899.
std::string VerificaData(std::string_view campo, const LogFunzione& log = {});

// Reason text of a 2003 answer line: columns 43-62 of a long line (62 characters or more), else the text of
// the reason code; 20 blanks for an unknown code.
std::string EspandiMotivazione(std::string_view codice, std::string_view riga);

}  // namespace morven
