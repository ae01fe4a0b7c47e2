#include "client/engine/message_box.h"
#include "client/engine/shortage_receive.h"

#include "platform/core/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "client/engine/errors.h"
#include "client/engine/frames.h"
#include "client/engine/helpers.h"
#include "client/engine/line_io.h"
#include "client/engine/logs.h"
#include "client/engine/mail_send.h"
#include "client/engine/markers.h"
#include "client/engine/order_file.h"
#include "client/engine/order_send.h"
#include "client/engine/programma.h"
#include "client/engine/receive_cycle.h"
#include "client/engine/session.h"
#include "platform/core/files.h"


namespace morven {

int LunghezzaVoceMancanti(int nTipoInterfaccia, bool bOpzioneTestata3) {
    if (nTipoInterfaccia == kClasseOrdine) return 13;
    if (nTipoInterfaccia == kClasseDisponibilita || nTipoInterfaccia == kClasseNotizie)
        return bOpzioneTestata3 ? 62 : 42;
    return 0;
}

RigheRisposta RigheVoceMancanti(const std::string& voce, int nTipoInterfaccia, bool bOpzioneTestata3) {
    const int len = LunghezzaVoceMancanti(nTipoInterfaccia, bOpzioneTestata3);
    const std::string v = PadRight(voce, len);
    RigheRisposta r;
    if (len == 13) {
        r.rst = v;
        r.man = v + std::string(29, ' ');
        r.ma1 = *r.man + std::string(20, ' ');
    } else if (len == 42) {
        r.rst = Left(v, 13);
        r.man = v;
        r.ma1 = v + std::string(20, ' ');
    } else if (len == 62) {
        if (Mid(v, 42, 1) != "@") {
            r.rst = Left(v, 13);
            r.man = Left(v, 42);
        }
        r.ma1 = v;
    }
    return r;
}

RigheRisposta RigheVoceComproject(const std::string& voce) {
    const std::string v = PadRight(voce, 41);
    RigheRisposta r;
    r.rst = Mid(v, 1, 9) + "0" + Mid(v, 10, 3);
    r.man = *r.rst + Mid(v, 14, 28) + Mid(v, 13, 1);
    r.ma1 = *r.man + std::string(20, ' ');
    return r;
}

std::string TestataManLORQ(const std::string& codiceCliente, const std::string& riferimento) {
    return codiceCliente + riferimento + std::string(29, ' ');
}

std::string TestataManCPJ(const std::string& codiceCliente) { return Left(codiceCliente, 9) + std::string(33, ' '); }

// ---------------------------------------------------------------------------------------------------------
// Answer files written as they arrive

namespace {
constexpr std::size_t kBufferFile = 64 * 1024;
}

FileRispostaInCorso::FileRispostaInCorso(std::string cartella, std::uintmax_t limite)
    : cartella_(std::move(cartella)), limite_(limite) {}

FileRispostaInCorso::~FileRispostaInCorso() { Scarta(); }

std::size_t FileRispostaInCorso::Apri(const std::string& nome) {
    const std::string bersaglio = ResolveNoCase(cartella_, nome);
    const std::string base = bersaglio.substr(bersaglio.rfind('/') + 1);
    // What a killed program left: no reader takes these names, but they would pile up.
    for (const DirEntry& e : ListFolder(cartella_, base + ".tmp??????"))
        if (e.kind == EntryKind::File) std::remove(JoinPath(cartella_, e.name).c_str());
    File f;
    f.nome = bersaglio;
    f.temporaneo = bersaglio + ".tmpXXXXXX";
    f.fd = mkostemp(f.temporaneo.data(), O_CLOEXEC);
    if (f.fd < 0) SollevaErrore(kErrAccessoPercorso, "Impossibile creare " + f.temporaneo + ": " + std::strerror(errno));
    (void)fchmod(f.fd, 0644);  // readable by the management software, as any answer file
    file_.push_back(std::move(f));
    return file_.size() - 1;
}

void FileRispostaInCorso::Svuota(File& f) {
    if (!WriteAll(f.fd, f.buffer)) SollevaErrore(kErrAccessoPercorso, "Impossibile scrivere " + f.temporaneo);
    f.buffer.clear();
}

void FileRispostaInCorso::Aggiungi(std::size_t n, std::string_view testo) {
    File& f = file_.at(n);
    if (f.scritti + testo.size() > limite_)
        SollevaErrore(kErrOverflow, "Risposta oltre " + std::to_string(limite_) + " byte nel file " + f.nome);
    f.scritti += testo.size();
    f.buffer += testo;
    if (f.buffer.size() >= kBufferFile) Svuota(f);
}

void FileRispostaInCorso::Conferma() {
    try {
        for (File& f : file_) {
            Svuota(f);
            if (fsync(f.fd) != 0) SollevaErrore(kErrAccessoPercorso, "Impossibile scrivere " + f.temporaneo);
        }
        for (File& f : file_) {
            close(f.fd);
            f.fd = -1;
            if (std::rename(f.temporaneo.c_str(), f.nome.c_str()) != 0)
                SollevaErrore(kErrAccessoPercorso, "Impossibile sostituire " + f.nome + ": " + std::strerror(errno));
            f.temporaneo.clear();
        }
    } catch (...) {
        Scarta();
        throw;
    }
    file_.clear();
}

void FileRispostaInCorso::Scarta() {
    for (File& f : file_) {
        if (f.fd >= 0) close(f.fd);
        if (!f.temporaneo.empty()) std::remove(f.temporaneo.c_str());
    }
    file_.clear();
}

}  // namespace morven

