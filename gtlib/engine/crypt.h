// Entry encryption: the traditional ZIP stream cipher (three 32-bit keys updated with the CRC-32 byte
// step), a 12-byte encryption header whose last byte decrypts to 0, and the encrypting output write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gtlib {

struct GtEngineState;

constexpr std::size_t kCryptHeaderSize = 12;
constexpr std::size_t kMaxEncryptCode = 65;

struct CryptKeys {
    std::uint32_t k0 = 0, k1 = 0, k2 = 0;

    void Init(std::string_view code);  // the published start values, then every byte of the code
    void Update(std::uint8_t plain);
    std::uint8_t StreamByte() const {
        const std::uint32_t t = (k2 | 2u) & 0xFFFFu;
        return static_cast<std::uint8_t>((t * (t ^ 1u)) >> 8);
    }
    // In place: c = p xor stream byte, keys updated with p.
    void Encrypt(std::uint8_t* buf, std::size_t n);
    // In place: p = c xor stream byte, keys updated with p.
    void Decrypt(std::uint8_t* buf, std::size_t n);
};

// A code of 1 to 65 bytes (compression refuses an empty one).
bool ValidEncryptCode(std::string_view code);

// Checks the encryption request of a run: a bad code gives GTE_PARMS, and so does encryption in a TAR
// run (mode 2), because the TAR reader has no way to decrypt members.
int CheckEncryptionRequest(int mode, bool encryptFlag, std::string_view code);

// Builds the 12-byte header for `code` with random bytes from `random` (values of 32 bits; bits 7-14
// of each are used). Afterwards `keys` stand ready to encrypt the entry's data.
template <class Random>
void BuildEncryptionHeader(std::string_view code, Random&& random, CryptKeys& keys,
                           std::uint8_t header[kCryptHeaderSize]) {
    std::uint8_t scratch[kCryptHeaderSize - 1];
    keys.Init(code);
    for (std::size_t i = 0; i + 1 < kCryptHeaderSize; ++i) {
        const auto r = static_cast<std::uint8_t>((random() >> 7) & 0xFF);
        const std::uint8_t t = keys.StreamByte();
        keys.Update(r);
        scratch[i] = static_cast<std::uint8_t>(r ^ t);
    }
    keys.Init(code);
    for (std::size_t i = 0; i + 1 < kCryptHeaderSize; ++i) {
        const std::uint8_t t = keys.StreamByte();
        keys.Update(scratch[i]);
        header[i] = static_cast<std::uint8_t>(scratch[i] ^ t);
    }
    const std::uint8_t t = keys.StreamByte();
    keys.Update(0);
    header[kCryptHeaderSize - 1] = t;  // the check byte: decrypts to 0
}

// Decryption side: initialises `keys` from the code and runs the 12 header bytes through them (in place).
// True when the check byte decrypts to 0, i.e. the code is right (or, 1 in 256, wrongly taken).
bool CheckEncryptionHeader(std::string_view code, CryptKeys& keys, std::uint8_t header[kCryptHeaderSize]);

// Raw write to the run's output: the output file, or the memory-transfer procedure in memory output.
enum class WriteResult { Ok, Failed, Cancelled, Refused, Negative };
WriteResult WriteRaw(GtEngineState& st, std::uint8_t* buf, std::size_t n);

// Writes the encryption header of the run's code. File output: a failed or short write gives GTE_TEMP.
// Memory output: MEM_CANCEL sets the cancel flag and gives GTE_ABORT, a negative or partial answer GTE_MEM.
int WriteEncryptionHeader(GtEngineState& st);

// Encrypts `buf` in place when the run has a code; the key stream runs over the output in its order.
void EncryptOutput(GtEngineState& st, std::uint8_t* buf, std::size_t n);

// Encrypts `buf` in place when the run has a code, then writes it (WriteRaw).
WriteResult WriteEncrypted(GtEngineState& st, std::uint8_t* buf, std::size_t n);

}  // namespace gtlib
