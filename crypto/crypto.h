#pragma once
// The cryptography the updater and the publisher's tool need, behind one small interface:
// SHA-256, and ECDSA P-256 signatures over SHA-256 in the forms the openssl command line
// reads and writes. One implementation per platform library, chosen by CMake; nothing here
// is written by hand.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace crypto {

using TSha256Digest = std::array<uint8_t, 32>;

// Incremental SHA-256, for files too large to hold in memory.
class TSha256 {
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;
    void Update(const void* Data, size_t Size);
    TSha256Digest Final();  // the object is spent afterwards

private:
    struct State;
    std::unique_ptr<State> state_;
};

TSha256Digest Sha256(std::string_view Bytes);
// The digest of a whole file, read in pieces; raises EUpdaterError when it cannot be read.
TSha256Digest Sha256OfFile(const std::string& FileName);
// 64 lower-case hexadecimal digits.
std::string ToHex(const TSha256Digest& Digest);

enum class TVerifyResult {
    Valid,
    BadKey,     // the public key is not a base64 DER SubjectPublicKeyInfo of a P-256 key
    Malformed,  // the signature is not a DER ECDSA signature
    Mismatch,   // well-formed, but not made over these bytes with this key
};

// Checks DerSignature (what `openssl dgst -sha256 -sign` writes) over Data against the key
// given as the base64 text of its DER SubjectPublicKeyInfo
// (`openssl pkey -pubout -outform DER | base64 -w0`).
TVerifyResult VerifyP256(std::string_view PublicKeyBase64, std::string_view Data, std::string_view DerSignature);

// The base64 DER SubjectPublicKeyInfo of a PEM public key, or of the public half of a PEM
// private key; empty (and Error set) when Pem holds no P-256 key.
std::string PublicKeyBase64FromPem(std::string_view Pem, std::string& Error);

// A DER ECDSA signature over Data with the P-256 private key in PrivateKeyPem (what
// `openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256` writes); raises
// EUpdaterError when the key is unusable.
std::string SignP256(std::string_view PrivateKeyPem, std::string_view Data);

}  // namespace crypto
