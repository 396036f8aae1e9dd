// The name=value lists the parameters and both INI files are held in.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/strconv.h"
#include "platform/string_list.h"
#include "tests/support/temp_dir.h"

using namespace platform;

namespace {
TStringList ListOf(std::initializer_list<const char*> lines) {
    TStringList l;
    for (const char* s : lines) l.Add(s);
    return l;
}
}  // namespace

TEST(StringList, LookupRules) {
    const TStringList list = ListOf({"[Section]", "; FILE0NAME=comment", "FILE0NAME =spaced", "file0name=first",
                                     "FILE0NAME=second", "EMPTY=", "CONSOLE", "Key= padded ", "DEBUG"});
    struct Case {
        const char* what;
        const char* name;
        int index;
        const char* value;
    } cases[] = {
        {"first match wins, any case", "FILE0NAME", 3, "first"},
        {"a blank before = belongs to the name", "FILE0NAME ", 2, "spaced"},
        {"blanks in the value are kept", "KEY", 7, " padded "},
        {"empty value is present", "EMPTY", 5, ""},
        {"a line without = has no name", "CONSOLE", -1, ""},
        {"a comment's text is its name", "; FILE0NAME", 1, "comment"},
        {"section headers never match", "[Section]", -1, ""},
        {"missing key", "NOPE", -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(list.IndexOfName(c.name), c.index);
        EXPECT_EQ(list.Values(c.name), c.value);
    }
    EXPECT_EQ(list.IndexOf("debug"), 8) << "whole-line test ignores case";
    EXPECT_EQ(list.IndexOf("DEBUG=1"), -1);
    EXPECT_EQ(ListOf({"DEBUG=1"}).IndexOf("DEBUG"), -1) << "a name=value line is not the switch";
}

TEST(StringList, LoadAndSaveKeepEncodingAndUseCrLf) {
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> lines;
        std::string saved;
    } cases[] = {
        {"ANSI with CR LF", "A=1\r\nB=\xE9\r\n", {"A=1", "B=\xC3\xA9"}, "A=1\r\nB=\xE9\r\n"},
        {"ANSI with lone LF, no final break", "A=1\nB=2", {"A=1", "B=2"}, "A=1\r\nB=2\r\n"},
        {"ANSI with lone CR", "A=1\rB=2\r", {"A=1", "B=2"}, "A=1\r\nB=2\r\n"},
        {"ANSI 0x80 is the euro sign", "E=\x80", {"E=\xE2\x82\xAC"}, "E=\x80\r\n"},
        {"empty lines are lines", "A\n\nB\n", {"A", "", "B"}, "A\r\n\r\nB\r\n"},
        {"UTF-8 mark", "\xEF\xBB\xBFK=\xC3\xA9\n", {"K=\xC3\xA9"}, "\xEF\xBB\xBFK=\xC3\xA9\r\n"},
        {"UTF-16 LE mark",
         std::string("\xFF\xFEK\0=\0\xE9\0\n\0", 10),
         {"K=\xC3\xA9"},
         std::string("\xFF\xFEK\0=\0\xE9\0\r\0\n\0", 12)},
        {"UTF-16 BE mark",
         std::string("\xFE\xFF\0K\0=\0\xE9\0\r", 10),
         {"K=\xC3\xA9"},
         std::string("\xFE\xFF\0K\0=\0\xE9\0\r\0\n", 12)},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dir.Write("in.ini", c.bytes);
        TStringList list;
        list.Add("stale");
        list.LoadFromFile(dir.File("in.ini"));
        EXPECT_EQ(list.Lines(), c.lines);
        list.SaveToFile(dir.File("out.ini"));
        EXPECT_EQ(dir.Read("out.ini"), c.saved);
    }
}

TEST(StringList, CharactersTheCodePageLacksAreSavedAsQuestionMarks) {
    TempDir dir;
    TStringList list;
    list.Add("K=\xE2\x98\x83");  // a snowman
    list.SaveToFile(dir.File("out.ini"));
    EXPECT_EQ(dir.Read("out.ini"), "K=?\r\n");
}

