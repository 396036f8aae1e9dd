// The NTLM digests from OpenSSL. MD4 is in the legacy provider only: it is loaded into a
// library context of its own for the one digest, so the process's default context (TLS and
// the signatures) never offers a legacy algorithm.
#include "http/ntlm_hash.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>

#include "http/proxy_auth.h"
#include "platform/scope_exit.h"

using namespace platform;

namespace http {

namespace {
std::string LastOpenSslError() {
    const unsigned long e = ERR_peek_last_error();
    ERR_clear_error();
    if (e == 0) return "no reason given";
    char text[256];
    ERR_error_string_n(e, text, sizeof text);
    return text;
}

[[noreturn]] void Missing(const std::string& Digest, const std::string& Why) {
    throw EProxyAuthError("NTLM needs the " + Digest + " digest, which OpenSSL does not offer here: " + Why);
}

std::string Digest(const EVP_MD* Md, std::string_view Data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!EVP_Digest(Data.data(), Data.size(), out, &size, Md, nullptr))
        Missing(EVP_MD_get0_name(Md), LastOpenSslError());
    return std::string(reinterpret_cast<const char*>(out), size);
}
}  // namespace

std::string Md4(std::string_view Data) {
    OSSL_LIB_CTX* context = OSSL_LIB_CTX_new();
    if (!context) Missing("MD4", LastOpenSslError());
    const ScopeExit freeContext([context] { OSSL_LIB_CTX_free(context); });
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(context, "legacy");
    if (!legacy)
        Missing("MD4",
                "its legacy provider (legacy.so in the folder OPENSSL_MODULES or the build names) cannot be "
                "loaded: " +
                    LastOpenSslError());
    const ScopeExit unload([legacy] { OSSL_PROVIDER_unload(legacy); });
    EVP_MD* md4 = EVP_MD_fetch(context, "MD4", nullptr);
    if (!md4) Missing("MD4", "its legacy provider has none: " + LastOpenSslError());
    const ScopeExit freeMd([md4] { EVP_MD_free(md4); });
    return Digest(md4, Data);
}

std::string Md5(std::string_view Data) { return Digest(EVP_md5(), Data); }

std::string HmacMd5(std::string_view Key, std::string_view Data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!HMAC(EVP_md5(), Key.data(), static_cast<int>(Key.size()), reinterpret_cast<const unsigned char*>(Data.data()),
              Data.size(), out, &size))
        Missing("HMAC-MD5", LastOpenSslError());
    return std::string(reinterpret_cast<const char*>(out), size);
}

}  // namespace http
