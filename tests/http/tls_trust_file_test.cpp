// The default CA file (SSL_CERT_FILE) read on demand trusts exactly what the library's own
// load of the whole file trusts: every case runs both ways and must end the same, against
// openssl s_server with certificates of test CAs put in a bundle with the system's store.
#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "http/tcp_socket.h"
#include "http/tls_openssl_context.h"
#include "tests/http/socket_test_util.h"
#include "tests/support/real_peers.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_keys.h"

namespace {
const char* const kNotTrusted = "The certificate of 127.0.0.1 is not issued by a trusted certificate authority";

bool RunLine(const std::string& Line, std::string& Error) {
    const CommandResult r = RunCommand(Line + " 2>&1");
    if (r.code != 0) Error = Line + ": " + r.output;
    return r.code == 0;
}

// A CA named Subject (two made with one subject differ in their keys).
bool MakeCA(const std::string& Folder, const std::string& Name, const std::string& Subject, TestCA& Out,
            std::string& Error) {
    Out.CertFile = Folder + Name + ".pem";
    Out.KeyFile = Folder + Name + ".key";
    return RunLine("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj '/CN=" +
                   Subject + "' -keyout '" + Out.KeyFile + "' -out '" + Out.CertFile + "'",
               Error);
}

// A server certificate for 127.0.0.1 naming its issuer's key, as real ones do: that is what
// tells apart two CAs of one name.
bool MakeServer(const std::string& Folder, const std::string& Name, const TestCA& Ca, TestCertificate& Out,
                std::string& Error) {
    Out.CertFile = Folder + Name + ".pem";
    Out.KeyFile = Folder + Name + ".key";
    const std::string csr = Folder + Name + ".csr", ext = Folder + Name + ".ext";
    std::ofstream(ext) << "subjectAltName=IP:127.0.0.1\nauthorityKeyIdentifier=keyid\n";
    return RunLine("openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout '" + Out.KeyFile +
                   "' -subj /CN=server -out '" + csr + "'",
               Error) &&
           RunLine("openssl x509 -req -in '" + csr + "' -CA '" + Ca.CertFile + "' -CAkey '" + Ca.KeyFile +
                   "' -CAcreateserial -days 2 -extfile '" + ext + "' -out '" + Out.CertFile + "'",
               Error);
}

// SSL_CERT_FILE as a case sets it, put back afterwards.
class CertFileEnv {
public:
    explicit CertFileEnv(const std::string& Value) {
        if (const char* old = std::getenv("SSL_CERT_FILE")) saved_ = old;
        ::setenv("SSL_CERT_FILE", Value.c_str(), 1);
    }
    ~CertFileEnv() { saved_ ? (void)::setenv("SSL_CERT_FILE", saved_->c_str(), 1) : (void)::unsetenv("SSL_CERT_FILE"); }

private:
    std::optional<std::string> saved_;
};

enum TServer { kGood, kStranger, kTwin, kRejected, kTrusted, kServerCount };

class TrustFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir("zeltrust");
        const std::string d = dir->Path();
        std::string& e = error;
        TestCA good, stranger, twin1, twin2, rejected, trusted;
        ASSERT_TRUE(MakeCA(d, "good", "Test-CA", good, e) && MakeCA(d, "stranger", "Stranger-CA", stranger, e) &&
                    MakeCA(d, "twin1", "Twin-CA", twin1, e) && MakeCA(d, "twin2", "Twin-CA", twin2, e) &&
                    MakeCA(d, "rejected", "Rejected-CA", rejected, e) && MakeCA(d, "trusted", "Trusted-CA", trusted, e))
            << e;
        // The same CA certificates with trust settings: refused, or accepted, for servers.
        ASSERT_TRUE(RunLine("openssl x509 -in '" + rejected.CertFile + "' -addreject serverAuth -trustout -out '" + d +
                            "rejected.trusted.pem'",
                        e) &&
                    RunLine("openssl x509 -in '" + trusted.CertFile + "' -addtrust serverAuth -trustout -out '" + d +
                            "trusted.trusted.pem'",
                        e))
            << e;
        const TestCA* signers[kServerCount] = {&good, &stranger, &twin2, &rejected, &trusted};
        for (int s = 0; s < kServerCount; ++s) {
            TestCertificate cert;
            ASSERT_TRUE(MakeServer(d, "server" + std::to_string(s), *signers[s], cert, e)) << e;
            servers[s] = new OpensslServer({"-www"}, &cert);
            ASSERT_TRUE(servers[s]->Started()) << servers[s]->Error();
        }
        system = ReadWholeFile(X509_get_default_cert_file());
        goodPem = ReadWholeFile(good.CertFile);
        twin1Pem = ReadWholeFile(twin1.CertFile);
        twin2Pem = ReadWholeFile(twin2.CertFile);
        rejectedPem = ReadWholeFile(d + "rejected.trusted.pem");
        trustedPem = ReadWholeFile(d + "trusted.trusted.pem");
        twin1File = twin1.CertFile;
        PublisherKey key;
        ASSERT_TRUE(MakePublisherKey(d, "key", key, e)) << e;
        keyPems = ReadWholeFile(key.PrivatePem) + ReadWholeFile(key.PublicPem);
    }
    static void TearDownTestSuite() {
        for (auto*& s : servers) delete s, s = nullptr;
        delete dir;
    }
    void TearDown() override { http::LoadDefaultTrustFileEagerly(false); }

    struct Case {
        const char* name;
        std::string bundle;  // the file SSL_CERT_FILE names (empty: a file that does not exist)
        TServer server;
        std::string caFile;   // CAFILE of the local INI
        std::string refusal;  // empty: the connection must succeed
    };
    // One connection as the case says, with the file read on demand and then loaded whole;
    // each way has its own bundle file, so it gets a context of its own.
    static void Check(const Case& c) {
        for (const bool eager : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (eager ? ", loaded whole" : ", read on demand"));
            http::LoadDefaultTrustFileEagerly(eager);
            const std::string file = std::string(eager ? "eager-" : "lazy-") + c.name;
            const CertFileEnv env(c.bundle.empty() ? dir->File("missing/" + file) : dir->Write(file, c.bundle));
            TTCPClientSocket s;
            s.SSL().VerifyCert = true;
            s.SSL().CAFile = c.caFile;
            s.SSL().SNIHost = "127.0.0.1";
            s.Connect("127.0.0.1", Port(servers[c.server]->Port()));
            ASSERT_EQ(s.LastError, 0) << s.LastErrorDesc;
            const bool ok = s.StartTLS();
            if (c.refusal.empty()) {
                EXPECT_TRUE(ok) << s.LastErrorDesc;
            } else {
                EXPECT_FALSE(ok);
                EXPECT_EQ(s.LastErrorDesc, c.refusal);
            }
        }
    }

    static inline TempDir* dir = nullptr;
    static inline OpensslServer* servers[kServerCount] = {};
    static inline std::string system, goodPem, twin1Pem, twin2Pem, rejectedPem, trustedPem, twin1File, keyPems,
        error;
};

