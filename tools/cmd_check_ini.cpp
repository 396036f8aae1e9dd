// zelupdtool check-ini FILE|SITEDIR [--key PUB]: reads a server INI as the updater does and
// names what would make an update fail (errors) or behave other than its author likely meant
// (warnings), and what the edition says of itself (SERIAL, EXPIRES, CHANNEL, NEWPUBLICKEY). Given the site folder, it also checks each listed file there against its SHA256
// and SIZE; with the publisher's public key, the INI's signature and that every file has a hash.
#include <cstdio>
#include <filesystem>

#include "engine/file_names.h"
#include "engine/staged_release.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"
#include "platform/string_list.h"
#include "platform/update_utils.h"
#include "tools/commands.h"
#include "tools/site_folder.h"
#include "trust/file_expectation.h"
#include "trust/publisher_keys.h"
#include "trust/server_ini_edition.h"
#include "trust/server_ini_signature.h"

using namespace engine;
using namespace platform;
using namespace trust;

namespace tools {

namespace {
// How the updater reads a version text, written as four numbers.
std::string ReadsAs(const std::string& text) {
    TFileVerRec rec;
    rec.VersionStr = text;
    ParseVersionStr(rec);
    return Format("%d.%d.%d.%d", rec.Version[1], rec.Version[2], rec.Version[3], rec.Version[4]);
}

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

// Values the updater compares exactly: another letter case silently means something else.
void CheckCase(Report& r, const TStringList& ini, const std::string& key, const char* word, const char* effect) {
    const std::string v = ini.Values(key);
    if (SameText(v, word) && v != word)
        r.Warning(key + " \"" + v + "\" is not " + word + " (letter case matters): " + effect);
}

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

// Entry n's SHA256 and SIZE: well-formed, and (in a site folder) true of the file there.
void CheckPromises(Report& r, const TStringList& ini, int n, const std::string& name, const std::string& folder,
                   bool signedSite) {
    TFileExpectation expected;
    try {
        expected = ReadFileExpectation(ini, n);
    } catch (const EUpdaterError& e) {
        r.Error(e.Message());
        return;
    }
    std::error_code ec;
    const bool inSite = !folder.empty() && IsSafeFileName(name) && std::filesystem::is_regular_file(folder + name, ec);
    if (expected.Sha256.empty() && (signedSite || inSite)) {
        // A file the site offers, or any file under a key unless the site shows it is not offered.
        const std::string why =
            FileKey(n, "SHA256") + " is missing: with a publisher's key the updater refuses to download " + name;
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
    if (ini.Text().find("FOUNDIT") == std::string::npos)
        r.Error("the marker FOUNDIT (in capitals) is missing: the updater takes the file for an error page");
    const std::string count = ini.Values("FILECOUNT");
    int32_t n = 0;
    if (count.empty())
        r.Error("FILECOUNT is missing or empty");
    else if (!TryStrToInt(count, n))
        r.Error("FILECOUNT \"" + count + "\" is not a number");
    for (int i = 0; i < n; ++i) {
        const std::string name = Trim(ini.Values(FileKey(i, "NAME")));
        if (name.empty()) {
            r.Error(FileKey(i, "NAME") + " is missing or empty; the update stops at this entry");
            break;  // the updater goes no further either
        }
        if (!IsSafeFileName(name))
            r.Error(FileKey(i, "NAME") + " \"" + name + "\" is not a file inside the program folder");
        const std::string version = ini.Values(FileKey(i, "VERSION"));
        if (!version.empty() && ReadsAs(version) != version)
            r.Warning(FileKey(i, "VERSION") + " \"" + version + "\" reads as " + ReadsAs(version));
        CheckCase(r, ini, FileKey(i, "EXECUTE"), "NEVER", "the file will run");
        CheckCase(r, ini, FileKey(i, "EXECUTE"), "ALWAYS", "the file runs only until it has once run");
        CheckCase(r, ini, FileKey(i, "REQUEST"), "TRUE", "the user will not be asked");
        CheckCase(r, ini, FileKey(i, "DOWNGRADE"), "TRUE", "an older version is not taken");
        try {
            ReadReleaseRules(ini, i);
        } catch (const EUpdaterError& e) {
            r.Error(e.Message());
        }
        const std::string wait = ini.Values(FileKey(i, "WAIT"));
        int32_t ms;
        if (!wait.empty() && !TryStrToInt(wait, ms))
            r.Warning(FileKey(i, "WAIT") + " \"" + wait + "\" is not a number: the file is opened without waiting");
        CheckPromises(r, ini, i, name, isSite ? ExtractFilePath(file) : "", !publicKey.empty());
    }
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
