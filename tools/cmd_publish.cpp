// zelupdtool publish SITEDIR [--key KEY.pem] [--serial N] [--expires DAYS] [--new-public NEW.pub.pem]:
// fills in, for every entry of the site's server INI, VERSION from the file's version
// resource (where it has one), SHA256 and SIZE from the file itself; raises SERIAL by one
// (or sets it), sets EXPIRES and NEWPUBLICKEY when asked; keeps every other line as written;
// writes the INI atomically, and with --key its detached signature (INI + ".sig", DER, as
// `openssl dgst -sha256 -sign` writes it).
#include <cstdio>
#include <filesystem>

#include "crypto/crypto.h"
#include "server_ini/file_names.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/pe_version.h"
#include "platform/strconv.h"
#include "platform/string_list.h"
#include "platform/update_utils.h"
#include "server_ini/server_ini.h"
#include "tools/commands.h"
#include "tools/site_folder.h"
#include "trust/server_ini_edition.h"
#include "trust/server_ini_signature.h"

using namespace serverini;
using namespace platform;
using namespace trust;

namespace tools {

namespace {
const char kUsage[] =
    "usage: zelupdtool publish SITEDIR [--key KEY.pem] [--serial N] [--expires DAYS] [--new-public NEW.pub.pem]\n";

std::string VersionText(const TPeFileVersion& v) {
    return Format("%u.%u.%u.%u", v.FileVersionMS >> 16, v.FileVersionMS & 0xFFFF, v.FileVersionLS >> 16,
                  v.FileVersionLS & 0xFFFF);
}

// Whether the INI's text already says Version, as the updater reads it.
bool SameVersion(const std::string& Text, const std::string& Version) {
    TFileVerRec a, b;
    a.VersionStr = Text;
    b.VersionStr = Version;
    return !IsVersionNewer(a, b) && !IsVersionNewer(b, a) && !Trim(Text).empty();
}

// The edition's SERIAL: the one asked for, or one above the site's. Never one that the
// workstations which took the site's edition would refuse.
std::string NextSerial(const TIniLines& lines, const std::string& Asked) {
    std::string old;
    int64_t current = 0;
    if (lines.Find("SERIAL", old) && !Trim(old).empty()) {
        current = ParseSerial(Trim(old));
        if (current < 0) throw EUpdaterError("SERIAL \"" + Trim(old) + "\" is not a positive whole number");
    }
    if (Asked.empty()) return std::to_string(current + 1);
    if (ParseSerial(Asked) < current)
        throw EUpdaterError("--serial " + Asked + " is below the site's SERIAL " + std::to_string(current) +
                            ": every workstation that took it would refuse this edition");
    return Asked;
}

void FillInEntry(TIniLines& lines, const std::string& folder, int n, const std::string& name) {
    const std::string file = folder + name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        std::printf("%s: not in the site folder; entry left as it is\n", name.c_str());
        return;
    }
    TPeFileVersion pe;
    std::string old;
    if (ReadPeFileVersion(file, pe)) {
        const std::string version = VersionText(pe);
        if (!(lines.Find(FileKey(n, "VERSION"), old) && SameVersion(old, version)))
            lines.Set(FileKey(n, "VERSION"), version, n);
    }
    const std::string hash = crypto::ToHex(crypto::Sha256OfFile(file));
    if (!(lines.Find(FileKey(n, "SHA256"), old) && SameText(Trim(old), hash))) lines.Set(FileKey(n, "SHA256"), hash, n);
    const std::string size = std::to_string(std::filesystem::file_size(file));
    if (!(lines.Find(FileKey(n, "SIZE"), old) && Trim(old) == size)) lines.Set(FileKey(n, "SIZE"), size, n);
    std::printf("%s: %s bytes, SHA256 %s\n", name.c_str(), size.c_str(), hash.c_str());
}

int Publish(const std::vector<std::string>& args) {
    std::string site;
    std::map<std::string, std::string> opt;
    if (!ReadSiteAndOptions(args, {"key", "serial", "expires", "new-public"}, site, opt) ||
        (opt.count("serial") && ParseSerial(opt["serial"]) < 0) ||
        (opt.count("expires") && (ParseSerial(opt["expires"]) < 0 || ParseSerial(opt["expires"]) > 36500))) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    try {
        const std::string iniFile = FindServerIni(site);
        const std::string folder = ExtractFilePath(iniFile);
        const std::string original = ReadFileBytes(iniFile);
        TIniLines lines(original);
        TStringList ini;
        ini.LoadFromBytes(original);
        // The names as the updater reads them; the promises are written anew, so a broken one
        // is no reason to stop.
        const TServerIni::TLoaded read = TServerIni::Load(ini, {});
        if (const TFault* f = read.FirstError()) throw EUpdaterError(f->Text);
        for (int n = 0; n < read.Model.FileCount(); ++n) {
            if (n >= read.Model.EntryCount()) throw EUpdaterError(read.FirstError(n)->Text);
            const TServerIniEntry entry = read.Model.Entry(n);
            const std::string name(entry.Name);
            if (!IsSafeFileName(name)) throw EUpdaterError(FileNameFaultText(CheckFileName(name, {}), entry.Key("NAME"), name));
            FillInEntry(lines, folder, n, name);
        }
        const std::string serial = NextSerial(lines, opt["serial"]);
        lines.SetGlobal("SERIAL", serial);
        if (opt.count("expires"))
            lines.SetGlobal("EXPIRES", FormatUtcTime(UtcNow() + ParseSerial(opt["expires"]) * 86400));
        if (opt.count("new-public")) lines.SetGlobal("NEWPUBLICKEY", ReadPublicKey(opt["new-public"]));

        const std::string published = lines.Bytes();
        const std::string tooLarge = SizeLimitError(published.size());
        if (!tooLarge.empty()) throw EUpdaterError(tooLarge + "; nothing was written");
        const std::string nearLimit = SizeLimitWarning(published.size());
        if (!nearLimit.empty()) std::printf("%s: warning: %s\n", iniFile.c_str(), nearLimit.c_str());
        WriteFileAtomically(iniFile, published);
        std::printf("%s: written, SERIAL %s\n", iniFile.c_str(), serial.c_str());
        if (opt.count("key")) {
            WriteFileAtomically(iniFile + kSignatureSuffix, crypto::SignP256(ReadFileBytes(opt["key"]), published));
            std::printf("%s%s: signed with %s\n", iniFile.c_str(), kSignatureSuffix, opt["key"].c_str());
        }
    } catch (const EUpdaterError& e) {
        std::fprintf(stderr, "zelupdtool publish: %s\n", e.what());
        return kExitFailed;
    }
    std::fflush(stdout);
    return kExitOk;
}

const ToolCommandRegistrar kRegister{
    {"publish",
     "publish SITEDIR [--key KEY.pem] [--serial N] [--expires DAYS] [--new-public NEW.pub.pem]   fill in versions, "
     "hashes and sizes, raise SERIAL; sign with KEY",
     Publish}};
}  // namespace

}  // namespace tools
