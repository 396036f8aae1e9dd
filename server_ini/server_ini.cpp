#include "server_ini/server_ini.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "platform/shown_text.h"
#include "platform/strconv.h"
#include "platform/update_utils.h"
#include "server_ini/file_names.h"

using namespace platform;

namespace serverini {

namespace {
// The keys of an entry, in the order of TServerIni's fields.
constexpr std::string_view kSuffixes[] = {"NAME", "VERSION", "EXECUTE", "REQUEST", "MESSAGE",  "WAIT",
                                          "HELP_LOCATION", "SHA256", "SIZE", "ROLLOUT", "DOWNGRADE"};

// As the list's Trim: blanks and control characters.
std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}
// The promises ignore blanks and tabs only.
std::string_view Unblanked(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A number in decimal digits alone, of at most MaxDigits of them; -1 otherwise.
int64_t Decimal(std::string_view Text, size_t MaxDigits) {
    if (Text.empty() || Text.size() > MaxDigits) return -1;
    int64_t v = 0;
    for (char c : Text) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

// A whole number from 0 to 100 in decimal digits alone; -1 otherwise.
int Percentage(std::string_view Text) {
    const int64_t v = Decimal(Text, 3);
    return v <= 100 ? int(v) : -1;
}
bool IsSha256(std::string_view Text) {
    if (Text.size() != 64) return false;
    for (char c : Text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}
// Decimal bytes of at most 18 digits; -1 otherwise.
int64_t ByteCount(std::string_view Text) { return Decimal(Text, 18); }

// The entry number and field of a line "FILE<n><KEY>=...", n written as FileKey writes it.
bool EntryKeyOf(std::string_view Name, uint32_t& Number, int& Field) {
    if (Name.size() < 5 || !StartsText("FILE", Name)) return false;
    size_t at = 4, digits = 0;
    uint64_t n = 0;
    while (at < Name.size() && Name[at] >= '0' && Name[at] <= '9' && digits < 10) {
        n = n * 10 + uint64_t(Name[at++] - '0');
        ++digits;
    }
    if (digits == 0 || digits > 9 || (digits > 1 && Name[4] == '0')) return false;
    const std::string_view suffix = Name.substr(at);
    for (int f = 0; f < int(std::size(kSuffixes)); ++f) {
        if (SameText(suffix, kSuffixes[f])) {
            Number = uint32_t(n);
            Field = f;
            return true;
        }
    }
    return false;
}

// Values the updater compares exactly: another letter case silently means something else.
void CheckCase(std::vector<TFault>& Faults, int N, std::string_view Value, const char* Key, const char* Word,
               const char* Effect) {
    if (SameText(Value, Word) && Value != Word)
        Faults.push_back({TSeverity::Warning, N,
                          FileKey(N, Key) + " \"" + std::string(Value) + "\" is not " + Word +
                              " (letter case matters): " + Effect});
}

std::string FourNumbers(std::string_view Text) {
    TFileVerRec rec;
    rec.VersionStr = std::string(Text);
    ParseVersionStr(rec);
    return Format("%d.%d.%d.%d", rec.Version[1], rec.Version[2], rec.Version[3], rec.Version[4]);
}

std::string Malformed(const std::string& Key, std::string_view Value, const char* Want) {
    return kConfigProblem + Key + " \"" + ShownText(Value) + "\" is not " + Want + ".";
}
}  // namespace

bool HoldsMarker(const TStringList& List) {
    // The marker holds no line break, so it stands in the list's text exactly when it stands
    // in one of its lines; the lines are searched without joining a copy of the whole file.
    for (int i = 0; i < List.Count(); ++i)
        if (List.View(i).find("FOUNDIT") != std::string_view::npos) return true;
    return false;
}

std::string TServerIniEntry::Key(const char* Suffix) const { return FileKey(Number, Suffix); }

std::string_view TServerIni::ValueAt(uint32_t Line) const {
    if (Line == kAbsent) return {};
    const std::string_view line = list_->View(int(Line));
    const size_t eq = line.find('=');
    return line.substr(eq + 1);
}

std::string_view TServerIni::ServerPath() const { return ValueAt(serverPath_); }

TServerIniEntry TServerIni::Entry(int N) const { return EntryOf(entries_[size_t(N)], N); }

TServerIniEntry TServerIni::EntryOf(const TLines& Lines, int N) const {
    const uint32_t* at = Lines.At;
    TServerIniEntry e;
    e.Number = N;
    e.Name = Trimmed(ValueAt(at[fName]));
    e.Version = ValueAt(at[fVersion]);
    if (at[fVersion] != kAbsent) {
        const std::string_view line = list_->View(int(at[fVersion]));
        uint32_t number;
        int field;
        if (EntryKeyOf(line.substr(0, line.find('=')), number, field) && number == uint32_t(N)) e.OwnVersion = e.Version;
    }
    e.Execute = ValueAt(at[fExecute]);
    e.Request = ValueAt(at[fRequest]) == "TRUE";
    e.Message = ValueAt(at[fMessage]);
    e.Wait = StrToIntDef(ValueAt(at[fWait]), 0);
    e.HelpLocation = ValueAt(at[fHelp]);
    const std::string_view hash = Unblanked(ValueAt(at[fSha256]));
    if (IsSha256(hash))
        for (char c : hash) e.Sha256 += char(std::tolower(static_cast<unsigned char>(c)));
    e.Size = ByteCount(Unblanked(ValueAt(at[fSize])));
    const int rollout = Percentage(Trimmed(ValueAt(at[fRollout])));
    e.Rollout = rollout < 0 ? 100 : rollout;
    e.Downgrade = ValueAt(at[fDowngrade]) == "TRUE";
    return e;
}

TServerIniEntry TServerIni::EntryAt(const TStringList& List, int N) {
    TServerIni m;
    m.list_ = &List;
    TLines lines;
    for (int f = 0; f < fCount; ++f) {
        const int at = List.IndexOfName(FileKey(N, std::string(kSuffixes[f]).c_str()));
        lines.At[f] = at < 0 ? kAbsent : uint32_t(at);
    }
    return m.EntryOf(lines, N);
}

TServerIni::TLoaded TServerIni::Load(const TStringList& List, const std::vector<std::string>& OwnFiles,
                                     bool KeepWarnings) {
    TLoaded loaded;
    TServerIni& m = loaded.Model;
    std::vector<TFault>& faults = loaded.Faults;
    m.list_ = &List;

    // Each named key is the first line of that name, as every look-up of the list finds it.
    const std::string count = List.Values("FILECOUNT");
    const int path = List.IndexOfName("SERVERPATH");
    m.serverPath_ = path < 0 ? kAbsent : uint32_t(path);
    int32_t n = 0;
    if (count.empty()) {
        faults.push_back({TSeverity::Error, -1, kConfigProblem + std::string("No files in Server Ini File Count.")});
    } else {
        try {
            n = StrToInt(count);
        } catch (const std::exception& e) {
            faults.push_back({TSeverity::Error, -1, e.what()});
        }
    }
    m.fileCount_ = n < 0 ? 0 : n;
    m.genuine_ = HoldsMarker(List);

    // The entries read are the first ones up to one without a name, so there are no more of
    // them than lines naming an entry: no FILECOUNT and no entry number makes more slots.
    size_t named = 0;
    for (int i = 0; i < List.Count(); ++i) {
        const std::string_view line = List.View(i);
        uint32_t number;
        int suffix;
        named += EntryKeyOf(line.substr(0, line.find('=')), number, suffix) && suffix == fName &&
                 line.find('=') != std::string_view::npos;
    }
    const size_t slots = std::min<size_t>(size_t(m.fileCount_), named);
    m.entries_.resize(slots);
    for (TLines& l : m.entries_)
        for (uint32_t& a : l.At) a = kAbsent;
    // One pass over the lines finds every entry's keys.
    for (int i = 0; i < List.Count(); ++i) {
        const std::string_view line = List.View(i);
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        uint32_t number;
        int suffix;
        if (!EntryKeyOf(line.substr(0, eq), number, suffix) || number >= slots) continue;
        uint32_t& at = m.entries_[number].At[suffix];
        if (at == kAbsent) at = uint32_t(i);
    }

    uint32_t offered = kAbsent;  // the version line in force: an entry without one takes the last
    for (int i = 0; i < int(slots); ++i) {
        uint32_t* at = m.entries_[size_t(i)].At;
        const std::string_view name = Trimmed(m.ValueAt(at[fName]));
        if (name.empty()) {
            faults.push_back({TSeverity::Error, i, kConfigProblem + std::string("No filename in Server Ini File Count.")});
            m.entries_.resize(size_t(i));  // the update goes no further
            break;
        }
        const TFileNameFault nameFault = CheckFileName(std::string(name), OwnFiles);
        if (nameFault != TFileNameFault::None)
            faults.push_back({TSeverity::Error, i, FileNameFaultText(nameFault, FileKey(i, "NAME"), name)});

        const std::string_view version = m.ValueAt(at[fVersion]);
        if (!version.empty()) {
            offered = at[fVersion];
            const std::string reads = KeepWarnings ? FourNumbers(version) : std::string(version);
            if (reads != version)
                faults.push_back({TSeverity::Warning, i,
                                  FileKey(i, "VERSION") + " \"" + std::string(version) + "\" reads as " + reads});
        }
        at[fVersion] = offered;

        CheckCase(faults, i, m.ValueAt(at[fExecute]), "EXECUTE", "NEVER", "the file will run");
        CheckCase(faults, i, m.ValueAt(at[fExecute]), "EXECUTE", "ALWAYS", "the file runs only until it has once run");
        CheckCase(faults, i, m.ValueAt(at[fRequest]), "REQUEST", "TRUE", "the user will not be asked");
        CheckCase(faults, i, m.ValueAt(at[fDowngrade]), "DOWNGRADE", "TRUE", "an older version is not taken");
        const std::string_view rollout = Trimmed(m.ValueAt(at[fRollout]));
        if (!rollout.empty() && Percentage(rollout) < 0)
            faults.push_back({TSeverity::Error, i,
                              kConfigProblem + FileKey(i, "ROLLOUT") + " \"" + std::string(rollout) +
                                  "\" is not a percentage from 0 to 100."});
        const std::string_view wait = m.ValueAt(at[fWait]);
        int32_t ms;
        if (!wait.empty() && !TryStrToInt(wait, ms))
            faults.push_back({TSeverity::Warning, i,
                              FileKey(i, "WAIT") + " \"" + std::string(wait) +
                                  "\" is not a number: the file is opened without waiting"});
        // A broken promise must not read as no promise.
        const std::string_view hash = Unblanked(m.ValueAt(at[fSha256]));
        if (!hash.empty() && !IsSha256(hash))
            faults.push_back({TSeverity::Error, i, Malformed(FileKey(i, "SHA256"), hash, "64 hexadecimal digits")});
        const std::string_view size = Unblanked(m.ValueAt(at[fSize]));
        if (!size.empty() && ByteCount(size) < 0)
            faults.push_back({TSeverity::Error, i, Malformed(FileKey(i, "SIZE"), size, "a size in bytes")});
    }
    if (m.entries_.size() == slots && slots < size_t(m.fileCount_))
        faults.push_back({TSeverity::Error, int(slots), kConfigProblem + std::string("No filename in Server Ini File Count.")});
    m.entries_.shrink_to_fit();
    if (!KeepWarnings) std::erase_if(faults, [](const TFault& f) { return f.Severity == TSeverity::Warning; });
    return loaded;
}

const TFault* TServerIni::TLoaded::FirstError(int N) const {
    // The faults stand in the order of their entries.
    auto f = std::lower_bound(Faults.begin(), Faults.end(), N, [](const TFault& F, int E) { return F.Entry < E; });
    for (; f != Faults.end() && f->Entry == N; ++f)
        if (f->Severity == TSeverity::Error) return &*f;
    return nullptr;
}

bool TServerIni::TLoaded::Failed() const {
    for (const TFault& f : Faults)
        if (f.Severity == TSeverity::Error) return true;
    return false;
}

}  // namespace serverini