TEST(StringList, AnInterruptedSaveLeavesTheOldFileWhole) {
    TempDir dir;
    dir.Write("Updater_Local.ini", "FILE0RAN=TRUE\r\n");
    TStringList list;
    for (int i = 0; i < 100; ++i) list.Add("FILE" + std::to_string(i) + "RAN=FALSE");
    SetWriteFaultAfterBytes(50);
    EXPECT_THROW(list.SaveToFile(dir.File("Updater_Local.ini")), EUpdaterError);
    SetWriteFaultAfterBytes(-1);
    EXPECT_EQ(dir.Read("Updater_Local.ini"), "FILE0RAN=TRUE\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "no temporary file is left";
    list.SaveToFile(dir.File("Updater_Local.ini"));
    EXPECT_EQ(dir.Read("Updater_Local.ini").substr(0, 16), "FILE0RAN=FALSE\r\n");
}

TEST(StringList, ACrashBeforeTheRenameLeavesTheOldFileWhole) {
    TempDir dir;
    dir.Write("Updater_Local.ini", "FILE0RAN=TRUE\r\n");
    TStringList list;
    list.Add("FILE0RAN=FALSE");
    SetRenameFaultOnce();
    EXPECT_THROW(list.SaveToFile(dir.File("Updater_Local.ini")), EUpdaterError);
    EXPECT_EQ(dir.Read("Updater_Local.ini"), "FILE0RAN=TRUE\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "no temporary file is left";
}

TEST(StringList, LoadingAMissingFileRaises) {
    TStringList list;
    EXPECT_THROW(list.LoadFromFile("/nonexistent/zel/x.ini"), EUpdaterError);
}

// The lines share one text that moves as it grows and is written afresh once edits left most
// of it unused: every line must read as a list of separate strings would, also when the line
// added is a view of the list itself.
TEST(StringList, EditsKeepEveryLineAsSeparateStringsWould) {
    const struct Case {
        const char* what;
        std::function<void(TStringList&, std::vector<std::string>&)> edit;
    } cases[] = {
        {"a view of its own line added while the text grows",
         [](TStringList& l, std::vector<std::string>& m) {
             for (int i = 0; i < 2000; ++i) {
                 l.Add(l.View(i % l.Count()));
                 m.push_back(m[size_t(i) % (m.size())]);
             }
         }},
        {"a view of its own line set over another",
         [](TStringList& l, std::vector<std::string>& m) {
             for (int i = 0; i < 2000; ++i) {
                 const int from = (i * 7) % l.Count(), to = (i * 13) % l.Count();
                 l.Set(to, l.View(from));
                 m[size_t(to)] = m[size_t(from)];
             }
         }},
        {"values set again and again, the text written afresh",
         [](TStringList& l, std::vector<std::string>& m) {
             for (int i = 0; i < 5000; ++i) {
                 const std::string line = "KEY" + std::to_string(i % 50) + "=" + std::string(size_t(i % 90), 'v');
                 l.Set(i % 50, line);
                 m[size_t(i % 50)] = line;
             }
         }},
        {"deleted and inserted",
         [](TStringList& l, std::vector<std::string>& m) {
             for (int i = 0; i < 3000; ++i) {
                 const int at = (i * 11) % l.Count();
                 l.Delete(at);
                 m.erase(m.begin() + at);
                 l.Insert(at / 2, "I" + std::to_string(i) + "=" + std::string(40, 'x'));
                 m.insert(m.begin() + at / 2, "I" + std::to_string(i) + "=" + std::string(40, 'x'));
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TStringList list;
        list.SetText("\xEF\xBB\xBF[Update]\r\nKEY1=a\r\n\r\nKEY2=bb\nKEY3=ccc\rlast");
        std::vector<std::string> model = list.Lines();
        for (int i = 0; i < 60; ++i) {
            list.Add("KEY" + std::to_string(i) + "=" + std::to_string(i * i));
            model.push_back("KEY" + std::to_string(i) + "=" + std::to_string(i * i));
        }
        c.edit(list, model);
        EXPECT_EQ(list.Lines(), model);
        for (const std::string n : {"KEY1", "key7", "KEY49", "I2999", "missing"}) {
            std::string value;
            for (const std::string& line : model)
                if (SameText(TStringList::NameOf(line), n) && line.find('=') != std::string::npos) {
                    value = TStringList::ValueOf(line);
                    break;
                }
            EXPECT_EQ(list.Values(n), value) << n;
        }
    }
}

// Long lists look names up through an index; every change must leave lookups exactly as a scan
// from the first line would answer them.
TEST(StringList, LookupsStayFirstMatchThroughChanges) {
    TStringList list;
    for (int i = 0; i < 200; ++i) list.Add("KEY" + std::to_string(i % 150) + "=v" + std::to_string(i));
    const auto scan = [&list](const std::string& name) {
        const auto& lines = list.Lines();  // read-only: a scan must not reset the index
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].find('=') != std::string::npos && SameText(TStringList::NameOf(lines[i]), name)) return int(i);
        return -1;
    };
    const struct {
        const char* what;
        std::function<void()> change;
    } steps[] = {
        {"as loaded", [] {}},
        {"a later duplicate added", [&] { list.Add("key3=late"); }},
        {"a new name added", [&] { list.Add("NEW=1"); }},
        {"the first of a duplicate deleted", [&] { list.Delete(5); }},
        {"a line inserted at the top", [&] { list.Insert(0, "key7=top"); }},
        {"a line renamed in place", [&] { list.Set(10, "RENAMED=x"); }},
        {"a name removed from a line", [&] { list.Set(11, "no equals sign"); }},
        {"the last line deleted", [&] { list.Delete(list.Count() - 1); }},
        {"replaced by text",
         [&] { list.SetText(std::string("A=1\r\n") + std::string(40, ';') + "\r\na=2\r\nKEY3=3\r\n"); }},
        {"grown again",
         [&] {
             for (int i = 0; i < 40; ++i) list.Add("K" + std::to_string(i) + "=");
         }},
    };
    const std::vector<std::string> names = {"KEY0", "key3",    "Key7", "KEY100", "KEY149",
                                            "NEW",  "RENAMED", "a",    "k39",    "missing"};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.change();
        // A lookup before each change builds the index the change must keep right.
        for (const auto& n : names) {
            ASSERT_EQ(list.IndexOfName(n), scan(n)) << n;
            EXPECT_EQ(list.Values(n), scan(n) < 0 ? "" : TStringList::ValueOf(list.Lines()[size_t(scan(n))])) << n;
        }
    }
    // Names deleted one by one from a long list of unique ones: every name left, and every
    // one gone, is still answered as a scan answers it.
    list.Clear();
    for (int i = 0; i < 300; ++i) list.Add("N" + std::to_string(i) + "=" + std::to_string(i));
    ASSERT_EQ(list.IndexOfName("N0"), 0);
    for (int round = 0; list.Count() > 40; ++round) {
        list.Delete((round * 7) % list.Count());
        for (int i = 0; i < 300; ++i) {
            const std::string n = "n" + std::to_string(i);
            ASSERT_EQ(list.IndexOfName(n), scan(n)) << n << " after " << round + 1 << " deletions";
        }
    }
}
