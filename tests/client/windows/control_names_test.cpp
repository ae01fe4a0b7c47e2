// The window controls that the engine and the presenters address by name, checked against the objectNames of
// the Designer forms: a control renamed in a form (or a name mistyped in the code) fails here instead of in a
// call at run time.
//
// The names are found by scanning the sources under client/ (all but the windows and main()). A string
// literal that looks like a control id ("Name" or "Name(i)") is taken for one where it stands:
//   - as the first argument of a View call (form.SetText("status", ...)), through a helper that makes an id
//     (Ctl("IPorta") is "IPorta(0)", ControlId("Frame", 0), the container of EnableContainerControls), or as
//     an argument that a function hands on, maybe through other functions, as the control of a View call
//     (Campo(form, "TxtNumeroOrdine"));
//   - in any other place (a column of a table, a list, an argument, a comparison, a subscript) where most
//     names are controls of the file's windows: every name there must then be one. So a table of check boxes
//     with one box renamed fails, and a column of captions or of procedure names is left alone.
// Names built at run time ("MNU_CON_GROSS" + n, ControlId("PictureMenu", k), the offer grid's cells) are
// expanded over the range their code builds them over, with its end read from the constant in the sources;
// a name built at run time over no known range fails until its range is written down below.
#include "client/windows/qt_view.h"

#include "platform/core/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace morven {
namespace {

namespace fs = std::filesystem;

// A source file: its path under the source tree and its text.
struct Sorgente {
    std::string percorso;
    std::string testo;
};

// The objectNames of each window, by the stem of its form ("frmmorven").
using Finestre = std::map<std::string, std::set<std::string>>;

// A name the code builds at run time and the range it builds it over. `cosa` is a literal prefix followed by
// a number ("MNU_CON_GROSS" + n), the base of a control array indexed at run time (ControlId("PictureMenu",
// k)), or a place in the sources whose every name is such a base ("list kRigheGrigliaOfferta"). The range
// runs from `primo` to the value of the constant `costante` of the sources: included, or (a count) not.
struct Intervallo {
    std::string cosa;
    bool elementi;  // "cosa(i)", the elements of a control array; else "cosa" followed by the number
    int primo;
    std::string costante;
    bool inclusa;
};

// The windows a part of the sources addresses: a name there must be on one of them, or (`tutte`) on each.
struct Destinazione {
    std::vector<std::string> finestre;
    bool tutte = false;
};

struct Regole {
    // By the file's stem (the folder may change), or by "stem:function" for one function of the file.
    std::map<std::string, Destinazione> finestreDelFile;
    // The windows of the files not listed.
    std::vector<std::string> finestrePredefinite;
    // Files whose every control is one element of an array, by the file's stem: a bare name that such a file
    // holds in a table or hands to a helper stands for that element ("IPorta" is "IPorta(0)"). A View call
    // there still has to name the element itself.
    std::map<std::string, int> elementoDelFile;
    std::vector<Intervallo> intervalli;
    // Names known not to be on their window today: file stem and control id, with the reason.
    std::map<std::pair<std::string, std::string>, std::string> eccezioni;
};

struct Problema {
    std::string file;
    int riga = 0;
    std::string nome;
    std::string perche;
};

struct Esito {
    std::vector<Problema> problemi;
    std::map<std::string, int> nomiPerFinestra;  // distinct names found on each window
};

// ---- The scan ----

constexpr std::array<std::string_view, 18> kMetodiView = {
    "SetText",  "Text",        "SetVisible",      "Visible", "SetEnabled",   "Enabled",
    "SetValue", "Value",       "SetMax",          "Max",     "SetForeColor", "SetBackColor",
    "List",     "ListChanged", "AutoSizeColumns", "Tree",    "TreeChanged",  "Navigate"};

// Helpers that make a control id from a name: the argument with the name, the argument with the index (or
// -1), and the index the helper adds itself (or -1).
struct CostruttoreId {
    std::string_view funzione;
    int nome;
    int indice;
    int fisso;
};
constexpr CostruttoreId kCostruttoriId[] = {
    {"ControlId", 0, 1, -1},
    {"Ctl", 0, -1, 0},                      // the settings window: every control is element 0 of an array
    {"EnableContainerControls", 2, 3, -1},  // the controls inside the container of that name and index
};

constexpr std::string_view kParoleChiave[] = {
    "if",      "for",       "while",         "switch",   "catch",    "return", "sizeof", "decltype",
    "alignof", "constexpr", "static_assert", "noexcept", "requires", "else",   "do",     "try"};

bool ParolaChiave(std::string_view s) {
    return std::find(std::begin(kParoleChiave), std::end(kParoleChiave), s) != std::end(kParoleChiave);
}
bool MetodoView(std::string_view s) {
    return std::find(kMetodiView.begin(), kMetodiView.end(), s) != kMetodiView.end();
}
const CostruttoreId* Costruttore(std::string_view s) {
    for (const CostruttoreId& c : kCostruttoriId)
        if (c.funzione == s) return &c;
    return nullptr;
}

// A literal that can be a control id: "Name" or "Name(3)".
bool FormaDiNome(const std::string& s) {
    static const std::regex nome("[A-Za-z][A-Za-z0-9_]*(\\([0-9]+\\))?");
    return std::regex_match(s, nome);
}

struct Letterale {
    std::string testo;
    std::string file;
    int riga = 0;
    std::string posto;             // where it stands: "call SetText#0", "list kCaselle/#0", "compare pulsante"
    std::string funzione;          // the function it is in
    std::string id;                // the control id it stands for
    bool definito = false;         // a name by where it stands, whatever the other names there are
    bool prefisso = false;         // followed by '+': the start of a name built at run time
    bool indiceCalcolato = false;  // given to an id helper with an index computed at run time
};

struct Scansione {
    std::vector<Letterale> letterali;
    // "F#i": argument i of F is the control of a View call inside F, with what F adds to the name ("(0)").
    std::map<std::string, std::string> inoltri;
    // In `file`, argument "F#i" receives a parameter of the calling function, "G#j".
    struct Passaggio {
        std::string file, a, da;
    };
    std::vector<Passaggio> passaggi;
    std::map<std::string, int> costanti;  // constexpr int kName = n
};

class Scanner {
public:
    Scanner(const Sorgente& s, Scansione& out) : s_(s.testo), file_(s.percorso), out_(out) {}

