// The request windows of a call: the document request FrmRicDocumenti, the PHT order window FrmOrdinePht
// and the message composer FrmMessaggio, as Designer forms (frmricdocumenti.ui, frmordinepht.ui,
// frmmessaggio.ui). Each forwards its events and function keys to its behaviour in client/presenters and
// gives it the view of its controls; DialoghiQt opens them modally for the call driver.
#pragma once

#include "client/session/call_driver.h"
#include "client/presenters/pht_order_window.h"
#include "client/presenters/request_dialogs.h"
#include "client/windows/qt_view.h"

#include <QDialog>

#include <memory>

namespace Ui {
class FrmRicDocumenti;
class FrmMessaggio;
class FrmOrdinePht;
}  // namespace Ui

namespace morven {

struct Programma;

// The view of the document request: the date picker's text is its date as "dd/mm/yyyy".
class VistaFrmRicDocumenti : public QtView {
public:
    using QtView::QtView;
    void SetText(std::string_view control, std::string_view text) override;
    std::string Text(std::string_view control) const override;
};

class FrmRicDocumenti : public QDialog {
    Q_OBJECT
public:
    explicit FrmRicDocumenti(Programma& p, QWidget* parent = nullptr);
    ~FrmRicDocumenti() override;
    QtView& Vista() { return vista_; }
    EventiFrmRicDocumenti& Eventi() { return *eventi_; }

public slots:
    // The close box and Escape close the window and change nothing in the request; only Annulla [F3]
    // cancels it.
    void reject() override;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    std::unique_ptr<Ui::FrmRicDocumenti> ui_;
    VistaFrmRicDocumenti vista_;
    std::unique_ptr<EventiFrmRicDocumenti> eventi_;
};

class FrmMessaggio : public QDialog {
    Q_OBJECT
public:
    explicit FrmMessaggio(Programma& p, QWidget* parent = nullptr);
    ~FrmMessaggio() override;
    QtView& Vista() { return vista_; }
    EventiFrmMessaggio& Eventi() { return *eventi_; }

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    std::unique_ptr<Ui::FrmMessaggio> ui_;
    QtView vista_;
    std::unique_ptr<EventiFrmMessaggio> eventi_;
};

class FrmOrdinePht : public QDialog {
    Q_OBJECT
public:
    explicit FrmOrdinePht(Programma& p, QWidget* parent = nullptr);
    ~FrmOrdinePht() override;
    QtView& Vista() { return vista_; }
    EventiFrmOrdinePht& Eventi() { return *eventi_; }

public slots:
    // Escape and the close box ask as Uscita [F10] does: the rows are never lost without a question.
    void reject() override;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    std::unique_ptr<Ui::FrmOrdinePht> ui_;
    QtView vista_;
    std::unique_ptr<EventiFrmOrdinePht> eventi_;
};

// Opens the request windows modally over `padre`. In a batch run without a screen each is answered as
// cancelled at once and logged, so the run goes on to its end.
class DialoghiQt : public DialoghiRichiesta {
public:
    explicit DialoghiQt(QWidget* padre = nullptr) : padre_(padre) {}
    void RicDocumenti(Programma& p) override;
    bool OrdinePht(Programma& p) override;
    void Messaggio(Programma& p) override;

private:
    QWidget* padre_;
};

}  // namespace morven
