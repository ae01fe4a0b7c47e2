// ctlhost: a control container for the command line. It registers a component library, creates a control
// by ProgID through the registry and the loader, sets properties by name, runs ActionGT, and prints the
// result, every event it received (with its arguments by name) and the properties it reads back. Events'
// by-reference arguments can be answered from the command line.
//
//   ctlhost [--registry FILE] [--register LIB] [--unregister LIB] [--progid NAME
//           [--set NAME=VALUE]... [--answer EVENT.ARG=VALUE]... [--action N] [--get NAME]...]
//
// Values: flags take true/false or a number; numbers are decimal; "hex:0A1B" gives a byte array (for
// MemoryBlock); anything else is text. Output lines:
//   register LIB: 0x00000000
//   created NAME
//   set NAME: 0x00000000
//   event NAME ARG=VALUE ...
//   action N: 0x00000000
//   ErrorCode=N
//   NAME=VALUE
// Exit status: 0 when every step succeeded (an action with ErrorCode other than 0 still counts as done), 1
// on a failed step, 2 on bad arguments.
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/com/client.h"
#include "platform/com/loader.h"

using namespace morven::com;

namespace {

std::string Hr(HRESULT hr) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", static_cast<unsigned>(hr));
    return b;
}

std::string Quote(const std::string& s) {
    std::string r = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') r += '\\';
        if (c < 32) {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02X", c);
            r += b;
        } else {
            r += static_cast<char>(c);
        }
    }
    return r + "\"";
}

std::string Show(const VARIANT& given) {
    Variant v;
    VariantCopyInd(&v, &given);
    switch (v.vt) {
        case VT_EMPTY: return "(empty)";
        case VT_NULL: return "(null)";
        case VT_BSTR: return Quote(Utf8FromBstr(v.bstrVal));
        case VT_BOOL: return v.boolVal ? "true" : "false";
        case VT_ARRAY | VT_UI1: {
            std::string r = "hex:";
            std::int32_t hi = -1;
            SafeArrayGetUBound(v.parray, 1, &hi);
            for (std::int32_t i = 0; i <= hi; ++i) {
                char b[4];
                std::snprintf(b, sizeof b, "%02X", static_cast<unsigned char*>(v.parray->pvData)[i]);
                r += b;
            }
            return r;
        }
        default: return v.AsUtf8();
    }
}

