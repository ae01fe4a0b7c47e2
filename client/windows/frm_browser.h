// frmbrowser, the browser window: the Designer form frmbrowser.ui with its embedded browser WebBrowser1, the
// status line status and the progress bar Avanzamento, which follow every transfer with the main window's
// (its view is RiferimentiOggetti::oFrmBrowser). It covers three quarters of the screen when loaded, keeps
// its controls to the window's width and height by the rules of client/presenters/browser_window.h, and a user
// who closes it turns the session's page display off.
#pragma once

#include "client/windows/qt_view.h"

#include <QWidget>

#include <memory>
#include <string>

namespace Ui {
class frmbrowser;
}

namespace morven {

struct Programma;

class FrmBrowser : public QWidget {
    Q_OBJECT
public:
    explicit FrmBrowser(Programma& p, QWidget* parent = nullptr);
    ~FrmBrowser() override;

    QtView& Vista() { return vista_; }

    // Shows the window with `indirizzo` in its browser.
    void MostraPagina(const std::string& indirizzo);

    // Twips per pixel of the window's screen.
    double Twips() const;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Form_Load();
    void Form_Resize();

    std::unique_ptr<Ui::frmbrowser> ui_;
    Programma& p_;
    QtView vista_;
};

}  // namespace morven
