#include "client/engine/ports.h"

#include "platform/core/desktop.h"

namespace morven {

std::string ControlId(std::string_view name, int index) {
    std::string id(name);
    if (index >= 0) id += "(" + std::to_string(index) + ")";
    return id;
}

std::string SystemDesktop::TempDirectory() { return morven::TempDirectory(); }

std::string SystemDesktop::DefaultBrowser(int& code) { return FindDefaultBrowser(code); }

}  // namespace morven
