#include "client/engine/errors.h"

#include "client/engine/logs.h"
#include "client/engine/programma.h"

#include <new>

namespace morven {

std::string DescrizioneErrore(int numero) {
    switch (numero) {
        case kErrChiamataNonValida: return "Chiamata di routine o argomento non validi";
        case kErrOverflow: return "Overflow";
        case kErrMemoria: return "Memoria esaurita";
        case kErrFileNonTrovato: return "Impossibile trovare il file";
        case kErrIODispositivo: return "Errore di I/O sul dispositivo";
        case kErrAccessoPercorso: return "Errore di accesso al percorso o al file";
        case kErrPercorsoNonTrovato: return "Impossibile trovare il percorso";
        case kErrOggettoNonImpostato: return "Variabile oggetto o variabile del blocco With non impostata";
        default: return {};
    }
}

void SollevaErrore(int numero, std::string descrizione, std::string origine) {
    if (descrizione.empty()) descrizione = DescrizioneErrore(numero);
    throw ErroreMorven(numero, std::move(descrizione), std::move(origine));
}

ErroreMorven ErroreCorrente() {
    try {
        throw;
    } catch (const ErroreMorven& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return ErroreMorven(kErrMemoria, DescrizioneErrore(kErrMemoria));
    } catch (const std::exception& e) {
        return ErroreMorven(kErrChiamataNonValida, e.what());
    } catch (...) {
        return ErroreMorven(kErrChiamataNonValida, DescrizioneErrore(kErrChiamataNonValida));
    }
}

void RegistraErrore(Programma& p, std::string_view nome, const ErroreMorven& e) {
    ScriviLogFunzione(p, std::string(nome) + " :" + e.sDescrizione);
}

}  // namespace morven
