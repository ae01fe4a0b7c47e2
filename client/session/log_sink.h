// Where the exchange procedures leave their error lines. The program passes its function log here; the
// sink receives the message only ("Name :description"), the log writer adds the date and time in front.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace morven {

using LogFunzione = std::function<void(std::string_view)>;

// Writes "Name :description" (nothing between the colon and the description) to the sink, if there is one.
inline void ScriviErrore(const LogFunzione& log, std::string_view nome, std::string_view descrizione) {
    if (!log) return;
    std::string riga;
    riga.reserve(nome.size() + 2 + descrizione.size());
    riga.append(nome).append(" :").append(descrizione);
    log(riga);
}

}  // namespace morven