    void Esegui() {
        std::size_t i = 0;
        const std::size_t n = s_.size();
        bool inizioRiga = true;
        while (i < n) {
            const char c = s_[i];
            if (c == '\n') {
                ++riga_;
                ++i;
                inizioRiga = true;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
                continue;
            }
            if (c == '#' && inizioRiga) {  // preprocessor line
                while (i < n && s_[i] != '\n') ++i;
                continue;
            }
            inizioRiga = false;
            if (s_.compare(i, 2, "//") == 0) {
                while (i < n && s_[i] != '\n') ++i;
                continue;
            }
            if (s_.compare(i, 2, "/*") == 0) {
                const std::size_t fine = std::min(s_.find("*/", i + 2), n);
                riga_ += static_cast<int>(
                    std::count(s_.begin() + static_cast<long>(i), s_.begin() + static_cast<long>(fine), '\n'));
                i = fine + 2;
                continue;
            }
            if (c == '"') {
                std::string testo;
                ++i;
                while (i < n && s_[i] != '"') {
                    if (s_[i] == '\\' && i + 1 < n) testo += s_[i++];
                    testo += s_[i++];
                }
                ++i;
                std::size_t k = i;
                while (k < n && std::isspace(static_cast<unsigned char>(s_[k]))) ++k;
                Stringa(testo, k < n && s_[k] == '+' && (k + 1 >= n || s_[k + 1] != '+'));
                continue;
            }
            if (c == '\'') {
                ++i;
                while (i < n && s_[i] != '\'') i += s_[i] == '\\' ? 2 : 1;
                ++i;
                Token(Tipo::Numero, "'");
                continue;
            }
            if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                std::size_t j = i;
                while (j < n && (std::isalnum(static_cast<unsigned char>(s_[j])) || s_[j] == '_')) ++j;
                if (j - i == 1 && c == 'R' && j < n && s_[j] == '"') {  // raw string: skipped whole
                    const std::size_t aperta = s_.find('(', j);
                    const std::string chiusa = ")" + s_.substr(j + 1, aperta - j - 1) + "\"";
                    const std::size_t fine = std::min(s_.find(chiusa, aperta), n);
                    riga_ += static_cast<int>(
                        std::count(s_.begin() + static_cast<long>(i), s_.begin() + static_cast<long>(fine), '\n'));
                    i = fine + chiusa.size();
                    Token(Tipo::Numero, "R");
                    continue;
                }
                Token(Tipo::Id, s_.substr(i, j - i));
                i = j;
                continue;
            }
            if (std::isdigit(static_cast<unsigned char>(c))) {
                std::size_t j = i;
                while (j < n && (std::isalnum(static_cast<unsigned char>(s_[j])) || s_[j] == '.' || s_[j] == '\'')) ++j;
                Token(Tipo::Numero, s_.substr(i, j - i));
                i = j;
                continue;
            }
            if (const std::size_t lungo = OperatoreDoppio(i)) {
                Token(Tipo::Op, s_.substr(i, lungo));
                i += lungo;
                continue;
            }
            if (c == '(' || c == '[' || c == '{')
                Apri(c);
            else if (c == ')' || c == ']' || c == '}')
                Chiudi(c);
            else if (c == ',')
                Virgola();
            else
                Token(Tipo::Op, std::string(1, c));
            ++i;
        }
        while (!pila_.empty()) Chiudi('}');
    }

private:
    enum class Tipo { Id, Numero, Stringa, Op };
    struct Tok {
        Tipo tipo;
        std::string testo;
    };
    struct Cornice {
        enum Genere { Chiamata, Gruppo, Indice, Lista, Blocco } genere = Blocco;
        std::string nome;
        bool membro = false;  // a call through '.' or '->'
        bool lambda = false;  // the parameters of a named lambda
        int elemento = 0;
        // The current element: its token count and first token.
        int token = 0;
        Tipo primoTipo = Tipo::Op;
        std::string primo, ultimoId;
        // Each finished element: its identifier or number when it is nothing else, its last identifier.
        std::vector<std::string> ids, numeri, ultimiId;
        bool tuttiLetterali = true;
        std::vector<std::pair<std::size_t, int>> letterali;  // literal, element
        std::string funzione;  // a function body: the function (a lambda with its file) and its parameters
        std::string nomeFunzione;
        std::vector<std::string> parametri;
    };

