// Receiving the wholesaler's shortage answer (standard and Comproject protocols) into the answer work files
// ordseq.rst (order lines), ordseq.man (order line and short answer, 42 characters) and ordseq.ma1 (order
// line, short and long answer, 62 characters), and the message into msgrx.txt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morven {

struct Programma;

// No answer or message file grows past this, whatever the wholesaler sends: an order has at most 500 lines,
// so its answer stays far below it, and anything larger is broken or hostile. The displays refuse to read a
// larger file for the same reason.
inline constexpr std::uintmax_t kMaxFileRisposta = 16u * 1024u * 1024u;

// Answer files written as the answer arrives, so no answer is ever held whole in memory. Each file goes to a
// temporary file beside its target ("<name>.tmpXXXXXX"); only Conferma puts the files in place, each renamed
// over its target, so a reader sees the old file or the whole new one, never part of an answer. A file that
// would grow past kMaxFileRisposta fails the answer (ErroreMorven kErrOverflow, naming the file), as does a
// write that fails (kErrAccessoPercorso). Whatever was not confirmed is removed when the object goes, and
// temporary files that a killed program left beside the targets are removed when a file is opened.
class FileRispostaInCorso {
public:
    explicit FileRispostaInCorso(std::string cartella, std::uintmax_t limite = kMaxFileRisposta);
    ~FileRispostaInCorso();
    FileRispostaInCorso(const FileRispostaInCorso&) = delete;
    FileRispostaInCorso& operator=(const FileRispostaInCorso&) = delete;

    // Opens the file `nome` (empty so far) and returns its number for Aggiungi.
    std::size_t Apri(const std::string& nome);
    void Aggiungi(std::size_t file, std::string_view testo);
    // Puts every opened file in place; the temporary files of a failed confirmation are removed.
    void Conferma();
    // Removes the temporary files: nothing of this answer is left.
    void Scarta();

private:
    struct File {
        std::string nome, temporaneo;
        int fd = -1;
        std::string buffer;
        std::uintmax_t scritti = 0;
    };
    void Svuota(File& f);
    std::string cartella_;
    std::uintmax_t limite_;
    std::vector<File> file_;
};

// Step 20: the standard answer (checked, numbered records answered "SI"/"NO"). Leaves 45 (class 1),
// 46 (class 2) or 33 (class 3, news follow) after the end record, 3 on time-out or lost line, 200 on abort
// or when the wholesaler closed the socket.
bool RxLORQ(Programma& p);
// Step 20 with bCPJ: Comproject records answered "ACK"/"NAK"; 46 after the end record "5".
bool RxComproject(Programma& p);

// Length of one answer entry for an interface class: 13 for class 1, 42 for 2 and 3, 62 for 2 and 3 when the
// third header option is set; 0 for a class that carries no shortage entries.
int LunghezzaVoceMancanti(int nTipoInterfaccia, bool bOpzioneTestata3);

// The three answer lines of one standard entry. rst and man are absent for a 62-character entry whose
// column 42 is "@" (it goes only to ordseq.ma1).
struct RigheRisposta {
    std::optional<std::string> rst, man;
    std::string ma1;
};
RigheRisposta RigheVoceMancanti(const std::string& voce, int nTipoInterfaccia, bool bOpzioneTestata3);

// The three answer lines of one 41-character Comproject entry: code (9), quantity (3), outcome (1),
// description (28) become code & "0" & quantity, then description & outcome so the outcome is column 42.
RigheRisposta RigheVoceComproject(const std::string& voce);

// Header lines of ordseq.man and ordseq.ma1.
std::string TestataManLORQ(const std::string& codiceCliente, const std::string& riferimento);
std::string TestataManCPJ(const std::string& codiceCliente);

}  // namespace morven
