// Integrity checks on the line.
//   Frames (mail, news and IFCK blocks): "AEIO" payload P(6) D(6) "OIEA", with
//     P = (sum of c(i) × i) / n and D = (sum of c(i) × (n − i)) / n, c(i) = code of byte i + 33, n the
//     payload length, each written as its last six decimal digits.
//   Standard shortage records: STX data K1(5) K2(5) ETX, with
//     K1 = sum of c(i) × (c(i) / i) and K2 = sum of c(i) × (i / 14), c(i) the code of data byte i; each
//     product must fit 16 bits signed, and each sum is written as its last five digits.
//   CPJ shortage records: checked by their length.
// The sums are added in 64 bits, so no record is too long to sum; receivers compare the sums as the sender
// writes them (the last six digits of P and D, the last five of K1 and K2).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morven {

struct Programma;

struct SommeFrame {
    std::int64_t nChkTxp = 0, nChkTxd = 0;
};
// The two sums of a frame payload; the payload must not be empty (std::invalid_argument).
SommeFrame CalcolaSommeFrame(std::string_view payload);

struct SommeRecord {
    std::int64_t k1 = 0, k2 = 0;
};
// The two sums of a record's data; ErroreMorven 6 (overflow) when a product does not fit 16 bits.
SommeRecord CalcolaSommeRecord(std::string_view dati);

// STX r K1 K2 ETX: the checked form of an order record (the same arithmetic as the shortage records).
std::string FormaControllata(std::string_view r);

// The receivers' cut: from the first "AEIO" through the first "OIEA" after it; the text as it is otherwise.
std::string TagliaAlFrame(std::string_view buffer);

// The whole-number value of a sum or count field: leading blanks skipped, then the leading
// digits (with an optional sign); 0 when there are none.
std::int64_t ValoreCifre(std::string_view campo);

// The frame of a payload; the empty text (and a function-log entry) for an empty payload.
std::string AddCeck_MORVEN(Programma& p, std::string_view sPayload);

// Checks a received frame. When both marks are there the argument becomes the payload, whatever the
// outcome. Failures go to the session log ("RX: ERRORE manca INIZIO", "RX: ERRORE manca FINE", the five
// lines of a sum mismatch) or, for a frame too short to hold its sums, to the function log.
bool Ceck_MORVEN(Programma& p, std::string& sFrame);
// True when the text is one whole frame whose sums hold; nothing is logged.
bool SommeFrameGiuste(std::string_view frame);

// A frame whose check failed may have been cut at an "OIEA" inside its data: the receivers hold it, with
// the line-end bytes read after it, and join it with what the next read brings, every byte in its place.
// The news and the IFCK receivers share this one join.
class GiuntaFrame {
public:
    // True while a frame is held.
    bool InAttesa() const { return !attesa_.empty(); }
    // Holds a frame whose check failed when it has both marks (its data may go on after an "OIEA");
    // `dopo` are the line-end bytes taken off after it. False (nothing held) for anything else.
    bool Trattieni(std::string_view frame, std::string_view dopo);
    // The text to check for a read. `prima` are the bytes taken off before the read's first "AEIO". With a
    // frame held: a read holding "AEIO" is taken as the held frame's continuation only when the two
    // together (at most `massimo` bytes) have the right sums, otherwise the read's own frame is the one;
    // any other read is the continuation. A read that brings nothing while a frame is held ends the hold
    // and sets `scaduto`: the caller refuses the frame. The hold ends with every call.
    std::string Candidato(std::string_view letto, std::string_view prima, std::size_t massimo, bool& scaduto);
    // True after a Candidato whose read was a new frame while a frame was held: the held one was not
    // continued and is dropped (a receiver that refuses every bad frame refuses it now).
    bool Scartato() const { return scartato_; }
    void Scarta() {
        attesa_.clear();
        dopo_.clear();
    }

private:
    std::string attesa_, dopo_;
    bool scartato_ = false;
};

// Checks a standard shortage record. With the interface "ORDINE" a record holding 30 nines is the end
// record: it loses its first character and passes. Otherwise, with STX and ETX present, the argument
// becomes the data part.
bool Ceck_LORQ(Programma& p, std::string& sRecord);

// Checks a CPJ shortage record; the argument loses everything before its first "9", "5" or "1".
bool Ceck_CPJ(Programma& p, std::string& sRecord);

}  // namespace morven
