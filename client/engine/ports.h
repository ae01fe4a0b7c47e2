// Where the engine meets the world. Each port is a small abstract class; the real implementations live in
// the layers that own the device or the window (platform/serial, platform/socket, platform/dialup,
// platform/ftp, platform/com, client/windows), the fakes in client/engine/testing. The event pump and the
// clocks are the platform's own (platform/core/pump.h, platform/core/clock.h).
//
// Texts crossing these ports are Windows-1252 bytes, as everywhere in the engine; a window implementation
// converts at its boundary. Paths are the file system's own bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace morven {

// ---------------------------------------------------------------------------------------------------------
// Windows

// One row of a list control: the item's text and its sub-items' texts (texts[0] is the item, texts[k] the
// sub-item k), a colour per cell, and the key the program gave it.
struct ListItem {
    std::string sKey;
    std::vector<std::string> texts;
    std::vector<std::uint32_t> colors;  // one per text; 0 = the list's own colour
};

// A list control's content. The view owns it; the engine edits it and calls View::ListChanged.
struct ListModel {
    std::vector<std::string> columns;  // header texts
    std::vector<int> columnWidths;     // filled by View::AutoSizeColumns, in characters
    std::vector<ListItem> items;
    int selected = -1;                 // index of the selected item, -1 none
};

struct TreeNode {
    std::string sKey;
    std::string sParentKey;  // empty: a root node
    std::string text;
    bool expanded = false;
    std::uint32_t color = 0;
};

struct TreeModel {
    std::vector<TreeNode> nodes;  // in display order
};

// A control of a window, as the container scan of EnableContainerControls sees it.
struct ControlInfo {
    std::string name;           // the control's id for View calls (see ControlId)
    std::string container;      // the name of the frame or picture that holds it; empty: the window
    int containerIndex = -1;    // the container's index in its control array; -1: it is not an array
    bool hasEnabled = true;     // false for the one kind of control without an enabled state
};

// The id of element `index` of a control array ("Frame(0)"); a plain name when index < 0.
std::string ControlId(std::string_view name, int index = -1);

// A window of the program, with its controls found by name (their objectName in the Qt forms). Setting a
// control that does not exist is an error of the implementation's choice (the fake records it); the
// engine's helpers catch it at their boundary like any other failure.
class View {
public:
    virtual ~View() = default;

    virtual bool IsShown() const = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void Refresh() = 0;  // repaint at once
    virtual void SetCaption(std::string_view text) = 0;
    virtual std::string Caption() const = 0;

    // Caption of a label or button, text of a text box or combo box.
    virtual void SetText(std::string_view control, std::string_view text) = 0;
    virtual std::string Text(std::string_view control) const = 0;
    virtual void SetVisible(std::string_view control, bool visible) = 0;
    virtual bool Visible(std::string_view control) const = 0;
    virtual void SetEnabled(std::string_view control, bool enabled) = 0;
    virtual bool Enabled(std::string_view control) const = 0;
    // Value of a check box (0, 1), option button (0, -1), progress bar or timer interval.
    virtual void SetValue(std::string_view control, int value) = 0;
    virtual int Value(std::string_view control) const = 0;
    // Maximum of a progress bar.
    virtual void SetMax(std::string_view control, int max) = 0;
    virtual int Max(std::string_view control) const = 0;
    virtual void SetForeColor(std::string_view control, std::uint32_t color) = 0;
    virtual void SetBackColor(std::string_view control, std::uint32_t color) = 0;

    // Every control of the window, in the window's order.
    virtual std::vector<ControlInfo> Controls() const = 0;

    // List and tree controls: the engine edits the model, then has it shown.
    virtual ListModel& List(std::string_view control) = 0;
    virtual void ListChanged(std::string_view control) = 0;
    // Sizes every column of the list to its widest cell text (the header does not count by itself).
    virtual void AutoSizeColumns(std::string_view control) = 0;
    virtual TreeModel& Tree(std::string_view control) = 0;
    virtual void TreeChanged(std::string_view control) = 0;

    // Shows an address (a local file path or a URL) in the named browser control.
    virtual void Navigate(std::string_view browser, std::string_view address) = 0;
};

// Message box results.
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

// Message boxes. `style` is the sum of the standard flags: buttons (0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore,
// 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel) + icon (16 critical, 32 question, 48 exclamation,
// 64 information) + default button (0, 256, 512). The answer is the button pressed, 1..7.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // `owner` is the window the box belongs to (nullptr: the application).
    virtual int MsgBox(std::string_view prompt, int style, std::string_view title, View* owner = nullptr) = 0;
};

// The end of the program: records the exit status, hides the windows and asks the event loop to end (a
// second call does nothing). It returns to its caller, and the process leaves only once control is back in
// the event loop, so the engine code after the call goes on running and must leave what it does whole.
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    virtual void EndProgram(int exitCode) = 0;
};

// ---------------------------------------------------------------------------------------------------------
// Line devices (the members the engine uses of a serial-port and of a TCP-socket control)