Variant Parse(const std::string& text, VARTYPE vt) {
    if (text.rfind("hex:", 0) == 0) {
        std::string bytes;
        for (std::size_t i = 4; i + 1 < text.size(); i += 2)
            bytes += static_cast<char>(std::strtol(text.substr(i, 2).c_str(), nullptr, 16));
        return Variant::Bytes(bytes);
    }
    if (vt == VT_BOOL) {
        if (text == "true" || text == "True") return Variant::Bool(true);
        if (text == "false" || text == "False") return Variant::Bool(false);
    }
    if (vt == VT_I4 || vt == VT_I2 || vt == VT_BOOL) {
        char* end = nullptr;
        const long n = std::strtol(text.c_str(), &end, 10);
        if (!text.empty() && !*end) return Variant::I4(static_cast<std::int32_t>(n));
    }
    return Variant::Str(text);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: ctlhost [--registry FILE] [--register LIB] [--unregister LIB] [--progid NAME "
                 "[--set NAME=VALUE]... [--answer EVENT.ARG=VALUE]... [--action N] [--get NAME]...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> registerLibs, unregisterLibs, gets;
    std::vector<std::pair<std::string, std::string>> sets;
    std::map<std::string, std::string> answers;  // "Event.Arg" -> value
    std::string progId;
    bool haveAction = false;
    std::int32_t action = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--registry" && (v = next())) {
            setenv("MORVEN_COM_REGISTRY", v, 1);
        } else if (a == "--register" && (v = next())) {
            registerLibs.push_back(v);
        } else if (a == "--unregister" && (v = next())) {
            unregisterLibs.push_back(v);
        } else if (a == "--progid" && (v = next())) {
            progId = v;
        } else if ((a == "--set" || a == "--answer") && (v = next())) {
            const std::string kv = v;
            const auto eq = kv.find('=');
            if (eq == std::string::npos || eq == 0) return Usage();
            if (a == "--set")
                sets.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
            else
                answers[kv.substr(0, eq)] = kv.substr(eq + 1);
        } else if (a == "--action" && (v = next())) {
            haveAction = true;
            action = static_cast<std::int32_t>(std::strtol(v, nullptr, 10));
        } else if (a == "--get" && (v = next())) {
            gets.push_back(v);
        } else {
            return Usage();
        }
    }

    int status = 0;
    for (const auto& lib : registerLibs) {
        const HRESULT hr = Loader::RegisterModule(lib);
        std::printf("register %s: %s\n", lib.c_str(), Hr(hr).c_str());
        if (FAILED(hr)) return std::fprintf(stderr, "%s\n", Loader::LastError().c_str()), 1;
    }
    if (progId.empty()) {
        for (const auto& lib : unregisterLibs) {
            const HRESULT hr = Loader::UnregisterModule(lib);
            std::printf("unregister %s: %s\n", lib.c_str(), Hr(hr).c_str());
            if (FAILED(hr)) status = 1;
        }
        return status;
    }

    Loader loader;
    CLSID clsid;
    HRESULT hr = GuidFromString(progId) ? S_OK : loader.ClsidFromProgId(progId, &clsid);
    if (auto g = GuidFromString(progId)) clsid = *g;
    ComPtr<IDispatch> control;
    if (SUCCEEDED(hr)) hr = loader.CreateInstance(clsid, IID_IDispatch, control.outVoid());
    if (FAILED(hr)) {
        std::printf("create %s: %s\n", progId.c_str(), Hr(hr).c_str());
        return 1;
    }
    std::printf("created %s\n", progId.c_str());

    // The class's description: the event interface to listen to and the property types.
    const TypeLibrary* lib = nullptr;
    const TypeDesc* cls = nullptr;
    {
        RegistryTree t;
        loader.Registry().Read(t);
        if (auto libText = t.GetValue("CLSID\\" + GuidToString(clsid) + "\\TypeLib"))
            if (auto libid = GuidFromString(*libText))
                if (SUCCEEDED(loader.LoadTypeLibrary(*libid, &lib))) cls = lib->Find(clsid);
    }
    const TypeDesc* events = cls ? lib->Find(cls->defaultSource) : nullptr;
    const TypeDesc* iface = cls ? lib->Find(cls->defaultInterface) : nullptr;
    auto propertyType = [&](const std::string& name) -> VARTYPE {
        if (iface)
            for (const auto& m : iface->members)
                if (m.kind == MemberKind::PropertyGet && EqualsNoCase(m.name, name)) return m.vt;
        return VT_BSTR;
    };

    ComPtr<EventSink> sink;
    if (events) {
        sink = ComPtr<EventSink>::Adopt(EventSink::Create(
            events->guid,
            [&](DISPID id, DISPPARAMS& p) {
                const MemberDesc* m = nullptr;
                for (const auto& e : events->members)
                    if (e.dispid == id) m = &e;
                std::string line = "event " + (m ? m->name : std::to_string(id));
                for (std::uint32_t k = 0; k < p.cArgs; ++k) {
                    VARIANT& arg = EventArg(p, k);
                    const std::string argName = m && k < m->params.size() ? m->params[k].name : std::to_string(k);
                    // An answer from the command line goes into the by-reference argument first.
                    if (m) {
                        auto it = answers.find(m->name + "." + argName);
                        if (it != answers.end() && (arg.vt & VT_BYREF)) {
                            if ((arg.vt & ~VT_BYREF) == VT_I4) {
                                *arg.plVal = static_cast<std::int32_t>(std::strtol(it->second.c_str(), nullptr, 10));
                            } else if ((arg.vt & ~VT_BYREF) == VT_BSTR) {
                                SysFreeString(*arg.pbstrVal);
                                *arg.pbstrVal = BstrFromUtf8(it->second);
                            }
                        }
                    }
                    line += " " + argName + "=" + Show(arg);
                }
                std::printf("%s\n", line.c_str());
            }));
        if (FAILED(sink->Connect(control.get()))) sink.reset();
    }

    for (const auto& [name, value] : sets) {
        hr = PutPropertyByName(control.get(), name, Parse(value, propertyType(name)));
        std::printf("set %s: %s\n", name.c_str(), Hr(hr).c_str());
        if (FAILED(hr)) status = 1;
    }
    if (haveAction) {
        hr = PutPropertyByName(control.get(), "ActionGT", Variant::I4(action));
        std::printf("action %d: %s%s\n", action, Hr(hr).c_str(),
                    hr == E_NOTIMPL ? " (the engine for this action is not in this build)" : "");
        if (FAILED(hr)) status = 1;
        Variant code;
        if (SUCCEEDED(GetPropertyByName(control.get(), "ErrorCode", &code)))
            std::printf("ErrorCode=%d\n", code.AsI4());
    }
    for (const auto& name : gets) {
        Variant v;
        hr = GetPropertyByName(control.get(), name, &v);
        if (FAILED(hr)) {
            std::printf("%s: %s\n", name.c_str(), Hr(hr).c_str());
            status = 1;
        } else {
            std::printf("%s=%s\n", name.c_str(), Show(v).c_str());
        }
    }
    if (sink) sink->Disconnect();
    sink.reset();
    control.reset();
    for (const auto& l : unregisterLibs) {
        hr = Loader::UnregisterModule(l);
        std::printf("unregister %s: %s\n", l.c_str(), Hr(hr).c_str());
        if (FAILED(hr)) status = 1;
    }
    std::fflush(stdout);
    return status;
}