    std::size_t OperatoreDoppio(std::size_t i) const {
        for (std::string_view op : {"::", "->", "==", "!="})
            if (s_.compare(i, op.size(), op) == 0) return op.size();
        return 0;
    }

    const Tok* Indietro(std::size_t k) const { return k < toks_.size() ? &toks_[toks_.size() - 1 - k] : nullptr; }
    bool E(std::size_t k, std::string_view t) const { return Indietro(k) && Indietro(k)->testo == t; }
    bool EId(std::size_t k) const { return Indietro(k) && Indietro(k)->tipo == Tipo::Id; }

    void Conta(Tipo tipo, const std::string& testo) {
        if (pila_.empty()) return;
        Cornice& f = pila_.back();
        if (f.token++ == 0) {
            f.primoTipo = tipo;
            f.primo = testo;
        }
        if (tipo == Tipo::Id) f.ultimoId = testo;
    }

    void Token(Tipo tipo, std::string testo) {
        Conta(tipo, testo);
        toks_.push_back({tipo, std::move(testo)});
    }

    void FineElemento(Cornice& f) {
        const bool solo = f.token == 1;
        f.ids.push_back(solo && f.primoTipo == Tipo::Id ? f.primo : std::string());
        f.numeri.push_back(solo && f.primoTipo == Tipo::Numero ? f.primo : std::string());
        f.ultimiId.push_back(f.ultimoId);
        if (f.token > 0 && !(solo && f.primoTipo == Tipo::Stringa)) f.tuttiLetterali = false;
        f.token = 0;
        f.primo.clear();
        f.ultimoId.clear();
    }

    void Virgola() {
        if (!pila_.empty()) {
            FineElemento(pila_.back());
            ++pila_.back().elemento;
        }
        toks_.push_back({Tipo::Op, ","});
    }

    std::string Qui() const { return file_ + ":" + std::to_string(riga_); }

    // The function whose body encloses the current point, and the position of `id` among its parameters.
    std::string Parametro(const std::string& id) const {
        for (auto it = pila_.rbegin(); it != pila_.rend(); ++it) {
            if (it->genere != Cornice::Blocco || it->funzione.empty()) continue;
            for (std::size_t j = 0; j < it->parametri.size(); ++j)
                if (it->parametri[j] == id) return it->funzione + "#" + std::to_string(j);
            return {};
        }
        return {};
    }

    void Apri(char c) {
        Cornice f;
        if (c == '(') {
            if (EId(0) && !ParolaChiave(Indietro(0)->testo)) {
                f.genere = Cornice::Chiamata;
                f.nome = Indietro(0)->testo;
                f.membro = E(1, ".") || E(1, "->");
            } else if (EId(0)) {
                f.genere = Cornice::Chiamata;  // if, for, while...: their parentheses hold no names by place
                f.nome = Indietro(0)->testo;
            } else {
                f.genere = Cornice::Gruppo;
                f.nome = "group@" + Qui();
                if (E(0, "]")) {  // name = [captures](parameters)
                    std::size_t k = 0;
                    int livello = 0;
                    for (; Indietro(k); ++k) {
                        if (E(k, "]")) ++livello;
                        if (E(k, "[") && --livello == 0) break;
                    }
                    if (E(k + 1, "=") && EId(k + 2)) {
                        f.nome = Indietro(k + 2)->testo;
                        f.lambda = true;
                    }
                }
            }
        } else if (c == '[') {
            f.genere = Cornice::Indice;
            f.nome = EId(0) ? Indietro(0)->testo : std::string("?");
        } else {
            ApriGraffa(f);
        }
        Conta(Tipo::Op, std::string(1, c));
        toks_.push_back({Tipo::Op, std::string(1, c)});
        pila_.push_back(std::move(f));
    }

    // Whether the tokens since the last closed parentheses only finish a declarator: ") const {",
    // ") -> std::string& {".
    bool DopoDichiarazione() const {
        if (!chiusa_ || chiusa_->genere == Cornice::Lista || chiusa_->genere == Cornice::Blocco) return false;
        if (chiusa_->genere == Cornice::Chiamata && ParolaChiave(chiusa_->nome)) return false;
        if (chiusa_->genere == Cornice::Gruppo && !chiusa_->lambda) return false;
        if (chiusa_->genere == Cornice::Indice) return false;
        for (std::size_t k = fineChiusa_; k < toks_.size(); ++k) {
            const Tok& t = toks_[k];
            if (t.tipo == Tipo::Id && t.testo != "else" && t.testo != "return") continue;
            if (t.testo == "->" || t.testo == "::" || t.testo == "&" || t.testo == "*" || t.testo == "<" ||
                t.testo == ">")
                continue;
            return false;
        }
        return toks_.size() - fineChiusa_ <= 8;
    }

