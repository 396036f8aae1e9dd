#pragma once
// Keys and certificates made for one test with the openssl command line: a publisher's
// ECDSA P-256 key pair, and a small certificate authority with the server certificates a
// client must accept or refuse.
#include <string>

#include "tests/support/real_peers.h"

struct PublisherKey {
    std::string PrivatePem;    // file name of the PEM private key
    std::string PublicPem;     // file name of the PEM public key
    std::string PublicBase64;  // what PUBLICKEY holds: base64 DER SubjectPublicKeyInfo
};
// Algorithm: "ec" for P-256 (the publisher's kind), or any other openssl genpkey option list,
// e.g. "ec -pkeyopt ec_paramgen_curve:P-384" or "rsa", to make keys of the wrong kind.
bool MakePublisherKey(const std::string& Folder, const std::string& Name, PublisherKey& Out, std::string& Error,
                      const std::string& Algorithm = "ec -pkeyopt ec_paramgen_curve:P-256");
// Signs the file Data with the private key into Data + ".sig" as a publisher does.
bool SignWithOpenssl(const PublisherKey& Key, const std::string& Data, std::string& Error);

// A certificate authority of the test (ca.pem, ca.key in Folder).
struct TestCA {
    std::string CertFile, KeyFile;
};
bool MakeTestCA(const std::string& Folder, TestCA& Out, std::string& Error);

enum class TCertKind { SignedByCA, Expired, OtherHost, SelfSigned };
// A server certificate named Name in Folder: signed by Ca for 127.0.0.1 (valid, or already
// expired), signed by Ca for another host only, or self-signed for 127.0.0.1.
bool MakeServerCertificate(const std::string& Folder, const std::string& Name, const TestCA& Ca, TCertKind Kind,
                           TestCertificate& Out, std::string& Error);
