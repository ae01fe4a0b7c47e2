#include <gtest/gtest.h>

#include "client/engine/connection.h"

namespace morven {
namespace {

TEST(ConnectionTablesTest, SpeedTextLaterMatchWins) {
    const std::pair<const char*, const char*> rows[] = {
        {"CONNECT 300", "  300"},   {"CONNECT 1200", " 1200"},   {"CONNECT 31200", "31200"},
        {"CONNECT 33600/ARQ", "33600"}, {"CONNECT 57600", "57600"}, {"CONNECT 115200", "-----"},
        {"CONNECT 38400", "-----"}, {"CONNECT", "-----"},        {"CONNECT 14400", "14400"},
    };
    for (const auto& [reply, speed] : rows) EXPECT_EQ(VelocitaConnessione(reply), speed) << reply;
}

TEST(ConnectionTablesTest, NumberByModemAttempt) {
    const std::array<std::string, 3> tel = {" 111 ", "222", "333"};
    const char* want[] = {"111", "222", "333", "111", "222", "333"};
    for (int a = 1; a <= 6; ++a) EXPECT_EQ(TelefonoPerTentativo(tel, a), want[a - 1]) << a;
}

TEST(ConnectionTablesTest, HostAndPortByTcpAttempt) {
    const std::array<std::string, 3> ip = {" h1 ", "h2", "h3"};
    const char* host[] = {"h1", "h1", "h2", "h2", "h3", "h3", "h1", "h1", "h2", "h2", "h3", "h3", "h1", "h1", "h2", "h2"};
    for (int a = 1; a <= 16; ++a) {
        EXPECT_EQ(HostPerTentativo(ip, 1121, true, a), (HostPorta{host[a - 1], 1121 + a - 1})) << a;
        EXPECT_EQ(HostPerTentativo(ip, 1121, false, a), (HostPorta{"h1", 1121})) << a;
    }
    EXPECT_EQ(HostPerTentativo(ip, 1121, true, 9), (HostPorta{"h2", 1129}));
}

}  // namespace
}  // namespace morven
