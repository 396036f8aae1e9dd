#include "http/tls_schannel_verify_win.h"

// Windows headers depend on their order.
// clang-format off
#include <wincrypt.h>
#include <ws2tcpip.h>
#include <schannel.h>
// clang-format on

#include <cstring>
#include <memory>
#include <vector>

#include "http/socket_io.h"
#include "platform/file_utils.h"
#include "platform/os_error.h"
#include "platform/strconv.h"
#include "platform/wide_text_win.h"

using namespace platform;

namespace http {

namespace {
struct TCertFree {
    void operator()(PCCERT_CONTEXT c) const { CertFreeCertificateContext(c); }
};
struct TChainFree {
    void operator()(PCCERT_CHAIN_CONTEXT c) const { CertFreeCertificateChain(c); }
};
struct TStoreClose {
    void operator()(HCERTSTORE s) const { CertCloseStore(s, 0); }
};
using TCert = std::unique_ptr<const CERT_CONTEXT, TCertFree>;
using TChain = std::unique_ptr<const CERT_CHAIN_CONTEXT, TChainFree>;
using TStore = std::unique_ptr<void, TStoreClose>;

// Every certificate of a PEM file into Store; false when the file holds none.
bool LoadPemCertificates(const std::string& FileName, HCERTSTORE Store) {
    std::string pem;
    try {
        pem = ReadFileBytes(FileName);
    } catch (...) {
        return false;
    }
    static const std::string kBegin = "-----BEGIN CERTIFICATE-----", kEnd = "-----END CERTIFICATE-----";
    int loaded = 0;
    for (size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at + 1)) {
        const size_t end = pem.find(kEnd, at);
        if (end == std::string::npos) break;
        const std::string block = pem.substr(at, end + kEnd.size() - at);
        DWORD size = 0;
        if (!CryptStringToBinaryA(block.c_str(), DWORD(block.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                                  nullptr, nullptr))
            continue;
        std::vector<BYTE> der(size);
        if (!CryptStringToBinaryA(block.c_str(), DWORD(block.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                                  nullptr, nullptr))
            continue;
        if (CertAddEncodedCertificateToStore(Store, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_ALWAYS,
                                             nullptr))
            ++loaded;
    }
    return loaded > 0;
}

bool InStore(HCERTSTORE Store, PCCERT_CONTEXT Cert) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(Store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, Cert, nullptr);
    if (!found) return false;
    CertFreeCertificateContext(found);
    return true;
}

bool SameTextAscii(std::string_view a, std::string_view b) { return SameText(a, b); }

// RFC 6125 style: a "*" only as the whole leftmost label, matching exactly one label.
bool DnsNameMatches(std::string Pattern, const std::string& Host) {
    while (!Pattern.empty() && Pattern.back() == '.') Pattern.pop_back();
    if (Pattern.size() > 2 && Pattern.compare(0, 2, "*.") == 0) {
        const size_t dot = Host.find('.');
        return dot != std::string::npos && dot > 0 && SameTextAscii(Pattern.substr(1), Host.substr(dot));
    }
    return SameTextAscii(Pattern, Host);
}

// The host name or address against the subject alternative names (names fall back to the
// common name when the certificate has no DNS names at all, as OpenSSL does).
bool HostMatches(PCCERT_CONTEXT Cert, const std::string& Host, bool IsIP) {
    unsigned char ip[16];
    size_t ipLen = 0;
    if (IsIP) {
        if (inet_pton(AF_INET, Host.c_str(), ip) == 1)
            ipLen = 4;
        else if (inet_pton(AF_INET6, Host.c_str(), ip) == 1)
            ipLen = 16;
    }
    bool sawDns = false;
    PCERT_EXTENSION ext =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, Cert->pCertInfo->cExtension, Cert->pCertInfo->rgExtension);
    if (ext) {
        CERT_ALT_NAME_INFO* names = nullptr;
        DWORD size = 0;
        if (CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData, ext->Value.cbData,
                                CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
            bool match = false;
            for (DWORD i = 0; i < names->cAltEntry && !match; ++i) {
                const CERT_ALT_NAME_ENTRY& e = names->rgAltEntry[i];
                if (e.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME) {
                    sawDns = true;
                    if (!IsIP) match = DnsNameMatches(Narrow(e.pwszDNSName), Host);
                } else if (e.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && ipLen != 0) {
                    match = e.IPAddress.cbData == ipLen && std::memcmp(e.IPAddress.pbData, ip, ipLen) == 0;
                }
            }
            LocalFree(names);
            if (match) return true;
        }
    }
    if (IsIP || sawDns) return false;
    wchar_t cn[256] = L"";
    CertGetNameStringW(Cert, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), cn, 256);
    return cn[0] != 0 && DnsNameMatches(Narrow(cn), Host);
}
}  // namespace

