// The cryptography interface on OpenSSL's libcrypto.
#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "crypto/crypto.h"
#include "platform/base64.h"
#include "platform/errors.h"

namespace crypto {
namespace {
struct TMdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct TPKeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct TBioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
struct TEcdsaSigFree {
    void operator()(ECDSA_SIG* s) const { ECDSA_SIG_free(s); }
};
using TPKey = std::unique_ptr<EVP_PKEY, TPKeyFree>;
using TMdCtx = std::unique_ptr<EVP_MD_CTX, TMdCtxFree>;

bool IsP256(EVP_PKEY* Key) {
    if (EVP_PKEY_get_base_id(Key) != EVP_PKEY_EC) return false;
    char curve[64] = {};
    size_t len = 0;
    return EVP_PKEY_get_utf8_string_param(Key, "group", curve, sizeof curve, &len) == 1 &&
           std::string_view(curve, len) == "prime256v1";
}

TPKey PublicKeyFromBase64(std::string_view Base64) {
    std::string der;
    if (!platform::DecodeBase64Strict(Base64, der)) return nullptr;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    TPKey key(d2i_PUBKEY(nullptr, &p, long(der.size())));
    // Trailing bytes after the structure mean it is not the DER of one key.
    if (!key || p != reinterpret_cast<const unsigned char*>(der.data()) + der.size() || !IsP256(key.get()))
        return nullptr;
    return key;
}

std::unique_ptr<BIO, TBioFree> MemBio(std::string_view Bytes) {
    return std::unique_ptr<BIO, TBioFree>(BIO_new_mem_buf(Bytes.data(), int(Bytes.size())));
}

// A DER ECDSA-Sig-Value: SEQUENCE of two INTEGERs, nothing after it, in DER's one encoding.
// The library also reads BER's long length forms, so what it read is written back and compared.
bool IsDerEcdsaSignature(std::string_view Sig) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(Sig.data());
    const std::unique_ptr<ECDSA_SIG, TEcdsaSigFree> s(d2i_ECDSA_SIG(nullptr, &p, long(Sig.size())));
    if (!s || p != reinterpret_cast<const unsigned char*>(Sig.data()) + Sig.size()) return false;
    unsigned char* der = nullptr;
    const int n = i2d_ECDSA_SIG(s.get(), &der);
    const bool same = n > 0 && std::string_view(reinterpret_cast<const char*>(der), size_t(n)) == Sig;
    OPENSSL_free(der);
    return same;
}
}  // namespace

struct TSha256::State {
    TMdCtx ctx{EVP_MD_CTX_new()};
};

TSha256::TSha256() : state_(std::make_unique<State>()) {
    if (!state_->ctx || EVP_DigestInit_ex(state_->ctx.get(), EVP_sha256(), nullptr) != 1)
        throw platform::EUpdaterError("SHA-256 is not available");
}
TSha256::~TSha256() = default;

void TSha256::Update(const void* Data, size_t Size) {
    if (Size > 0) EVP_DigestUpdate(state_->ctx.get(), Data, Size);
}

TSha256Digest TSha256::Final() {
    TSha256Digest d{};
    unsigned int n = 0;
    EVP_DigestFinal_ex(state_->ctx.get(), d.data(), &n);
    return d;
}

TVerifyResult VerifyP256(std::string_view PublicKeyBase64, std::string_view Data, std::string_view DerSignature) {
    TPKey key = PublicKeyFromBase64(PublicKeyBase64);
    ERR_clear_error();
    if (!key) return TVerifyResult::BadKey;
    if (!IsDerEcdsaSignature(DerSignature)) return TVerifyResult::Malformed;
    TMdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
        ERR_clear_error();
        return TVerifyResult::BadKey;
    }
    const int r =
        EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(DerSignature.data()), DerSignature.size(),
                         reinterpret_cast<const unsigned char*>(Data.data()), Data.size());
    ERR_clear_error();
    return r == 1 ? TVerifyResult::Valid : TVerifyResult::Mismatch;
}

std::string PublicKeyBase64FromPem(std::string_view Pem, std::string& Error) {
    auto bio = MemBio(Pem);
    TPKey key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key) {
        ERR_clear_error();
        bio = MemBio(Pem);
        key.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    }
    ERR_clear_error();
    if (!key || !IsP256(key.get())) {
        Error = key ? "the key is not an ECDSA P-256 key" : "no PEM public or private key found";
        return "";
    }
    unsigned char* der = nullptr;
    const int n = i2d_PUBKEY(key.get(), &der);
    if (n <= 0) {
        Error = "the public key cannot be written";
        return "";
    }
    std::string out = platform::EncodeBase64(std::string_view(reinterpret_cast<const char*>(der), size_t(n)));
    OPENSSL_free(der);
    return out;
}

std::string SignP256(std::string_view PrivateKeyPem, std::string_view Data) {
    auto bio = MemBio(PrivateKeyPem);
    TPKey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    ERR_clear_error();
    if (!key || !IsP256(key.get()))
        throw platform::EUpdaterError("the signing key is not an ECDSA P-256 private key in PEM form");
    TMdCtx ctx(EVP_MD_CTX_new());
    size_t size = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(Data.data()), Data.size()) !=
            1) {
        ERR_clear_error();
        throw platform::EUpdaterError("signing failed");
    }
    std::string sig(size, '\0');
    if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(sig.data()), &size,
                       reinterpret_cast<const unsigned char*>(Data.data()), Data.size()) != 1) {
        ERR_clear_error();
        throw platform::EUpdaterError("signing failed");
    }
    sig.resize(size);
    return sig;
}

}  // namespace crypto
