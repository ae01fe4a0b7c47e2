#include "client/engine/settings.h"
#include "client/engine/programma.h"
#include "platform/core/text.h"

#include "tests/client/engine/comma_locale.h"
#include "tests/client/engine/engine_test_support.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

// Lines as the file holds them, with CRLF ends.
std::string Crlf(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines) out += std::string(l) + "\r\n";
    return out;
}

class Settings : public ::testing::Test, public testing::EngineFixture {
protected:
    Settings() { t.desktop.browser = "/usr/bin/firefox"; }
    std::string Slot(const char* nn = "03") const { return dir / (std::string("MvnConn") + nn + ".par"); }
    ImpostazioniGrossista& s = p.impostazioni;
};

const char* const kEsempio[] = {
    "Connect   :Farmaceutica Nord", "Code      :123456", "Password  :pw", "User      :farm",
    "Mode      :MISTO", "Phone 1   :0212345", "Phone 2   :0267890", "Phone 3   :ANSWER",
    "CommPort  :2", "SpeedComm :38400", "Settings  :E,7,1", "ModemSet  :ATZ",
    "ModemReset:AT&FS0 = 0", "Ip1       :127.0.0.1", "Ip2       :localhost", "Ip3       :",
    "Porta     :2000", "AutoIncPor:NO", "Interface :ORDINE", "NomeRas   :Rete",
    "CloseRas  :YES", "DispBrows :EXT", "DispOrdine:YES", "SendMes   :YES", "MotCpj    :NO",
    "TcpDir    :NO", "ModeIFCK  :NO", "Comp-MVN  :YES", "DatiConseg:YES", "AllineaCol:NO",
    "SostProd  :YES", "ConsDiffer:NO", "ValOrdine :NO", "SoloManc  :NO", "RichDocs  :YES",
    "OrdinePht :NO", "TimeMaxOrd:300", "TimeMaxRxP:900", "TimeMaxTxP:1000", "TMCONN-NOR:60",
    "TMCONN-INT:8", "TMCONN-RAS:120", "FTP-DELAY :20", "FTP-RETRY :3", "STORICO   :15",
};

std::string EsempioBytes() {
    std::string out;
    for (const char* l : kEsempio) out += std::string(l) + "\r\n";
    return out;
}

TEST_F(Settings, ReadsEveryFieldAndWritesTheSameBytesBack) {
    Write("MvnConn03.par", EsempioBytes());
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.sConnect, "Farmaceutica Nord");
    EXPECT_EQ(s.sCodiceCliente, "123456");
    EXPECT_TRUE(s.bModoInternet);
    EXPECT_TRUE(s.bModoMisto);
    EXPECT_FALSE(s.bModoFTP);
    EXPECT_EQ(s.aTelefono[2], "ANSWER");
    EXPECT_EQ(s.nCommPort, 2);
    EXPECT_EQ(s.sSettings, "E,7,1");
    EXPECT_EQ(s.aIndirizzoIp[1], "localhost");
    EXPECT_EQ(s.nPorta, 2000);
    EXPECT_FALSE(s.bAutoIncPorta);
    EXPECT_EQ(s.nTipoInterfaccia, 1);
    EXPECT_TRUE(s.bDispBrowser);
    EXPECT_TRUE(s.bDispBrowserEsterno);
    EXPECT_EQ(s.bDispOrdine, (std::array<bool, 3>{true, true, true}));
    EXPECT_FALSE(s.bModeIFCK);
    EXPECT_TRUE(s.bCompMvn);
    EXPECT_EQ(s.nTimeMaxRxP, 900);
    EXPECT_EQ(s.nTmConnRas, 120);
    EXPECT_EQ(s.nStorico, 15);
    EXPECT_EQ(s.sBrowserEsterno, "/usr/bin/firefox");

    ASSERT_TRUE(ScriviImpostazioni(p, dir / "copy.par"));
    EXPECT_EQ(Read("copy.par"), EsempioBytes());
}

