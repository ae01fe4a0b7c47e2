// The news folder (news/ under the application folder): emptied at the start of a batch run, the received
// archive notizie.gz (a GZIP member holding a TAR) unpacked into it by the decompression control, and the
// files other parts of the program read moved out of it: the documents answer (IFCK03) to the application
// folder, the PHT agreements (IFCK06) to pht.dat in the slot's PHT folder. A batch run instead gives the
// price-list files the names the outside program expects.
#pragma once

#include <string>

namespace morven {

struct Programma;
class DecompressionControl;

// Expands base.gz into the TAR `base`, then extracts the members matching `pattern` into `destination`
// without their folder names (members in folders included), read-only files overwritten, the control
// silent; deletes base.gz once its TAR is out. -1; 0 when it failed (logged as "EspandiFileTarGz
// :Impossibile Espandere ..." or "...Impossibile Estrarre ..." with the reason and the base path; base.gz
// then stays, and `motivo`, when given, gets that text).
//
// Bounded: the TAR, and the files extracted from it together, hold at most p.percorsi.nLimiteNotizieEspanse
// bytes. The size the GZIP announces and the members the TAR lists are looked at before anything is
// written (together with the free space of the folder); while the control writes, no file can grow past the
// bound. Beyond it the unpacking fails with nothing of it left: no TAR, no member. A GZIP that stores
// another name for its TAR is taken all the same. Members whose names climb out of the folder, symbolic
// links, devices and the like stay out, and so does a hard link to a file the archive does not hold
// first; each such member, and a member that replaces an earlier one of the same name, gets a session-log
// line with its name and why.
int EspandiFileTarGz(Programma& p, DecompressionControl& control, const std::string& base,
                     const std::string& destination, const std::string& pattern, std::string* motivo = nullptr);

// Unpacks news/notizie.gz and moves the first IFCK03 and IFCK06 files out of the folder. -1 (the moves run
// whether or not the unpacking worked); `motivo`, when given, is empty when the archive was unpacked, else
// says why not.
int ScompattaNotizie(Programma& p, std::string* motivo = nullptr);
// The batch-run variant: unpacks, then renames the price-list and conditions files. -1; `motivo` as above.
int BLKScompattaNotizie(Programma& p, std::string* motivo = nullptr);
// Deletes every file of the news folder (sub-folders stay). -1, also when there was nothing to delete.
int CancellaNews(Programma& p);

}  // namespace morven
