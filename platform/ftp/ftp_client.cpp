#include "platform/ftp/ftp_client.h"

#include "platform/core/text.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace morven::platform {

namespace {

CURL* Easy(void* p) { return static_cast<CURL*>(p); }
CURLM* Multi(void* p) { return static_cast<CURLM*>(p); }

void InitCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// How long one round of the transfer waits for the sockets before the pump turns again.
constexpr int kPollMs = 20;

std::string FirstWord(const std::string& line, std::string& rest) {
    const auto sp = line.find(' ');
    if (sp == std::string::npos) {
        rest.clear();
        return line;
    }
    rest = line.substr(sp + 1);
    return line.substr(0, sp);
}

}  // namespace

struct FtpClient::Transfer {
    std::FILE* in = nullptr;   // upload source
    std::FILE* out = nullptr;  // download target
    std::int64_t limit = 0;    // bytes the download may have (0: no limit)
    std::int64_t written = 0;
    bool tooLarge = false;
};

FtpClient::FtpClient(EventPump* pump) : pump_(pump) { InitCurl(); }

FtpClient::~FtpClient() {
    // The trace must not reach an owner that is going away with this object.
    trace = nullptr;
    Close();
    if (multi_) curl_multi_cleanup(Multi(multi_));
}

int FtpClient::EffectivePort(int port) {
    const std::string key = "MORVEN_FTP" + std::to_string(port);
    if (const char* env = std::getenv(key.c_str()); env && *env) {
        char* end = nullptr;
        const long v = std::strtol(env, &end, 10);
        if (end && *end == '\0' && v > 0 && v < 65536) return static_cast<int>(v);
    }
    return port;
}

void FtpClient::Close() {
    if (!easy_ || busy_) return;
    // Cleaning up the handle closes its connection, with QUIT when one is open.
    curl_easy_cleanup(Easy(easy_));
    easy_ = nullptr;
}

void FtpClient::TraceText(const char* data, std::size_t size, bool sent) {
    if (!trace) return;
    for (const std::string& line : SplitLines(std::string_view(data, size))) {
        if (line.empty()) continue;
        std::string rest;
        const std::string first = FirstWord(line, rest);
        if (sent && EqualsNoCase(first, "PASS")) rest = "****";
        trace(first, rest);
    }
}

std::string FtpClient::Url(const std::string& remoteName) const {
    std::string h = host;
    if (h.find(':') != std::string::npos && h.front() != '[') h = "[" + h + "]";
    std::string url = "ftp://" + h + ":" + std::to_string(EffectivePort(port)) + "/";
    if (!remoteName.empty()) {
        char* esc = curl_easy_escape(Easy(easy_), remoteName.c_str(), static_cast<int>(remoteName.size()));
        if (esc) {
            url += esc;
            curl_free(esc);
        }
    }
    return url;
}

namespace {

int DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* self = static_cast<FtpClient*>(user);
    if (type == CURLINFO_HEADER_OUT)
        self->TraceText(data, size, true);
    else if (type == CURLINFO_HEADER_IN)
        self->TraceText(data, size, false);
    return 0;
}

size_t ReadCallback(char* buffer, size_t size, size_t n, void* user) {
    return std::fread(buffer, size, n, static_cast<std::FILE*>(user));
}

}  // namespace

size_t FtpClient::WriteCallback(char* data, size_t size, size_t n, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::int64_t bytes = static_cast<std::int64_t>(size * n);
    // A file beyond the limit is cut off here, before it fills the disk; returning short stops the transfer.
    if (t->limit > 0 && t->written + bytes > t->limit) {
        t->tooLarge = true;
        return 0;
    }
    t->written += bytes;
    return std::fwrite(data, size, n, t->out);
}

namespace {

}  // namespace