// A serial port. The settings are read when the port opens. Failures (a port that does not exist or cannot
// be opened, a refused setting) are thrown as exceptions derived from std::exception.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Set before opening.
    bool DTREnable = false;
    bool EOFEnable = false;
    bool RTSEnable = false;
    int Handshaking = 0;        // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both
    int InBufferSize = 1024;
    int OutBufferSize = 512;
    std::string ParityReplace = "?";
    bool NullDiscard = false;
    int CommPort = 1;
    std::string Settings = "9600,N,8,1";  // speed, parity, data bits, stop bits
    // Read on every Input.
    int InputLen = 0;           // 0: Input takes everything waiting; n: at most n bytes
    int InputMode = 0;          // 0 text (bytes as they are)
    int RThreshold = 0;         // 0: no receive events

    virtual bool PortOpen() const = 0;
    virtual void SetPortOpen(bool open) = 0;
    virtual void Output(std::string_view bytes) = 0;  // transmitted in order
    virtual int InBufferCount() = 0;                  // bytes waiting
    virtual std::string Input() = 0;                  // takes waiting bytes, as many as InputLen says
    virtual bool CDHolding() = 0;                     // carrier detect
    virtual int CommEvent() const { return 0; }
};

// The events a TCP socket raises, delivered from EventPump::process(). Unset handlers are skipped.
struct TcpSocketEvents {
    std::function<void(long requestId)> ConnectionRequest;
    std::function<void()> Connect;
    std::function<void()> Close;
    std::function<void(int number, const std::string& description)> Error;
    std::function<void()> SendComplete;
    std::function<void(long bytes)> DataArrival;
};

// A TCP socket, client side (and the accept of answer mode).
class TcpSocket {
public:
    enum : int { sckClosed = 0, sckOpen = 1, sckListening = 2, sckConnectionPending = 3, sckResolvingHost = 4,
                 sckHostResolved = 5, sckConnecting = 6, sckConnected = 7, sckClosing = 8, sckError = 9 };

    virtual ~TcpSocket() = default;

    std::string RemoteHost;
    int RemotePort = 0;
    TcpSocketEvents events;
    // Bytes the line reads took from the socket and have not handed out yet (what followed a line or a frame
    // in the same segment, or the first part of a line still arriving). Every implementation empties it in
    // Connect and Close, so nothing of one connection reaches the next.
    std::string sCodaRicezione;

    virtual int State() const = 0;
    virtual void Connect() = 0;   // to RemoteHost:RemotePort; completion shows as State() 7
    virtual void Close() = 0;
    virtual void SendData(std::string_view bytes) = 0;  // queued, sent as they are
    // Ends the sending side once the queued bytes went out; reading goes on until the peer closes.
    virtual void ShutdownSend() {}
    virtual long BytesReceived() = 0;
    virtual std::string GetData() = 0;  // takes every waiting byte
    virtual void Accept(long requestId) = 0;
};

// Dial-up network entries.
class DialUp {
public:
    virtual ~DialUp() = default;
    // The entries of the system; throws when the system has no dial-up service.
    virtual std::vector<std::string> Entries() = 0;
    // The names of the entries connected now.
    virtual std::vector<std::string> Connections() = 0;
    // Starts dialling the entry; false when the dialler could not be started.
    virtual bool StartDial(const std::string& entry) = 0;
    // True while the dialler started by StartDial still runs.
    virtual bool Dialling() = 0;
    // Hangs up the connection of that entry; false when there was none or it failed.
    virtual bool HangUp(const std::string& entry) = 0;
};

// An FTP client. Results: 0 success, otherwise a failure code of the implementation.
class FtpClient {
public:
    virtual ~FtpClient() = default;
    std::string Host;
    int Port = 21;
    std::string User;
    std::string Password;
    int TimeoutSeconds = 600;
    // Active mode: the server connects back to us (PORT/EPRT). Off by default: passive mode also works
    // behind the address translation of a pharmacy's router.
    bool Active = false;
    bool Binary = true;         // image type: files travel byte for byte
    std::int64_t RestartOffset = 0;  // uploads start at this byte of the local file
    std::int64_t MaxDownloadBytes = 0;  // a longer remote file is refused (0: no limit)
    // Every command and reply, with two texts (for the session log's "FTP:" lines); the password of a
    // "PASS" command is never handed out.
    std::function<void(const std::string&, const std::string&)> CommandTrace;

    virtual void Reset() = 0;  // close or reset the connection
    virtual int Connect() = 0;
    virtual int Upload(const std::string& remoteName, const std::string& localPath) = 0;
    // Replaces the local file only with a whole remote file; a failure leaves no file behind.
    virtual int Download(const std::string& remoteName, const std::string& localPath) = 0;
    // What went wrong in the last call that failed (for the function log).
    virtual std::string LastError() const { return {}; }
};

// The decompression control, driven by property writes; writing "ActionGT" runs the action and ErrorCode()
// then holds its result code (0 success).
class DecompressionControl {
public:
    virtual ~DecompressionControl() = default;
    virtual void SetString(std::string_view property, std::string_view value) = 0;
    virtual void SetLong(std::string_view property, long value) = 0;
    virtual void SetBool(std::string_view property, bool value) = 0;
    virtual long GetLong(std::string_view property) = 0;
    virtual std::string GetString(std::string_view property) = 0;
    long ErrorCode() { return GetLong("ErrorCode"); }
};

// What the desktop offers: the temporary folder and the default browser.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual std::string TempDirectory() = 0;  // ends in "/"
    // Full path of the program that opens web pages; empty when none. `code` as the platform reports it.
    virtual std::string DefaultBrowser(int& code) = 0;
    // The platform family (2: the NT family; this system never runs on the 9x family).
    virtual int PlatformId() { return 2; }
};

// The machine's desktop (platform/core/desktop.h).
class SystemDesktop final : public Desktop {
public:
    std::string TempDirectory() override;
    std::string DefaultBrowser(int& code) override;
};

}  // namespace morven
