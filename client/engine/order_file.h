// The order work file ordseq.txt and its readers, and the converters for an outside ordering program.
//
// ordseq.txt: a header line and one line per product, each exactly 13 characters (code 9, quantity 4);
// columns 10-13 of the header are the order's reference.
//   LetturaOrdineMorven      builds the standard protocol's records in StatoSessione::aRecordOrdine
//                            (header, data records of up to 8 order lines, MES1-MES4, end record), each
//                            in its checked form STX r K1 K2 ETX;
//   LetturaOrdineComproject  builds the Comproject protocol's records (order or availability request);
//   ConvertiOrdineCSF        writes ordseq.txt from the outside program's tra.dat;
//   ConvertiMancantiCSF      writes its answer ric.000 from the answer file ordseq.man.
// Every one returns True on success and False on any failure, with "Name :description" in the function
// log. The readers refuse an order that needs more records than the array holds (index 500), and over TCP
// write the message lines with the same plain letters as the line (see line_io.h), so their checks match
// what goes on the wire. ConvertiOrdineCSF refuses a second "C" entry, a product before the "C" entry, a
// cut-off entry and a quantity that is not a number of at most 4 digits; when it fails no ordseq.txt is
// left behind.
#pragma once

#include <string>

namespace morven {

struct Programma;

// The 10-character record-family prefix of the standard header and end records; empty for an interface
// kind other than 1, 2 and 3.
std::string PrefissoFamiglia(int nTipoInterfaccia, bool bOpzioneTestata3, bool bMotCpj);

// The outcome code of ric.000 for the answer character of an ordseq.man line.
char EsitoCsf(char risposta);

bool LetturaOrdineMorven(Programma& p);
bool LetturaOrdineComproject(Programma& p);
bool ConvertiOrdineCSF(Programma& p);
bool ConvertiMancantiCSF(Programma& p);

}  // namespace morven
