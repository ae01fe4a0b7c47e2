// The PHT products and the PHT order file: the decoding of Code 32 pharmacodes, the search in the
// wholesaler's product file PHT/<profile>/pht.dat, the rows of the order list and the order itself, written
// as an IFCK request of kind 05 (header "T", one "P" record of 102 characters per row, trailer "Z" and the
// row count).
//
// The order is written whole or not at all: every row is checked before anything is written (a quantity of
// 1 to 99999, prescription parts of at most 10 and 5 characters, a product code), an older file of that name
// goes only when the new one is about to be written, and the new one is replaced atomically, so a failure
// leaves no request file behind and no call sends half an order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morven {

struct Programma;
struct ImpostazioniGrossista;
struct ListModel;
class View;

// Texts are Windows-1252 bytes, as every text the views show.
// Code 32: the ten digits and the 22 consonants, a character's value its position (0 to 31).
inline constexpr std::string_view kAlfabetoCodice32 = "0123456789BCDFGHJKLMNPQRSTUVWXYZ";

// True when the text has exactly 6 characters, each of them (upper-cased) in the Code 32 alphabet.
bool IsBase32(std::string_view testo);
// The 6-character Code 32 text read as a base-32 number, most significant first, written with at least
// 9 digits ("000000001" for "000001"); "0" when its value is 0 or the text is not Code 32.
std::string Conv32To10(std::string_view testo);

// The product file of the slot whose settings file is `sFileImpostazioni`:
// sPathApp/PHT/<its file name with ".par" removed>/pht.dat (folders matched without regard to case).
std::string FilePhtDelloSlot(const std::string& sPathApp, const std::string& sFileImpostazioni);

// One product of the file: code (columns 10-22) and description (columns 32-71), blanks kept.
struct ProdottoPht {
    std::string sCodice, sDescrizione;
};
// The products of a product file's text whose line holds `filtro` (upper-cased, anywhere in the line); an
// empty filter takes every product. The first line is a header; lines end in CR LF, LF or CR; a line
// without a product code (blank or short of column 10) is not a product.
std::vector<ProdottoPht> CercaProdottiPht(std::string_view testo, std::string_view filtro);

// The search filter for the entry fields: the trimmed code, or the trimmed description when the code is
// empty; a Code 32 code becomes its 9-digit decoding.
std::string FiltroRicercaPht(std::string_view codice, std::string_view descrizione);

// The product list `lista` of `form` filled from `filePht` (columns "Codice", "Descrizione", "Sostanza").
// False (logged under "PopolaLvWProdottiPht") when the file cannot be read; the list is then empty.
bool PopolaLvWProdottiPht(Programma& p, View& form, std::string_view lista, const std::string& filePht,
                          std::string_view filtro);

// A row of the PHT order.
struct RigaOrdinePht {
    std::string sCodicePht, sDescrizionePht, sQuantitaPht, sCodiceRicettario, sCodiceRegione;
};
// What is wrong with a row, as the window tells the pharmacist; nothing when it can be ordered.
std::optional<std::string> ErroreRigaPht(const RigaOrdinePht& r);

// The order list: six columns, a row is the code and, as sub-items, description, quantity, the two
// prescription parts and an empty text.
bool ImpostaLvWOrdine(Programma& p, View& form, std::string_view lista);
bool AggiungiRigaLvWOrdine(Programma& p, View& form, std::string_view lista, const RigaOrdinePht& r);
bool ModificaRigaLvWOrdine(Programma& p, View& form, std::string_view lista, int indice, const RigaOrdinePht& r);
bool CancellaRigaLvWOrdine(Programma& p, View& form, std::string_view lista, int indice);
// The rows of the order list.
std::vector<RigaOrdinePht> RigheOrdinePht(const ListModel& lista);

// The header fields and row options of a PHT order, from the slot's settings.
struct TestataOrdinePht {
    std::string sCodiceCliente;
    int nTipoRichiesta = 0;
    bool bOpzioneTestata1 = false, bOpzioneTestata2 = false, bOpzioneTestata3 = false, bDatiConseg = false;
    bool bAllineaCol = false, bSostProd = false, bConsDiffer = false;
};
TestataOrdinePht TestataDaImpostazioni(const ImpostazioniGrossista& imp);

// The text of the kind-05 request. Throws ErroreMorven (invalid argument) for a row ErroreRigaPht refuses,
// an empty order, or a request type that is not one digit.
std::string TestoOrdinePht(const TestataOrdinePht& t, const std::vector<RigaOrdinePht>& righe);

// Writes the order to `fileRichiesta`: the older file of that name removed, the new one written atomically.
// False (logged under "EmettiOrdinePHTLvW") when the order is refused or cannot be written; no file is then
// left under that name.
bool EmettiOrdinePHTLvW(Programma& p, const std::vector<RigaOrdinePht>& righe, const std::string& fileRichiesta,
                        const TestataOrdinePht& t);

}  // namespace morven
