// INI files by section and key: what a read finds and what a write leaves on disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"

using namespace platform;

namespace {
TEST(IniFile, ReadRules) {
    TempDir dir;
    const std::string file = dir.Write("a.ini",
                                       "Loose=before any section\r\n"
                                       "[Settings]\r\n"
                                       "  Local_Num =  12  \r\n"
                                       "Quoted=\"  kept inside  \"\r\n"
                                       "Single='x'\r\n"
                                       "Half=\"open\r\n"
                                       "Eq=a=b\r\n"
                                       "Twice=first\r\n"
                                       "twice=second\r\n"
                                       "Hex=0x1F\r\n"
                                       "Dollar=$10\r\n"
                                       "Neg=-5\r\n"
                                       "Word=abc\r\n"
                                       "Ansi=Caf\xE9\r\n"
                                       "[ Other ]\r\n"
                                       "Local_Num=99\n");
    const TIniFile ini(file);
    struct Case {
        const char *section, *key, *expected;
    } cases[] = {
        {"settings", "LOCAL_NUM", "12"},     {"Settings", "Quoted", "  kept inside  "},
        {"Settings", "Single", "x"},         {"Settings", "Half", "\"open"},
        {"Settings", "Eq", "a=b"},           {"Settings", "Twice", "first"},
        {"Other", "Local_Num", "99"},        {"Settings", "Loose", "default"},
        {"Missing", "Local_Num", "default"}, {"Settings", "Missing", "default"},
        {"Settings", "Ansi", "Caf\xC3\xA9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(ini.ReadString(c.section, c.key, "default"), c.expected);
    }
    EXPECT_EQ(ini.ReadInteger("Settings", "Hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("Settings", "Dollar", 0), 16);
    EXPECT_EQ(ini.ReadInteger("Settings", "Neg", 0), -5);
    EXPECT_EQ(ini.ReadInteger("Settings", "Word", 7), 7);
    EXPECT_EQ(TIniFile(dir.File("none.ini")).ReadString("Settings", "Local_Num", "d"), "d");
    EXPECT_EQ(TIniFile(dir.Path()).ReadString("Settings", "Local_Num", "d"), "d") << "a folder reads as missing";
}

TEST(IniFile, WritesReplaceInPlaceOrAppendToTheirSection) {
    TempDir dir;
    const std::string file =
        dir.Write("a.ini", "; note\r\n[MAIN]\r\nContact=Old\r\nEmail=old@x\r\n\r\n[Next]\r\nK=v\r\n");
    TIniFile ini(file);
    ini.WriteString("main", "CONTACT", "Ann");
    ini.WriteString("Main", "Phone", "1");
    ini.WriteString("New", "A", "Caf\xC3\xA9");
    EXPECT_EQ(
        dir.Read("a.ini"),
        "; note\r\n[MAIN]\r\nCONTACT=Ann\r\nEmail=old@x\r\nPhone=1\r\n\r\n[Next]\r\nK=v\r\n[New]\r\nA=Caf\xE9\r\n");

    TIniFile fresh(dir.File("made.ini"));
    fresh.WriteString("Settings", "BrinquetRoot", "/r/");
    EXPECT_EQ(dir.Read("made.ini"), "[Settings]\r\nBrinquetRoot=/r/\r\n");
}

// A text the code page cannot write makes the file UTF-16 LE with its byte-order mark; once
// it can again, the file is in the code page again.
TEST(IniFile, TextBeyondTheCodePageIsWrittenAsUtf16) {
    TempDir dir;
    TIniFile ini(dir.File("p.ini"));
    const std::string root =
        "C:\\Brinquet \xC5\x81\xC3\xB3"
        "d\xC5\xBA \xF0\x9F\x98\x80\\";  // Łódź and U+1F600
    ini.WriteString("Settings", "BrinquetRoot", root);
    std::string expected = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[Settings]\r\nBrinquetRoot=C:\\Brinquet \u0141\u00F3"
                                     "d\u017A \U0001F600\\\r\n")) {
        expected += char(c & 0xFF);
        expected += char(c >> 8);
    }
    EXPECT_EQ(dir.Read("p.ini"), expected);
    EXPECT_EQ(ini.ReadString("settings", "brinquetroot", ""), root);
    ini.WriteString("Settings", "Local_Num", "7");
    EXPECT_EQ(ini.ReadString("Settings", "BrinquetRoot", ""), root) << "rewritten as UTF-16, nothing lost";
    ini.WriteString("Settings", "BrinquetRoot", "C:\\Caf\xC3\xA9\\");
    EXPECT_EQ(dir.Read("p.ini"), "[Settings]\r\nBrinquetRoot=C:\\Caf\xE9\\\r\nLocal_Num=7\r\n");
}

TEST(IniFile, AFailedWriteLeavesTheFileWhole) {
    TempDir dir;
    const std::string before = "[MAIN]\r\nContact=Old\r\n";
    const std::string file = dir.Write("a.ini", before);
    SetWriteFaultAfterBytes(5);
    EXPECT_THROW(TIniFile(file).WriteString("MAIN", "Contact", "New value"), EUpdaterError);
    SetWriteFaultAfterBytes(-1);
    EXPECT_EQ(dir.Read("a.ini"), before);

    // A file that exists but cannot be read is not replaced by one holding the new key only.
    dir.Write("locked.ini", before, 0000);
    if (ReadWholeFile(dir.File("locked.ini")).empty()) {
        EXPECT_THROW(TIniFile(dir.File("locked.ini")).WriteString("MAIN", "Email", "e"), EUpdaterError);
        std::filesystem::permissions(dir.File("locked.ini"), std::filesystem::perms::owner_read);
        EXPECT_EQ(dir.Read("locked.ini"), before);
    }
    EXPECT_THROW(TIniFile(dir.File("no/such/folder.ini")).WriteString("MAIN", "Contact", "x"), EUpdaterError);
}
}  // namespace