TEST_F(Settings, RoundTripOfEveryFieldThroughAFreshProgram) {
    // Every written field away from its default, chosen so the derivation leaves them as they are.
    s.sConnect = "Descrizione";
    s.sCodiceCliente = "C1";
    s.sPassword = "segreto";
    s.sUser = "utente";
    s.bModoInternet = true;
    s.bModoFTP = true;
    s.aTelefono = {"1", "2", "3"};
    s.nCommPort = 4;
    s.sSpeedComm = "9600";
    s.sSettings = "O,8,2";
    s.sModemSet = "ATX3";
    s.sModemReset = "ignored";
    s.aIndirizzoIp = {"127.0.0.1", "127.0.0.2", "::1"};
    s.nPorta = -1;
    s.bAutoIncPorta = false;
    s.sInterfaccia = "POSTA";
    s.sNomeRas = "Entry";
    s.bCloseRas = true;
    s.bDispBrowser = true;
    s.bDispOrdine = {false, false, true};
    s.bSendMes = s.bMotCpj = s.bTcpDir = s.bCompMvn = s.bDatiConseg = s.bAllineaCol = true;
    s.bSostProd = s.bConsDiffer = s.bValOrdine = s.bSoloManc = s.bRichDocs = s.bOrdinePht = true;
    s.bModeIFCK = false;
    s.nTimeMaxOrd = 1;
    s.nTimeMaxRxP = 2;
    s.nTimeMaxTxP = 3;
    s.nTmConnNor = 32767;
    s.nTmConnInt = 0;  // the lowest a time may be
    s.nTmConnRas = 7;
    s.nFtpDelay = 8;
    s.nFtpRetry = 9;
    s.nStorico = 0;
    ASSERT_TRUE(ScriviImpostazioni(p, Slot()));
    const std::string bytes = Read("MvnConn03.par");
    EXPECT_NE(bytes.find("ModemReset:AT&FS0 = 0\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("Mode      :FTP\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("DispBrows :YES\r\n"), std::string::npos);

    testing::TempDir other;
    TestProgram fresh(other.path());
    fresh.desktop.browser = "/usr/bin/firefox";
    ASSERT_TRUE(LeggiImpostazioni(fresh.p, Slot()));
    const ImpostazioniGrossista& r = fresh.p.impostazioni;
    EXPECT_EQ(TestoImpostazioni(r), bytes);
    EXPECT_EQ(r.sModemReset, "AT&FS0 = 0");
    EXPECT_EQ(r.nTipoInterfaccia, 4);
    EXPECT_TRUE(r.bTcpDir);
    EXPECT_FALSE(r.bCsf);  // read from the key CSF only, never written
    EXPECT_EQ(r.nTmConnInt, 0);
}

TEST_F(Settings, WrittenLinesHaveTheirFixedOrderAndStayOneLineEach) {
    s.sConnect = "due\r\nrighe";
    s.sCodiceCliente = "a\nb";
    ASSERT_TRUE(ScriviImpostazioni(p, Slot()));
    const std::string bytes = Read("MvnConn03.par");
    const std::string expected = Crlf({
        "Connect   :due  righe", "Code      :a b", "Password  :", "User      :", "Mode      :NORMALE",
        "Phone 1   :", "Phone 2   :", "Phone 3   :", "CommPort  :1", "SpeedComm :57600", "Settings  :N,8,1",
        "ModemSet  :AT&FE0V1&D2X1", "ModemReset:AT&FS0 = 0", "Ip1       :", "Ip2       :", "Ip3       :",
        "Porta     :1121", "AutoIncPor:YES", "Interface :ORDINE", "NomeRas   :", "CloseRas  :NO",
        "DispBrows :NO", "DispOrdine:NO", "SendMes   :NO", "MotCpj    :NO", "TcpDir    :NO", "ModeIFCK  :YES",
        "Comp-MVN  :NO", "DatiConseg:NO", "AllineaCol:NO", "SostProd  :NO", "ConsDiffer:NO", "ValOrdine :NO",
        "SoloManc  :NO", "RichDocs  :NO", "OrdinePht :NO", "TimeMaxOrd:600", "TimeMaxRxP:1800",
        "TimeMaxTxP:1800", "TMCONN-NOR:45", "TMCONN-INT:5", "TMCONN-RAS:90", "FTP-DELAY :10", "FTP-RETRY :6",
        "STORICO   :30",
    });
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(ListFolder(dir.path(), "*.tmp*").size(), 0u);
}

TEST_F(Settings, ModeLinesSetTheLinkFlags) {
    struct Case {
        const char* mode;
        bool internet, misto, ftp;
    };
    const Case cases[] = {
        {"NORMALE", false, false, false},
        {"INTERNET", true, false, false},
        {"MISTO", true, true, false},
        {"FTP", true, false, true},
        {"internet", true, false, false},
    };
    for (const auto& c : cases) {
        s.bModoInternet = s.bModoMisto = s.bModoFTP = true;
        Write("MvnConn03.par", "Mode      :" + std::string(c.mode) + "\r\n");
        ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
        EXPECT_EQ(s.bModoInternet, c.internet) << c.mode;
        EXPECT_EQ(s.bModoMisto, c.misto) << c.mode;
        EXPECT_EQ(s.bModoFTP, c.ftp) << c.mode;
    }
}

struct InterfaceCase {
    const char* extra;  // further lines of the file
    bool richDisp, partner;
    int classe;
    bool disp;
    int richiesta;
    bool f1, f2, f3, cpj, cpjAAAA;
};

TEST_F(Settings, InterfaceTableAndDerivedFields) {
    const InterfaceCase cases[] = {
        {"Interface :ORDINE\r\n", false, false, 1, false, 1, false, false, false, false, false},
        {"Interface :DISPONIBILITA'\r\n", false, false, 2, true, 9, true, false, false, false, false},
        {"Interface :DESCRIZ-MAN\r\n", false, false, 2, false, 1, true, true, false, false, false},
        {"Interface :DESCRIZ-ALL\r\n", false, false, 2, false, 1, true, true, true, false, false},
        {"Interface :NOTIZIE\r\n", false, false, 3, false, 1, true, true, false, false, false},
        {"Interface :NOTIZIE-ALL\r\n", false, false, 3, false, 0, true, true, true, false, false},
        {"Interface :posta\r\n", false, false, 4, false, 0, false, false, false, false, false},
        {"Interface :CPJ\r\n", false, false, 0, false, 1, true, true, false, true, false},
        {"Interface :CPJ-AAAA\r\n", false, false, 0, false, 1, true, true, false, true, true},
        {"Interface :ALTRO\r\n", false, false, 0, false, 9, true, false, false, false, false},
        // The run's availability switch takes the interface whatever the file says.
        {"Interface :ORDINE\r\n", true, false, 2, true, 9, true, false, false, false, false},
        // Exchange files: availability asks kind 3 with every header flag.
        {"Interface :DISPONIBILITA'\r\nModeIFCK  :YES\r\n", false, false, 2, true, 3, true, true, true, false,
         false},
        {"Interface :ORDINE\r\nModeIFCK  :YES\r\nValOrdine :YES\r\n", false, false, 2, false, 3, true, true, true,
         false, false},
        {"Interface :ORDINE\r\nModeIFCK  :YES\r\nSoloManc  :YES\r\n", false, false, 2, false, 1, true, true, false,
         false, false},
        // Partner mode: the mail class.
        {"Interface :ORDINE\r\n", false, true, 4, false, 1, false, false, false, false, false},
        // CPJ over TCP becomes the news class.
        {"Interface :CPJ\r\nMode      :INTERNET\r\n", false, false, 3, false, 1, true, true, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra);
        testing::TempDir d;
        TestProgram tp(d.path());
        auto& g = tp.p.impostazioni;
        // Values that "kept" leaves alone show as they were: kind 9, flags 1 and 2 true and false. The class
        // and flag 3 are reset by every read (0 and false).
        g.nTipoInterfaccia = 9;
        g.nTipoRichiesta = 9;
        g.bOpzioneTestata1 = true;
        g.bOpzioneTestata2 = false;
        g.bOpzioneTestata3 = true;
        tp.p.opzioni.bRichDisp = c.richDisp;
        tp.p.opzioni.bModoPartner = c.partner;
        ReplaceFileAtomically(d / "MvnConn01.par", std::string("ModeIFCK  :NO\r\n") + c.extra);
        ASSERT_TRUE(LeggiImpostazioni(tp.p, d / "MvnConn01.par"));
        EXPECT_EQ(g.nTipoInterfaccia, c.classe);
        EXPECT_EQ(g.bDisponibilita, c.disp);
        EXPECT_EQ(g.nTipoRichiesta, c.richiesta);
        EXPECT_EQ(g.bOpzioneTestata1, c.f1);
        EXPECT_EQ(g.bOpzioneTestata2, c.f2);
        EXPECT_EQ(g.bOpzioneTestata3, c.f3);
        EXPECT_EQ(g.bCPJ, c.cpj);
        EXPECT_EQ(g.bCPJAAAA, c.cpjAAAA);
    }
}

TEST_F(Settings, DerivationClearsWhatTheLinkCannotDo) {
    // Modem line: no web page; mail class keeps only the third display copy; no browser: no external page.
    Write("MvnConn03.par", Crlf({"Mode      :NORMALE", "DispBrows :EXT", "Interface :POSTA", "TcpDir    :YES",
                                 "DispOrdine:YES", "ModeIFCK  :NO"}));
    t.desktop.browser = "";
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_FALSE(s.bDispBrowser);
    EXPECT_FALSE(s.bDispBrowserEsterno);
    EXPECT_TRUE(s.bTcpDir);
    EXPECT_EQ(s.bDispOrdine, (std::array<bool, 3>{false, false, true}));

    // Below the mail class the 2006 mail protocol is off.
    Write("MvnConn03.par", Crlf({"Interface :ORDINE", "TcpDir    :YES"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_FALSE(s.bTcpDir);
}

TEST_F(Settings, KeysCountOnlyBeforeTheColon) {
    s.bModoInternet = false;
    Write("MvnConn03.par", Crlf({"Code      :777", "Connect   :Deposito code Modem Internet misto ftp",
                                 "NomeRas   :Modem Internet", "User      :SendMes YES", "Password  :CSF YES"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.sConnect, "Deposito code Modem Internet misto ftp");
    EXPECT_EQ(s.sCodiceCliente, "777");
    EXPECT_EQ(s.sNomeRas, "Modem Internet");
    EXPECT_FALSE(s.bModoInternet);
    EXPECT_FALSE(s.bModoMisto);
    EXPECT_FALSE(s.bModoFTP);
    EXPECT_FALSE(s.bSendMes);
    EXPECT_FALSE(s.bCsf);
    // "ModeIFCK" and "ModemSet" are keys of their own, not the mode.
    Write("MvnConn03.par", Crlf({"ModemSet  :ATZ INTERNET", "ModeIFCK  :NO"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_FALSE(s.bModoInternet);
    EXPECT_EQ(s.sModemSet, "ATZ INTERNET");
    EXPECT_FALSE(s.bModeIFCK);
}

TEST_F(Settings, APresentKeyDecidesItsFieldAnAbsentOneKeepsIt) {
    Write("MvnConn03.par", Crlf({"SendMes   :YES", "RichDocs  :YES", "Phone 1   :0211", "Password  :uno"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_TRUE(s.bSendMes);
    EXPECT_TRUE(s.bRichDocs);

    Write("MvnConn04.par", Crlf({"SendMes   :NO", "Password  :due"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot("04")));
    EXPECT_FALSE(s.bSendMes);           // "NO" clears it
    EXPECT_TRUE(s.bRichDocs);           // absent: kept from the earlier file
    EXPECT_EQ(s.aTelefono[0], "0211");  // absent: kept
    EXPECT_EQ(s.sPassword, "due");
    EXPECT_EQ(s.nPorta, 1121);          // absent with a default: the default
}

TEST_F(Settings, ABadValueLosesOnlyItsOwnField) {
    Write("MvnConn03.par", Crlf({"TimeMaxRxP:40000", "SendMes   :FORSE", "CommPort  :3.5", "Porta     :  1122 tcp",
                                 "TMCONN-NOR:abc", "STORICO   :12"}));
    s.bSendMes = true;
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.nTimeMaxRxP, 1800);  // out of range: the value it had
    EXPECT_TRUE(s.bSendMes);         // neither YES nor NO: as it was
    EXPECT_EQ(s.nCommPort, 4);       // rounded half to even
    EXPECT_EQ(s.nPorta, 1122);
    EXPECT_EQ(s.nTmConnNor, 45);  // no number: refused, the default stays
    EXPECT_EQ(s.nStorico, 12);    // lines after the bad ones are still read
    const std::string log = FunctionLog();
    EXPECT_NE(log.find("LeggiImpostazioni :valore non valido per TIMEMAXRXP :40000"), std::string::npos);
    EXPECT_NE(log.find("LeggiImpostazioni :valore non valido per SENDMES :FORSE"), std::string::npos);
    // The numbers a call cannot use are kept with their key, for the call's refusal.
    ASSERT_EQ(s.aValoriRifiutati.size(), 2u);
    EXPECT_EQ(s.aValoriRifiutati[0].sChiave, "TIMEMAXRXP");
    EXPECT_EQ(s.aValoriRifiutati[1].sChiave, "TMCONN-NOR");
    EXPECT_EQ(s.aValoriRifiutati[1].sValore, "abc");
}

TEST_F(Settings, TcpPortsRunFromOneTo65535) {
    const std::pair<const char*, int> casi[] = {
        {"1", 1},     {"35091", 35091}, {"65535", 65535}, {" 40000 ", 40000},  // usable
        {"0", -1},    {"-5", -1},       {"65536", -1},    {"", -1},
        {"abc", -1},  {"  ", -1},       {"-", -1},                           // refused: -1
    };
    for (const auto& [valore, atteso] : casi) {
        SCOPED_TRACE(valore);
        Write("MvnConn03.par", "Porta     :" + std::string(valore) + "\r\n");
        ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
        EXPECT_EQ(s.nPorta, atteso < 0 ? 1121 : atteso);
        EXPECT_EQ(s.aValoriRifiutati.size(), atteso < 0 ? 1u : 0u);
    }
}

TEST_F(Settings, ASaveNeverReplacesARefusedNumberByADefault) {
    Write("MvnConn03.par", Crlf({"Porta     :abc", "TimeMaxOrd:99999", "STORICO   :12"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    ASSERT_TRUE(ScriviImpostazioni(p, Slot()));
    std::string testo = Read("MvnConn03.par");
    EXPECT_NE(testo.find("Porta     :abc\r\n"), std::string::npos);
    EXPECT_NE(testo.find("TimeMaxOrd:99999\r\n"), std::string::npos);
    // A value changed after reading (the settings window) is written as it now is.
    s.nPorta = 40000;
    ASSERT_TRUE(ScriviImpostazioni(p, Slot()));
    testo = Read("MvnConn03.par");
    EXPECT_NE(testo.find("Porta     :40000\r\n"), std::string::npos);
    EXPECT_NE(testo.find("TimeMaxOrd:99999\r\n"), std::string::npos);
}

TEST_F(Settings, TheLastLineOfANumberDecides) {
    Write("MvnConn03.par", Crlf({"Porta     :2000", "Porta     :abc"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.nPorta, 1121);  // as before the file was read, not what the earlier line said
    EXPECT_EQ(s.aValoriRifiutati.size(), 1u);
    Write("MvnConn03.par", Crlf({"Porta     :abc", "Porta     :2000"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.nPorta, 2000);
    EXPECT_TRUE(s.aValoriRifiutati.empty());
}

TEST_F(Settings, LongValuesAreCutAndControlBytesLoggedEscaped) {
    const std::string lungo(100000, 'x');
    Write("MvnConn03.par", "Connect   :" + lungo + "\r\nPorta     :1\x01\x1b\r\nSTORICO   :12\r\n");
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.sConnect, lungo.substr(0, kMaxValoreImpostazione));
    EXPECT_EQ(s.nPorta, 1);  // a number followed by other bytes is its leading number
    Write("MvnConn03.par", "Porta     :\x01\\9\r\n");
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    const std::string log = FunctionLog();
    EXPECT_NE(log.find("LeggiImpostazioni :valore di CONNECT lungo 100000 byte, tagliato a 255"), std::string::npos);
    EXPECT_NE(log.find("LeggiImpostazioni :valore non valido per PORTA :\\x01\\x5C9"), std::string::npos);
}

TEST_F(Settings, ANumberTooLongForAnyFieldLosesOnlyItsOwnField) {
    const std::string huge(400, '9');
    Write("MvnConn03.par", "TimeMaxRxP:" + huge + "\r\nPorta     :" + huge + "." + huge + "\r\nSTORICO   :12\r\n");
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.nTimeMaxRxP, 1800);
    EXPECT_EQ(s.nPorta, 1121);
    EXPECT_EQ(s.nStorico, 12);  // the line after them is still read
    // The value is cut to the longest the reader takes before it is judged.
    EXPECT_NE(FunctionLog().find("LeggiImpostazioni :valore non valido per TIMEMAXRXP :" +
                                 huge.substr(0, kMaxValoreImpostazione)),
              std::string::npos);
}

TEST_F(Settings, NumbersAreTheirLeadingValue) {
    const std::pair<const char*, double> cases[] = {
        {"1121", 1121}, {"  45", 45}, {"-3", -3}, {"+7x", 7}, {"12.5", 12}, {"13.5", 14}, {".5", 0},
        {"abc", 0},     {"", 0},      {"-", 0},   {"99999", 99999},
    };
    for (const auto& [text, v] : cases) EXPECT_EQ(ValoreNumerico(text), v) << text;

    // A window program runs in the desktop's locale: an Italian one, with its decimal comma, changes nothing.
    testing::LocaleConVirgola virgola;
    if (!virgola.attiva()) GTEST_SKIP() << "no Italian locale can be made on this machine";
    for (const auto& [text, v] : cases) EXPECT_EQ(ValoreNumerico(text), v) << text << " (Italian locale)";
    EXPECT_EQ(ValoreNumerico("1,5"), 1);  // the comma is no decimal point in the file
}

TEST_F(Settings, OlderFileNameAndAnyCase) {
    Write("wlorq03.par", Crlf({"Code      :vecchio"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.sCodiceCliente, "vecchio");
    EXPECT_TRUE(s.bCompMvn);
    EXPECT_FALSE(s.bModeIFCK);

    Write("MVNCONN03.PAR", Crlf({"Code      :nuovo"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.sCodiceCliente, "nuovo");
    EXPECT_FALSE(s.bCompMvn);
    EXPECT_TRUE(s.bModeIFCK);

    // Writing replaces the file that is there, whatever its case.
    ASSERT_TRUE(ScriviImpostazioni(p, Slot()));
    ASSERT_EQ(ListFolder(dir.path(), "mvnconn03.par").size(), 1u);
    EXPECT_EQ(Read("MVNCONN03.PAR").substr(0, 17), "Connect   :\r\nCode");
}

TEST_F(Settings, MissingFileIsAFailureLoggedAndInABatchRunShown) {
    s.sCodiceCliente = "dall'altro";
    p.opzioni.bDebug = true;
    EXPECT_FALSE(LeggiImpostazioni(p, Slot("07")));
    EXPECT_EQ(s.sCodiceCliente, "");  // no leftovers of the earlier slot in the fields with a default
    EXPECT_NE(FunctionLog().find(" - LeggiImpostazioni :Impossibile trovare il file " + Slot("07")),
              std::string::npos);
    EXPECT_TRUE(t.msgbox.calls.empty());

    p.opzioni.bBlkRun = true;
    EXPECT_FALSE(LeggiImpostazioni(p, Slot("07")));
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].style, 48);
    EXPECT_EQ(t.msgbox.calls[0].title, "Errore di Trasmissione");
    EXPECT_EQ(t.msgbox.calls[0].prompt,
              "Il File di Configurazione non esiste \r\nprima di effettuare la trasmissione occorre configurarla.");
}

TEST_F(Settings, TheOrderFileDeletionSwitchIsNotClearedByTheFile) {
    p.impostazioni.bCsf = true;  // /CSF on the command line
    Write("MvnConn03.par", Crlf({"CSF       :NO"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_TRUE(s.bCsf);
    p.impostazioni.bCsf = false;
    Write("MvnConn03.par", Crlf({"CSF       :YES"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_TRUE(s.bCsf);
}

TEST_F(Settings, ReadingClearsTheDebugOptionButNotTheDebugSwitchOfTheRun) {
    Write("MvnConn03.par", "");
    p.opzioni.bDebug = true;  // from the menu
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_FALSE(p.opzioni.bDebug);
    p.opzioni.bDebug = p.opzioni.bDebugAvvio = true;  // /DEBUG on the command line
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_TRUE(p.opzioni.bDebug);
}

// The order reader takes CR LF, CR and LF line ends; so does the settings reader, and the update file too.
TEST_F(Settings, EveryLineEndReadsTheSameSettings) {
    for (const std::string fine : {"\r", "\n"}) {
        SCOPED_TRACE(fine == "\r" ? "CR" : "LF");
        std::string bytes = EsempioBytes();
        std::string altro;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\r') continue;
            altro += bytes[i] == '\n' ? fine : std::string(1, bytes[i]);
        }
        testing::TempDir d;
        TestProgram tp(d.path());
        tp.desktop.browser = "/usr/bin/firefox";
        ReplaceFileAtomically(d / "MvnConn03.par", altro);
        ASSERT_TRUE(LeggiImpostazioni(tp.p, d / "MvnConn03.par"));
        const auto& r = tp.p.impostazioni;
        EXPECT_EQ(r.sConnect, "Farmaceutica Nord");
        EXPECT_EQ(r.nPorta, 2000);
        EXPECT_EQ(r.nStorico, 15);
        EXPECT_EQ(TestoImpostazioni(r), EsempioBytes());

        std::filesystem::create_directories(d / "news");
        ReplaceFileAtomically(d / "news/morvenprofupg.dat",
                              "T" + PadRight("123456", 9) + fine + "C" + PadRight("", 9) + PadRight("654321", 9) +
                                  fine + "Z" + fine);
        tp.p.percorsi.sFileImpostazioni = d / "MvnConn03.par";
        ASSERT_TRUE(AggiornaImpostazioni(tp.p));
        std::string salvato;
        ReadWholeFile(d / "MvnConn03.par", salvato);
        EXPECT_NE(salvato.find("\r\nCode      :654321\r\nPassword  :pw\r\n"), std::string::npos);
    }
}

// No Interface line: an order slot, with the order row of the interface table (not an unknown class 0).
TEST_F(Settings, AFileWithoutAnInterfaceLineIsAnOrderSlot) {
    Write("MvnConn03.par", Crlf({"Connect   :Deposito", "ModeIFCK  :NO"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.sInterfaccia, "ORDINE");
    EXPECT_EQ(s.nTipoInterfaccia, 1);
    EXPECT_EQ(s.nTipoRichiesta, 1);
    EXPECT_FALSE(s.bDisponibilita);
    // An availability run takes it as availability, as it does a file that names its interface.
    p.opzioni.bRichDisp = true;
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.nTipoInterfaccia, 2);
    EXPECT_TRUE(s.bDisponibilita);
    ASSERT_TRUE(ScriviImpostazioni(p, Slot()));
    EXPECT_NE(Read("MvnConn03.par").find("Interface :ORDINE\r\n"), std::string::npos);
}

// One process reads slot after slot (the menu is handed back after a call): the Comproject framing of one
// slot does not carry over to the next.
TEST_F(Settings, TwoSlotsReadInTurnKeepTheirOwnFraming) {
    Write("MvnConn03.par", Crlf({"Interface :CPJ-AAAA", "ModeIFCK  :NO"}));
    Write("MvnConn04.par", Crlf({"Interface :ORDINE", "ModeIFCK  :NO"}));
    Write("MvnConn05.par", Crlf({"ModeIFCK  :NO"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_TRUE(s.bCPJ);
    EXPECT_TRUE(s.bCPJAAAA);
    for (const char* altro : {"04", "05"}) {
        ASSERT_TRUE(LeggiImpostazioni(p, Slot("03")));
        ASSERT_TRUE(LeggiImpostazioni(p, Slot(altro)));
        EXPECT_FALSE(s.bCPJ) << altro;
        EXPECT_FALSE(s.bCPJAAAA) << altro;
    }
}

// A slot whose file names none of the keys: every key takes its default, except those a slot read before in
// the same program leaves as they were (descriptions, phones, hosts, the dial-up entry, the order options and
// the three phase limits), and the file written back says so, line by line.
TEST_F(Settings, ASlotWithoutKeysGetsTheDefaultsOrKeepsWhatTheSlotBeforeLeft) {
    const std::vector<std::string> predefinite = {
        "Connect   :", "Code      :", "Password  :", "User      :", "Mode      :NORMALE", "Phone 1   :",
        "Phone 2   :", "Phone 3   :", "CommPort  :1", "SpeedComm :57600", "Settings  :N,8,1",
        "ModemSet  :AT&FE0V1&D2X1", "ModemReset:AT&FS0 = 0", "Ip1       :", "Ip2       :", "Ip3       :",
        "Porta     :1121", "AutoIncPor:YES", "Interface :ORDINE", "NomeRas   :", "CloseRas  :NO",
        "DispBrows :NO", "DispOrdine:NO", "SendMes   :NO", "MotCpj    :NO", "TcpDir    :NO", "ModeIFCK  :YES",
        "Comp-MVN  :NO", "DatiConseg:NO", "AllineaCol:NO", "SostProd  :NO", "ConsDiffer:NO", "ValOrdine :NO",
        "SoloManc  :NO", "RichDocs  :NO", "OrdinePht :NO", "TimeMaxOrd:600", "TimeMaxRxP:1800",
        "TimeMaxTxP:1800", "TMCONN-NOR:45", "TMCONN-INT:5", "TMCONN-RAS:90", "FTP-DELAY :10", "FTP-RETRY :6",
        "STORICO   :30",
    };
    // After the example slot: what differs from the defaults.
    std::vector<std::string> dopoEsempio = predefinite;
    for (const char* tenuta :
         {"Connect   :Farmaceutica Nord", "Password  :pw", "User      :farm", "Phone 1   :0212345",
          "Phone 2   :0267890", "Phone 3   :ANSWER", "Ip1       :127.0.0.1", "Ip2       :localhost", "NomeRas   :Rete",
          "DispOrdine:YES", "SendMes   :YES", "DatiConseg:YES", "SostProd  :YES", "RichDocs  :YES",
          "TimeMaxOrd:300", "TimeMaxRxP:900", "TimeMaxTxP:1000"}) {
        for (std::string& riga : dopoEsempio)
            if (riga.substr(0, 10) == std::string(tenuta).substr(0, 10)) riga = tenuta;
    }
    auto righe = [](const std::vector<std::string>& v) {
        std::string out;
        for (const std::string& l : v) out += l + "\r\n";
        return out;
    };
    struct Caso {
        const char* nome;
        bool esempioPrima;  // the example slot is read first
        std::string attesi;
    };
    const Caso casi[] = {
        {"fresh program", false, righe(predefinite)},
        {"after another slot", true, righe(dopoEsempio)},
    };
    Write("MvnConn03.par", EsempioBytes());
    Write("MvnConn04.par", Crlf({"Altro     :niente"}));
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        TestProgram nuovo(dir.path());
        Programma& q = c.esempioPrima ? p : nuovo.p;
        if (c.esempioPrima) {
            ASSERT_TRUE(LeggiImpostazioni(q, Slot("03")));
        } else {
            // Before any file is read the program holds the defaults already.
            EXPECT_EQ(TestoImpostazioni(q.impostazioni), c.attesi);
        }
        ASSERT_TRUE(LeggiImpostazioni(q, Slot("04")));
        EXPECT_EQ(TestoImpostazioni(q.impostazioni), c.attesi);
    }
}

// A mode nobody knows is not taken for the modem: it is logged and kept for the call driver to refuse.
TEST_F(Settings, AnUnknownModeIsNotTakenForTheModem) {
    Write("MvnConn03.par", Crlf({"Mode      :INTRENET", "Code      :1"}));
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.sModoNonValido, "INTRENET");
    EXPECT_EQ(s.sCodiceCliente, "1");
    EXPECT_NE(FunctionLog().find("LeggiImpostazioni :valore non valido per MODE :INTRENET"), std::string::npos);
    for (const char* buono : {"Mode      :NORMALE", "Mode      :", "Code      :2"}) {
        Write("MvnConn03.par", Crlf({buono}));
        ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
        EXPECT_EQ(s.sModoNonValido, "") << buono;
        EXPECT_FALSE(s.bModoInternet) << buono;
    }
}

TEST_F(Settings, AvailabilitySwitchIsNeverSavedIntoTheFile) {
    Write("MvnConn03.par", EsempioBytes());
    p.opzioni.bRichDisp = true;
    ASSERT_TRUE(LeggiImpostazioni(p, Slot()));
    EXPECT_EQ(s.sInterfaccia, "DISPONIBILITA'");
    EXPECT_TRUE(s.bDisponibilita);
    ASSERT_TRUE(ScriviImpostazioni(p, Slot()));
    EXPECT_EQ(Read("MvnConn03.par"), EsempioBytes());

    // A new interface chosen in the settings window is saved.
    s.sInterfaccia = "NOTIZIE";
    ASSERT_TRUE(ScriviImpostazioni(p, Slot()));
    EXPECT_NE(Read("MvnConn03.par").find("Interface :NOTIZIE\r\n"), std::string::npos);
}

class Update : public Settings {
protected:
    void SetUp() override {
        Write("MvnConn03.par", EsempioBytes());
        std::filesystem::create_directories(dir / "news");
        p.percorsi.sFileImpostazioni = Slot();
    }
    void Aggiornamento(std::initializer_list<std::string> lines) {
        std::string text;
        for (const auto& l : lines) text += l + "\r\n";
        Write("news/morvenprofupg.dat", text);
    }
};

TEST_F(Update, RecordsForThisClientAreAppliedAndSaved) {
    const std::string phones = PadRight("0211111", 30) + PadRight("0222222", 30) + PadRight("", 30);
    const std::string hosts = PadRight("127.0.0.5", 80) + PadRight("", 80) + PadRight("localhost", 80);
    Aggiornamento({
        "T" + PadRight("999", 9) + PadRight("123456", 9),
        "C" + PadRight("", 9) + PadRight("654321", 9) + PadRight("  Nuovo Deposito  ", 80),
        "N" + phones,
        "I" + hosts,
        "X ignored",
        "Z",
        "C" + PadRight("", 9) + PadRight("000000", 9),  // after the save: not in the file
    });
    p.opzioni.bRichDisp = true;  // a switch of this run stays out of the file here too
    ASSERT_TRUE(AggiornaImpostazioni(p));

    testing::TempDir other;
    TestProgram fresh(other.path());
    ASSERT_TRUE(LeggiImpostazioni(fresh.p, Slot()));
    const auto& r = fresh.p.impostazioni;
    EXPECT_EQ(r.sCodiceCliente, "654321");
    EXPECT_EQ(r.sConnect, "Nuovo Deposito");
    EXPECT_EQ(r.aTelefono[0], PadRight("0211111", 30));  // taken as they stand
    EXPECT_EQ(r.aTelefono[2], std::string(30, ' '));
    EXPECT_EQ(r.aIndirizzoIp[0], PadRight("127.0.0.5", 80));
    EXPECT_EQ(r.aIndirizzoIp[2], PadRight("localhost", 80));
    EXPECT_EQ(r.sInterfaccia, "ORDINE");
    EXPECT_EQ(r.nPorta, 2000);  // untouched fields stay
}

TEST_F(Update, ABlankDescriptionKeepsTheOldOne) {
    Aggiornamento({"T" + PadRight("123456", 9), "C" + PadRight("", 9) + PadRight("111", 9) + PadRight("", 80), "Z"});
    ASSERT_TRUE(AggiornaImpostazioni(p));
    EXPECT_NE(Read("MvnConn03.par").find("Connect   :Farmaceutica Nord\r\nCode      :111\r\n"), std::string::npos);
}

TEST_F(Update, RecordsForAnotherClientChangeNothing) {
    Aggiornamento({"T" + PadRight("999", 9) + PadRight("888", 9), "C" + PadRight("", 9) + PadRight("1", 9), "Z"});
    ASSERT_TRUE(AggiornaImpostazioni(p));
    EXPECT_EQ(Read("MvnConn03.par"), EsempioBytes());

    // A blank code in the file never matches, not even a client without a code.
    Write("MvnConn03.par", Crlf({"Code      :"}));
    Aggiornamento({"T" + PadRight("", 18), "C" + PadRight("", 9) + PadRight("1", 9), "Z"});
    ASSERT_TRUE(AggiornaImpostazioni(p));
    EXPECT_EQ(Read("MvnConn03.par"), Crlf({"Code      :"}));
}

TEST_F(Update, MissingFilesAreLoggedFailures) {
    EXPECT_FALSE(AggiornaImpostazioni(p));  // no update file
    EXPECT_NE(FunctionLog().find(" - AggiornaImpostazioni :Impossibile trovare il file morvenprofupg.dat"),
              std::string::npos);
    EXPECT_EQ(Read("MvnConn03.par"), EsempioBytes());

    // No settings file of the slot: nothing is written from another slot's values.
    Aggiornamento({"T" + PadRight("123456", 9), "Z"});
    p.percorsi.sFileImpostazioni = Slot("05");
    EXPECT_FALSE(AggiornaImpostazioni(p));
    EXPECT_FALSE(FileExists(Slot("05")));
}

}  // namespace
}  // namespace morven