    void ApriGraffa(Cornice& f) {
        const Cornice* su = pila_.empty() ? nullptr : &pila_.back();
        if (DopoDichiarazione()) {
            f.genere = Cornice::Blocco;
            // A named lambda is known in its own file only.
            f.funzione = chiusa_->lambda ? file_ + ":" + chiusa_->nome : chiusa_->nome;
            f.nomeFunzione = chiusa_->nome;
            f.parametri = chiusa_->ultimiId;
            return;
        }
        f.genere = Cornice::Lista;
        if (E(0, "=")) {
            std::size_t k = 1;
            if (E(k, "]"))
                while (Indietro(k) && !E(k, "[")) ++k;
            while (Indietro(k) && !EId(k)) ++k;
            f.nome = Indietro(k) ? Indietro(k)->testo : std::string("?");
        } else if (EId(0) && !ParolaChiave(Indietro(0)->testo)) {
            // A class, a namespace or an enumeration opens a block; any other name before a brace is the
            // variable or the type that the list initialises.
            for (std::string_view testa :
                 {"struct", "class", "namespace", "enum", "union", "public", "private", "protected", ":", "->"})
                if (E(1, testa)) f.genere = Cornice::Blocco;
            for (std::string_view parola :
                 {"namespace", "struct", "class", "union", "const", "override", "final", "mutable"})
                if (E(0, parola)) f.genere = Cornice::Blocco;
            f.nome = Indietro(0)->testo;
        } else if (su && (E(0, "(") || E(0, ",") || E(0, "{")) && su->genere != Cornice::Blocco) {
            f.nome =
                su->genere == Cornice::Lista ? su->nome + "/" : "call " + su->nome + "#" + std::to_string(su->elemento);
        } else if (su && E(0, ":") && su->genere == Cornice::Chiamata) {
            f.nome = "for@" + Qui();  // for (auto x : {"A", "B"})
        } else {
            f.genere = Cornice::Blocco;
        }
    }

    void Chiudi(char c) {
        toks_.push_back({Tipo::Op, std::string(1, c)});
        if (pila_.empty()) return;
        Cornice& f = pila_.back();
        FineElemento(f);
        if (f.genere == Cornice::Chiamata) FineChiamata(f);
        if (f.genere == Cornice::Lista && f.tuttiLetterali) {
            for (auto [l, e] : f.letterali) {
                std::string& posto = out_.letterali[l].posto;
                posto = posto.substr(0, posto.rfind('#')) + "#*";
            }
        }
        chiusa_ = std::move(f);
        pila_.pop_back();
        fineChiusa_ = toks_.size();
    }

    void FineChiamata(Cornice& f) {
        if (f.membro && MetodoView(f.nome) && !f.ids.empty() && !f.ids[0].empty()) Inoltra(f.ids[0], "");
        const CostruttoreId* c = Costruttore(f.nome);
        if (c) {
            std::string aggiunta;
            bool calcolato = false;
            if (c->fisso >= 0)
                aggiunta = "(" + std::to_string(c->fisso) + ")";
            else if (c->indice < static_cast<int>(f.numeri.size()) &&
                     !f.numeri[static_cast<std::size_t>(c->indice)].empty())
                aggiunta = "(" + f.numeri[static_cast<std::size_t>(c->indice)] + ")";
            else
                calcolato = true;
            for (auto [l, e] : f.letterali) {
                if (e != c->nome) continue;
                out_.letterali[l].id = out_.letterali[l].testo + aggiunta;
                out_.letterali[l].indiceCalcolato = calcolato;
            }
            const auto nome = static_cast<std::size_t>(c->nome);
            if (!calcolato && nome < f.ids.size() && !f.ids[nome].empty()) Inoltra(f.ids[nome], aggiunta);
        }
        for (std::size_t i = 0; i < f.ids.size(); ++i) {
            if (f.ids[i].empty()) continue;
            if (const std::string da = Parametro(f.ids[i]); !da.empty())
                out_.passaggi.push_back({file_, f.nome + "#" + std::to_string(i), da});
        }
    }

    void Inoltra(const std::string& id, const std::string& aggiunta) {
        if (const std::string p = Parametro(id); !p.empty()) out_.inoltri.emplace(p, aggiunta);
    }

    void Stringa(const std::string& testo, bool seguitaDaPiu) {
        Letterale l;
        l.testo = testo;
        l.id = testo;
        l.file = file_;
        l.riga = riga_;
        l.prefisso = seguitaDaPiu;
        for (auto it = pila_.rbegin(); it != pila_.rend() && l.funzione.empty(); ++it) l.funzione = it->nomeFunzione;
        Cornice* f = pila_.empty() ? nullptr : &pila_.back();
        if (E(0, "+")) {
            l.posto = "concat";
        } else if (E(0, "==") || E(0, "!=")) {
            l.posto = "compare " + (EId(1) ? Indietro(1)->testo : std::string("?"));
        } else if (!f || f->genere == Cornice::Blocco) {
            l.posto = "block";
        } else if (f->genere == Cornice::Chiamata) {
            l.posto = "call " + f->nome + "#" + std::to_string(f->elemento);
            const CostruttoreId* c = Costruttore(f->nome);
            l.definito = (f->membro && MetodoView(f->nome) && f->elemento == 0) || (c && c->nome == f->elemento);
        } else if (f->genere == Cornice::Indice) {
            l.posto = "subscript " + f->nome;
        } else if (f->genere == Cornice::Lista) {
            l.posto = "list " + f->nome + "#" + std::to_string(f->elemento);
        } else {
            l.posto = f->nome;
        }
        if (f) f->letterali.emplace_back(out_.letterali.size(), f->elemento);
        out_.letterali.push_back(std::move(l));
        Token(Tipo::Stringa, testo);
    }

    const std::string& s_;
    std::string file_;
    Scansione& out_;
    int riga_ = 1;
    std::vector<Tok> toks_;
    std::vector<Cornice> pila_;
    std::optional<Cornice> chiusa_;
    std::size_t fineChiusa_ = 0;
};

