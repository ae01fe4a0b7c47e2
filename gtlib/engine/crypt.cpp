#include "gtlib/engine/crypt.h"

#include <unistd.h>

#include <cerrno>

#include "gtlib/engine/crc32.h"
#include "gtlib/engine/gt_state.h"
#include "platform/core/files.h"

namespace gtlib {

void CryptKeys::Init(std::string_view code) {
    k0 = 305419896u;
    k1 = 591751049u;
    k2 = 878082192u;
    for (char c : code) Update(static_cast<std::uint8_t>(c));
}

void CryptKeys::Update(std::uint8_t plain) {
    k0 = Crc32Step(k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1u;
    k2 = Crc32Step(k2, static_cast<std::uint8_t>(k1 >> 24));
}

void CryptKeys::Encrypt(std::uint8_t* buf, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t t = StreamByte();
        Update(buf[i]);
        buf[i] ^= t;
    }
}

void CryptKeys::Decrypt(std::uint8_t* buf, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        buf[i] ^= StreamByte();
        Update(buf[i]);
    }
}

bool ValidEncryptCode(std::string_view code) { return !code.empty() && code.size() <= kMaxEncryptCode; }

int CheckEncryptionRequest(int mode, bool encryptFlag, std::string_view code) {
    if (!encryptFlag) return GTE_OK;
    if (!ValidEncryptCode(code)) return GTE_PARMS;
    if (mode == 2) return GTE_PARMS;
    return GTE_OK;
}

bool CheckEncryptionHeader(std::string_view code, CryptKeys& keys, std::uint8_t header[kCryptHeaderSize]) {
    keys.Init(code);
    keys.Decrypt(header, kCryptHeaderSize);
    return header[kCryptHeaderSize - 1] == 0;
}

WriteResult WriteRaw(GtEngineState& st, std::uint8_t* buf, std::size_t n) {
    if (st.memOutput) {
        if (!st.memTransfer) return WriteResult::Failed;
        std::int32_t count = static_cast<std::int32_t>(n);
        std::int32_t answer = MEM_CONTINUE;
        st.memTransfer(MEM_WRITE_DATA, buf, &count, static_cast<std::uint32_t>(st.totalRead),
                       static_cast<std::uint32_t>(st.totalRead >> 32), static_cast<std::uint32_t>(st.totalWritten),
                       static_cast<std::uint32_t>(st.totalWritten >> 32), st.memTransferData, &answer);
        if (answer == MEM_CANCEL) return WriteResult::Cancelled;
        if (answer < 0) return WriteResult::Negative;
        if (answer != MEM_CONTINUE || count != static_cast<std::int32_t>(n)) return WriteResult::Refused;
        st.totalWritten += n;
        return WriteResult::Ok;
    }
    return morven::WriteAll(st.outFd, buf, n) ? WriteResult::Ok : WriteResult::Failed;
}

int WriteEncryptionHeader(GtEngineState& st) {
    std::uint8_t header[kCryptHeaderSize];
    BuildEncryptionHeader(st.encryptCode, [&st] { return st.random.Next(); }, st.keys, header);
    switch (WriteRaw(st, header, sizeof header)) {
        case WriteResult::Ok:
            return GTE_OK;
        case WriteResult::Failed:
            return st.memOutput ? GTE_MEM : GTE_TEMP;
        case WriteResult::Cancelled:
            st.cancel = true;
            return GTE_ABORT;
        default:
            return GTE_MEM;
    }
}

void EncryptOutput(GtEngineState& st, std::uint8_t* buf, std::size_t n) {
    if (!st.encryptCode.empty()) st.keys.Encrypt(buf, n);
}

WriteResult WriteEncrypted(GtEngineState& st, std::uint8_t* buf, std::size_t n) {
    EncryptOutput(st, buf, n);
    return WriteRaw(st, buf, n);
}

}  // namespace gtlib