TEST_F(TrustFile, TheFileReadOnDemandTrustsWhatTheWholeLoadTrusts) {
    ASSERT_NE(system.find("-----BEGIN CERTIFICATE-----"), std::string::npos) << "no system store to bundle";
    const std::string many = system + goodPem + twin1Pem + twin2Pem + rejectedPem + trustedPem;
    const Case cases[] = {
        {"a CA in the bundle", many, kGood, "", ""},
        {"a CA not in the bundle", many, kStranger, "", kNotTrusted},
        {"two CAs of one name, the second signed", many, kTwin, "", ""},
        {"two CAs of one name, the second signed, in the other order", system + twin2Pem + twin1Pem, kTwin, "", ""},
        {"the other CA of the name in CAFILE", system + twin2Pem, kTwin, twin1File, ""},
        {"only the CA of the name that did not sign", system + twin1Pem, kTwin, "", kNotTrusted},
        {"a trusted certificate rejected for servers", many, kRejected, "",
         "The certificate of 127.0.0.1 could not be verified: certificate rejected"},
        {"a trusted certificate trusted for servers", many, kTrusted, "", ""},
        {"no file", "", kGood, "", kNotTrusted},
        {"an empty file", "\n", kGood, "", kNotTrusted},
    };
    for (const Case& c : cases) Check(c);
}

