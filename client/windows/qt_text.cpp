#include "client/windows/qt_text.h"

#include "platform/core/codepage.h"

namespace morven {

QString DaCp1252(std::string_view bytes) { return QString::fromStdString(Cp1252ToUtf8(bytes)); }
std::string ACp1252(const QString& text) { return Utf8ToCp1252(text.toStdString()); }

}  // namespace morven
