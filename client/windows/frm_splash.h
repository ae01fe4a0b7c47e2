// frmSplash, the information window of "Morven > Informazioni": the Designer form frmsplash.ui with the logo
// (the program's name in LCD glyphs), two fixed lines and the message line the caller writes with
// ScriviMessaggio. A click or any key closes it.
#pragma once

#include "client/windows/mc_lcd.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string_view>

namespace Ui {
class frmSplash;
}

namespace morven {

struct Programma;

class FrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit FrmSplash(Programma& p, QWidget* parent = nullptr);
    ~FrmSplash() override;

    // lblWarning gets `testo` (Windows-1252) in the colour `colore` (&HBBGGRR); pending events are processed
    // so it is drawn, then the program waits 200 ms. A colour that is no RGB value (negative, or above
    // &HFFFFFF) is logged under "ScriviMessaggio :" and nothing is written. True when written.
    bool ScriviMessaggio(std::string_view testo, std::int64_t colore);

protected:
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    std::unique_ptr<Ui::frmSplash> ui_;
    Programma& p_;
    McLCD logo_;
};

}  // namespace morven
