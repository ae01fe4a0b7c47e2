// FrmImpostazioni as the pharmacist meets it, offscreen: the form's controls and layouts, edits that count
// and fillings that don't, the interlocks through real clicks, save with F1 read back byte for byte,
// abandon with F3, the modal window from the menu and a configuration-only run that saves and ends.
//
// With MORVEN_DOCS_DIR set, the test of the link modes saves a picture of the window for each of them:
//   MORVEN_DOCS_DIR=$PWD/docs QT_QPA_PLATFORM=offscreen build/bin/client_windows_tests
//       --gtest_filter='FrmImpostazioniTest.EachLinkMode*'
#include "client/windows/frm_impostazioni.h"

#include "client/engine/message_box.h"
#include "client/engine/settings.h"
#include "client/presenters/keys.h"
#include "tests/client/windows/qt_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace morven {
namespace {

using morven::testing::App;

// The widget is an item of the layout or of one nested in it.
bool NelLayout(QLayout* l, QWidget* w) {
    for (int i = 0; i < l->count(); ++i) {
        QLayoutItem* it = l->itemAt(i);
        if (it->widget() == w) return true;
        if (it->layout() && NelLayout(it->layout(), w)) return true;
    }
    return false;
}

ImpostazioniGrossista Impostazioni() {
    ImpostazioniGrossista s;
    s.sConnect = "Farmagross Nord";
    s.sCodiceCliente = "009876500";
    s.aTelefono = {"0212345", "", ""};
    s.aIndirizzoIp = {"127.0.0.1", "127.0.0.1", "127.0.0.1"};
    s.sInterfaccia = "ORDINE";
    s.bModeIFCK = false;
    return s;
}

struct FrmImpostazioniTest : morven::testing::WindowFixture {
    std::unique_ptr<FrmImpostazioni> d;

