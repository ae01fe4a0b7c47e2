#include "client/engine/shortage_receive.h"

#include "platform/core/text.h"

namespace morven {

int LunghezzaVoceMancanti(int nTipoInterfaccia, bool bOpzioneTestata3) {
    if (nTipoInterfaccia == 1) return 13;
    if (nTipoInterfaccia == 2 || nTipoInterfaccia == 3) return bOpzioneTestata3 ? 62 : 42;
    return 0;
}

RigheRisposta RigheVoceMancanti(const std::string& voce, int nTipoInterfaccia, bool bOpzioneTestata3) {
    const int len = LunghezzaVoceMancanti(nTipoInterfaccia, bOpzioneTestata3);
    const std::string v = PadRight(voce, len);
    RigheRisposta r;
    if (len == 13) {
        r.rst = v;
        r.man = v + std::string(29, ' ');
        r.ma1 = *r.man + std::string(20, ' ');
    } else if (len == 42) {
        r.rst = Left(v, 13);
        r.man = v;
        r.ma1 = v + std::string(20, ' ');
    } else if (len == 62) {
        if (Mid(v, 42, 1) != "@") {
            r.rst = Left(v, 13);
            r.man = Left(v, 42);
        }
        r.ma1 = v;
    }
    return r;
}

RigheRisposta RigheVoceComproject(const std::string& voce) {
    const std::string v = PadRight(voce, 41);
    RigheRisposta r;
    r.rst = Mid(v, 1, 9) + "0" + Mid(v, 10, 3);
    r.man = *r.rst + Mid(v, 14, 28) + Mid(v, 13, 1);
    r.ma1 = *r.man + std::string(20, ' ');
    return r;
}

std::string TestataManLORQ(const std::string& codiceCliente, const std::string& riferimento) {
    return codiceCliente + riferimento + std::string(29, ' ');
}

std::string TestataManCPJ(const std::string& codiceCliente) { return Left(codiceCliente, 9) + std::string(33, ' '); }

}  // namespace morven
