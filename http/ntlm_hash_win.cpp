// The NTLM digests from CNG, Windows' own cryptography.
#include <windows.h>

#include <bcrypt.h>

#include <cstdio>

#include "http/ntlm_hash.h"
#include "http/proxy_auth.h"
#include "platform/scope_exit.h"

using namespace platform;

namespace http {

namespace {
std::string StatusText(NTSTATUS Status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(Status));
    return text;
}

// Key: the HMAC key, or nullptr for a plain digest.
std::string Hash(const wchar_t* Algorithm, const char* Name, const std::string_view* Key, std::string_view Data) {
    auto fail = [Name](const char* Step, NTSTATUS Status) {
        throw EProxyAuthError(std::string("NTLM needs the ") + Name + " digest, which Windows' cryptography (CNG) " +
                              "does not offer here: " + Step + " failed with status " + StatusText(Status) + ".");
    };
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    NTSTATUS status =
        BCryptOpenAlgorithmProvider(&algorithm, Algorithm, nullptr, Key ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0);
    if (!BCRYPT_SUCCESS(status)) fail("BCryptOpenAlgorithmProvider", status);
    const ScopeExit close([algorithm] { BCryptCloseAlgorithmProvider(algorithm, 0); });
    // CNG takes the key and the data as writable bytes and only reads them.
    std::string key = Key ? std::string(*Key) : std::string();
    BCRYPT_HASH_HANDLE hash = nullptr;
    status = BCryptCreateHash(algorithm, &hash, nullptr, 0, Key ? reinterpret_cast<PUCHAR>(key.data()) : nullptr,
                              static_cast<ULONG>(key.size()), 0);
    if (!BCRYPT_SUCCESS(status)) fail("BCryptCreateHash", status);
    const ScopeExit destroy([hash] { BCryptDestroyHash(hash); });
    std::string data(Data);
    status = BCryptHashData(hash, reinterpret_cast<PUCHAR>(data.data()), static_cast<ULONG>(data.size()), 0);
    if (!BCRYPT_SUCCESS(status)) fail("BCryptHashData", status);
    std::string out(16, '\0');
    status = BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(out.data()), static_cast<ULONG>(out.size()), 0);
    if (!BCRYPT_SUCCESS(status)) fail("BCryptFinishHash", status);
    return out;
}
}  // namespace

std::string Md4(std::string_view Data) { return Hash(BCRYPT_MD4_ALGORITHM, "MD4", nullptr, Data); }
std::string Md5(std::string_view Data) { return Hash(BCRYPT_MD5_ALGORITHM, "MD5", nullptr, Data); }
std::string HmacMd5(std::string_view Key, std::string_view Data) {
    return Hash(BCRYPT_MD5_ALGORITHM, "HMAC-MD5", &Key, Data);
}

}  // namespace http