Scansione Scansiona(const std::vector<Sorgente>& sorgenti) {
    Scansione s;
    static const std::regex costante("constexpr\\s+(?:int|std::size_t|unsigned)\\s+(k\\w+)\\s*=\\s*([0-9]+)\\s*;");
    for (const Sorgente& f : sorgenti) {
        Scanner(f, s).Esegui();
        for (std::sregex_iterator it(f.testo.begin(), f.testo.end(), costante), fine; it != fine; ++it)
            s.costanti.emplace((*it)[1].str(), std::stoi((*it)[2].str()));
    }
    // The argument of a call in `file`: a lambda of that file first, then a function.
    auto inoltro = [&s](const std::string& file, const std::string& argomento) {
        auto it = s.inoltri.find(file + ":" + argomento);
        return it != s.inoltri.end() ? it : s.inoltri.find(argomento);
    };
    // A function that hands its parameter on to a function that names a control with it names one too.
    for (bool nuovo = true; nuovo;) {
        nuovo = false;
        for (const Scansione::Passaggio& p : s.passaggi) {
            const auto it = inoltro(p.file, p.a);
            if (it != s.inoltri.end() && s.inoltri.emplace(p.da, it->second).second) nuovo = true;
        }
    }
    for (Letterale& l : s.letterali) {
        if (l.definito || l.posto.rfind("call ", 0) != 0) continue;
        if (const auto it = inoltro(l.file, l.posto.substr(5)); it != s.inoltri.end()) {
            l.definito = true;
            l.id = l.testo + it->second;
        }
    }
    return s;
}

// ---- The check ----

std::string Elenco(const std::vector<std::string>& v) {
    std::string r;
    for (const std::string& s : v) r += (r.empty() ? "" : ", ") + s;
    return r;
}

Esito Verifica(const std::vector<Sorgente>& sorgenti, const Finestre& finestre, const Regole& regole) {
    Esito esito;
    Scansione scan = Scansiona(sorgenti);
    std::set<std::pair<std::string, std::string>> eccezioniUsate;
    std::set<std::string> nomiVisti;

    auto stem = [](const std::string& file) { return fs::path(file).stem().string(); };
    const Destinazione predefinita{regole.finestrePredefinite, false};
    auto destinazione = [&](const Letterale& l) -> const Destinazione& {
        for (const std::string& chiave : {stem(l.file) + ":" + l.funzione, stem(l.file)})
            if (const auto it = regole.finestreDelFile.find(chiave); it != regole.finestreDelFile.end())
                return it->second;
        return predefinita;
    };
    auto esiste = [&](const std::string& id, const Letterale& l) {
        const Destinazione& d = destinazione(l);
        const std::string oggetto = NomeOggetto(id).toStdString();
        std::size_t trovate = 0;
        for (const std::string& f : d.finestre) {
            const auto it = finestre.find(f);
            if (it == finestre.end() || !it->second.count(oggetto)) continue;
            ++trovate;
            if (nomiVisti.insert(f + "/" + oggetto).second) ++esito.nomiPerFinestra[f];
        }
        return d.tutte ? trovate == d.finestre.size() : trovate > 0;
    };
    auto segnala = [&](const Letterale& l, const std::string& id, const std::string& perche) {
        const auto chiave = std::make_pair(stem(l.file), id);
        if (regole.eccezioni.count(chiave)) {
            eccezioniUsate.insert(chiave);
            return;
        }
        esito.problemi.push_back({l.file, l.riga, id, perche});
    };
    auto nonSu = [&](const Letterale& l) {
        const Destinazione& d = destinazione(l);
        return (d.tutte ? "not on each of " : "not on ") + Elenco(d.finestre) + " (" + l.posto + ")";
    };

    // Names built at run time, over their ranges.
    std::vector<bool> coperto(scan.letterali.size(), false);
    for (const Intervallo& r : regole.intervalli) {
        const auto c = scan.costanti.find(r.costante);
        bool usato = false;
        for (std::size_t i = 0; i < scan.letterali.size(); ++i) {
            const Letterale& l = scan.letterali[i];
            const bool prende = r.elementi
                                    ? (l.indiceCalcolato && l.testo == r.cosa) || l.posto.rfind(r.cosa + "#", 0) == 0
                                    : l.prefisso && l.testo == r.cosa;
            if (!prende) continue;
            usato = coperto[i] = true;
            if (c == scan.costanti.end()) continue;
            const int ultimo = r.inclusa ? c->second : c->second - 1;
            for (int n = r.primo; n <= ultimo; ++n) {
                const std::string id =
                    r.elementi ? l.testo + "(" + std::to_string(n) + ")" : l.testo + std::to_string(n);
                if (!esiste(id, l))
                    segnala(l, id,
                            "built at run time over " + std::to_string(r.primo) + ".." + r.costante + ", " + nonSu(l));
            }
        }
        if (!usato)
            esito.problemi.push_back(
                {"", 0, r.cosa, "a range is written down for it but the sources build no such name"});
        if (c == scan.costanti.end())
            esito.problemi.push_back(
                {"", 0, r.costante, "the constant of the range of " + r.cosa + " is not in the sources"});
    }

    // A prefix that some window's controls start with, followed by a number.
    auto prefissoDiControlli = [&](const std::string& p) {
        for (const auto& [_, oggetti] : finestre)
            for (const std::string& o : oggetti)
                if (o.size() > p.size() && o.compare(0, p.size(), p) == 0 &&
                    (std::isdigit(static_cast<unsigned char>(o[p.size()])) || o[p.size()] == '_'))
                    return true;
        return false;
    };

    std::map<std::string, std::vector<std::size_t>> posti;
    for (std::size_t i = 0; i < scan.letterali.size(); ++i) {
        const Letterale& l = scan.letterali[i];
        if (coperto[i]) continue;
        if (l.indiceCalcolato) {
            segnala(l, l.testo, "indexed at run time over no known range (" + l.posto + ")");
        } else if (l.prefisso) {
            if (FormaDiNome(l.testo) && prefissoDiControlli(l.testo))
                segnala(l, l.testo, "names are built from it at run time over no known range (" + l.posto + ")");
        } else if (l.definito) {
            if (!esiste(l.id, l)) segnala(l, l.id, nonSu(l));
        } else if (FormaDiNome(l.testo) && l.posto != "block" && l.posto != "concat") {
            posti[l.posto].push_back(i);
        }
    }
    for (const auto& [posto, indici] : posti) {
        for (std::size_t i : indici) {
            Letterale& l = scan.letterali[i];
            const auto e = regole.elementoDelFile.find(stem(l.file));
            if (e != regole.elementoDelFile.end() && l.id.find('(') == std::string::npos)
                l.id += "(" + std::to_string(e->second) + ")";
        }
    }

    // The other places: where most names are controls, every name must be one.
    for (const auto& [posto, indici] : posti) {
        std::set<std::string> nomi, controlli, basi;
        std::vector<std::size_t> mancanti;
        for (std::size_t i : indici) {
            const Letterale& l = scan.letterali[i];
            nomi.insert(l.id);
            if (esiste(l.id, l)) {
                controlli.insert(l.id);
            } else {
                mancanti.push_back(i);
                if (esiste(l.id + "(0)", l)) basi.insert(l.id);
            }
        }
        auto maggioranza = [&](std::size_t k) { return k >= 2 && 3 * k >= 2 * nomi.size(); };
        if (maggioranza(controlli.size())) {
            for (std::size_t i : mancanti) segnala(scan.letterali[i], scan.letterali[i].id, nonSu(scan.letterali[i]));
        } else if (maggioranza(basi.size())) {
            const Letterale& l = scan.letterali[indici.front()];
            segnala(l, posto, "its names are control arrays indexed at run time over no known range");
        }
    }

    for (const auto& [chiave, perche] : regole.eccezioni)
        if (!eccezioniUsate.count(chiave))
            esito.problemi.push_back(
                {chiave.first, 0, chiave.second, "a known exception that the scan no longer finds"});
    std::set<std::string> parti;
    for (const Sorgente& f : sorgenti) parti.insert(stem(f.percorso));
    for (const Letterale& l : scan.letterali) parti.insert(stem(l.file) + ":" + l.funzione);
    for (const auto& [parte, d] : regole.finestreDelFile) {
        if (!parti.count(parte))
            esito.problemi.push_back(
                {parte, 0, parte, "the map of windows names a part of the sources that is not there"});
        for (const std::string& f : d.finestre)
            if (!finestre.count(f))
                esito.problemi.push_back({parte, 0, f, "the map of windows names a form that is not there"});
    }
    for (const std::string& f : regole.finestrePredefinite)
        if (!finestre.count(f))
            esito.problemi.push_back({"", 0, f, "the default windows name a form that is not there"});
    return esito;
}