    void TearDown() override {
        d.reset();
        WindowFixture::TearDown();
    }
    void ScriviSlot(const std::string& slot, const ImpostazioniGrossista& s) {
        Scrivi("MvnConn" + slot + ".par", TestoImpostazioni(s));
    }
    void ApriDialogo(const std::string& slot = "03") {
        p.opzioni.sGrossistaSelezionato = slot;
        d = std::make_unique<FrmImpostazioni>(p, CollegamentiFrmImpostazioni{});
        d->Carica();
        d->show();
        QCoreApplication::processEvents();
    }
    template <class T = QWidget>
    T* C(const char* nome) {
        T* w = d->findChild<T*>(QString(nome) + "_0");
        EXPECT_NE(w, nullptr) << nome;
        return w;
    }
    void Premi(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* f = QApplication::focusWidget();
        QTest::keyClick(f && f->window() == d.get() ? f : C("IDescrizioneCollegamento"), k, m);
    }
    // A click on the box's caption (a box may be wider than its caption in its grid cell).
    void Clicca(const char* nome) {
        QWidget* w = C(nome);
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
    }
    void Foto(const std::string& nome) {
        const QByteArray cartella = qgetenv("MORVEN_DOCS_DIR");
        if (cartella.isEmpty()) return;
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
        d->grab().save(QString::fromLocal8Bit(cartella) + "/" + QString::fromStdString(nome), "PNG");
    }
};

TEST_F(FrmImpostazioniTest, EveryControlHasItsNameAndALayout) {
    ApriDialogo();
    const char* controlli[] = {
        "IDescrizioneCollegamento", "ICodiceCliente", "ICodGrossista", "lblCodGrossista", "IPasswd", "IUser",
        "LblPassword", "LbUser", "CmbRAS", "ITelefono1", "ITelefono2", "ITelefono3", "IIp1", "IIp2", "IIp3",
        "IPorta", "LblPorta", "ChkIncrementoPorta", "CmbCOM", "CmbSPEED", "CmbSetting", "ISettaggioModem",
        "ChkInternet", "ChkMisto", "ChkModeFTP", "ChkCompatibilita2003", "ChkChiusuraAutomatica", "ChkBrowser",
        "ChkExtBrowser", "ChkDisplay", "ChkInvioMessaggio", "ChkMotivazioniCPJ", "ChkTcpDirect", "OptIFCK",
        "OptOrdine", "OptPosta", "ChkRichiestaDatiConsegna", "ChkAccettazioneAllineamentoACollo",
        "ChkAccettazioneProdottoSostitutivo", "ChkAccettazioneConsegnaDifferita", "ChkOrdineValorizzato",
        "ChkSoloMancanti", "ChkDisponibilita", "ChkRicDocumenti", "ChkOrdinePht", "CmbTipoCollegamento",
        "FrameIFCK", "FrameOrdine", "FramePosta", "FrameInternet", "FrameTelefono", "LblSpazioRosso",
        "LblSpazioGrigio", "CmdSalva", "CmdAnnulla", "CmdEsci", "ITimeMaxOrd", "ITimeMaxRxP", "ITimeMaxTxP",
        "ITmConnNor", "ITmConnInt", "ITmConnRas", "IFtpDelay", "IFtpRetry", "IStorico"};
    for (const char* c : controlli) C(c);
    for (const CampoNumerico& n : kCampiNumerici) C(std::string(n.controllo).c_str());
    // No absolute positions: every widget of the form sits in its parent's layout.
    for (QWidget* w : d->findChildren<QWidget*>()) {
        if (w->isWindow() || !w->parentWidget() || w->parentWidget()->inherits("QComboBox")) continue;
        if (w->objectName().startsWith("qt_") || w->objectName().isEmpty()) continue;
        ASSERT_NE(w->parentWidget()->layout(), nullptr) << w->objectName().toStdString();
        EXPECT_TRUE(NelLayout(w->parentWidget()->layout(), w)) << w->objectName().toStdString();
    }
    EXPECT_FALSE(C<QComboBox>("CmbTipoCollegamento")->isEditable());
    EXPECT_EQ(C<QLineEdit>("IPasswd")->echoMode(), QLineEdit::Password);
}

TEST_F(FrmImpostazioniTest, FillingIsNotAnEditButTypingIs) {
    ScriviSlot("03", Impostazioni());
    ApriDialogo();
    EXPECT_FALSE(d->Eventi().Modificato());
    EXPECT_EQ(C<QLineEdit>("ITelefono1")->text(), "0212345");
    EXPECT_EQ(C<QComboBox>("CmbTipoCollegamento")->currentText(), "ORDINE");
    EXPECT_EQ(C<QComboBox>("CmbCOM")->currentText(), "Com1");
    EXPECT_EQ(C<QLineEdit>("ICodiceCliente")->maxLength(), 9);

    // A text the interface list does not hold leaves it as it was.
    EXPECT_THROW(d->Vista().SetText(Ctl("CmbTipoCollegamento"), "OLTREMA"), ErroreMorven);
    EXPECT_EQ(C<QComboBox>("CmbTipoCollegamento")->currentText(), "ORDINE");

    QTest::keyClicks(C("ITelefono2"), "x");
    EXPECT_TRUE(d->Eventi().Modificato());
}

TEST_F(FrmImpostazioniTest, InterlocksThroughClicks) {
    ImpostazioniGrossista s = Impostazioni();
    s.bModeIFCK = true;
    s.bModoInternet = true;
    s.bCompMvn = true;
    ScriviSlot("03", s);
    ApriDialogo();
    EXPECT_TRUE(C("FrameIFCK")->isVisible());
    EXPECT_FALSE(C("FrameOrdine")->isVisible());

    Clicca("ChkDisponibilita");
    Clicca("ChkOrdinePht");
    EXPECT_FALSE(C<QCheckBox>("ChkDisponibilita")->isChecked());
    EXPECT_TRUE(C<QCheckBox>("ChkOrdinePht")->isChecked());
    EXPECT_TRUE(d->Eventi().Modificato());

    Clicca("ChkInternet");
    EXPECT_FALSE(C("IPasswd")->isVisible());
    EXPECT_FALSE(C("OptIFCK")->isVisible());
    EXPECT_FALSE(C("IIp1")->isEnabled());
    EXPECT_TRUE(C("ITelefono1")->isEnabled());

    Clicca("OptOrdine");
    EXPECT_TRUE(C("FrameOrdine")->isVisible());
    EXPECT_FALSE(C("FrameIFCK")->isVisible());
    EXPECT_FALSE(C<QRadioButton>("OptIFCK")->isChecked());

    auto* tipo = C<QComboBox>("CmbTipoCollegamento");
    tipo->setCurrentIndex(tipo->findText("CPJ"));
    emit tipo->activated(tipo->currentIndex());
    EXPECT_TRUE(C("ICodGrossista")->isVisible());
    EXPECT_EQ(C<QLineEdit>("ICodiceCliente")->maxLength(), 7);
    EXPECT_EQ(C<QComboBox>("CmbSetting")->currentText(), "E,7,1");
}

TEST_F(FrmImpostazioniTest, F1SavesAFileThatReadsBackByteForByte) {
    ScriviSlot("03", Impostazioni());
    ApriDialogo();
    C<QLineEdit>("IDescrizioneCollegamento")->clear();
    QTest::keyClicks(C("IDescrizioneCollegamento"), "Farmagross Sud");
    C<QLineEdit>("ICodiceCliente")->clear();
    QTest::keyClicks(C("ICodiceCliente"), "98765432");
    C<QLineEdit>("IPorta")->clear();
    QTest::keyClicks(C("IPorta"), "4000");
    C<QLineEdit>("IIp3")->clear();
    Premi(Qt::Key_F1);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].title, "Salva Impostazioni");
    EXPECT_FALSE(d->Eventi().Modificato());

    const std::string salvato = Leggi("MvnConn03.par");
    EXPECT_EQ(salvato.rfind("Connect   :Farmagross Sud\r\nCode      :987654320\r\n", 0), 0u) << salvato;
    EXPECT_NE(salvato.find("Porta     :4000\r\n"), std::string::npos) << salvato;
    EXPECT_EQ(C<QLineEdit>("ICodiceCliente")->text(), "987654320");
    // What the file says, written again, is the same file.
    TestProgram altro{dir.path()};
    ASSERT_TRUE(LeggiImpostazioni(altro.p, dir / "MvnConn03.par"));
    EXPECT_EQ(TestoImpostazioni(altro.p.impostazioni), salvato);
}

