// A wholesaler in the test's own thread, on the in-memory socket: every line the client sends (decoded from
// the TCP shift) is recorded and handed to `risponde`, whose lines go back shifted.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "client/engine/line_io.h"
#include "client/engine/testing/fakes.h"

namespace morven::testing {

struct GrossistaFinto {
    std::vector<std::string> ricevute;
    std::function<std::vector<std::string>(const std::string&)> risponde;

    void Collega(FakeTcpSocket& s) {
        s.state = TcpSocket::sckConnected;
        s.onSend = [this](FakeTcpSocket& sock, std::string_view bytes) {
            std::string line(bytes);
            if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.resize(line.size() - 2);
            if (line.rfind("AEIO", 0) != 0) line = DecodificaTcp(line);
            ricevute.push_back(line);
            if (risponde)
                for (const auto& r : risponde(line)) sock.Feed((r.rfind("AEIO", 0) == 0 ? r : CodificaTcp(r)) + "\r\n");
        };
    }
};

}  // namespace morven::testing
