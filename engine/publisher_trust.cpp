// The publisher's proofs: a signed server INI, a hash and a size for every downloaded file,
// and the certificate policy for every https connection, all set in the local INI.
#include <utility>

#include "server_ini/file_names.h"
#include "server_ini/server_ini.h"
#include "engine/zel_cust_update_dialog.h"
#include "http/tls_verification.h"
#include "http/zel_http_file_downloader.h"
#include "platform/file_utils.h"
#include "platform/scope_exit.h"
#include "platform/scoped_value.h"
#include "platform/shown_text.h"
#include "platform/strconv.h"
#include "trust/publisher_keys.h"
#include "trust/server_ini_edition.h"
#include "trust/server_ini_signature.h"
#include "ui/application.h"

using namespace engine;
using namespace serverini;
using namespace http;
using namespace platform;
using namespace trust;
using namespace ui;

namespace {
// A DER ECDSA P-256 signature is at most 72 bytes; anything far larger is not one.
constexpr int64_t kMaxSignatureSize = 4096;

std::vector<std::string> Keys(const TStringList& LocalIni) { return TrustedKeys(LocalIni.Values("PUBLICKEY")); }

}  // namespace

void TzelCustUpdaterDialogForm::ApplyTrustSettings() {
    TTLSVerifyDefaults tls;
    tls.VerifyCert = Trim(FLocalIniList->Values("TLSVERIFY")) != "0";
    const std::string caFile = Trim(FLocalIniList->Values("CAFILE"));
    if (!caFile.empty()) tls.CAFile = caFile.front() == '/' ? caFile : ProgramFolder() + caFile;
    // Every https connection of the run: this form's downloader, and the senders made later.
    SetTLSVerifyDefaults(tls);
    TTLSPlugin& plugin = FHTTPFileDownloader->Sock->SSL();
    plugin.VerifyCert = tls.VerifyCert;
    plugin.CAFile = tls.CAFile;
    if (!tls.VerifyCert)
        ReportStatus("TLSVERIFY=0 in the local INI: the certificates of https servers are not checked.", false, false,
                     false);
    if (Keys(*FLocalIniList).empty())
        ReportStatus("No PUBLICKEY in the local INI: the server INI is not checked against a publisher's key.", false,
                     false, false);
}

// Loads FileName, fetched from Url, into the server INI list when it is a configuration file
// and, with a publisher's key, when its signature holds. True when it carries the marker.
bool TzelCustUpdaterDialogForm::LoadServerIni(const std::string& Url, const std::string& FileName) {
    const std::vector<std::string> keys = Keys(*FLocalIniList);
    if (keys.empty()) {
        FServerIniList->LoadFromFile(FileName);
        return HoldsMarker(*FServerIniList);
    }
    // Nothing unverified reaches the list: a file without the marker is not a configuration
    // file (the fall-back decides what follows), one with it must carry the signature.
    const std::string bytes = ReadFileBytes(FileName);
    TStringList candidate;
    candidate.LoadFromBytes(bytes);
    if (!HoldsMarker(candidate)) return false;

    const std::string sigUrl = Url + kSignatureSuffix;
    const std::string sigFile = FileName + kSignatureSuffix;
    const ScopeExit cleanup([&sigFile] { DeleteFileIfExists(sigFile); });
    WriteLog(FzelLogFileName, "TzelCustUpdaterDialogForm.LoadServerIni(): Signature Source = " + ShownText(sigUrl));
    std::string signature;
    TServerIniEdition edition;
    try {
        FHTTPFileDownloader->MaxFileSize = kMaxSignatureSize;
        bool got = false;
        {
            const ScopeExit limitReset([this] { FHTTPFileDownloader->MaxFileSize = -1; });
            // The signature must be as fresh as the server INI it proves.
            ScopedValue<bool> noCache(FHTTPFileDownloader->NoCache, true);
            got = FHTTPFileDownloader->DownloadFile(sigUrl, sigFile, nullptr);
        }
        if (!got) throw MissingSignatureError(ShownText(Url), "the server did not answer");
        signature = ReadFileBytes(sigFile);
        CheckServerIniSignature(keys, ShownText(Url), bytes, signature);
        edition = ReadServerIniEdition(candidate, Url);
        CheckServerIniEdition(edition, ShownText(Url), ParseSerial(Trim(FLocalIniList->Values("SERIAL"))),
                              FLocalIniList->Values("CHANNEL"), UtcNow());
        for (const auto& k : SplitKeys(edition.NewPublicKey))
            if (!IsPublicKey(k))
                throw ETrustError("The server INI at " + ShownText(Url) + " gives a NEWPUBLICKEY that is not the base64 text of " +
                                  "an ECDSA P-256 public key; the server INI is not used.");
    } catch (const ETrustError& e) {
        ReportStatus(e.Message(), true, true, true);
        throw;
    } catch (const EUpdaterError& e) {
        const ETrustError missing = MissingSignatureError(ShownText(Url), e.Message());
        ReportStatus(missing.Message(), true, true, true);
        throw missing;
    }
    *FServerIniList = std::move(candidate);  // the very lines that were checked, not a second copy
    WriteLog(FzelLogFileName,
             "TzelCustUpdaterDialogForm.LoadServerIni(): " + ShownText(Url) + " carries the publisher's signature");
    // The newest edition taken: an older one replayed later is refused, also after a crash or
    // an update error, so it reaches the disk at once as the RAN markers do.
    if (edition.Serial > ParseSerial(Trim(FLocalIniList->Values("SERIAL")))) {
        SetLocalIniValue("SERIAL", std::to_string(edition.Serial));
        SaveLocalIniFile();
    }
    FNewPublicKey = edition.NewPublicKey;
    return true;
}

TFileExpectation TzelCustUpdaterDialogForm::ExpectedDownload(const TServerIniEntry& Entry) {
    const TFileExpectation expected = ExpectationOf(Entry);
    if (expected.Sha256.empty() && !Keys(*FLocalIniList).empty())
        RefuseDownload("The download of " + std::string(Entry.Name) + " was refused: the server INI gives no " +
                       Entry.Key("SHA256") + " for it, and with a publisher's key every downloaded file must have one.");
    return expected;
}

void TzelCustUpdaterDialogForm::CheckTransferFile(const std::string& FileName, const std::string& Alias,
                                                  const TFileExpectation& Expected) {
    if (!Expected.Any()) return;
    const std::string mismatch = MismatchOf(FileName, Alias, Expected);
    if (mismatch.empty()) return;
    DeleteFileIfExists(FileName);
    RefuseDownload("The download of " + Alias + " was refused: " + mismatch +
                   " The installed file was left as it was.");
}

void TzelCustUpdaterDialogForm::RefuseDownload(const std::string& Text) {
    ReportStatus(Text, true, true, true);
    throw ETrustError(Text);
}

// The publisher moves every workstation to a new key with one signed edition; the local INI
// is written beside and renamed, so a crash leaves the old key or the new one.
void TzelCustUpdaterDialogForm::AdoptNewPublicKey() {
    const std::string key = std::exchange(FNewPublicKey, std::string());
    if (key.empty() || key == Trim(FLocalIniList->Values("PUBLICKEY"))) return;
    SetLocalIniValue("PUBLICKEY", key);
    WriteLog(FzelLogFileName,
             "The signed server INI names a new publisher's key: the local INI's PUBLICKEY is now " + key + ".");
}
