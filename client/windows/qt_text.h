// The one crossing between the engine's Windows-1252 bytes and Qt's strings.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace morven {

QString DaCp1252(std::string_view bytes);
std::string ACp1252(const QString& text);

}  // namespace morven