std::string SchannelPeerVerificationFailure(CtxtHandle* Context, const std::string& HostIn, const std::string& CAFile) {
    const std::string host = Unbracketed(HostIn);
    if (host.empty()) return "No host name to check the server's certificate against";
    const std::string of = "The certificate of " + host;
    PCCERT_CONTEXT raw = nullptr;
    if (QueryContextAttributesW(Context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw) != SEC_E_OK || !raw)
        return of + " could not be verified: the server sent no certificate";
    TCert cert(raw);

    TStore extra(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    if (!extra) return of + " could not be verified: no certificate store";
    if (!CAFile.empty() && !LoadPemCertificates(CAFile, extra.get()))
        return "The certificate authority file " + CAFile + " cannot be loaded";
    // The intermediates the server sent, beside the CA file's.
    TStore collection(CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
    CertAddStoreToCollection(collection.get(), extra.get(), 0, 0);
    if (cert->hCertStore) CertAddStoreToCollection(collection.get(), cert->hCertStore, 0, 0);

    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuth;
    PCCERT_CHAIN_CONTEXT rawChain = nullptr;
    if (!CertGetCertificateChain(nullptr, cert.get(), nullptr, collection.get(), &para, 0, nullptr, &rawChain))
        return of + " could not be verified: " + SystemErrorText(int(GetLastError()));
    TChain chain(rawChain);

    DWORD status = chain->TrustStatus.dwErrorStatus;
    const CERT_SIMPLE_CHAIN* simple = chain->cChain > 0 ? chain->rgpChain[0] : nullptr;
    const bool oneElement = simple && simple->cElement == 1;
    PCCERT_CONTEXT root =
        simple && simple->cElement > 0 ? simple->rgpElement[simple->cElement - 1]->pCertContext : nullptr;
    // A root from the CA file is trusted for this connection, as OpenSSL's CA file is.
    if ((status & CERT_TRUST_IS_UNTRUSTED_ROOT) && root && InStore(extra.get(), root))
        status &= ~DWORD(CERT_TRUST_IS_UNTRUSTED_ROOT);
    const bool selfSigned = oneElement && CertCompareCertificateName(X509_ASN_ENCODING, &cert->pCertInfo->Subject,
                                                                     &cert->pCertInfo->Issuer);
    // The order of OpenSSL's checks: the chain, the host, then the dates.
    if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) {
        if (selfSigned) return of + " is self-signed and not trusted";
        return of + " is not issued by a trusted certificate authority";
    }
    if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return of + " could not be verified: a signature is not valid";
    const bool isIP = IsIPLiteral(host);
    if (!HostMatches(cert.get(), host, isIP))
        return of + (isIP ? " is issued for another IP address" : " is issued for another host name");
    const LONG when = CertVerifyTimeValidity(nullptr, cert->pCertInfo);
    if (when > 0) return of + " has expired";
    if (when < 0) return of + " is not valid yet";
    if (status & CERT_TRUST_IS_NOT_TIME_VALID) return of + " could not be verified: an issuer is out of its dates";
    if (status & CERT_TRUST_IS_REVOKED) return of + " could not be verified: it is revoked";
    if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return of + " could not be verified: it is not for servers";
    return "";
}

}  // namespace http
