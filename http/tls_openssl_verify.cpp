#include "http/tls_openssl_verify.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include "http/socket_io.h"

namespace http {

bool SetUpPeerVerification(SSL* Ssl, const std::string& Host, std::string& Error) {
    const std::string host = Unbracketed(Host);
    if (host.empty()) {
        Error = "No host name to check the server's certificate against";
        return false;
    }
    const bool ok = IsIPLiteral(host) ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(Ssl), host.c_str()) == 1
                                      : SSL_set1_host(Ssl, host.c_str()) == 1;
    if (!ok) {
        ERR_clear_error();
        Error = "The host name " + host + " cannot be checked against a certificate";
        return false;
    }
    SSL_set_verify(Ssl, SSL_VERIFY_PEER, nullptr);
    return true;
}

std::string PeerVerificationFailure(SSL* Ssl, const std::string& Host) {
    const long r = SSL_get_verify_result(Ssl);
    const std::string of = "The certificate of " + Unbracketed(Host);
    switch (r) {
    case X509_V_OK: return "";
    case X509_V_ERR_HOSTNAME_MISMATCH: return of + " is issued for another host name";
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return of + " is issued for another IP address";
    case X509_V_ERR_CERT_HAS_EXPIRED: return of + " has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID: return of + " is not valid yet";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return of + " is self-signed and not trusted";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return of + " is not issued by a trusted certificate authority";
    default: return of + " could not be verified: " + X509_verify_cert_error_string(r);
    }
}

}  // namespace http