// ---- The program's sources and forms ----

std::string Leggi(const fs::path& p) {
    std::string testo;
    EXPECT_TRUE(ReadWholeFile(p.string(), testo)) << p;
    return testo;
}

// Every form's objectNames (widgets and actions, the form itself too), and the names that a window class
// gives in code to the objects it makes (the timers), counted on the forms that class includes.
Finestre LeggiFinestre(const fs::path& cartella) {
    Finestre f;
    static const std::regex oggetto("<(?:widget class=\"[^\"]*\"|action) name=\"([^\"]+)\"");
    static const std::regex inclusa("#include \"ui_(\\w+)\\.h\"");
    static const std::regex inCodice("setObjectName\\((?:QStringLiteral\\()?\"([^\"]+)\"");
    std::vector<fs::path> classi;
    for (const auto& e : fs::directory_iterator(cartella)) {
        if (e.path().extension() == ".cpp") classi.push_back(e.path());
        if (e.path().extension() != ".ui") continue;
        const std::string testo = Leggi(e.path());
        auto& nomi = f[e.path().stem().string()];
        for (std::sregex_iterator it(testo.begin(), testo.end(), oggetto), fine; it != fine; ++it)
            nomi.insert((*it)[1]);
    }
    for (const fs::path& p : classi) {
        const std::string testo = Leggi(p);
        for (std::sregex_iterator u(testo.begin(), testo.end(), inclusa), fine; u != fine; ++u)
            for (std::sregex_iterator it(testo.begin(), testo.end(), inCodice); it != fine; ++it)
                f[(*u)[1]].insert((*it)[1]);
    }
    return f;
}

// The sources of the engine and the presenters: everything under client/ but the windows, main() and the
// test helpers.
std::vector<Sorgente> LeggiSorgenti(const fs::path& radice) {
    std::vector<Sorgente> v;
    for (const auto& e : fs::recursive_directory_iterator(radice / "client")) {
        const fs::path relativo = fs::relative(e.path(), radice);
        const std::string cartella = relativo.begin() == relativo.end() ? "" : std::next(relativo.begin())->string();
        if (cartella == "windows" || cartella == "app") continue;
        if (std::find(relativo.begin(), relativo.end(), fs::path("testing")) != relativo.end()) continue;
        if (e.path().extension() != ".cpp" && e.path().extension() != ".h") continue;
        v.push_back({relativo.string(), Leggi(e.path())});
    }
    std::sort(v.begin(), v.end(), [](const Sorgente& a, const Sorgente& b) { return a.percorso < b.percorso; });
    return v;
}

