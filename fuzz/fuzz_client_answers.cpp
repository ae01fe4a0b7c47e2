// The answer readers and the displays built from them, on outside input: the bytes are the wholesaler's
// IFCK answer (order, availability, documents), the 2003 answer work files and the message files, read from
// memory and from an application folder of their own. Nothing may crash, and every display keeps its shape:
// one text and one colour per column in every row, unique row and node keys, rows sorted as the list says,
// columns at least as wide as their texts, tree parents before their children, at most kMaxOfferteProdotto
// offers per product, field readers that give only what they promise, log lines "Name :description"; the
// offer dialog's texts fill its own fields and grid cells and no others, its quantity box takes only 0-9999,
// and the LCD painter draws only inside the cells its area has room for.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/client_sandbox.h"
#include "client/session/answer_conversion.h"
#include "client/session/answer_documents.h"
#include "client/session/answer_file.h"
#include "client/session/answer_helpers.h"
#include "client/session/answer_lists.h"
#include "client/presenters/lcd_geometry.h"
#include "client/presenters/offer_detail.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kRigheProdotto = 64;  // products looked up per input (each lookup scans the file)


void Write(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Piega(std::string s) {
    for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return s;
}

void CheckList(const morven::ModelloLista& m, std::size_t colonne) {
    Check(m.colonne.size() == colonne);
    std::set<std::string> chiavi;
    for (const auto& r : m.righe) {
        Check(r.testi.size() == colonne && r.colori.size() == colonne);
        if (!r.chiave.empty()) Check(chiavi.insert(r.chiave).second);
        Check(r.immagine.empty() || r.immagine == morven::kImmagineOfferta);
    }
    if (m.ordinata) {
        Check(m.colonnaOrdinamento < colonne);
        for (std::size_t i = 1; i < m.righe.size(); ++i) {
            const std::string a = Piega(m.righe[i - 1].testi[m.colonnaOrdinamento]);
            const std::string b = Piega(m.righe[i].testi[m.colonnaOrdinamento]);
            Check(!std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [](char p, char q) {
                return static_cast<unsigned char>(p) < static_cast<unsigned char>(q);
            }));
        }
    }
    if (m.dimensionata) {
        for (std::size_t c = 0; c < colonne; ++c) {
            Check(m.colonne[c].larghezzaCaratteri >= m.colonne[c].testoMisura.size());
            for (const auto& r : m.righe) Check(m.colonne[c].larghezzaCaratteri >= r.testi[c].size());
        }
    }
}

void CheckTree(const morven::ModelloDocumenti& d) {
    std::set<std::string> chiavi;
    for (std::size_t i = 0; i < d.nodi.size(); ++i) {
        if (d.nodi[i].genitore) Check(*d.nodi[i].genitore < i);
        if (!d.nodi[i].chiave.empty()) Check(chiavi.insert(d.nodi[i].chiave).second);
    }
}

// Another sort, as a click on a column header makes it, keeps the shape too.
void Resort(morven::ModelloLista m, std::size_t colonne, std::size_t colonna) {
    morven::OrdinaLista(m, colonna % colonne);
    morven::DimensionaColonne(m);
    CheckList(m, colonne);
}

// Every field and cell of the dialog, and nothing else; a filled grid column per kept offer, each filled cell
// ending with one blank.
void CheckOfferta(const morven::TestiDettaglioOfferta& t, std::size_t offerte) {
    Check(t.size() == morven::kCampiProdottoOfferta.size() + morven::kCampiFondoOfferta.size() +
                          morven::kRigheGrigliaOfferta.size() * morven::kColonneGrigliaOfferta);
    for (std::string_view c : morven::kCampiFondoOfferta) Check(t.at(std::string(c)).empty());
    for (std::string_view r : morven::kRigheGrigliaOfferta) {
        for (int i = 0; i < morven::kColonneGrigliaOfferta; ++i) {
            const std::string& cella = t.at(std::string(r) + "(" + std::to_string(i) + ")");
            const bool piena = static_cast<std::size_t>(i) < offerte && r != "LblQtaMaxAssegnabile";
            Check(piena ? (!cella.empty() && cella.back() == ' ') : cella.empty());
        }
    }
}

