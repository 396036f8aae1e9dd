#include "engine/zel_cust_update_dialog.h"

#include <cctype>
#include <map>
#include <optional>
#include <set>

#include "server_ini/file_names.h"
#include "platform/strconv.h"
#include "ui/application.h"

using namespace engine;
using namespace serverini;
using namespace platform;
using namespace ui;

std::string TzelCustUpdaterDialogForm::GetServerPath() {
    std::string path = FParamList->Values("SERVERPATH");
    if (path.empty()) path = FServerIniList->Values("SERVERPATH");
    if (path.empty()) path = FLocalIniList->Values("SERVERPATH");
    if (path.empty()) path = GetDefaultServerPath();
    return Trim(path);
}

std::string TzelCustUpdaterDialogForm::GetProgName() { return Trim(FProgName); }

std::string TzelCustUpdaterDialogForm::GetDefaultServerPath() {
    return "http://updates.zelsoftware.com/updates/zelupdates/";
}

void TzelCustUpdaterDialogForm::MergeServerValue(const std::string& AName) {
    if (FServerIniList->Empty()) return;
    const std::string serverValue = FServerIniList->Values(AName);
    if (serverValue.empty() || serverValue == FLocalIniList->Values(AName)) return;
    SetLocalIniValue(AName, serverValue);
}

void TzelCustUpdaterDialogForm::SetLocalIniValue(const std::string& AName, const std::string& Value) {
    const int i = FLocalIniList->IndexOfName(AName);
    if (i >= 0) FLocalIniList->Delete(i);
    FLocalIniList->Add(AName + "=" + Value);
}

namespace {
bool SameListedName(const std::string& A, const std::string& B) {
    return SameText(NormalizedFileName(A), NormalizedFileName(B));
}

// The entry number of a line "FILE<n>RANNAME=...", or -1 for any other line.
int RanNameLineNumber(const std::string& Line) {
    const std::string name = TStringList::NameOf(Line);
    if (name.size() < 12 || !SameText(name.substr(0, 4), "FILE") || !SameText(name.substr(name.size() - 7), "RANNAME"))
        return -1;
    const std::string digits = name.substr(4, name.size() - 11);
    if (digits.size() > 9 || (digits.size() > 1 && digits[0] == '0')) return -1;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    return std::stoi(digits);
}

// A RAN marker as the local INI holds it: its value (none: no marker) and the name it was
// recorded for (empty: an old marker, which belongs to its number).
struct TRanMarker {
    std::optional<std::string> Ran;
    std::string Name;
};

TRanMarker MarkerAt(const TStringList& List, int N) {
    TRanMarker m;
    if (List.IndexOfName(FileKey(N, "RAN")) >= 0) m.Ran = List.Values(FileKey(N, "RAN"));
    m.Name = List.Values(FileKey(N, "RANNAME"));
    return m;
}
}  // namespace

void TzelCustUpdaterDialogForm::MoveRanMarkers(const std::vector<std::string>& Names) {
    // Every move is worked out from the markers as they stand, so files that swapped places
    // swap their markers too.
    std::map<int, TRanMarker> named;
    for (const std::string& line : FLocalIniList->Lines()) {
        const int m = RanNameLineNumber(line);
        if (m >= 0 && !named.count(m)) named[m] = MarkerAt(*FLocalIniList, m);
    }
    std::map<int, TRanMarker> moved;  // destination -> marker
    std::set<int> sources;
    for (int n = 0; n < int(Names.size()); ++n) {
        const TRanMarker here = MarkerAt(*FLocalIniList, n);
        if (!here.Name.empty() && SameListedName(here.Name, Names[size_t(n)])) continue;
        for (const auto& [m, marker] : named) {
            if (m == n || !SameListedName(marker.Name, Names[size_t(n)])) continue;
            moved[n] = {marker.Ran, Names[size_t(n)]};
            sources.insert(m);
            break;
        }
    }
    if (moved.empty()) return;
    auto put = [this](const std::string& Key, const std::optional<std::string>& Value) {
        const int at = FLocalIniList->IndexOfName(Key);
        if (at >= 0) FLocalIniList->Delete(at);
        if (Value) FLocalIniList->Add(Key + "=" + *Value);
    };
    for (int m : sources) {
        // Left behind where no file of that name is listed any more; kept where one still is.
        const bool stays = m < int(Names.size()) && SameListedName(named[m].Name, Names[size_t(m)]);
        if (!stays && !moved.count(m)) {
            put(FileKey(m, "RAN"), std::nullopt);
            put(FileKey(m, "RANNAME"), std::nullopt);
        }
    }
    for (const auto& [n, marker] : moved) {
        put(FileKey(n, "RAN"), marker.Ran);
        put(FileKey(n, "RANNAME"), marker.Name);
    }
    SaveLocalIniFile();
}

std::string TzelCustUpdaterDialogForm::RanMarker(int N, const std::string& FileName) {
    const TRanMarker m = MarkerAt(*FLocalIniList, N);
    return m.Name.empty() || SameListedName(m.Name, FileName) ? m.Ran.value_or("") : std::string();
}

void TzelCustUpdaterDialogForm::SetRanMarker(int N, const std::string& FileName, const std::string& Value) {
    SetLocalIniValue(FileKey(N, "RAN"), Value);
    SetLocalIniValue(FileKey(N, "RANNAME"), FileName);
    SaveLocalIniFile();
}

void TzelCustUpdaterDialogForm::SaveLocalIniFile() {
    if (FLocalIniUnreadable) return;  // what could not be read is not saved over (see below)
    FLocalIniList->SaveToFile(ProgramFolder() + GetProgName() + "_Local.ini");
}

void TzelCustUpdaterDialogForm::LoadLocalIniFile(const std::string& FileName) {
    try {
        FLocalIniList->LoadFromFile(FileName);
    } catch (...) {
        FLocalIniUnreadable = true;
        throw;
    }
}

void TzelCustUpdaterDialogForm::MergeAndSaveLocalIniFile() {
    // What could not be read is still the workstation's state: the empty list saved over it
    // would lose CONSOLE, SERVERPATH and every RAN marker.
    if (FLocalIniUnreadable) {
        WriteLog(FzelLogFileName, "The local INI file could not be read, so it is left as it was.");
        return;
    }
    if (!FUsingDefaultLocation) MergeServerValue("SERVERPATH");
    MergeServerValue("CONSOLE");
    AdoptNewPublicKey();
    SaveLocalIniFile();
}