Regole RegoleDelProgramma() {
    Regole r;
    // The engine and the session address the main window (p.FrmMorven()); the presenters their own.
    r.finestrePredefinite = {"frmmorven"};
    r.finestreDelFile = {
        {"logs", {{"frmmorven", "frmbrowser", "frmdebug"}}},  // the progress on both windows, the debug list
        {"settings_dialog", {{"frmimpostazioni"}}},
        {"pht_order_window", {{"frmordinepht"}}},
        {"pht_order", {{"frmordinepht"}}},
        {"offer_detail", {{"frmdettaglioofferta"}}},
        {"request_dialogs", {{"frmricdocumenti", "frmmessaggio"}}},
        // The keys of both request dialogs press the same two buttons.
        {"request_dialogs:TastiConfermaAnnulla", {{"frmricdocumenti", "frmmessaggio"}, true}},
    };
    r.elementoDelFile = {{"settings_dialog", 0}};
    r.intervalli = {
        {"MNU_CON_GROSS", false, 1, "kNumeroSlot", true},  // the menu's connect entry of every slot
        {"MNU_SET_GROSS", false, 1, "kNumeroSlot", true},  // and its settings entry
        {"PictureMenu", true, 0, "kElementiPictureMenu", false},
        // The offer grid: every row's cell in every column.
        {"list kRigheGrigliaOfferta", true, 0, "kColonneGrigliaOfferta", false},
        {"call cella", true, 0, "kColonneGrigliaOfferta", false},
    };
    return r;
}

