// The program's state, in the named groups every module reads and writes. Each group is a plain struct whose
// fields carry the program's own names; the program object (programma.h) owns one of each. Booleans are bool;
// the 16-bit integers of the formats and the line are int, checked where a value enters from outside.
// Texts are Windows-1252 bytes.
#pragma once

#include "client/engine/steps.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace morven {

class EventPump;
class Clock;
class View;
class SerialPort;
class TcpSocket;
class FtpClient;
class DecompressionControl;
class DialUp;
class MessageBoxes;
class ProgramEnd;
class Desktop;

// The session and the line.
struct StatoSessione {
    PassoSessione nPassoSessione = kPassoNessuno;  // current step of the session state machine (steps.h)
    PassoSessione nPassoRipresa = kPassoNessuno;   // step to resume at (kPassoRiceviPosta when news reception starts)
    bool bProceduraAbortita = false;  // abort request: every wait returns, every transfer stops
    std::string sStatoLinea;       // last line event or received line ("CONNECT", "CONNECT ", "NO CARRIER", ...)
    bool bConnessioneChiusa = false;  // the peer closed the socket
    bool bInvioInCorso = false;       // a socket send is pending
    int nTimeOutRicezione = 0;     // seconds for the line reads; 0 or less: no time-out
    int nTimeMaxCorrente = 0;      // seconds allowed to the current phase since nInizioCollegamento
    // Whole seconds on the monotonic clock (SecondiSessione), never the time of day: a session across
    // midnight or a clock change keeps its limits.
    std::int32_t nInizioCollegamento = 0;   // when the line opened
    std::int32_t nInizioTrasferimento = 0;  // the last progress point
    int nTimeOutRecord = 30;       // longest pause between two progress points
    int nTentativo = 0;            // current connection attempt
    int nMaxTentativi = 0;         // attempts allowed (6 modem, 16 TCP)
    bool bOrdineTrasmesso = false;
    bool bMancantiRicevuti = false;
    bool bNotizieRicevute = false;
    bool bRicezioneInCorso = false;   // data phase of the 2006 news stream
    bool bUpgradeRicevuto = false;    // the news held morvenupgrade.bat
    bool bProfiloRicevuto = false;    // the news held morvenprofupg.dat
    std::string sStatoDettaglio;      // second status text of the transfers
    std::string sTracciaEventi;       // running trail of transfer events; never emptied
    // The program end was called (by TerminaProgramma or by an end that skips its steps). The end returns
    // to its caller: the real one hides the windows and asks the event loop to quit, and the process leaves
    // once control is back in that loop. So the code after it (the session loops, the call driver, the
    // window events) sees this flag and stops instead of going on.
    bool bProgrammaTerminato = false;

    // The order records of the running session (indices 0 to 500) and the last one used.
    std::array<std::string, 501> aRecordOrdine{};
    int nUltimoRecord = 0;
    std::string sErroreOrdine;  // why the last order reader refused the order file (empty when it took it)
    // Columns 10-13 of the order file's header line, kept by the standard order reader for the answer files.
    std::string sRiferimentoTestata;
    // The two fields of the "C" entry of tra.dat, kept by ConvertiOrdineCSF for ConvertiMancantiCSF.
    std::string sCsfCodice;
    std::string sCsfNumero;
    // The record or frame under work in the receiving transfers.
    std::string sRecordRicevuto;

    // What this run did, for the one outcome line the program end writes to the function log. Kept across
    // the attempts and sessions of the run (bOrdineTrasmesso starts again with every attempt).
    bool bChiamataIniziata = false;   // the call driver began a call in this run
    bool bRichiestaInviata = false;   // the order or request went out whole in one of the attempts
    bool bLineaAperta = false;        // the line to the wholesaler opened in one of the attempts
    bool bRispostaSalvata = false;    // a receiver kept a whole answer (it removed abort.dat)
    std::vector<std::string> aMotiviEsito;  // the latest distinct reasons the call gave for failing
    bool bEsitoScritto = false;       // the outcome line is written (once per run)
    int nBloccoChiamata = -1;         // descriptor that holds the folder's call lock; -1 when not held
};