TEST_F(FrmImpostazioniTest, F3AbandonsChangesAfterTheQuestion) {
    ScriviSlot("03", Impostazioni());
    ApriDialogo();
    QTest::keyClicks(C("ITelefono2"), "555");
    t.msgbox.answers = {kMsgNo};
    Premi(Qt::Key_F3);
    EXPECT_EQ(C<QLineEdit>("ITelefono2")->text(), "555");
    Premi(Qt::Key_F3, Qt::ShiftModifier);  // not a key of the window
    EXPECT_EQ(t.msgbox.calls.size(), 1u);
    t.msgbox.answers = {kMsgYes};
    Premi(Qt::Key_F3);
    EXPECT_EQ(C<QLineEdit>("ITelefono2")->text(), "");
    EXPECT_FALSE(d->Eventi().Modificato());
    // Escape is the close box: the closing question would come first, but nothing is changed now.
    Premi(Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(t.end.calls, 0);
}

TEST_F(FrmImpostazioniTest, ModalFromTheMenuRebuildsTheMenuAfterSaving) {
    std::unique_ptr<FrmImpostazioni> modale;
    c.MostraImpostazioni = [&](bool m) { MostraFrmImpostazioni(p, *w, modale, m); };
    Apri();
    w->Carica("");
    bool visto = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(modale);
        visto = modale->isVisible() && modale->isModal();
        auto* descrizione = modale->findChild<QLineEdit*>("IDescrizioneCollegamento_0");
        QTest::keyClicks(descrizione, "Farmagross Ovest");
        QTest::keyClick(descrizione, Qt::Key_F1);
        QTest::keyClick(descrizione, Qt::Key_F10);
    });
    w->Eventi().SmartMenu_ItemClick("MNU_SET_GROSS2");
    EXPECT_TRUE(visto);
    EXPECT_FALSE(modale->isVisible());
    EXPECT_EQ(w->Vista().Text("MNU_CON_GROSS2"), "Farmagross Ovest");
    EXPECT_TRUE(w->Vista().Enabled("MNU_CON_GROSS2"));
    EXPECT_EQ(p.impostazioni.sConnect, "");  // the running program's settings are untouched
    EXPECT_EQ(t.end.calls, 0);
    modale.reset();
}