// The glyph lines of a line of text stay near the cells that start left of the area's edge (the diagonals of
// a cell lower than the glyphs' fixed offsets reach a few pixels past it), however long the text.
void CheckLcd(std::string_view testo, int altezza) {
    const morven::CellaLCD k = morven::CellaPerAltezza(altezza);
    constexpr int kLarghezza = 400;
    const auto linee = morven::LineeDidascalia(testo, k, kLarghezza);
    Check(linee.size() <= 40u * static_cast<std::size_t>(kLarghezza / std::max(1, k.larghezza - 2) + 1));
    for (const morven::LineaLCD& l : linee) {
        for (float x : {l.x1, l.x2}) Check(x > -10 && x < kLarghezza + k.larghezza + 5);
        for (float y : {l.y1, l.y2}) Check(y > -10 && y < k.y + k.altezza + 8);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view dati(reinterpret_cast<const char*>(data), size);
    const morven::LogFunzione log = [](std::string_view r) { Check(r.find(" :") != std::string_view::npos); };
    const std::size_t colonna = size % 11;

    // From memory.
    const bool righe = !morven::DividiRighe(dati).empty();
    const auto mancanti = morven::ModelloMancanti2006(dati, log);
    CheckList(mancanti, 8);
    Check(mancanti.riuscito == righe);
    Resort(mancanti, 8, colonna);
    const auto disponibilita = morven::ModelloDisponibilita2006(dati, log);
    CheckList(disponibilita, 9);
    Check(disponibilita.riuscito == righe);
    Resort(disponibilita, 9, colonna);
    const auto mancanti2003 = morven::ModelloMancanti2003(dati, log);
    CheckList(mancanti2003, 5);
    Check(mancanti2003.riuscito == righe);
    Resort(mancanti2003, 5, colonna);
    const auto documenti = morven::ModelloDocumentiDaTesto(dati, log);
    CheckTree(documenti);
    Check(documenti.riuscito == righe);

    // Records and fields, line by line.
    const std::vector<std::string> linee = morven::DividiRighe(dati);

    // The conversion into the older work files: every product line has its file's width, whatever the
    // answer holds, and the 2006 copy is the header and the further lines unchanged.
    if (!linee.empty()) {
        const std::string testata = morven::TestataConversione(linee.front());
        Check(testata.size() >= 22 || testata.size() == linee.front().size() + 9);
        const std::vector<std::string> resto(linee.begin() + 1, linee.end());
        for (const bool disponibilita : {false, true}) {
            const morven::FileConvertiti f = morven::ConvertiRighe(testata, resto, disponibilita);
            const auto larghezze = [](const std::string& file, std::size_t saltate, std::size_t larghezza) {
                std::size_t n = 0;
                for (const auto& l : morven::DividiRighe(file))
                    if (n++ >= saltate) Check(l.size() == larghezza);
            };
            larghezze(f.rst, 0, 13);
            larghezze(f.man, 1, 42);
            larghezze(f.ma1, 1, 62);
            std::string copia = testata + "\r\n";
            for (const auto& l : resto) copia += l + "\r\n";
            Check(f.man2006 == copia);
            Check(f.msgrx.size() <= 232);
        }
    }
    for (const auto& l : linee) Check(l.find_first_of("\r\n") == std::string::npos);
    for (std::size_t i = 0; i < linee.size(); ++i) {
        const std::string_view riga = linee[i];
        Check(morven::TipoRecord(riga) == (riga.empty() ? '\0' : riga[0]));
        if (const auto t = morven::LeggiTestata(riga)) Check(!riga.empty() && riga[0] == 'T');
        morven::LeggiRecordProdotto(riga, morven::LayoutProdotto::Disponibilita);
        morven::LeggiRecordProdotto(riga, morven::LayoutProdotto::Ordine);
        morven::LeggiRecordOfferta(riga);
        morven::LeggiRecordDocumento(riga);
        morven::LeggiRecordOrdineDocumento(riga);
        morven::LeggiRecordRigaDocumento(riga);
        if (const auto q = morven::LeggiQuantita(morven::Colonne(riga, 25, 29))) Check(*q >= 0 && *q <= 99999);
        if (const auto a = morven::LeggiAliquota(morven::Colonne(riga, 111, 112))) Check(*a >= 0 && *a <= 99);
        morven::LeggiImporto(morven::Colonne(riga, 40, 50));
        if (const auto d = morven::LeggiData(morven::Colonne(riga, 52, 59))) {
            Check(d->anno >= 100 && d->anno <= 9999 && d->mese >= 1 && d->mese <= 12 && d->giorno >= 1 &&
                  d->giorno <= 31);
        }
        morven::CalcolaPrezzoSingolo(morven::Colonne(riga, 40, 50),
                                     morven::LeggiQuantita(morven::Colonne(riga, 25, 29)).value_or(0), log);
        morven::CalcolaPrezzoDeivato(morven::Colonne(riga, 100, 110),
                                     morven::LeggiAliquota(morven::Colonne(riga, 111, 112)).value_or(0), log);
        morven::CalcolaSconto(morven::Colonne(riga, 2, 10), morven::Colonne(riga, 11, 20), log);
        const std::string data = morven::VerificaData(morven::Colonne(riga, 52, 59), log);
        Check(data.empty() || data.size() == 10);
        morven::EspandiMotivazione(morven::Colonne(riga, 42, 42), riga);
        if (i >= 1 && i <= kRigheProdotto) {
            const auto p = morven::LeggiProdottoDisponibilita(linee, morven::Colonne(riga, 2, 14), log, "ImpostaForm");
            Check(p.offerte.size() <= morven::kMaxOfferteProdotto);
            CheckOfferta(morven::TestiDettaglio(linee, morven::Colonne(riga, 2, 14), log), p.offerte.size());
        }
        const int q = morven::LeggiQtaRichiesta(riga.substr(0, 8));
        Check(q >= -1 && q <= morven::kQtaMassimaOfferta);
        CheckLcd(riga, static_cast<int>(i % 80));
    }

    // From an application folder: the IFCK answer, the 2003 work files and the message files.
    const fs::path app = fuzzing::Box().Fresh();
    fs::create_directories(app / "news");
    Write(app / "IFCK01_OUT_MORVEN.DAT", dati);
    Write(app / "ordseq.ma1", dati);
    Write(app / "msgrx.txt", dati);
    Write(app / "news" / "eaggdati", dati);
    for (const bool disp : {false, true}) {
        for (const bool ifck : {false, true}) {
            const morven::VistaRisposta v =
                morven::DisplayMancanti({app, "ifck01_out_morven.dat", disp, ifck, "Grossista"}, log);
            CheckList(v.lista, ifck ? (disp ? 9 : 8) : 5);
            Check(v.riuscito == v.lista.riuscito && v.messaggi.has_value() == !disp);
        }
    }
    // A limit below the file's size refuses it whole.
    if (size > 0) {
        const auto cut = morven::DisplayMancanti2006(app / "IFCK01_OUT_MORVEN.DAT", log, size - 1);
        Check(!cut.riuscito && cut.righe.empty());
        const auto r = morven::LeggiFileLimitato(app / "msgrx.txt", size - 1);
        Check(r.esito == morven::EsitoLettura::TroppoGrande && r.dati.empty());
    }
    const auto tree = morven::DisplayDocumenti(app / "IFCK01_OUT_MORVEN.DAT", log);
    CheckTree(tree);
    Check(tree.nodi.size() == documenti.nodi.size());
    const auto messaggi = morven::DisplayMessaggi(app, "Grossista", log);
    // The closing line, then both files: a title line and every line of each, each with its CR LF.
    Check(messaggi.riuscito && messaggi.testo.rfind("Trasmissione Terminata Correttamente \r\n\r\n", 0) == 0);
    std::size_t fini = 0;
    for (std::size_t at = 0; (at = messaggi.testo.find("\r\n", at)) != std::string::npos; at += 2) ++fini;
    Check(fini == 2 + 2 * (1 + linee.size()));
    return 0;
}
