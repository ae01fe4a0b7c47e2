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
// without their folder names, read-only files overwritten, the control silent; deletes base.gz once its TAR
// is out. -1; 0 when an action failed (logged as "EspandiFileTarGz :Impossibile Espandere :" or
// "...Impossibile Estrarre :" with the base path; base.gz then stays).
int EspandiFileTarGz(Programma& p, DecompressionControl& control, const std::string& base,
                     const std::string& destination, const std::string& pattern);

// Unpacks news/notizie.gz and moves the first IFCK03 and IFCK06 files out of the folder. -1.
int ScompattaNotizie(Programma& p);
// The batch-run variant: unpacks, then renames the price-list and conditions files. -1.
int BLKScompattaNotizie(Programma& p);
// Deletes every file of the news folder (sub-folders stay). -1; 0 (logged) when there was none to delete.
int CancellaNews(Programma& p);

}  // namespace morven