// ---------------------------------------------------------------------------------------------------------
// The transfers

namespace morven {

namespace {

// Leading digits of a text, as a number (0 without any).
long Valore(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9' && v < 100000000; ++i) v = v * 10 + (s[i] - '0');
    return v;
}

// The answer being received. Its lines go to the files' temporary copies as they come (nothing is held
// whole); the files take their place only when the answer is complete, each replaced whole, so a broken-off
// answer never leaves half an answer behind. An answer whose file would pass the bound fails (an error the
// receivers end the transfer on).
struct Risposta {
    enum File { kRst, kMan, kMa1, kMsg };
    explicit Risposta(Programma& p) : file(p.percorsi.sPathApp) {}
    FileRispostaInCorso file;
    std::optional<std::size_t> numeri[4];
    bool messaggio = false;
    bool guasta = false;  // a line could not be stored (bound passed, write failed): the answer is lost

    void Riga(File k, std::string_view testo) {
        try {
            const std::size_t n = Numero(k);
            file.Aggiungi(n, testo);
            file.Aggiungi(n, "\r\n");
        } catch (...) {
            guasta = true;
            file.Scarta();
            throw;
        }
    }
    void Aggiungi(const RigheRisposta& r) {
        if (r.rst) Riga(kRst, *r.rst);
        if (r.man) Riga(kMan, *r.man);
        Riga(kMa1, r.ma1);
    }
    void IniziaMessaggio(Programma& p) {
        const DateTime now = p.Orologio().Now();
        char t[16];
        std::snprintf(t, sizeof t, "%02d:%02d:%02d", now.hour % 100, now.minute % 100, now.second % 100);
        messaggio = true;
        Riga(kMsg, "Messaggio da :" + p.impostazioni.sCodiceCliente);
        Riga(kMsg, "Data:" + DataOraLog(now).substr(0, 10) + " Time:" + t);
    }
    // The three answer files are written also when they stay empty; msgrx.txt only with a message.
    void Scrivi() {
        if (guasta) SollevaErrore(kErrAccessoPercorso, "risposta incompleta");
        for (File k : {kRst, kMan, kMa1}) Numero(k);
        file.Conferma();
    }

private:
    std::size_t Numero(File k) {
        static constexpr const char* kNomi[] = {"ordseq.rst", "ordseq.man", "ordseq.ma1", "msgrx.txt"};
        if (!numeri[k]) numeri[k] = file.Apri(kNomi[k]);
        return *numeri[k];
    }
};

// Stores a received answer; only then is the session marker removed. An answer that cannot be stored is
// logged and shown, abort.dat stays, and the session ends aborted (step 200): the order went out, so it is
// never sent again.
bool SalvaRisposta(Programma& p, Risposta& risposta, const char* procedura) {
    try {
        risposta.Scrivi();
    } catch (...) {
        const ErroreMorven e = ErroreCorrente();
        ScriviLogFunzione(p, std::string(procedura) + " :risposta ricevuta ma non salvata :" + e.sDescrizione);
        p.MsgBox().MsgBox("Risposta ricevuta ma non salvata :\r\n" + e.sDescrizione, kMbOk + kMbIconStop,
                          "Errore di Trasmissione", nullptr);
        p.sessione.nPassoSessione = kPassoAbortito;
        return false;
    }
    KillAbortDat(p);
    return true;
}

bool ControlliCiclo(Programma& p, const std::string& stato, int nMax, int nValore, bool accettato) {
    return ControlliCicloRicezione(p, stato, nMax, nValore, accettato,
                                   [](Programma& q) { return LeggiComm(q, q.sessione.nTimeOutRicezione); });
}

// After a failed statement: the phase limit still ends the transfer (step 3).
bool RitentaSeFaseScaduta(Programma& p) {
    if (!FaseScaduta(p)) return false;
    p.sessione.nPassoSessione = kPassoRitenta;
    return true;
}

void Log(Programma& p, const std::string& testo) { ScriviLog(p, p.percorsi.sFileLogSessione, true, testo); }

}  // namespace

bool RxLORQ(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    Log(p, DataOraLog(p.Orologio().Now()) + " <<< Ricezione mancanti >>>");
    st.sRecordRicevuto.clear();
    st.nTimeOutRicezione = 10;
    long ultimo = -1;
    int nMax = 10;
    long conteggioTestata = -1;
    st.nInizioTrasferimento = SecondiSessione(p);
    st.sStatoDettaglio.clear();
    st.sStatoLinea = SvuotaComm(p, 2);
    Risposta risposta(p);
    const int lunghezza = LunghezzaVoceMancanti(imp.nTipoInterfaccia, imp.bOpzioneTestata3);

    for (;;) {
        try {
            if (!ControlliCiclo(p, "Ricezione Mancanti ", nMax, static_cast<int>(ultimo < 0 ? 0 : ultimo), ultimo >= 0))
                return false;
            std::string dati = st.sRecordRicevuto;
            st.sRecordRicevuto.clear();
            if (!Ceck_LORQ(p, dati)) {
                if (ultimo >= 0) ScriviComm(p, "NO");  // garbage before the header gets no answer
                p.Pump().process();
                continue;
            }
            const long numero = Valore(Left(dati, 4));
            // The end record counts only once the header was accepted.
            const bool fine = numero == 9999 && ultimo >= 0;
            if (numero != ultimo + 1 && !fine) {
                if (numero == ultimo && ultimo >= 0) {
                    ScriviComm(p, "SI");  // a repeat: acknowledged again, stored once
                } else {
                    st.sStatoLinea = SvuotaComm(p, 2);
                    ScriviComm(p, "NO");
                }
                continue;
            }
            st.nInizioTrasferimento = SecondiSessione(p);
            if (!fine) ultimo = numero;
            ScriviComm(p, "SI");
            if (numero == 0) {
                nMax = static_cast<int>(Valore(Mid(dati, 22, 4)));
                conteggioTestata = nMax;
                StatoTrasferimento(p, "Ricezione Mancanti", nMax, 0);
                risposta.Riga(Risposta::kMan, TestataManLORQ(imp.sCodiceCliente, st.sRiferimentoTestata));
                risposta.Riga(Risposta::kMa1,
                              TestataManLORQ(imp.sCodiceCliente, st.sRiferimentoTestata) + std::string(20, ' '));
            } else if (!fine) {
                if (!risposta.messaggio && UpperAscii(dati).find("INIZIO MESSAGGIO DA G") != std::string::npos)
                    risposta.IniziaMessaggio(p);
                if (risposta.messaggio) {
                    risposta.Riga(Risposta::kMsg, Mid(dati, 5));
                } else if (lunghezza > 0) {
                    StatoTrasferimento(p, "Ricezione Mancanti", nMax, static_cast<int>(ultimo));
                    const std::string voci = Mid(dati, 5);
                    // Only whole entries: a short tail is not an answer line.
                    for (std::size_t at = 0; at + lunghezza <= voci.size(); at += lunghezza)
                        risposta.Aggiungi(RigheVoceMancanti(voci.substr(at, lunghezza), imp.nTipoInterfaccia,
                                                            imp.bOpzioneTestata3));
                    if (voci.size() % lunghezza != 0)
                        Log(p, "Record " + Left(dati, 4) + ": voce incompleta ignorata");
                }
            } else {
                StatoTrasferimento(p, "Ricezione Ok", 100, 100);
                if (conteggioTestata >= 0 && conteggioTestata != ultimo)
                    Log(p, "Record ricevuti " + std::to_string(ultimo) + " diversi dalla testata " +
                               std::to_string(conteggioTestata));
                const std::string msgtx = JoinPath(p.percorsi.sPathApp, "msgtx.txt");
                if (FileExists(msgtx)) std::remove(msgtx.c_str());
                if (!SalvaRisposta(p, risposta, "RxLORQ")) return false;
                st.bMancantiRicevuti = true;
                if (imp.bCsf) ConvertiMancantiCSF(p);
                const int classe = imp.nTipoInterfaccia;
                if (classe == kClasseOrdine || classe == kClasseDisponibilita) {
                    if (imp.bModoInternet && p.Winsock().State() > 0) p.Winsock().Close();
                    st.nPassoSessione = classe == kClasseOrdine ? kPassoFineDocumenti : kPassoFineOrdine;
                } else {
                    st.nPassoSessione = classe == kClasseNotizie ? kPassoRiceviPosta : kPassoFineOrdine;
                }
                return true;
            }
        } catch (...) {
            RegistraErrore(p, "RxLORQ", ErroreCorrente());
            // Before a message started, or when a line could not be stored, the answer is lost: a failure the
            // retry policy can see.
            if (!risposta.messaggio || risposta.guasta) {
                st.nPassoSessione = kPassoRitenta;
                return false;
            }
            if (RitentaSeFaseScaduta(p)) return false;
        }
    }
}

bool RxComproject(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    Log(p, DataOraLog(p.Orologio().Now()) + " <<< Ricezione mancanti CPJ >>>");
    st.sRecordRicevuto.clear();
    int valore = 0;
    const int nMax = 20;
    st.nInizioTrasferimento = SecondiSessione(p);
    st.sStatoDettaglio.clear();
    std::string ultimoMemorizzato;
    bool accettato = false;
    Risposta risposta(p);
    try {
        risposta.Riga(Risposta::kMan, TestataManCPJ(imp.sCodiceCliente));
        risposta.Riga(Risposta::kMa1, TestataManCPJ(imp.sCodiceCliente) + std::string(20, ' '));
    } catch (...) {
        RegistraErrore(p, "RxComproject", ErroreCorrente());
        st.nPassoSessione = kPassoRitenta;
        return false;
    }
    const std::string stato = imp.bDisponibilita ? "Ricezione Disponibilit\xe0" : "Ricezione Mancanti ";

    for (;;) {
        try {
            if (!ControlliCiclo(p, stato, nMax, valore, accettato)) return false;
            std::string rec = st.sRecordRicevuto;
            st.sRecordRicevuto.clear();
            if (rec.find_first_not_of(" \t") == std::string::npos) continue;  // blank: read the next line
            if (!Ceck_CPJ(p, rec)) {
                ScriviComm(p, "NAK");
                continue;
            }
            valore = std::min(valore + 1, nMax);
            accettato = true;
            st.nInizioTrasferimento = SecondiSessione(p);
            const bool fine = rec[0] == '5';
            if (!(fine && imp.bDisponibilita)) ScriviComm(p, "ACK");
            if (rec == ultimoMemorizzato) continue;  // a repeat: acknowledged, stored once
            ultimoMemorizzato = rec;
            if (rec[0] == '9') {
                // The entry count read as the record check reads it, so every entry it counted is stored.
                const auto n = ValoreCifre(Mid(rec, 2, 2));
                for (std::int64_t i = 0; i < n; ++i)
                    risposta.Aggiungi(RigheVoceComproject(Mid(rec, static_cast<std::size_t>(4 + 41 * i), 41)));
            } else if (fine) {
                risposta.IniziaMessaggio(p);
                risposta.Riga(Risposta::kMsg, Mid(rec, 5));
                StatoTrasferimento(p, "Ricezione Ok", 100, 100);
                if (!SalvaRisposta(p, risposta, "RxComproject")) return false;
                st.bMancantiRicevuti = true;
                if (imp.bCsf) ConvertiMancantiCSF(p);
                st.nPassoSessione = kPassoFineOrdine;
                return true;
            }
        } catch (...) {
            RegistraErrore(p, "RxComproject", ErroreCorrente());
            if (risposta.guasta) {
                st.nPassoSessione = kPassoRitenta;
                return false;
            }
            if (RitentaSeFaseScaduta(p)) return false;
        }
    }
}

}  // namespace morven
