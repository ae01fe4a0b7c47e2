// The settings window's controls as its form lays them out, on a recording view: the frames' contents matter
// to the interlocks.
#pragma once

#include <utility>
#include <vector>

#include "client/engine/testing/fakes.h"
#include "client/presenters/settings_dialog.h"

namespace morven {

inline void DichiaraControlli(FakeView& v) {
    const std::pair<const char*, std::vector<const char*>> frames[] = {
        {"FrameInternet", {"IIp1", "IIp2", "IIp3", "CmbRAS", "ChkChiusuraAutomatica"}},
        {"FrameTelefono", {"ITelefono1", "ITelefono2", "ITelefono3", "CmbCOM", "CmbSPEED", "CmbSetting",
                           "ISettaggioModem"}},
        {"FrameIFCK", {"ChkModeFTP", "ChkCompatibilita2003", "ChkDisponibilita", "ChkRicDocumenti", "ChkOrdinePht"}},
        {"FrameOrdine", {"CmbTipoCollegamento", "ChkMotivazioniCPJ"}},
        {"FramePosta", {"ChkTcpDirect"}},
    };
    for (const auto& [frame, controlli] : frames) {
        v.AddControl({Ctl(frame), {}, -1, true});
        for (const char* c : controlli) v.AddControl({Ctl(c), frame, 0, true});
    }
    for (const char* c : {"IPorta", "LblPorta", "ChkIncrementoPorta", "ChkInternet", "ChkMisto", "OptIFCK"})
        v.AddControl({Ctl(c), {}, -1, true});
}

}  // namespace morven
