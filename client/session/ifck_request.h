// IFCK request files: one request of the pharmacy to its wholesaler as fixed-column CR LF text, named
// IFCK0<n>_IN_<source>.DAT. Kinds: 01 availability, 02 order, 03 documents, 04 price list, 05 PHT order
// (written by the PHT order window), 06 PHT agreements. A header "T", for kinds 01, 02 and 05 one product
// record "P" per product, and a trailer "Z" (with the product count for 01, 02 and 05).
//
// The management software may write the file itself; in 2003-compatibility mode (bCompMvn) the builders
// below write it from the older order work file ordseq.txt or from the document request fields.
// Every builder writes the whole file at once, atomically, or nothing: a builder that fails leaves no file
// of that name behind (an older one is removed first), so a half-built request is never sent.
// Failures go to the function log as "Name :description" and the builder returns False.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morven {

struct Programma;
struct ModelloLista;

// Most product lines a request can carry: the trailer counts them in a 16-bit field.
inline constexpr int kMaxRigheRichiesta = 32767;

// Writes the kind-01 or kind-02 request `fileRichiesta` from the order work file `fileOrdine` (its header
// line and one product record per further line, blank lines included). `campoCliente` fills columns 11-19
// (zero-filled), `colonne20_29` columns 20-29, `riempimento` the 78-column filler; `bColonna20` is the digit
// in column 20 of the product records. Fails (no file) when the order file is missing, the kind is neither
// "01" nor "02", the request type is not one digit, or there are more than kMaxRigheRichiesta products.
bool ConvertiOrdineDa2003(Programma& p, const std::string& fileOrdine, const std::string& fileRichiesta,
                          const std::string& campoCliente, const std::string& tipo, const std::string& colonne20_29,
                          int nTipoRichiesta, bool bOpzioneTestata1, bool bOpzioneTestata2, bool bOpzioneTestata3,
                          bool bDatiConseg, const std::string& riempimento, bool bColonna20, bool bAllineaCol,
                          bool bSostProd, bool bConsDiffer);

// Kind 03: documents. `sDataDocumento` is a date as the document dialog leaves it ("dd/mm/yyyy", optionally
// with a time; "yyyy-mm-dd" and "yyyymmdd" are read too); the zero date (empty, "00:00:00", "30/12/1899")
// gives 8 blanks, any other text that is not a calendar date fails the request.
bool CreaRichiestaDocumento(Programma& p, const std::string& fileRichiesta, const std::string& sCodiceCliente,
                            const std::string& sTipoDocumento, const std::string& sDataDocumento,
                            const std::string& sNumeroOrdine, const std::string& sNumeroDocumento,
                            const std::string& sSiglaDocumento, bool bColonna61);
// Kind 04: price list.
bool CreaRichiestaListino(Programma& p, const std::string& fileRichiesta, const std::string& sCodiceCliente,
                          const std::string& sTipoListino);
// Kind 06: PHT agreements.
bool CreaRichiestaTrattatiPHT(Programma& p, const std::string& fileRichiesta, const std::string& sCodiceCliente,
                              const std::string& sTipoListino);

// Columns 41-48 of a kind-03 header for a document date text: "YYYYMMDD", or 8 blanks for the zero date.
// Nothing-like result (empty text) when the text is not a date.
std::string DataRichiestaDocumento(std::string_view sDataDocumento);

// Before a transfer: with `bCrea` and bCompMvn, builds the request file at `fileRichiesta` from the request
// flags (documents, price list, PHT agreements, or the order/availability from ordseq.txt; a PHT order is
// written by its own window); with `bCrea`, sets the request flags from the kind in the file's header.
// True when a request file is there to send: it exists and is not empty. False when the order conversion
// failed or nothing can be sent.
bool ControllaInvio(Programma& p, const std::string& fileRichiesta, bool bCrea);

// Sets the request flags (bDisponibilita, bRichDocs, bRichListino, bOrdinePht, bRichTrattatiPht) from a
// request's first line; a line that does not begin with "T" or carries another kind changes nothing.
void ImpostaFlagRichiesta(Programma& p, std::string_view primaRiga);

// The confirm of an availability answer in IFCK mode: the rows of the list with a requested quantity
// ("Rich.") above 0 become the order of the second session. With bCompMvn they go to ordseq.txt (header
// "0000000000000", lines of code and quantity), which that session converts; without it the kind-02 request
// sFileIFCKIn is written at once, as nothing would convert ordseq.txt. Rows whose quantity is 0 or not a
// number are left out. Refused (False, nothing written): a list not read whole, a code longer than 9
// characters or a quantity of more than 4 digits (the order would ask for something else), and a list with
// nothing to order.
bool CreaOrdine(Programma& p, const ModelloLista& lista);

}  // namespace morven