// The interface classes of a slot (ImpostazioniGrossista::nTipoInterfaccia): what a call exchanges.
inline constexpr int kClasseOrdine = 1;          // an order and its shortage answer
inline constexpr int kClasseDisponibilita = 2;   // availability and product descriptions
inline constexpr int kClasseNotizie = 3;         // news
inline constexpr int kClassePosta = 4;           // mail, and the partner mode

// The settings of the selected wholesaler slot and the values derived from them. The fields of the settings
// file take their defaults from the table of its keys (kChiaviImpostazioni, settings.h) when constructed.
struct ImpostazioniGrossista {
    ImpostazioniGrossista();

    std::string sConnect;         // description of the connection
    std::string sCodiceCliente;   // client code at the wholesaler
    std::string sPassword;        // FTP password
    std::string sUser;            // FTP user
    bool bModoInternet = false;   // line over TCP
    bool bModoMisto = false;      // TCP with modem fall-back
    bool bModoFTP = false;        // exchange by FTP
    std::array<std::string, 3> aTelefono{};  // numbers dialled in turn ("ANSWER": answer mode)
    int nCommPort = 0;
    std::string sSpeedComm;
    // The serial speed the settings file gave. sSpeedComm receives the connect speed during a session ("NET  "
    // after a TCP call): a modem fall-back in the same session configures the port with this one.
    std::string sSpeedCommPorta;
    std::string sSettings;
    std::string sModemSet;
    std::string sModemReset;
    std::array<std::string, 3> aIndirizzoIp{};  // hosts tried in turn
    int nPorta = 0;
    bool bAutoIncPorta = false;
    // Numbers of the settings file that cannot be used (not a number, or out of the field's range): the key,
    // the value as the file holds it, the field, and what the field holds after reading (its value from
    // before the file was read). A call is refused while any is there, and a save writes the file's own value
    // back while the field still holds what reading left.
    struct ValoreRifiutato {
        std::string sChiave;
        std::string sValore;
        int ImpostazioniGrossista::*pCampo = nullptr;
        int nCampo = 0;
    };
    std::vector<ValoreRifiutato> aValoriRifiutati;
    std::string sInterfaccia;
    int nTipoInterfaccia = 0;     // the interface class (kClasse... below); 0 before a file is read
    bool bCPJ = false;
    bool bCPJAAAA = false;
    std::string sNomeRas;         // dial-up entry dialled before TCP
    bool bCloseRas = false;
    bool bDispBrowser = false;
    bool bDispBrowserEsterno = false;
    std::array<bool, 3> bDispOrdine{};  // show the answers at the end (three copies set together)
    bool bSendMes = false;
    bool bCsf = false;            // delete the order file after sending
    bool bMotCpj = false;
    bool bTcpDir = false;
    bool bModeIFCK = false;
    bool bCompMvn = false;
    bool bDatiConseg = false;
    bool bAllineaCol = false;
    bool bSostProd = false;
    bool bConsDiffer = false;
    bool bValOrdine = false;
    bool bSoloManc = false;
    bool bRichDocs = false;       // documents request; also the document dialog's flag (RichiestaDocumento)
    bool bOrdinePht = false;
    bool bDisponibilita = false;  // availability request
    int nTipoRichiesta = 0;       // request kind digit of the IFCK request header
    bool bOpzioneTestata1 = false;
    bool bOpzioneTestata2 = false;
    bool bOpzioneTestata3 = false;
    int nTimeMaxOrd = 0;
    int nTimeMaxRxP = 0;
    int nTimeMaxTxP = 0;
    int nTmConnNor = 0;
    int nTmConnInt = 0;
    int nTmConnRas = 0;
    int nFtpDelay = 0;
    int nFtpRetry = 0;
    int nStorico = 0;
    std::string sBrowserEsterno;  // program for external pages (not in the file)

