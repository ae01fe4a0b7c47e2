// The one error mechanism of the engine. A procedure raises ErroreMorven (number and description) or lets a
// standard exception through; the procedure's boundary, EseguiProcedura, catches it, writes
// "Name :description" to the function log and returns the procedure's result as it stands (its fallback).
// Inside scans and loops a procedure may run at stage 1 or 2, where a failing statement is logged the same
// way and skipped (Istruzione), and the scan goes on with the next one.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace morven {

struct Programma;

// Run-time error numbers the engine raises.
enum NumeroErrore : int {
    kErrChiamataNonValida = 5,     // invalid procedure call or argument
    kErrOverflow = 6,
    kErrMemoria = 7,
    kErrIndiceFuoriIntervallo = 9,  // an index beyond the end of its table
    kErrDivisionePerZero = 11,
    kErrTipoNonCorrispondente = 13,  // a text that is not of the kind asked for
    kErrFileNonTrovato = 53,
    kErrIODispositivo = 57,
    kErrInputOltreFine = 62,       // a read beyond the end of a file
    kErrAccessoPercorso = 75,
    kErrPercorsoNonTrovato = 76,
    kErrOggettoNonImpostato = 91,  // a port the program was not given
    kErrLibreria = 50000,          // an action of the compression library failed
};

class ErroreMorven : public std::exception {
public:
    ErroreMorven(int numero, std::string descrizione, std::string origine = {})
        : nNumero(numero), sDescrizione(std::move(descrizione)), sOrigine(std::move(origine)) {}
    const char* what() const noexcept override { return sDescrizione.c_str(); }

    int nNumero;
    std::string sDescrizione;
    std::string sOrigine;
};

// The standard description of an error number ("Impossibile trovare il file" for 53); empty when unknown.
std::string DescrizioneErrore(int numero);

// Raises ErroreMorven; with an empty description the standard one of the number.
[[noreturn]] void SollevaErrore(int numero, std::string descrizione = {}, std::string origine = {});

// Number and description of the exception being handled (call inside a catch block): ErroreMorven as it is,
// any other std::exception as error 5 with its text (7 for an allocation failure).
ErroreMorven ErroreCorrente();

// Writes "nome :description" to the function log (ScriviLogFunzione, no procedure name, default base name).
void RegistraErrore(Programma& p, std::string_view nome, const ErroreMorven& e);

// The stage of a procedure's error handling.
enum Stadio : int {
    kStadioTermina = 0,  // a failure ends the procedure, which returns its result as it stands
    kStadioSalta = 1,    // a failure skips the statement and the procedure goes on
    kStadioSalta2 = 2,   // the same, inside a nested scan
};

// Runs the body of procedure `nome`. The body either takes the result by reference (and leaves in it what
// the procedure returns, also when it fails half-way) or returns the result. On a failure the error is
// logged as "nome :description", `onError` (when given) sees it, and the result as it stood is returned.
template <class R, class Body, class OnError = std::nullptr_t>
R EseguiProcedura(Programma& p, std::string_view nome, R risultato, Body&& corpo, OnError&& onError = nullptr) {
    try {
        if constexpr (std::is_invocable_v<Body&, R&>) {
            corpo(risultato);
        } else {
            risultato = corpo();
        }
    } catch (...) {
        const ErroreMorven e = ErroreCorrente();
        RegistraErrore(p, nome, e);
        if constexpr (!std::is_same_v<std::decay_t<OnError>, std::nullptr_t>) onError(e);
    }
    return risultato;
}

// A procedure without a result.
template <class Body>
void EseguiProceduraVoid(Programma& p, std::string_view nome, Body&& corpo) {
    try {
        corpo();
    } catch (...) {
        RegistraErrore(p, nome, ErroreCorrente());
    }
}

// One statement of procedure `nome`. At stage 0 a failure goes on to the procedure's boundary; at stage 1 or
// 2 it is logged and skipped. True when the statement ran without failing.
template <class F>
bool Istruzione(Programma& p, std::string_view nome, int stadio, F&& f) {
    if (stadio == kStadioTermina) {
        f();
        return true;
    }
    try {
        f();
        return true;
    } catch (...) {
        RegistraErrore(p, nome, ErroreCorrente());
        return false;
    }
}

}  // namespace morven
