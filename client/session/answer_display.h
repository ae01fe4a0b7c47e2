// The answer shown on the main window at the end of a session, as the session loop reaches it: the main
// window's behaviour implements the two displays, and the main window's view carries that behaviour
// (RiferimentiOggetti::oFrmMorven). The session knows nothing else of the window.
#pragma once

namespace morven {

struct Programma;

class MostraRisposte {
public:
    virtual ~MostraRisposte() = default;
    // The answer list, its labels and, after an order answer, the messages. Result: the list's.
    virtual bool MostraRispostaMancanti() = 0;
    // The documents tree (when documents were asked for) and the messages.
    virtual void MostraRispostaDocumenti() = 0;
};

// A main-window view that carries the window's answer displays.
class ConMostraRisposte {
public:
    virtual ~ConMostraRisposte() = default;
    virtual MostraRisposte* RisposteFinestra() = 0;
};

// The end steps' displays on the main window: the shortage or availability answer (DisplayMancanti) and the
// documents and messages. When the main window's view carries no displays (a bare view in a test of the
// loop), nothing is shown and the function log says so; the answers stay in their files.
bool DisplayMancantiFinestra(Programma& p);
void DisplayDocumentiFinestra(Programma& p);

}  // namespace morven
