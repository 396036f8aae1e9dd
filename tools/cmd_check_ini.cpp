// zelupdtool check-ini FILE|SITEDIR [--key PUB]: reads a server INI as the updater does and
// names what would make an update fail (errors) or behave other than its author likely meant
// (warnings), and what the edition says of itself (SERIAL, EXPIRES, CHANNEL, NEWPUBLICKEY). Given the site folder, it also checks each listed file there against its SHA256
// and SIZE; with the publisher's public key, the INI's signature and that every file has a hash.
#include <cstdio>
#include <filesystem>

#include "engine/own_files.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"
#include "platform/string_list.h"
#include "server_ini/file_names.h"
#include "server_ini/server_ini.h"
#include "tools/commands.h"
#include "tools/site_folder.h"
#include "trust/file_expectation.h"
#include "trust/publisher_keys.h"
#include "trust/server_ini_edition.h"
#include "trust/server_ini_signature.h"

using namespace engine;
using namespace serverini;
using namespace platform;
using namespace trust;

namespace tools {

namespace {
struct Report {
    const std::string& file;
    bool failed = false;
    void Error(const std::string& m) {
        failed = true;
        std::printf("%s: error: %s\n", file.c_str(), m.c_str());
    }
    void Warning(const std::string& m) { std::printf("%s: warning: %s\n", file.c_str(), m.c_str()); }
    void Note(const std::string& m) { std::printf("%s: %s\n", file.c_str(), m.c_str()); }
};

// What the signed INI says about its edition: under a key the updater refuses what is broken
// or expired; without one these keys are not read at all.
void ReportEdition(Report& r, const TStringList& ini, bool signedSite) {
    const auto problem = [&](const std::string& m) { signedSite ? r.Error(m) : r.Warning(m); };
    const std::string serial = Trim(ini.Values("SERIAL"));
    if (serial.empty()) {
        if (signedSite)
            r.Warning("SERIAL is missing: a workstation that took an edition with a SERIAL refuses this one");
    } else if (ParseSerial(serial) < 0)
        problem("SERIAL \"" + serial + "\" is not a positive whole number");
    else
        r.Note("SERIAL " + serial);
    const std::string expires = Trim(ini.Values("EXPIRES"));
    if (!expires.empty()) {
        const int64_t at = ParseUtcTime(expires), now = UtcNow();
        if (at < 0)
            problem("EXPIRES \"" + expires + "\" is not a UTC time such as 2027-01-31T00:00:00Z");
        else if (at <= now)
            problem("EXPIRES " + expires + ": the server INI has expired");
        else if (at - now < 7 * 86400)
            r.Warning("EXPIRES " + expires + ": fewer than 7 days left (" + std::to_string((at - now) / 3600) +
                      " hours); publish the site again before then");
        else
            r.Note("EXPIRES " + expires + " (" + std::to_string((at - now) / 86400) + " days left)");
    }
    const std::string channel = Trim(ini.Values("CHANNEL"));
    r.Note(channel.empty() ? "CHANNEL: the default channel" : "CHANNEL " + channel);
    for (const auto& k : SplitKeys(ini.Values("NEWPUBLICKEY"))) {
        if (IsPublicKey(k))
            r.Note("NEWPUBLICKEY " + k + ": workstations move to this key after their next update");
        else
            r.Error("NEWPUBLICKEY \"" + k + "\" is not the base64 text of an ECDSA P-256 public key");
    }
}

// The entry's SHA256 and SIZE against the publisher's key and (in a site folder) the file there.
void CheckPromises(Report& r, const TServerIniEntry& entry, const std::string& folder, bool signedSite) {
    const TFileExpectation expected = ExpectationOf(entry);
    const std::string name(entry.Name);
    std::error_code ec;
    const bool inSite = !folder.empty() && IsSafeFileName(name) && std::filesystem::is_regular_file(folder + name, ec);
    if (expected.Sha256.empty() && (signedSite || inSite)) {
        // A file the site offers, or any file under a key unless the site shows it is not offered.
        const std::string why =
            entry.Key("SHA256") + " is missing: with a publisher's key the updater refuses to download " + name;
        if (signedSite && (inSite || folder.empty()))
            r.Error(why);
        else
            r.Warning(why);
    }
    if (!inSite) {
        if (!folder.empty() && expected.Any()) r.Warning(name + " is not in the site folder");
        return;
    }
    const std::string mismatch = MismatchOf(folder + name, name, expected);
    if (!mismatch.empty()) r.Error(mismatch);
}

void Show(Report& r, const TFault& f) { f.Severity == TSeverity::Error ? r.Error(f.Text) : r.Warning(f.Text); }

int CheckIni(const std::vector<std::string>& args) {
    std::string site;
    std::map<std::string, std::string> opt;
    if (!ReadSiteAndOptions(args, {"key"}, site, opt)) {
        std::fprintf(stderr, "usage: zelupdtool check-ini FILE|SITEDIR [--key PUB]\n");
        return kExitUsage;
    }
    std::error_code ec;
    const bool isSite = std::filesystem::is_directory(site, ec);
    std::string file, bytes, publicKey;
    TStringList ini;
    try {
        file = FindServerIni(site);
        bytes = ReadFileBytes(file);
        ini.LoadFromBytes(bytes);
        if (opt.count("key")) publicKey = ReadPublicKey(opt["key"]);
    } catch (const EUpdaterError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitFailed;
    }
    Report r{file};
    const std::string tooLarge = SizeLimitError(bytes.size()), nearLimit = SizeLimitWarning(bytes.size());
    if (!tooLarge.empty()) r.Error(tooLarge);
    if (!nearLimit.empty()) r.Warning(nearLimit);
    // Read as the updater reads it, with the updater's own files named as they would be for
    // the program this INI is named for.
    const std::string iniName = ExtractFileName(file);
    const std::string prog = iniName.substr(0, iniName.rfind('.'));
    const TServerIni::TLoaded read = TServerIni::Load(ini, OwnFileNames({prog}, prog + ".log", prog + ".exe"), true);
    if (!read.Model.Genuine())
        r.Error("the marker FOUNDIT (in capitals) is missing: the updater takes the file for an error page");
    size_t next = 0;
    for (; next < read.Faults.size() && read.Faults[next].Entry < 0; ++next) Show(r, read.Faults[next]);
    for (int i = 0; i < read.Model.EntryCount(); ++i) {
        for (; next < read.Faults.size() && read.Faults[next].Entry == i; ++next) Show(r, read.Faults[next]);
        // A malformed promise is reported above; the site is checked against the sound ones.
        if (!read.FirstError(i))
            CheckPromises(r, read.Model.Entry(i), isSite ? ExtractFilePath(file) : "", !publicKey.empty());
    }
    for (; next < read.Faults.size(); ++next) Show(r, read.Faults[next]);  // where the update stops
    ReportEdition(r, ini, !publicKey.empty());
    if (!publicKey.empty()) {
        try {
            const std::string sig = file + kSignatureSuffix;
            if (!std::filesystem::is_regular_file(sig, ec)) throw MissingSignatureError(file, "there is no " + sig);
            CheckServerIniSignature({publicKey}, file, bytes, ReadFileBytes(sig));
            std::printf("%s: the signature holds\n", file.c_str());
        } catch (const EUpdaterError& e) {
            r.Error(e.Message());
        }
    }
    if (!r.failed) std::printf("%s: no problem that fails an update\n", file.c_str());
    return r.failed ? kExitFailed : kExitOk;
}

const ToolCommandRegistrar kRegister{
    {"check-ini", "check-ini FILE|SITEDIR [--key PUB]   report what in a server INI or site would fail an update",
     CheckIni}};
}  // namespace

}  // namespace tools
