// The connection settings window's behaviour on a recording view: the client-code and interface rules, the
// address fall-back, what the window shows for each link mode, the interlocks, save, abandon, exit and the
// function keys, and the configuration-only run.
#include "client/presenters/settings_dialog.h"

#include "client/engine/message_box.h"
#include "client/engine/programma.h"
#include "client/engine/settings.h"
#include "client/engine/testing/test_program.h"
#include "client/presenters/keys.h"
#include "platform/core/files.h"
#include "tests/client/session/settings_form.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

TEST(SettingsDialogRules, ClientCodeNormaliser) {
    struct Caso {
        const char* interfaccia;
        const char* codice;
        const char* grossista;
        const char* atteso;
    };
    const Caso casi[] = {
        {"ORDINE", "98765", "", "009876500"},
        {"ORDINE", "9876543", "", "987654300"},
        {"ORDINE", "98765432", "", "987654320"},
        {"ORDINE", " 12 ", "", "000001200"},      // short: trimmed, padded on the left, then "00"
        {"ORDINE", "1234567890", "", "123456789"},  // long: cut to 9
        {"NOTIZIE", "", "", "000000000"},
        {"CPJ", "1234567", "0042", "12345670720042"},
        {"CPJ", "12", "0042", "00000120970042"},
        {"CPJ-AAAA", "12A4567", "0001", "12A45670750001"},  // a non-digit counts 0 in the check part
        {"CPJ", "123456789", "0042", "12345670720042"},     // only the first 7 characters count
    };
    for (const Caso& c : casi)
        EXPECT_EQ(NormalizzaCodiceCliente(c.interfaccia, c.codice, c.grossista), c.atteso)
            << c.interfaccia << " " << c.codice;
}

TEST(SettingsDialogRules, InterfaceRule) {
    struct Caso {
        SceltaInterfaccia s;
        const char* atteso;
    };
    auto scelta = [](bool posta, bool partner, bool ifck, const char* elenco, bool disp, bool docs, bool pht) {
        return SceltaInterfaccia{posta, partner, ifck, elenco, disp, docs, pht};
    };
    const Caso casi[] = {
        {scelta(false, false, false, "NOTIZIE", false, false, false), "NOTIZIE"},
        {scelta(false, false, true, "NOTIZIE", false, false, false), "IFCK"},
        {scelta(true, false, true, "ORDINE", false, false, false), "POSTA"},
        {scelta(true, true, false, "ORDINE", false, false, false), "OLTREMA"},
        {scelta(false, false, true, "ORDINE", true, false, false), "DISPONIBILITA'"},
        {scelta(false, false, true, "ORDINE", false, true, false), "DOCUMENTI"},
        {scelta(false, false, true, "ORDINE", false, false, true), "DOCUMENTI"},
        {scelta(false, false, true, "ORDINE", true, true, false), "DOCUMENTI"},  // the later rule wins
    };
    for (const Caso& c : casi) EXPECT_EQ(InterfacciaDaSalvare(c.s), c.atteso) << c.atteso;
}

