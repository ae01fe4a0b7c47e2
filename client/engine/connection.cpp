#include "client/engine/connection.h"

#include <stdexcept>
#include <string_view>

#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/programma.h"
#include "platform/dialup/dialup.h"

namespace morven {

namespace {

std::string Trim(std::string_view s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(' ');
    return std::string(s.substr(b, e - b + 1));
}

int SlotIndex(int tentativo, int perSlot) {
    if (tentativo < 1) tentativo = 1;
    return ((tentativo - 1) / perSlot) % 3;
}

}  // namespace

std::string VelocitaConnessione(const std::string& reply) {
    static constexpr std::pair<std::string_view, std::string_view> kTable[] = {
        {"300", "  300"},     {"1200", " 1200"},   {"2400", " 2400"},   {"4800", " 4800"},
        {"9600", " 9600"},    {"12000", "12000"}, {"14400", "14400"}, {"19200", "19200"},
        {"28800", "28800"}, {"31200", "31200"}, {"33600", "33600"}, {"57600", "57600"},
    };
    std::string speed = "-----";
    for (const auto& [found, stored] : kTable)
        if (reply.find(found) != std::string::npos) speed = std::string(stored);
    return speed;
}

std::string TelefonoPerTentativo(const std::array<std::string, 3>& telefoni, int tentativo) {
    return Trim(telefoni[SlotIndex(tentativo, 1)]);
}

HostPorta HostPerTentativo(const std::array<std::string, 3>& indirizzi, int porta, bool autoIncPorta, int tentativo) {
    if (!autoIncPorta) return {Trim(indirizzi[0]), porta};
    return {Trim(indirizzi[SlotIndex(tentativo, 2)]), porta + (tentativo < 1 ? 0 : tentativo - 1)};
}

}  // namespace morven

// ---------------------------------------------------------------------------------------------------------
// Dial-up entries

namespace morven {

bool FillRasEntryList(Programma& p, std::vector<std::string>& combo) {
    try {
        for (const auto& e : p.Ras().Entries()) combo.push_back(e);
        return true;
    } catch (...) {
        return false;  // no dial-up service: the choice stays empty, nothing is logged
    }
}

bool IsRasEntryConnected(Programma& p, const std::string& name) {
    return EseguiProcedura(p, "IsRasEntryConnected", false, [&] {
        for (const auto& c : p.Ras().Connections())
            if (c == name) return true;
        return false;
    });
}

bool DialRasEntry(Programma& p, const std::string& name, int timeout) {
    return EseguiProcedura(p, "DialRasEntry", false, [&] {
        if (name.empty() || IsRasEntryConnected(p, name)) return true;
        auto& ras = p.Ras();
        if (!ras.StartDial(name)) {
            ScriviLogFunzione(p, "DialRasEntry :connessione " + name + " non avviata");
            return false;
        }
        const auto start = p.Orologio().MonotonicMs();
        bool dialling = true;
        while ((dialling = ras.Dialling()) && p.Orologio().MonotonicMs() - start < std::int64_t{timeout} * 1000)
            p.Pump().process();
        // A dialler still trying at the limit is stopped, so no link comes up behind the session's back.
        if (dialling) ras.HangUp(name);
        const bool result = IsRasEntryConnected(p, name);
        WaitMilliseconds(p, 5000);
        return result;
    });
}

bool HangUpRasEntry(Programma& p, const std::string& name) {
    return EseguiProcedura(p, "HangUpRasEntry", false, [&] {
        if (name.empty()) return true;
        auto& ras = p.Ras();
        bool any = false;
        for (const auto& c : ras.Connections())
            if (c == name && ras.HangUp(c)) any = true;
        return any;
    });
}

PppDialUp::PppDialUp() : impl_(std::make_unique<PppDialup>()) {}
PppDialUp::PppDialUp(const DialupPaths& paths) : impl_(std::make_unique<PppDialup>(paths)) {}
PppDialUp::~PppDialUp() = default;

std::vector<std::string> PppDialUp::Entries() {
    auto e = impl_->Entries();
    if (!e) throw std::runtime_error("Servizio di connessione remota non disponibile");
    return *e;
}
std::vector<std::string> PppDialUp::Connections() { return impl_->Connections(); }
bool PppDialUp::StartDial(const std::string& entry) { return impl_->StartDial(entry); }
bool PppDialUp::Dialling() { return impl_->Dialling(); }
bool PppDialUp::HangUp(const std::string& entry) { return impl_->HangUp(entry); }

}  // namespace morven
