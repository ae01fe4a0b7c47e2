// Fakes of the engine's ports for tests: a recording view, scripted message boxes, a recording program end,
// in-memory serial port and socket, and recording dial-up, FTP, decompression and desktop fakes.
#pragma once

#include "client/engine/ports.h"

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace morven {

// A window whose controls spring into being when first set or read. Tests may declare the controls of a
// container scan with AddControl.
class FakeView : public View {
public:
    struct Control {
        std::string text;
        bool visible = true;
        bool enabled = true;
        int value = 0;
        int max = 100;
        std::uint32_t foreColor = 0;
        std::uint32_t backColor = 0;
    };

    bool shown = false;
    std::string caption;
    int refreshes = 0;
    std::vector<std::pair<std::string, std::string>> navigations;  // browser, address
    std::map<std::string, int> listChanges;

    bool IsShown() const override { return shown; }
    void Show() override { shown = true; }
    void Hide() override { shown = false; }
    void Refresh() override { ++refreshes; }
    void SetCaption(std::string_view text) override { caption = text; }
    std::string Caption() const override { return caption; }

    void SetText(std::string_view c, std::string_view text) override { At(c).text = text; }
    std::string Text(std::string_view c) const override { return Get(c).text; }
    void SetVisible(std::string_view c, bool v) override { At(c).visible = v; }
    bool Visible(std::string_view c) const override { return Get(c).visible; }
    void SetEnabled(std::string_view c, bool v) override { At(c).enabled = v; }
    bool Enabled(std::string_view c) const override { return Get(c).enabled; }
    void SetValue(std::string_view c, int v) override { At(c).value = v; }
    int Value(std::string_view c) const override { return Get(c).value; }
    void SetMax(std::string_view c, int v) override { At(c).max = v; }
    int Max(std::string_view c) const override { return Get(c).max; }
    void SetForeColor(std::string_view c, std::uint32_t v) override { At(c).foreColor = v; }
    void SetBackColor(std::string_view c, std::uint32_t v) override { At(c).backColor = v; }

    std::vector<ControlInfo> Controls() const override { return declared; }

    ListModel& List(std::string_view c) override { return lists[std::string(c)]; }
    void ListChanged(std::string_view c) override { ++listChanges[std::string(c)]; }
    // Each column as wide as its longest text, in characters.
    void AutoSizeColumns(std::string_view c) override;
    TreeModel& Tree(std::string_view c) override { return trees[std::string(c)]; }
    void TreeChanged(std::string_view) override {}
    void Navigate(std::string_view browser, std::string_view address) override {
        navigations.emplace_back(std::string(browser), std::string(address));
    }

    // Declares a control for Controls(); it also exists for the other calls.
    void AddControl(ControlInfo info) {
        At(info.name);
        declared.push_back(std::move(info));
    }
    bool Has(std::string_view c) const { return controls.count(std::string(c)) != 0; }

    std::map<std::string, Control, std::less<>> controls;
    std::map<std::string, ListModel> lists;
    std::map<std::string, TreeModel> trees;
    std::vector<ControlInfo> declared;

private:
    Control& At(std::string_view c) { return controls[std::string(c)]; }
    const Control& Get(std::string_view c) const {
        static const Control none;
        auto it = controls.find(c);
        return it == controls.end() ? none : it->second;
    }
};

// The button a message box of this style answers with its default button (the Enter key).
int DefaultButtonResult(int style);

// Message boxes answered from a script; when the script is empty, by the default button.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Call {
        std::string prompt;
        int style;
        std::string title;
        View* owner;
    };
    std::deque<int> answers;
    std::vector<Call> calls;

    int MsgBox(std::string_view prompt, int style, std::string_view title, View* owner) override;
};

class RecordingProgramEnd : public ProgramEnd {
public:
    int calls = 0;
    int lastExitCode = 0;
    std::function<void()> onEnd;
    void EndProgram(int exitCode) override {
        ++calls;
        lastExitCode = exitCode;
        if (onEnd) onEnd();
    }
};

