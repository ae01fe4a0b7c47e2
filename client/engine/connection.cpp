#include "client/engine/connection.h"

#include <string_view>

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