// The scan on small sources, each with a name that is not on its window in one of the ways the code names
// controls, against a small window (frmprova, which presenter.cpp addresses) and another one (frmaltra, the
// window of the other files).
TEST(ControlNames, TheScanFindsAMissingNameWhereverTheCodeNamesControls) {
    const Finestre finestre = {
        {"frmprova",
         {"FrmProva", "CmdOk", "TxtNome", "TxtCognome", "Chk_0", "Frame_0", "MNU_VOCE1", "MNU_VOCE2", "Elenco_0",
          "Elenco_1", "Riga_0", "Riga_1", "Comune"}},
        {"frmaltra", {"FrmAltra", "Solo", "MNU_ALTRA1", "Comune"}},
    };
    struct Caso {
        const char* nome;
        const char* presenter;  // client/presenters/presenter.cpp, which addresses frmprova
        const char* motore;     // client/engine/motore.cpp, which addresses frmaltra
        std::vector<Intervallo> intervalli;
        std::map<std::string, Destinazione> parti;  // windows of some functions
        std::vector<std::string> eccezioni;         // known exceptions in presenter.cpp
        std::set<std::string> attesi;               // the names reported
    };
    const Caso casi[] = {
        {"a View call",
         "void F(View& v, View* w) { v.SetText(\"TxtNome\", \"a\"); w->SetVisible(\"TxtNomi\", true); }",
         "",
         {},
         {},
         {},
         {"TxtNomi"}},
        {"an id helper",
         R"~(void F(View& v) {
                v.SetValue(Ctl("Chk"), 1); v.SetValue(Ctl("Chx"), 1);
                v.SetText(ControlId("Elenco", 1), ""); v.SetText(ControlId("Elenco", 2), "");
            })~",
         "",
         {},
         {},
         {},
         {"Chx(0)", "Elenco(2)"}},
        {"the container of EnableContainerControls",
         R"~(void F(Programma& p, View& v) {
                EnableContainerControls(p, v, "Frame", 0, true); EnableContainerControls(p, v, "Frame", 1, true);
            })~",
         "",
         {},
         {},
         {},
         {"Frame(1)"}},
        {"a parameter handed on to a View call, also through another function",
         R"~(void Campo(View& v, std::string_view nome, bool b) { v.SetEnabled(nome, b); }
            void Due(View& v, std::string_view n) { Campo(v, n, true); }
            void G(View& v) { Campo(v, "TxtNome", true); Campo(v, "TxtNomx", false); Due(v, "CmdOx"); })~",
         "",
         {},
         {},
         {},
         {"TxtNomx", "CmdOx"}},
        {"a named lambda that hands its parameter on through an id helper",
         R"~(void G(View& v) {
                auto testo = [&](std::string_view c) { return v.Text(Ctl(c)); };
                testo("Chk"); testo("Chq");
            })~",
         "",
         {},
         {},
         {},
         {"Chq(0)"}},
        {"a column of a table where most names are controls, beside a column of captions",
         R"~(struct Riga { std::string_view controllo; const char* didascalia; int n; };
            constexpr Riga kRighe[] = {{"CmdOk", "Conferma", 1}, {"TxtNome", "Nome", 2},
                                       {"TxtCognome", "Cognome", 3}, {"TxtEta", "Eta", 4}};)~",
         "",
         {},
         {},
         {},
         {"TxtEta"}},
        {"a list, a comparison, a subscript and the list of a loop",
         R"~(constexpr std::string_view kNomi[] = {"CmdOk", "TxtNome", "TxtNomeX"};
            void G(View& v, const std::string& p, std::map<std::string, std::string>& t) {
                if (p == "CmdOk") {} else if (p == "TxtNome") {} else if (p == "CmdOkk") {}
                t["TxtNome"] = ""; t["TxtCognome"] = ""; t["TxtCognomi"] = "";
                for (std::string_view n : {"CmdOk", "TxtNome", "CmdNo"}) v.SetText(n, "");
            })~",
         "",
         {},
         {},
         {},
         {"TxtNomeX", "CmdOkk", "TxtCognomi", "CmdNo"}},
        {"places that hold no control names, comments and texts are left alone",
         R"~(void G(Programma& p) {
                Esegui(p, "CmdOk_Click"); Esegui(p, "Form_Load"); Esegui(p, "TxtNome");
                Scrivi("TxtNome", "ORDINE"); Scrivi("status", "POSTA");
                // v.SetText("Commento", "");
                /* v.SetText("Commento", ""); */
                const char* s = "v.SetText(\"Testo\", x)";
                const char c = '"';
            })~",
         "",
         {},
         {},
         {},
         {}},
        {"names built over a known range",
         R"~(constexpr int kVoci = 3;
            std::string Voce(int n) { return "MNU_VOCE" + std::to_string(n); }
            void G(View& v) { for (int k = 0; k < kElenchi; ++k) v.SetVisible(ControlId("Elenco", k), false); }
            inline constexpr int kElenchi = 2;)~",
         "",
         {{"MNU_VOCE", false, 1, "kVoci", true}, {"Elenco", true, 0, "kElenchi", false}},
         {},
         {},
         {"MNU_VOCE3"}},
        {"a list of control arrays over a known range",
         R"~(constexpr int kColonne = 2;
            constexpr std::array<std::string_view, 3> kGriglia = {"Elenco", "Riga", "Colonna"};)~",
         "",
         {{"list kGriglia", true, 0, "kColonne", false}},
         {},
         {},
         {"Colonna(0)", "Colonna(1)"}},
        {"names built at run time over no known range",
         R"~(std::string Altra(int n) { return "MNU_ALTRA" + std::to_string(n); }
            std::string File(int n) { return "MvnConn" + std::to_string(n); }
            void G(View& v, int k) { v.SetText(ControlId("Elenco", k), ""); }
            constexpr std::string_view kGriglia[] = {"Elenco", "Riga"};)~",
         "",
         {},
         {},
         {},
         {"MNU_ALTRA", "Elenco", "list kGriglia#*"}},
        {"a name on a window its file or function does not address",
         R"~(void F(View& v) { v.SetText("Solo", ""); }
            void Tasti(View& v) { v.SetText("Comune", ""); v.SetText("CmdOk", ""); })~",
         R"~(void F(View& v) { v.SetText("Solo", ""); v.SetText("TxtNome", ""); })~",
         {},
         {{"presenter:Tasti", {{"frmprova", "frmaltra"}, true}}},
         {},
         {"Solo", "CmdOk", "TxtNome"}},
        {"a known exception is not reported while it is there",
         "void F(View& v) { v.SetText(\"Nuovo\", \"\"); }",
         "",
         {},
         {},
         {"Nuovo"},
         {}},
        {"a range or an exception that the sources no longer need is reported",
         "",
         "",
         {{"MNU_NESSUNA", false, 1, "kMancante", true}},
         {},
         {"Sparito"},
         {"MNU_NESSUNA", "kMancante", "Sparito"}},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        Regole r;
        r.finestreDelFile = c.parti;
        r.finestreDelFile["presenter"] = {{"frmprova"}};
        r.finestrePredefinite = {"frmaltra"};
        r.intervalli = c.intervalli;
        for (const std::string& e : c.eccezioni) r.eccezioni[{"presenter", e}] = "known";
        const std::vector<Sorgente> sorgenti = {{"client/presenters/presenter.cpp", c.presenter},
                                                {"client/engine/motore.cpp", c.motore}};
        std::set<std::string> trovati;
        for (const Problema& p : Verifica(sorgenti, finestre, r).problemi) {
            trovati.insert(p.nome);
            if (!c.attesi.count(p.nome)) ADD_FAILURE() << p.file << ":" << p.riga << ": " << p.nome << ": " << p.perche;
        }
        for (const std::string& a : c.attesi) EXPECT_TRUE(trovati.count(a)) << a << " is not reported";
    }
}

TEST(ControlNames, EveryNameTheCodeAddressesIsOnItsWindow) {
    const fs::path radice = MORVEN_SOURCE_DIR;
    const Finestre finestre = LeggiFinestre(radice / "client/windows");
    ASSERT_TRUE(finestre.count("frmmorven"));
    const Regole regole = RegoleDelProgramma();
    const Esito e = Verifica(LeggiSorgenti(radice), finestre, regole);
    for (const Problema& p : e.problemi) ADD_FAILURE() << p.file << ":" << p.riga << ": " << p.nome << ": " << p.perche;
    // Every window the code drives is reached by the scan: names found there, not a scan that found nothing.
    for (const auto& [parte, d] : regole.finestreDelFile)
        for (const std::string& f : d.finestre)
            EXPECT_GT(e.nomiPerFinestra.count(f) ? e.nomiPerFinestra.at(f) : 0, 0) << f;
}

}  // namespace
}  // namespace morven