int FtpClient::Run(Transfer& t) {
    CURL* e = Easy(easy_);
    const long timeout = timeoutSeconds > 0 ? timeoutSeconds : 0;
    curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    // A data connection that stalls (under one byte a second for the whole time-out) is given up too.
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, DebugCallback);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
    if (!passive) curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    if (t.in) {
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadCallback);
        curl_easy_setopt(e, CURLOPT_READDATA, t.in);
    }
    if (t.out) {
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &FtpClient::WriteCallback);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        if (t.limit > 0) curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t.limit));
    }

    if (!multi_) multi_ = curl_multi_init();
    CURLM* m = Multi(multi_);
    curl_multi_add_handle(m, e);
    busy_ = true;
    int result = CURLE_OK;
    int running = 1;
    while (running) {
        if (curl_multi_perform(m, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (!running) break;
        curl_multi_poll(m, nullptr, 0, kPollMs, nullptr);
        if (pump_) pump_->process();
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(m, &queued))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) result = msg->data.result;
    curl_multi_remove_handle(m, e);
    busy_ = false;
    if (t.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        lastError_ = "remote file longer than " + std::to_string(t.limit) + " bytes";
        return kFtpTooLarge;
    }
    lastError_ = result == CURLE_OK ? std::string() : curl_easy_strerror(static_cast<CURLcode>(result));
    return result;
}

int FtpClient::Connect() {
    if (busy_) return kFtpBusy;
    if (!easy_) easy_ = curl_easy_init();
    // Options are set afresh for every call; the handle keeps its open connection across the reset.
    curl_easy_reset(Easy(easy_));
    Transfer t;
    curl_easy_setopt(Easy(easy_), CURLOPT_URL, Url("").c_str());
    // Log in and stop: no listing, no transfer.
    curl_easy_setopt(Easy(easy_), CURLOPT_NOBODY, 1L);
    return Run(t);
}

int FtpClient::Upload(const std::string& remoteName, const std::string& localPath) {
    if (busy_) return kFtpBusy;
    if (!easy_) easy_ = curl_easy_init();
    curl_easy_reset(Easy(easy_));
    Transfer t;
    t.in = std::fopen(localPath.c_str(), "rb");
    if (!t.in) {
        lastError_ = "cannot read " + localPath;
        return kFtpLocalFile;
    }
    std::error_code ec;
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(localPath, ec));
    const std::int64_t from = restartOffset > 0 && !ec && restartOffset <= size ? restartOffset : 0;
    if (from > 0) std::fseek(t.in, static_cast<long>(from), SEEK_SET);
    curl_easy_setopt(Easy(easy_), CURLOPT_URL, Url(remoteName).c_str());
    if (!ec) curl_easy_setopt(Easy(easy_), CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size - from));
    if (from > 0) curl_easy_setopt(Easy(easy_), CURLOPT_APPEND, 1L);
    const int r = Run(t);
    std::fclose(t.in);
    return r;
}

int FtpClient::Download(const std::string& remoteName, const std::string& localPath) {
    if (busy_) return kFtpBusy;
    if (!easy_) easy_ = curl_easy_init();
    curl_easy_reset(Easy(easy_));
    const std::filesystem::path target(localPath);
    std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        lastError_ = "cannot write beside " + localPath;
        return kFtpLocalFile;
    }
    ::fchmod(fd, 0644);  // the answer is read by the management software as any other work file
    Transfer t;
    t.limit = maxDownload;
    t.out = ::fdopen(fd, "wb");
    if (!t.out) {
        ::close(fd);
        std::remove(temp.c_str());
        lastError_ = "cannot write beside " + localPath;
        return kFtpLocalFile;
    }
    curl_easy_setopt(Easy(easy_), CURLOPT_URL, Url(remoteName).c_str());
    int r = Run(t);
    const bool written = std::fflush(t.out) == 0 && ::fsync(::fileno(t.out)) == 0;
    std::fclose(t.out);
    if (r == CURLE_OK && !written) {
        r = kFtpLocalFile;
        lastError_ = "cannot write beside " + localPath;
    }
    if (r == CURLE_OK) {
        std::error_code ec;
        std::filesystem::rename(temp, target, ec);
        if (ec) {
            r = kFtpLocalFile;
            lastError_ = "cannot replace " + localPath + ": " + ec.message();
        }
    }
    if (r != CURLE_OK) std::remove(temp.c_str());
    return r;
}

}  // namespace morven::platform
