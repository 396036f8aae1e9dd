#include "tests/support/test_keys.h"

#include <fstream>

#include "tests/support/run_command.h"

namespace {
bool Run(const std::string& Line, std::string& Error) {
    const CommandResult r = RunCommand(Line + " 2>&1");
    if (r.code != 0) Error = Line + ": " + r.output;
    return r.code == 0;
}
std::string Quoted(const std::string& s) { return "'" + s + "'"; }
}  // namespace

bool MakePublisherKey(const std::string& Folder, const std::string& Name, PublisherKey& Out, std::string& Error,
                      const std::string& Algorithm) {
    Out.PrivatePem = Folder + Name + ".pem";
    Out.PublicPem = Folder + Name + ".pub.pem";
    const std::string der = Folder + Name + ".pub.der";
    const std::string algo = Algorithm.rfind("rsa", 0) == 0 ? "RSA" : "EC" + Algorithm.substr(2);
    if (!Run("openssl genpkey -algorithm " + algo + " -out " + Quoted(Out.PrivatePem), Error) ||
        !Run("openssl pkey -in " + Quoted(Out.PrivatePem) + " -pubout -out " + Quoted(Out.PublicPem), Error) ||
        !Run("openssl pkey -in " + Quoted(Out.PrivatePem) + " -pubout -outform DER -out " + Quoted(der), Error))
        return false;
    const CommandResult b64 = RunCommand("base64 -w0 " + Quoted(der));
    Out.PublicBase64 = b64.output;
    if (b64.code != 0 || Out.PublicBase64.empty()) Error = "base64 failed";
    return Error.empty();
}

bool SignWithOpenssl(const PublisherKey& Key, const std::string& Data, std::string& Error) {
    return Run(
        "openssl dgst -sha256 -sign " + Quoted(Key.PrivatePem) + " -out " + Quoted(Data + ".sig") + " " + Quoted(Data),
        Error);
}

bool MakeTestCA(const std::string& Folder, TestCA& Out, std::string& Error) {
    Out.CertFile = Folder + "ca.pem";
    Out.KeyFile = Folder + "ca.key";
    return Run(
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "
        "/CN=Test-CA -keyout " +
            Quoted(Out.KeyFile) + " -out " + Quoted(Out.CertFile),
        Error);
}

bool MakeServerCertificate(const std::string& Folder, const std::string& Name, const TestCA& Ca, TCertKind Kind,
                           TestCertificate& Out, std::string& Error) {
    Out.CertFile = Folder + Name + ".pem";
    Out.KeyFile = Folder + Name + ".key";
    const std::string san = Kind == TCertKind::OtherHost ? "DNS:other.example" : "IP:127.0.0.1";
    const std::string newKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + Quoted(Out.KeyFile);
    if (Kind == TCertKind::SelfSigned)
        return Run("openssl req -x509 " + newKey + " -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=" + san +
                       " -out " + Quoted(Out.CertFile),
                   Error);
    const std::string csr = Folder + Name + ".csr", ext = Folder + Name + ".ext";
    std::ofstream(ext) << "subjectAltName=" << san << "\n";
    // A negative validity ends the certificate before it begins: expired from the start.
    const std::string days = Kind == TCertKind::Expired ? "-1" : "2";
    return Run("openssl req -new " + newKey + " -subj /CN=server -out " + Quoted(csr), Error) &&
           Run("openssl x509 -req -in " + Quoted(csr) + " -CA " + Quoted(Ca.CertFile) + " -CAkey " +
                   Quoted(Ca.KeyFile) + " -CAcreateserial -days " + days + " -extfile " + Quoted(ext) + " -out " +
                   Quoted(Out.CertFile),
               Error);
}