    // The interface the file holds, while a switch (/RICHDISP) makes the run use another one: the writer
    // saves this value, so a switch of one run never ends up in the file.
    std::string sInterfacciaFile;
    bool bInterfacciaForzata = false;
    // A "Mode" value the reader does not know (empty when the file's mode is one of NORMALE, INTERNET, MISTO,
    // FTP or absent): no line is guessed for it, and the call driver refuses the call.
    std::string sModoNonValido;
};

// What the command line and the options file set.
struct OpzioniAvvio {
    bool bDebug = false;
    // /DEBUG was given for this run: the settings reader, which clears bDebug, leaves it set then.
    bool bDebugAvvio = false;
    bool bComponiNumero = true;
    bool bRitentaMancanti = false;
    bool bBlkRun = false;
    bool bBlkCfg = false;
    std::string sGrossistaSelezionato;  // "01".."10" or the four characters after /BLKRUN: or /BLKCFG:
    std::string sParametriBlkCfg;
    bool bBDati = false;
    bool bRichDisp = false;
    std::string sSorgenteIFCK = "MORVEN";
    std::string sFileIFCKIn;
    std::string sFileIFCKOut;
    bool bModoPartner = false;
    // No person can see the windows (the offscreen or minimal platform): a batch run never waits for one.
    bool bSenzaSchermo = false;
};

// Paths. Every work file lies under sPathApp.
struct PercorsiLavoro {
    std::string sPathApp;           // the application folder, without a trailing "/"
    std::string sFileImpostazioni;  // the current settings file
    std::string sFileLogSessione;   // the session log's file name
    std::string sUltimoUrl;         // last address shown in the embedded browser
    std::string sFilePht;           // the PHT product file of the slot
    std::string sNomeProgramma = "MorvenClient";  // the program's own name: base name of the function log
    // The day's session-log folder ScriviLog last wrote to, and the application folder and day it is for.
    std::string sCartellaLogGiorno, sChiaveCartellaLog;
    // The most the news may unpack to: the TAR, and the files extracted from it together (news_unpack.h).
    std::uint64_t nLimiteNotizieEspanse = 256ull * 1024 * 1024;
};

// The status file winstat.dat as the program last wrote it, and the progress it still owes it (Write_Status).
struct FileStato {
    std::string sScritto;         // the bytes last written
    std::string sInSospeso;       // newer bytes waiting for their turn; empty when none waits
    std::int64_t nScrittoMs = 0;  // when sScritto was written, on the program's monotonic clock
    bool bSulDisco = true;        // sScritto was flushed to the disk (a bare progress is not)
};

// What the document request dialog leaves for the request builders. The documents flag itself is
// ImpostazioniGrossista::bRichDocs (one variable for the slot setting and the dialog); the PHT order flag is
// ImpostazioniGrossista::bOrdinePht.
struct RichiestaDocumento {
    bool bRichListino = false;
    bool bRichAltro = false;
    bool bRichTrattatiPht = false;
    std::string sNumeroOrdine;
    std::string sNumeroDocumento;
    std::string sSiglaDocumento;
    std::string sDataDocumento;
    std::string sTipoDocumento;  // "0" DDT and invoices, "1" DDT, "2" invoices
    std::string sTipoListino;    // "C"
};

// The four free-text lines the message composer leaves (records "MES1" to "MES4").
struct RigheMessaggio {
    std::string sMes1, sMes2, sMes3, sMes4;
};

// The ports through which the engine reaches the windows, the controls and the machine. Not owned here.
struct RiferimentiOggetti {
    EventPump* oPump = nullptr;
    Clock* oClock = nullptr;
    View* oFrmMorven = nullptr;   // the main window
    View* oFrmBrowser = nullptr;  // the browser window
    View* oFrmDebug = nullptr;    // the debug window (its list is "List1")
    SerialPort* oMSComm = nullptr;
    TcpSocket* oWinsock = nullptr;
    FtpClient* oInet = nullptr;
    DecompressionControl* oUgtactx = nullptr;
    DialUp* oRas = nullptr;
    MessageBoxes* oMsgBox = nullptr;
    ProgramEnd* oFine = nullptr;
    Desktop* oDesktop = nullptr;
};

}  // namespace morven
