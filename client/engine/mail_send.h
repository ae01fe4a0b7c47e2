// Step 40: the mail request and the pharmacy's mail archive (posta.gz, left in the application folder by an
// outside program). TxPosta sends header and archive as numbered frames of 1024 bytes, each answered "SI" and
// the block number; txPostaTCP (bTcpDir) sends the framed header, then the archive as raw socket data in
// blocks of 8192 bytes closed by "FINETX" and answered "FINEOK". Both leave step 33 (news follow) on success,
// 3 on a time-out, a lost line, a closed socket or an archive that cannot be read or numbered, 200 on abort.
#pragma once

#include <cstdint>
#include <string>

namespace morven {

struct Programma;

bool TxPosta(Programma& p, const std::string& sFile);
bool txPostaTCP(Programma& p);

// The header payload: block counter "0000", the blocks to come (4 digits), "OFFERTA   " or "NO-OFFERTA",
// the client code as stored and the 16-character tag.
std::string IntestazionePosta(long nBlocchi, bool bArchivio, const std::string& sCodiceCliente,
                              const std::string& sEtichetta);
// The tag of the header: framed (`bTcp` false) or TCP stream transfer, with or without an archive.
std::string EtichettaPosta(bool bTcp, bool bArchivio, bool bModoPartner, bool bBDati);

// Blocks announced in the header for an archive of `nByte` bytes: TxPosta the whole part of nByte / 1024
// plus 1, txPostaTCP the whole part of nByte / 8192, at least 1. The highest count the 4-digit fields carry:
// 9998 framed blocks (9999 is the end mark), 9999 stream blocks.
long BlocchiPosta(std::int64_t nByte, bool bTcp);
inline constexpr long kMaxBlocchiPosta = 9998;
inline constexpr long kMaxBlocchiPostaTcp = 9999;

}  // namespace morven

// What the mail and news transfers share.
namespace morven {

// Seconds a line read of a transfer may wait: nTimeOutRicezione (the record limit when it means no limit),
// never beyond the phase or record limit, at least 1. So no read waits past the limits that end the transfer.
int AttesaLetturaPosta(Programma& p);

// The standard decimal text of a whole number: one blank before zero and positive numbers ("SI" & " 5").
std::string TestoNumero(long long n);

// Appends a mark to sTracciaEventi and shows the whole trail in the main window's SitStatus.
void MarcaTracciaEventi(Programma& p, const std::string& marca);

}  // namespace morven
