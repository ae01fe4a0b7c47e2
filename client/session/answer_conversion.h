// The IFCK answer turned into the answer work files of the older exchange: ordseq.rst, ordseq.man and
// ordseq.ma1 (one line per product, as the shortage receive writes them), msgrx.txt (the wholesaler's
// message) and ordseq2006.man (the header and every further line of the answer, for the 2006 display).
#pragma once

#include <string>
#include <vector>

namespace morven {

struct Programma;

// The work files built from the lines of an answer whose header was accepted (T000 or T115). The header is
// the answer's first line as read, "000000000" appended when it is shorter than 22 characters.
struct FileConvertiti {
    std::string rst, man, ma1, man2006, msgrx;
    // One text per quantity that does not fit the 4 digits of the work files (its last 4 digits are written).
    std::vector<std::string> avvisi;
};
FileConvertiti ConvertiRighe(const std::string& testata, const std::vector<std::string>& righe, bool bDisponibilita);

// The answer's first line as the conversion sees it (see FileConvertiti).
std::string TestataConversione(const std::string& primaRiga);

// Converts the answer file `fileRisposta` (the second text is accepted for the callers and not used).
// First deletes the four ordseq work files. Header T000 or T115: abort.dat is deleted, msgrx.txt written
// and the four work files replaced; True. Header T116: abort.dat deleted and msgrx.txt written only; False.
// Any other header: logged, a message box "Errore Collegamento ERR :" with the code, and the program ends;
// False. A missing or unreadable answer is logged as "ConvertiMancantiA2003 :" and the text; False.
bool ConvertiMancantiA2003(Programma& p, const std::string& fileRisposta, const std::string& nonUsato = {});

}  // namespace morven
