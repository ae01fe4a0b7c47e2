// The engine's View over a Qt widget tree: a control is the child (widget, action or timer) whose objectName
// is the control's id, with an element of a control array "Name(i)" named "Name_i". What a property means
// follows the control's kind: the caption of a label, button or action, the text of a text box, the value
// of a progress bar, the interval of a timer (Enabled starts and stops it). A control that does not exist,
// or a property the control does not have, is error 438, which the caller's boundary logs.
#pragma once

#include "client/engine/ports.h"
#include "platform/core/clock.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <string>

class QObject;

namespace morven {

// The objectName of a control id: "CmdChiudi(0)" -> "CmdChiudi_0".
QString NomeOggetto(std::string_view controllo);

class QtView : public View {
public:
    explicit QtView(QWidget* radice);

    bool IsShown() const override;
    void Show() override;
    void Hide() override;
    void Refresh() override;
    void SetCaption(std::string_view text) override;
    std::string Caption() const override;

    void SetText(std::string_view control, std::string_view text) override;
    std::string Text(std::string_view control) const override;
    void SetVisible(std::string_view control, bool visible) override;
    bool Visible(std::string_view control) const override;
    void SetEnabled(std::string_view control, bool enabled) override;
    bool Enabled(std::string_view control) const override;
    void SetValue(std::string_view control, int value) override;
    int Value(std::string_view control) const override;
    void SetMax(std::string_view control, int max) override;
    int Max(std::string_view control) const override;
    void SetForeColor(std::string_view control, std::uint32_t color) override;
    void SetBackColor(std::string_view control, std::uint32_t color) override;

    std::vector<ControlInfo> Controls() const override;

    ListModel& List(std::string_view control) override;
    void ListChanged(std::string_view control) override;
    void AutoSizeColumns(std::string_view control) override;
    TreeModel& Tree(std::string_view control) override;
    void TreeChanged(std::string_view control) override;

    void Navigate(std::string_view browser, std::string_view address) override;

    QWidget* Radice() const { return radice_; }
    // The object of a control; nullptr when none.
    QObject* Oggetto(std::string_view control) const;

    // How a menu entry without a caption is shown (the entry keeps its empty caption for Text).
    std::function<QString(const QString& nome)> testoVoceVuota;
    // The clock a timer's interval runs on: its milliseconds last as long as the program's clock says, so
    // a faster clock (the whole program run on a test clock) shortens a timer as it does every other pause
    // of the program. Without one (and with the machine's clock) a timer runs on real milliseconds. The
    // interval reads back as it was set.
    const Clock* orologio = nullptr;

private:
    QObject* Richiedi(std::string_view control) const;

    QPointer<QWidget> radice_;
    // The objects of the controls already looked up, with the object name they were found by (Oggetto).
    struct Trovato {
        QPointer<QObject> oggetto;
        QString nome;
    };
    mutable std::map<std::string, Trovato, std::less<>> trovati_;
    std::map<std::string, ListModel, std::less<>> liste_;
    std::map<std::string, TreeModel, std::less<>> alberi_;
};

// Colour value &HBBGGRR as a QColor. A system colour (&H80000000 + element) is the colour `tavolozza` gives
// that display element (the application's palette when none is given): &H80000000, the grey of a field that
// can't be filled, is the palette's disabled background.
QColor ColoreQt(std::uint32_t colore, const QPalette& tavolozza);
QColor ColoreQt(std::uint32_t colore);

}  // namespace morven
