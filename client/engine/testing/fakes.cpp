#include "client/engine/testing/fakes.h"

#include "platform/core/files.h"

#include <algorithm>
#include <stdexcept>

namespace morven {

void FakeView::AutoSizeColumns(std::string_view c) {
    ListModel& m = List(c);
    m.columnWidths.assign(m.columns.size(), 0);
    for (const auto& item : m.items) {
        for (std::size_t k = 0; k < item.texts.size() && k < m.columnWidths.size(); ++k) {
            m.columnWidths[k] = std::max(m.columnWidths[k], static_cast<int>(item.texts[k].size()));
        }
    }
}

int DefaultButtonResult(int style) {
    static const std::vector<int> kButtons[6] = {
        {vbOK}, {vbOK, vbCancel}, {vbAbort, vbRetry, vbIgnore}, {vbYes, vbNo, vbCancel}, {vbYes, vbNo},
        {vbRetry, vbCancel},
    };
    const int set = style & 7;
    const auto& buttons = kButtons[set < 6 ? set : 0];
    const std::size_t def = static_cast<std::size_t>((style >> 8) & 3);
    return def < buttons.size() ? buttons[def] : buttons[0];
}

int ScriptedMessageBoxes::MsgBox(std::string_view prompt, int style, std::string_view title, View* owner) {
    calls.push_back({std::string(prompt), style, std::string(title), owner});
    if (answers.empty()) return DefaultButtonResult(style);
    const int a = answers.front();
    answers.pop_front();
    return a;
}

void FakeSerialPort::SetPortOpen(bool value) {
    if (value && open) throw std::runtime_error("Porta gia' aperta");
    if (value && failOpen) {
        failOpen = false;
        throw std::runtime_error("Numero di porta non valido");
    }
    if (value) ++opens;
    open = value;
}

void FakeSerialPort::Output(std::string_view bytes) {
    if (!open) throw std::runtime_error("Operazione non valida con la porta chiusa");
    sent += bytes;
    if (onOutput) onOutput(*this, bytes);
}

std::string FakeSerialPort::Input() {
    if (!open) throw std::runtime_error("Operazione non valida con la porta chiusa");
    const std::size_t n = InputLen <= 0 ? incoming.size() : std::min<std::size_t>(InputLen, incoming.size());
    std::string out = incoming.substr(0, n);
    incoming.erase(0, n);
    return out;
}

void FakeTcpSocket::Connect() {
    sCodaRicezione.clear();
    connects.emplace_back(RemoteHost, RemotePort);
    state = connectResult;
    if (state == sckConnected && events.Connect) events.Connect();
}

void FakeTcpSocket::Close() {
    sCodaRicezione.clear();
    ++closes;
    state = sckClosed;
}

void FakeTcpSocket::PeerCloses() {
    state = sckClosed;
    if (events.Close) events.Close();
}

void FakeTcpSocket::SendData(std::string_view bytes) {
    if (state != sckConnected) throw std::runtime_error("Connessione non valida");
    sent += bytes;
    if (onSend) onSend(*this, bytes);
    if (events.SendComplete) events.SendComplete();
}

std::string FakeTcpSocket::GetData() {
    std::string out;
    out.swap(incoming);
    return out;
}

void FakeTcpSocket::Accept(long requestId) {
    accepted = requestId;
    state = sckConnected;
}

std::vector<std::string> FakeDialUp::Entries() {
    if (!available) throw std::runtime_error("Accesso remoto non disponibile");
    return entries;
}

bool FakeDialUp::StartDial(const std::string& entry) {
    dialled.push_back(entry);
    if (dialSucceeds) connected.insert(entry);
    return true;
}

bool FakeDialUp::HangUp(const std::string& entry) {
    hungUp.push_back(entry);
    return connected.erase(entry) > 0;
}

int FakeFtpClient::Connect() {
    log.push_back("connect " + Host + ":" + std::to_string(Port) + " " + User);
    return connectResult;
}

int FakeFtpClient::Upload(const std::string& remoteName, const std::string& localPath) {
    log.push_back("put " + remoteName);
    std::string data;
    if (!ReadWholeFile(localPath, data)) return 1;
    remote[remoteName] = data;
    return 0;
}

int FakeFtpClient::Download(const std::string& remoteName, const std::string& localPath) {
    log.push_back("get " + remoteName);
    auto it = remote.find(remoteName);
    if (it == remote.end()) return 1;
    if (MaxDownloadBytes > 0 && static_cast<std::int64_t>(it->second.size()) > MaxDownloadBytes) return 1;
    return ReplaceFileAtomically(localPath, it->second) ? 0 : 1;
}

void FakeDecompressionControl::SetLong(std::string_view prop, long value) {
    longs[std::string(prop)] = value;
    if (prop == "ActionGT") {
        actions.push_back(value);
        errorCode = onAction ? onAction(value, *this) : 0;
    }
}

long FakeDecompressionControl::GetLong(std::string_view prop) {
    if (prop == "ErrorCode") return errorCode;
    auto it = longs.find(std::string(prop));
    return it == longs.end() ? 0 : it->second;
}

}  // namespace morven
