// FTP client for the wholesalers that exchange their files by FTP. It offers the members the FTP exchange
// uses: host, port, user, password, time-out, passive mode, binary type and restart offset set before the
// calls, then Connect, Upload, Download and Close. Every command sent and every reply received goes to the
// trace callback as two texts (the command or reply code, and the rest of the line); the password of the
// "PASS" command is never handed out.
//
// The transfers run on libcurl's multi interface inside the caller's thread: while one is under way the
// event pump given at construction keeps turning, so the window stays live. One connection is kept from
// Connect to Close and reused by the transfers in between.
//
// Port numbers map to the real ones: the port set here (21 for every wholesaler) is used unless the
// environment variable MORVEN_FTP<port> names another, so a local server on a free port can stand in for a
// wholesaler's (the way MORVEN_COM<n> maps serial ports).
#pragma once

#include "platform/core/pump.h"

#include <cstdint>
#include <functional>
#include <string>

namespace morven::platform {

// Results other than 0 are libcurl's codes; these are the ones the FTP layer gives itself.
enum FtpResult : int {
    kFtpOk = 0,
    kFtpBusy = 1000,       // a call made while another transfer of the same client is under way
    kFtpLocalFile = 1001,  // the local file could not be read or written
    kFtpTooLarge = 1002,   // the remote file is longer than maxDownload
};

class FtpClient {
public:
    explicit FtpClient(EventPump* pump = nullptr);
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    std::string host;
    int port = 21;
    std::string user;
    std::string password;
    int timeoutSeconds = 600;   // longest wait for the connection and for each reply of the server
    bool passive = true;        // false: the server connects back to us (PORT/EPRT)
    bool binary = true;         // image type: the bytes travel as they are
    std::int64_t restartOffset = 0;  // uploads start at this byte of the local file (0: the whole file)
    std::int64_t maxDownload = 0;    // a remote file longer than this many bytes is refused (0: no limit)

    // Every command and reply, e.g. ("USER", "farmacia"), ("331", "Username ok, send password.").
    std::function<void(const std::string&, const std::string&)> trace;

    // Drops the connection (QUIT when it is open).
    void Close();
    // Opens the connection and logs in. 0 on success.
    int Connect();
    // Sends the local file under the remote name. 0 on success.
    int Upload(const std::string& remoteName, const std::string& localPath);
    // Fetches the remote file into a temporary file beside `localPath`, which replaces `localPath` only when
    // the whole file arrived: a failed transfer leaves nothing behind and no older file changed. 0 on success.
    int Download(const std::string& remoteName, const std::string& localPath);

    // What went wrong in the last call that failed.
    const std::string& LastError() const { return lastError_; }

    // The port a connection to `port` really uses (the MORVEN_FTP<port> map).
    static int EffectivePort(int port);

    // Hands one block of commands or replies (one or more CR LF lines) to the trace, line by line, with the
    // password masked; called by the transfer as libcurl reports them.
    void TraceText(const char* data, std::size_t size, bool sent);

private:
    struct Transfer;
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t n, void* user);
    int Run(Transfer& t);
    std::string Url(const std::string& remoteName) const;

    EventPump* pump_;
    void* easy_ = nullptr;
    void* multi_ = nullptr;
    bool busy_ = false;
    std::string lastError_;
};

}  // namespace morven::platform