// The whole load drops the whole file for one broken block, whatever its kind, and skips the
// blocks it does not use; so must the file read on demand.
TEST_F(TrustFile, ABrokenBlockTakesTheFileDownAsInTheWholeLoad) {
    auto block = [](const std::string& Label, const std::string& Body) {
        return "-----BEGIN " + Label + "-----\n" + Body + "\n-----END " + Label + "-----\n";
    };
    const std::string notBase64 = "MIIB!!!not*base64", notDer = "AAAAAAAAAAAA";
    const Case cases[] = {
        {"keys and unknown blocks are skipped",
         system + keyPems + block("UNKNOWN THING", "AAAA") + "some text between blocks\n" + goodPem, kGood, "", ""},
        {"a certificate block that is not base64", system + block("CERTIFICATE", notBase64) + goodPem, kGood, "",
         kNotTrusted},
        {"a certificate block that is no certificate", system + goodPem + block("CERTIFICATE", notDer), kGood, "",
         kNotTrusted},
        {"a trusted certificate block that is no certificate",
         system + block("TRUSTED CERTIFICATE", notDer) + goodPem, kGood, "", kNotTrusted},
        {"an unknown block that is not base64", system + goodPem + block("UNKNOWN THING", notBase64), kGood, "",
         kNotTrusted},
        {"a key block that is no key", system + block("PRIVATE KEY", notDer) + goodPem, kGood, "", kNotTrusted},
        {"a block without its end", system + goodPem + "-----BEGIN CERTIFICATE-----\nMIIB\n", kGood, "",
         kNotTrusted},
    };
    for (const Case& c : cases) Check(c);
}

// Connections of one run verify at the same time, each may be the first to ask.
TEST_F(TrustFile, ConnectionsAskingTogetherAllFindTheirCA) {
    const CertFileEnv env(dir->Write("together.pem", system + goodPem + twin1Pem + twin2Pem));
    std::vector<std::string> results(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&results, i] {
            TTCPClientSocket s;
            s.SSL().VerifyCert = true;
            s.SSL().SNIHost = "127.0.0.1";
            s.Connect("127.0.0.1", Port(servers[i % 2 ? kTwin : kGood]->Port()));
            results[i] = s.LastError != 0 ? s.LastErrorDesc : s.StartTLS() ? "" : s.LastErrorDesc;
        });
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i], "") << "connection " << i;
}

// What makes it cheap: a context that verified one server holds only the certificates of the
// subjects the chain asked for, all of them, not the whole file.
TEST_F(TrustFile, OnlyTheSubjectsAskedForAreBuilt) {
    const CertFileEnv env(dir->Write("asked.pem", system + goodPem + twin1Pem + twin2Pem));
    TTCPClientSocket s;
    s.SSL().VerifyCert = true;
    s.SSL().SNIHost = "127.0.0.1";
    s.Connect("127.0.0.1", Port(servers[kTwin]->Port()));
    ASSERT_TRUE(s.StartTLS()) << s.LastErrorDesc;
    std::string e;
    SSL_CTX* ctx = http::RunClientContext(true, "", e);
    ASSERT_NE(ctx, nullptr) << e;
    STACK_OF(X509_OBJECT)* held = X509_STORE_get0_objects(SSL_CTX_get_cert_store(ctx));
    ASSERT_EQ(sk_X509_OBJECT_num(held), 2);
    for (int i = 0; i < 2; ++i) {
        char name[64] = {};
        X509_NAME_oneline(X509_get_subject_name(X509_OBJECT_get0_X509(sk_X509_OBJECT_value(held, i))), name,
                          sizeof name);
        EXPECT_STREQ(name, "/CN=Twin-CA");
    }
}
}  // namespace