// A serial port in memory: what the engine outputs collects in `sent`; `Feed` queues bytes to receive.
class FakeSerialPort : public SerialPort {
public:
    bool open = false;
    bool failOpen = false;  // the next open throws
    bool carrier = false;
    int opens = 0;
    std::string sent;
    std::string incoming;
    // Called with every Output, so a test can answer a command.
    std::function<void(FakeSerialPort&, std::string_view)> onOutput;

    void Feed(std::string_view bytes) { incoming += bytes; }
    bool PortOpen() const override { return open; }
    void SetPortOpen(bool value) override;
    void Output(std::string_view bytes) override;
    int InBufferCount() override { return static_cast<int>(incoming.size()); }
    std::string Input() override;
    bool CDHolding() override { return carrier; }
};

// A TCP socket in memory. Connect either connects at once (connectResult 7) or stays connecting; Raise*
// deliver events as the real socket would from the pump.
class FakeTcpSocket : public TcpSocket {
public:
    int state = sckClosed;
    int connectResult = sckConnected;
    std::vector<std::pair<std::string, int>> connects;  // host, port
    std::string sent;
    std::string incoming;
    int closes = 0;
    long accepted = -1;
    std::function<void(FakeTcpSocket&, std::string_view)> onSend;

    void Feed(std::string_view bytes) { incoming += bytes; }
    void PeerCloses();  // state 0 and the Close event

    int State() const override { return state; }
    void Connect() override;
    void Close() override;
    void SendData(std::string_view bytes) override;
    long BytesReceived() override { return static_cast<long>(incoming.size()); }
    std::string GetData() override;
    void Accept(long requestId) override;
};

class FakeDialUp : public DialUp {
public:
    std::vector<std::string> entries;
    std::set<std::string> connected;
    bool available = true;
    bool dialSucceeds = true;
    int dialRounds = 0;  // Dialling() stays true for this many calls
    std::vector<std::string> dialled, hungUp;

    std::vector<std::string> Entries() override;
    std::vector<std::string> Connections() override { return {connected.begin(), connected.end()}; }
    bool StartDial(const std::string& entry) override;
    bool Dialling() override { return dialRounds-- > 0; }
    bool HangUp(const std::string& entry) override;
};

// An FTP client over a folder: uploads copy into `remote`, downloads copy out of it.
class FakeFtpClient : public FtpClient {
public:
    std::map<std::string, std::string> remote;  // name -> contents
    int connectResult = 0;
    std::vector<std::string> log;

    void Reset() override { log.push_back("reset"); }
    int Connect() override;
    int Upload(const std::string& remoteName, const std::string& localPath) override;
    int Download(const std::string& remoteName, const std::string& localPath) override;
};

// Records the property writes; writing "ActionGT" calls `onAction` with the action and the properties, whose
// result becomes ErrorCode.
class FakeDecompressionControl : public DecompressionControl {
public:
    std::map<std::string, std::string> strings;
    std::map<std::string, long> longs;
    std::map<std::string, bool> bools;
    std::vector<long> actions;
    std::function<long(long action, FakeDecompressionControl&)> onAction;
    long errorCode = 0;

    void SetString(std::string_view prop, std::string_view value) override { strings[std::string(prop)] = value; }
    void SetLong(std::string_view prop, long value) override;
    void SetBool(std::string_view prop, bool value) override { bools[std::string(prop)] = value; }
    long GetLong(std::string_view prop) override;
    std::string GetString(std::string_view prop) override { return strings[std::string(prop)]; }
};

class FakeDesktop : public Desktop {
public:
    std::string temp = "/tmp/";
    std::string browser;
    int browserCode = 0;
    int browserLookups = 0;
    int platformId = 2;
    std::string TempDirectory() override { return temp; }
    std::string DefaultBrowser(int& code) override {
        ++browserLookups;
        code = browserCode;
        return browser;
    }
    int PlatformId() override { return platformId; }
};

}  // namespace morven