TEST_F(FrmImpostazioniTest, ConfigurationOnlyRunSavesAndEnds) {
    c.MostraImpostazioni = [&](bool m) { MostraFrmImpostazioni(p, *w, d, m); };
    Apri();
    w->Carica("/BLKCFG:0003 Farmagross Sud");
    ASSERT_TRUE(d);
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->isModal());
    EXPECT_EQ(C<QLineEdit>("IDescrizioneCollegamento")->text(), "Farmagross Sud");
    QTest::keyClicks(C("ITelefono1"), "0299");
    Premi(Qt::Key_F1);
    EXPECT_EQ(Leggi("MvnConn0003.par").rfind("Connect   :Farmagross Sud\r\n", 0), 0u);
    EXPECT_NE(Leggi("MvnConn0003.par").find("Phone 1   :0299\r\n"), std::string::npos);
    EXPECT_EQ(t.end.calls, 0);
    Premi(Qt::Key_F10);
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_TRUE(FileExists(dir / "MorvenClient.end"));
}

TEST_F(FrmImpostazioniTest, EachLinkModeShowsItsControls) {
    struct Caso {
        const char* foto;
        const char* modo;  // the Mode line
        const char* interfaccia;
        bool ifck;
        const char* frame;
        bool telefono, internet;
    };
    const Caso casi[] = {
        {"settings-modem.png", "NORMALE", "ORDINE", false, "FrameOrdine", true, false},
        {"settings-internet.png", "INTERNET", "NOTIZIE", false, "FrameOrdine", false, true},
        {"settings-mixed.png", "MISTO", "ORDINE", false, "FrameOrdine", true, true},
        {"settings-ftp-ifck.png", "FTP", "IFCK", true, "FrameIFCK", false, true},
        {"settings-mail.png", "INTERNET", "POSTA", false, "FramePosta", false, true},
    };
    for (const Caso& k : casi) {
        SCOPED_TRACE(k.foto);
        ImpostazioniGrossista s = Impostazioni();
        s.sConnect = std::string("Farmagross Nord - ") + k.modo;
        s.bModeIFCK = k.ifck;
        s.bCompMvn = k.ifck;
        s.bSoloManc = k.ifck;
        s.sInterfaccia = k.interfaccia;
        s.aTelefono = {"0212345", "0212346", ""};
        s.aIndirizzoIp = {"127.0.0.1", "127.0.0.2", "127.0.0.1"};
        s.sUser = "farmacia";
        s.sPassword = "segreta";
        std::string testo = TestoImpostazioni(s);
        const std::string mode = "Mode      :NORMALE";
        testo.replace(testo.find(mode), mode.size(), std::string("Mode      :") + k.modo);
        Scrivi("MvnConn03.par", testo);
        ApriDialogo();
        for (const char* f : {"FrameOrdine", "FrameIFCK", "FramePosta"})
            EXPECT_EQ(C(f)->isVisible(), f == std::string(k.frame)) << f;
        EXPECT_EQ(C("ITelefono1")->isEnabled(), k.telefono);
        EXPECT_EQ(C("IIp1")->isEnabled(), k.internet);
        EXPECT_EQ(C("IUser")->isVisible(), k.internet);
        EXPECT_FALSE(d->Eventi().Modificato());
        Foto(k.foto);
        d.reset();
    }
}

}  // namespace
}  // namespace morven