TEST(SettingsDialogRules, AddressFallBackAndNumbers) {
    EXPECT_EQ(IndirizzoOPrimo("", "10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(IndirizzoOPrimo("   ", "10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(IndirizzoOPrimo("host2", "10.0.0.1"), "host2");

    EXPECT_EQ(NumeroIntero("1", 1, 65535), 1);
    EXPECT_EQ(NumeroIntero(" 65535 ", 1, 65535), 65535);
    for (const char* t : {"", " ", "0", "65536", "12a", "-5", "+5", "1.5", "99999999999999"})
        EXPECT_FALSE(NumeroIntero(t, 1, 65535)) << t;
}

// What the window saves the reader takes, and what the window refuses the reader refuses: at both ends
// of every number's range and one step beyond them, so no call runs on a number the window would not save
// and no number the window saved is refused.
TEST(SettingsDialogRules, TheWindowAndTheReaderShareEachNumbersRange) {
    testing::TempDir dir;
    TestProgram t(dir.path());
    const std::string file = dir / "MvnConn01.par";
    for (const CampoNumerico& n : kCampiNumerici) {
        const std::string_view chiave = IntervalloDi(n.campo).sChiave;
        for (const long v : {long{n.minimo} - 1, long{n.minimo}, long{n.massimo}, long{n.massimo} + 1}) {
            SCOPED_TRACE(std::string(chiave) + " " + std::to_string(v));
            const bool finestra = NumeroIntero(std::to_string(v), n.minimo, n.massimo).has_value();
            EXPECT_EQ(finestra, v >= n.minimo && v <= n.massimo);
            ReplaceFileAtomically(file, std::string(chiave) + ":" + std::to_string(v) + "\r\n");
            ASSERT_TRUE(LeggiImpostazioni(t.p, file));
            EXPECT_EQ(t.p.impostazioni.aValoriRifiutati.empty(), finestra);
            if (finestra) {
                EXPECT_EQ(t.p.impostazioni.*n.campo, v);
            }
        }
    }
}

// A settings file as the program writes it.
ImpostazioniGrossista Impostazioni() {
    ImpostazioniGrossista s;
    s.sConnect = "Farmagross Nord";
    s.sCodiceCliente = "009876500";
    s.sPassword = "segreta";
    s.sUser = "farmacia";
    s.aTelefono = {"0212345", "0212346", "ANSWER"};
    s.nCommPort = 3;
    s.sSpeedComm = "57600";
    s.sSettings = "N,8,1";
    s.sModemSet = "AT&FE0V1&D2X1";
    s.aIndirizzoIp = {"127.0.0.1", "localhost", "127.0.0.2"};
    s.nPorta = 1121;
    s.bAutoIncPorta = true;
    s.sInterfaccia = "ORDINE";
    s.bModeIFCK = false;
    s.bDispOrdine = {true, true, true};
    s.bSendMes = true;
    return s;
}

struct SettingsDialog : ::testing::Test {
    morven::testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
    FakeView form;
    int menu = 0, chiusure = 0;
    std::unique_ptr<EventiFrmImpostazioni> w;

    SettingsDialog() {
        DichiaraControlli(form);
        p.opzioni.sGrossistaSelezionato = "03";
    }
    std::string File() { return dir / "MvnConn03.par"; }
    void Scrivi(const ImpostazioniGrossista& s) { ASSERT_TRUE(ReplaceFileAtomically(File(), TestoImpostazioni(s))); }
    std::string Leggi() {
        std::string s;
        ReadWholeFile(File(), s);
        return s;
    }
    void Apri() {
        CollegamentiFrmImpostazioni c;
        c.RicostruisciMenu = [this] { ++menu; };
        c.Chiudi = [this] {
            if (!w->Form_QueryUnload()) ++chiusure;
        };
        w = std::make_unique<EventiFrmImpostazioni>(p, form, c);
        w->Form_Load();
    }
    std::string Testo(const char* c) { return form.Text(Ctl(c)); }
    int Valore(const char* c) { return form.Value(Ctl(c)); }
    bool Visibile(const char* c) { return form.Visible(Ctl(c)); }
    bool Abilitato(const char* c) { return form.Enabled(Ctl(c)); }
    void Spunta(const char* c, bool v) { form.SetValue(Ctl(c), v ? 1 : 0); }
    std::vector<std::string> Voci(const char* c) {
        std::vector<std::string> r;
        for (const ListItem& i : form.List(Ctl(c)).items) r.push_back(i.texts.at(0));
        return r;
    }
    void Tasto(int tasto, int shift = 0) { w->Gestisci_Tasto_Funzione(tasto, shift); }
};

TEST_F(SettingsDialog, OpeningShowsTheSlotWithoutTouchingTheRunningProgram) {
    Scrivi(Impostazioni());
    t.dialup.entries = {"Ufficio", "Casa"};
    p.impostazioni.sConnect = "Sessione in corso";
    p.impostazioni.nPorta = 4000;
    p.percorsi.sFileImpostazioni = dir / "MvnConn01.par";
    p.opzioni.bDebug = true;
    Apri();

    EXPECT_FALSE(w->Modificato());  // filling the controls is not an edit
    EXPECT_EQ(w->FileImpostazioni(), File());
    EXPECT_EQ(Testo("LblSpazioRosso"), "Impostazioni");
    EXPECT_EQ(Testo("LblSpazioGrigio"), "Farmagross Nord");
    EXPECT_EQ(Testo("IDescrizioneCollegamento"), "Farmagross Nord");
    EXPECT_EQ(Testo("ICodiceCliente"), "009876500");
    EXPECT_EQ(form.Max(Ctl("ICodiceCliente")), 9);
    EXPECT_FALSE(Visibile("ICodGrossista"));
    EXPECT_EQ(Testo("ITelefono3"), "ANSWER");
    EXPECT_EQ(Testo("IIp2"), "localhost");
    EXPECT_EQ(Testo("IPorta"), "1121");
    EXPECT_EQ(Testo("CmbCOM"), "Com3");
    EXPECT_EQ(Testo("CmbTipoCollegamento"), "ORDINE");
    EXPECT_EQ(Testo("ITimeMaxOrd"), "600");
    EXPECT_EQ(Valore("ChkDisplay"), 1);
    EXPECT_EQ(Valore("ChkInvioMessaggio"), 1);
    EXPECT_EQ(Voci("CmbSPEED"), kVelocitaSeriali);
    EXPECT_EQ(Voci("CmbSetting"), kFormatiSeriali);
    EXPECT_EQ(Voci("CmbTipoCollegamento"), kInterfacceElenco);
    EXPECT_EQ(Voci("CmbCOM").size(), 16u);
    EXPECT_EQ(Voci("CmbCOM").back(), "Com16");
    EXPECT_EQ(Voci("CmbRAS"), (std::vector<std::string>{"Ufficio", "Casa"}));

    // Edit and save: the file changes, the running program does not.
    form.SetText(Ctl("IDescrizioneCollegamento"), "Altro");
    w->Modifica("IDescrizioneCollegamento");
    w->CmdSalva_Click();
    EXPECT_EQ(w->Copia().sConnect, "Altro");
    EXPECT_EQ(p.impostazioni.sConnect, "Sessione in corso");
    EXPECT_EQ(p.impostazioni.nPorta, 4000);
    EXPECT_EQ(p.percorsi.sFileImpostazioni, dir / "MvnConn01.par");
    EXPECT_EQ(p.opzioni.sGrossistaSelezionato, "03");
    EXPECT_TRUE(p.opzioni.bDebug);
}

TEST_F(SettingsDialog, EachLinkModeShowsItsFrame) {
    struct Caso {
        const char* nome;
        const char* interfaccia;
        bool ifck, ftp;
        const char* opzione;
        const char* frame;
        bool portaAbilitata;
    };
    const Caso casi[] = {
        {"order", "ORDINE", false, false, "OptOrdine", "FrameOrdine", true},
        {"IFCK", "ORDINE", true, true, "OptIFCK", "FrameIFCK", false},
        // A mail file without "ModeIFCK: NO" still opens in mail mode.
        {"mail", "POSTA", true, false, "OptPosta", "FramePosta", true},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        ImpostazioniGrossista s = Impostazioni();
        s.sInterfaccia = c.interfaccia;
        s.bModeIFCK = c.ifck;
        s.bModoInternet = s.bModoFTP = c.ftp;
        s.bRichDocs = true;
        Scrivi(s);
        form.SetEnabled(Ctl("IPorta"), true);
        Apri();
        for (const char* o : {"OptOrdine", "OptIFCK", "OptPosta"}) EXPECT_EQ(Valore(o), o == std::string(c.opzione) ? -1 : 0) << o;
        for (const char* f : {"FrameOrdine", "FrameIFCK", "FramePosta"}) EXPECT_EQ(Visibile(f), f == std::string(c.frame)) << f;
        EXPECT_EQ(Abilitato("IPorta"), c.portaAbilitata);
        EXPECT_EQ(Valore("ChkModeFTP"), c.ftp ? 1 : 0);
        // The order options come from the file in IFCK mode only, enabled with 2003 compatibility only.
        if (c.ifck && !std::string(c.interfaccia).starts_with("POSTA")) {
            EXPECT_EQ(Valore("ChkRicDocumenti"), 1);
            EXPECT_FALSE(Abilitato("ChkRicDocumenti"));
        }
        EXPECT_EQ(Voci("CmbTipoCollegamento").back(), std::string(c.interfaccia) == "POSTA" ? "POSTA" : "CPJ-AAAA");
        EXPECT_FALSE(w->Modificato());
    }
}

TEST_F(SettingsDialog, InternetRuleOnOpening) {
    struct Caso {
        bool internet, misto;
    };
    for (const Caso c : {Caso{false, false}, Caso{true, false}, Caso{true, true}}) {
        SCOPED_TRACE(std::to_string(c.internet) + std::to_string(c.misto));
        ImpostazioniGrossista s = Impostazioni();
        s.bModoInternet = c.internet;
        s.bModoMisto = c.misto;
        Scrivi(s);
        Apri();
        EXPECT_EQ(Valore("ChkInternet"), c.internet ? 1 : 0);
        for (const char* n : {"ChkChiusuraAutomatica", "ChkTcpDirect", "LblPassword", "IPasswd", "LbUser", "IUser", "ChkMisto"})
            EXPECT_EQ(Visibile(n), c.internet) << n;
        EXPECT_EQ(Abilitato("IIp1"), c.internet);
        EXPECT_EQ(Abilitato("ITelefono1"), !c.internet || c.misto);
        if (c.internet) {
            EXPECT_EQ(Valore("ChkMisto"), c.misto ? 1 : 0);
        }
    }
}

TEST_F(SettingsDialog, Interlocks) {
    ImpostazioniGrossista s = Impostazioni();
    s.bModeIFCK = true;
    s.bModoInternet = true;
    Scrivi(s);
    Apri();

    // At most one of the three requests.
    Spunta("ChkDisponibilita", true);
    w->ChkRichiesta_Click("ChkDisponibilita");
    Spunta("ChkRicDocumenti", true);
    w->ChkRichiesta_Click("ChkRicDocumenti");
    Spunta("ChkOrdinePht", true);
    w->ChkRichiesta_Click("ChkOrdinePht");
    EXPECT_EQ(Valore("ChkDisponibilita"), 0);
    EXPECT_EQ(Valore("ChkRicDocumenti"), 0);
    EXPECT_EQ(Valore("ChkOrdinePht"), 1);
    EXPECT_TRUE(w->Modificato());

    // The interface list: a CPJ interface asks for the wholesaler code and 7 digits.
    form.SetText(Ctl("CmbTipoCollegamento"), "CPJ-AAAA");
    w->CmbTipoCollegamento_Click();
    EXPECT_TRUE(Visibile("ICodGrossista"));
    EXPECT_TRUE(Visibile("lblCodGrossista"));
    EXPECT_EQ(form.Max(Ctl("ICodiceCliente")), 7);
    EXPECT_EQ(Testo("CmbSetting"), "E,7,1");
    form.SetText(Ctl("CmbTipoCollegamento"), "NOTIZIE");
    w->CmbTipoCollegamento_Click();
    EXPECT_FALSE(Visibile("ICodGrossista"));
    EXPECT_EQ(form.Max(Ctl("ICodiceCliente")), 9);
    EXPECT_EQ(Testo("CmbSetting"), "N,8,1");

    // 2003 compatibility enables the order options and changes the copy at once.
    EXPECT_FALSE(Abilitato("ChkSoloMancanti"));
    Spunta("ChkCompatibilita2003", true);
    w->ChkCompatibilita2003_Click();
    EXPECT_TRUE(Abilitato("ChkSoloMancanti"));
    EXPECT_TRUE(w->Copia().bCompMvn);
    Spunta("ChkCompatibilita2003", false);
    w->ChkCompatibilita2003_Click();
    EXPECT_FALSE(Abilitato("ChkSoloMancanti"));
    EXPECT_FALSE(w->Copia().bCompMvn);
    EXPECT_FALSE(p.impostazioni.bCompMvn);

    // Modem line: the TCP controls go, the phone frame comes; back to TCP brings the IFCK option back.
    Spunta("ChkInternet", false);
    w->ChkInternet_Click();
    EXPECT_FALSE(Visibile("IPasswd"));
    EXPECT_FALSE(Visibile("ChkMisto"));
    EXPECT_FALSE(Visibile("OptIFCK"));
    EXPECT_FALSE(Abilitato("IIp1"));
    EXPECT_TRUE(Abilitato("ITelefono1"));
    EXPECT_FALSE(w->Copia().bModoInternet);
    Spunta("ChkInternet", true);
    w->ChkInternet_Click();
    EXPECT_TRUE(Visibile("IPasswd"));
    EXPECT_TRUE(Visibile("OptIFCK"));
    EXPECT_TRUE(Abilitato("IIp1"));
    EXPECT_FALSE(Abilitato("ITelefono1"));
    Spunta("ChkMisto", true);
    w->ChkMisto_Click();
    EXPECT_TRUE(Abilitato("ITelefono1"));
    Spunta("ChkMisto", false);
    w->ChkMisto_Click();
    EXPECT_FALSE(Abilitato("ITelefono1"));

    // The mode options.
    w->OptPosta_Click();
    EXPECT_TRUE(Visibile("FramePosta"));
    EXPECT_FALSE(Visibile("FrameIFCK"));
    EXPECT_TRUE(Abilitato("IPorta"));
    w->OptIFCK_Click();
    EXPECT_TRUE(Visibile("FrameIFCK"));
    EXPECT_FALSE(Abilitato("FrameOrdine"));
    w->OptOrdine_Click();
    EXPECT_TRUE(Visibile("FrameOrdine"));
    EXPECT_TRUE(Abilitato("FrameOrdine"));
    EXPECT_FALSE(Visibile("FrameIFCK"));
}

TEST_F(SettingsDialog, OrderModeDropsTheMailInterfaceFromTheList) {
    ImpostazioniGrossista s = Impostazioni();
    s.sInterfaccia = "POSTA";
    Scrivi(s);
    Apri();
    EXPECT_EQ(Voci("CmbTipoCollegamento").size(), kInterfacceElenco.size() + 1);
    w->OptOrdine_Click();
    EXPECT_EQ(Voci("CmbTipoCollegamento"), kInterfacceElenco);
}

TEST_F(SettingsDialog, SavingUnchangedSettingsWritesTheSameBytes) {
    for (const bool ifck : {false, true}) {
        ImpostazioniGrossista s = Impostazioni();
        s.bModeIFCK = ifck;
        if (ifck) {
            s.sInterfaccia = "IFCK";
            s.bModoInternet = s.bModoFTP = true;
            s.bCompMvn = s.bSoloManc = true;
        }
        s.sModemReset = "AT&FS0 = 0";
        Scrivi(s);
        const std::string prima = Leggi();
        Apri();
        w->CmdSalva_Click();
        ASSERT_EQ(t.msgbox.calls.size(), 1u);
        t.msgbox.calls.clear();
        EXPECT_EQ(Leggi(), prima);
    }
}

TEST_F(SettingsDialog, SaveNormalisesTheCodeAndFallsBackToTheFirstAddress) {
    Scrivi(Impostazioni());
    Apri();
    form.SetText(Ctl("ICodiceCliente"), "98765");
    w->Modifica("ICodiceCliente");
    form.SetText(Ctl("IIp3"), "  ");
    form.SetText(Ctl("IPorta"), "65535");
    form.SetText(Ctl("CmbCOM"), "Com12");
    Spunta("ChkRicDocumenti", true);  // not shown in order mode, still saved as the box stands
    w->CmdSalva_Click();

    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Confermi le Impostazioni ");
    EXPECT_EQ(t.msgbox.calls[0].style, 49);
    EXPECT_EQ(t.msgbox.calls[0].title, "Salva Impostazioni");
    EXPECT_FALSE(w->Modificato());
    EXPECT_EQ(menu, 1);
    EXPECT_EQ(Testo("ICodiceCliente"), "009876500");
    const std::string f = Leggi();
    EXPECT_NE(f.find("Code      :009876500\r\n"), std::string::npos) << f;
    EXPECT_NE(f.find("Ip3       :127.0.0.1\r\n"), std::string::npos) << f;
    EXPECT_NE(f.find("Porta     :65535\r\n"), std::string::npos) << f;
    EXPECT_NE(f.find("CommPort  :12\r\n"), std::string::npos) << f;
    EXPECT_NE(f.find("Interface :DOCUMENTI\r\n"), std::string::npos) << f;
}

TEST_F(SettingsDialog, AnInterfaceTheListDoesNotHoldIsKept) {
    ImpostazioniGrossista s = Impostazioni();
    s.sInterfaccia = "IFCK";  // with ModeIFCK NO: order mode, and the list has no such item
    Scrivi(s);
    Apri();
    EXPECT_EQ(Testo("CmbTipoCollegamento"), "");
    w->CmdSalva_Click();
    EXPECT_NE(Leggi().find("Interface :IFCK\r\n"), std::string::npos) << Leggi();
}

TEST_F(SettingsDialog, CpjCodeIsSplitAndPutBackTogether) {
    ImpostazioniGrossista s = Impostazioni();
    s.sInterfaccia = "CPJ";
    s.sCodiceCliente = "12345670720042";
    s.bModoInternet = true;  // the line over TCP turns the CPJ variant off; the code keeps its parts
    Scrivi(s);
    Apri();
    EXPECT_EQ(Testo("ICodiceCliente"), "1234567");
    EXPECT_EQ(Testo("ICodGrossista"), "0042");
    EXPECT_TRUE(Visibile("ICodGrossista"));
    EXPECT_EQ(form.Max(Ctl("ICodiceCliente")), 7);
    form.SetText(Ctl("ICodiceCliente"), "12");
    w->CmdSalva_Click();
    EXPECT_NE(Leggi().find("Code      :00000120970042\r\n"), std::string::npos);
}

TEST_F(SettingsDialog, InvalidNumbersAreRefusedBeforeAnythingIsSaved) {
    struct Caso {
        const char* controllo;
        const char* testo;
        const char* nome;
    };
    const Caso casi[] = {
        {"IPorta", "0", "Porta"},
        {"IPorta", "65536", "Porta"},
        {"IPorta", "", "Porta"},
        {"IPorta", "11a", "Porta"},
        {"ITimeMaxOrd", "-1", "Tempo massimo ordine"},
        {"IStorico", "40000", "Giorni di storico"},
        {"CmbCOM", "Com99999", "Porta seriale"},
    };
    Scrivi(Impostazioni());
    const std::string prima = Leggi();
    for (const Caso& c : casi) {
        SCOPED_TRACE(std::string(c.controllo) + "=" + c.testo);
        Apri();
        form.SetText(Ctl("IDescrizioneCollegamento"), "Cambiata");
        w->Modifica("IDescrizioneCollegamento");
        form.SetText(Ctl(c.controllo), c.testo);
        t.msgbox.calls.clear();
        w->CmdSalva_Click();
        ASSERT_EQ(t.msgbox.calls.size(), 1u);  // the refusal, no confirm question
        EXPECT_NE(t.msgbox.calls[0].prompt.find(c.nome), std::string::npos) << t.msgbox.calls[0].prompt;
        EXPECT_EQ(t.msgbox.calls[0].style, 48);
        EXPECT_EQ(Leggi(), prima);
        EXPECT_TRUE(w->Modificato());
        EXPECT_EQ(w->Copia().sConnect, "Farmagross Nord");
    }
}

TEST_F(SettingsDialog, CancelInTheSaveQuestionWritesNothingButRebuildsTheMenu) {
    Scrivi(Impostazioni());
    const std::string prima = Leggi();
    Apri();
    form.SetText(Ctl("ITelefono1"), "999");
    w->Modifica("ITelefono1");
    t.msgbox.answers = {kMsgCancel};
    w->CmdSalva_Click();
    EXPECT_EQ(Leggi(), prima);
    EXPECT_EQ(menu, 1);
    EXPECT_TRUE(w->Modificato());
}

TEST_F(SettingsDialog, SaveThatCannotWriteKeepsTheChanges) {
    Scrivi(Impostazioni());
    Apri();
    std::filesystem::remove(File());
    std::filesystem::create_directory(File());  // a folder where the file should go
    form.SetText(Ctl("ITelefono1"), "999");
    w->Modifica("ITelefono1");
    w->CmdSalva_Click();
    ASSERT_EQ(t.msgbox.calls.size(), 2u);
    EXPECT_EQ(t.msgbox.calls[1].style, 16);
    EXPECT_TRUE(w->Modificato());
    EXPECT_EQ(w->Copia().aTelefono[0], "0212345");
}

TEST_F(SettingsDialog, AbandonAsksOnlyWhenChangedAndReloads) {
    Scrivi(Impostazioni());
    Apri();
    w->CmdAnnulla_Click();  // nothing changed: reloads without a question
    EXPECT_TRUE(t.msgbox.calls.empty());

    form.SetText(Ctl("ITelefono1"), "999");
    w->Modifica("ITelefono1");
    t.msgbox.answers = {kMsgNo};
    w->CmdAnnulla_Click();
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Abbandono le Modifiche ");
    EXPECT_EQ(t.msgbox.calls[0].style, 36);
    EXPECT_EQ(t.msgbox.calls[0].title, "Impostazioni");
    EXPECT_EQ(Testo("ITelefono1"), "999");

    t.msgbox.answers = {kMsgYes};
    w->CmdAnnulla_Click();
    EXPECT_EQ(Testo("ITelefono1"), "0212345");
    EXPECT_FALSE(w->Modificato());
}

TEST_F(SettingsDialog, ExitAndCloseAskOnceAboutChanges) {
    Scrivi(Impostazioni());
    Apri();
    w->CmdEsci_Click();
    EXPECT_EQ(chiusure, 1);
    EXPECT_TRUE(t.msgbox.calls.empty());

    w->Modifica("IPasswd");
    t.msgbox.answers = {kMsgNo};
    w->CmdEsci_Click();
    EXPECT_EQ(chiusure, 1);
    t.msgbox.answers = {kMsgNo};
    EXPECT_TRUE(w->Form_QueryUnload());  // No keeps the window
    t.msgbox.answers = {kMsgYes};
    w->CmdEsci_Click();
    EXPECT_EQ(chiusure, 2);
    EXPECT_EQ(t.msgbox.calls.size(), 3u);  // the close after Yes does not ask again
    EXPECT_EQ(t.end.calls, 0);
}

TEST_F(SettingsDialog, FunctionKeys) {
    Scrivi(Impostazioni());
    Apri();
    w->Modifica("IPasswd");
    for (int shift : {kBitShift, kBitCtrl, kBitAlt}) {
        Tasto(kTastoF1, shift);
        Tasto(kTastoF3, shift);
        Tasto(kTastoF10, shift);
    }
    Tasto(kTastoF5);
    EXPECT_TRUE(t.msgbox.calls.empty());
    int tasto = kTastoF1;
    w->Gestisci_Tasto_Funzione(tasto, kBitShift);
    EXPECT_EQ(tasto, kTastoF1 + 1000);

    t.msgbox.answers = {kMsgCancel};
    Tasto(kTastoF1);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls.back().title, "Salva Impostazioni");
    t.msgbox.answers = {kMsgNo};
    Tasto(kTastoF3);
    EXPECT_EQ(t.msgbox.calls.back().prompt, "Abbandono le Modifiche ");
    t.msgbox.answers = {kMsgYes};
    Tasto(kTastoF10);
    EXPECT_EQ(t.msgbox.calls.size(), 3u);
    EXPECT_EQ(chiusure, 1);
}

TEST_F(SettingsDialog, ConfigurationOnlyRun) {
    p.opzioni.bBlkCfg = true;
    p.opzioni.sGrossistaSelezionato = "0003";
    p.opzioni.sParametriBlkCfg = " Farmagross Sud";
    ASSERT_TRUE(ReplaceFileAtomically(dir / "MvnConn0003.par", TestoImpostazioni(Impostazioni())));
    Apri();
    EXPECT_EQ(w->FileImpostazioni(), dir / "MvnConn0003.par");
    EXPECT_EQ(Testo("IDescrizioneCollegamento"), "Farmagross Sud");
    EXPECT_FALSE(w->Modificato());

    w->CmdSalva_Click();
    EXPECT_EQ(menu, 0);  // no main window to rebuild
    std::string f;
    ReadWholeFile(dir / "MvnConn0003.par", f);
    EXPECT_EQ(f.rfind("Connect   :Farmagross Sud\r\n", 0), 0u) << f;

    w->Modifica("IPasswd");
    t.msgbox.answers = {kMsgNo};
    EXPECT_TRUE(w->Form_QueryUnload());
    EXPECT_EQ(t.end.calls, 0);
    t.msgbox.answers = {kMsgYes};
    Tasto(kTastoF10);
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_EQ(chiusure, 0);
    EXPECT_TRUE(p.sessione.bProgrammaTerminato);
    EXPECT_TRUE(FileExists(dir / "MorvenClient.end"));
}

TEST_F(SettingsDialog, ConfigurationRunWithoutChangesEndsOnF10AndKeepsTheDescription) {
    p.opzioni.bBlkCfg = true;
    p.opzioni.sGrossistaSelezionato = "0003";
    ASSERT_TRUE(ReplaceFileAtomically(dir / "MvnConn0003.par", TestoImpostazioni(Impostazioni())));
    Apri();
    EXPECT_EQ(Testo("IDescrizioneCollegamento"), "Farmagross Nord");  // no description given: the file's
    Tasto(kTastoF10);
    EXPECT_TRUE(t.msgbox.calls.empty());
    EXPECT_EQ(t.end.calls, 1);
}

TEST_F(SettingsDialog, NewSlotOpensWithDefaultsAndSaveCreatesItsFile) {
    t.dialup.available = false;
    p.impostazioni.aTelefono[0] = "di un altro grossista";
    Apri();
    EXPECT_EQ(Testo("ITelefono1"), "");
    EXPECT_EQ(Testo("IPorta"), "1121");
    EXPECT_EQ(Testo("CmbSPEED"), "57600");
    EXPECT_TRUE(Voci("CmbRAS").empty());
    form.SetText(Ctl("CmbRAS"), "Ufficio");  // no dial-up on this system: not saved
    form.SetText(Ctl("IDescrizioneCollegamento"), "Nuovo");
    w->CmdSalva_Click();
    const std::string f = Leggi();
    EXPECT_EQ(f.rfind("Connect   :Nuovo\r\n", 0), 0u) << f;
    EXPECT_NE(f.find("NomeRas   :\r\n"), std::string::npos) << f;
    EXPECT_NE(f.find("Interface :IFCK\r\n"), std::string::npos) << f;  // a new slot exchanges IFCK files
}

}  // namespace
}  // namespace morven
