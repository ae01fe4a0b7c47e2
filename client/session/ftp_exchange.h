// The FTP exchange: the order or availability request goes to the wholesaler's FTP server, the answer is
// fetched by polling and converted into the answer work files.
#pragma once

#include <string>

namespace morven {

struct Programma;
class FtpClient;

// The time-out of the FTP connection, in seconds.
inline constexpr int kTimeOutFtp = 600;

// Builds the request (with bCompMvn, from ordseq.txt; otherwise the management software wrote it), sends
// it with RichiestaIFCK_FTP, converts the answer (with bCompMvn) and sets the session step: 46 when the
// answers are to be shown, else 50 (999 in a batch run, which must end by itself). A request that cannot
// go by FTP (documents, price list, PHT), a request that could not be built or sent, and a session without
// an answer show an error and end the session at step 200, leaving abort.dat for the caller. A refused
// connection ends the program. An answer that came removes abort.dat. False only when no request was sent
// because it cannot go by FTP or could not be built.
bool ChiamaFTP(Programma& p, FtpClient& ftp);

// Connects to `host` on port 21, uploads `fileRichiesta` under its bare name, then polls `nFtpRetry` times
// (at least once), `nFtpDelay` seconds apart, for the answer under the bare name of `fileRisposta`. True
// when the polling ended, whether or not the answer came (it came when `fileRisposta` exists: an older
// file of that name is removed first); False when the request could not be sent or on an error. A refused
// connection shows "Collegamento Impossibile" and ends the program.
bool RichiestaIFCK_FTP(Programma& p, FtpClient& ftp, const std::string& host, const std::string& user,
                       const std::string& password, const std::string& fileRichiesta, const std::string& fileRisposta,
                       int nFtpDelay, int nFtpRetry, int timeOut);

}  // namespace morven
