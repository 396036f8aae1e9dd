// Agreement with a real toolchain: executables and DLLs made by the MinGW-w64 resource
// compiler, assembler and linker (package binutils-mingw-w64-x86-64, installed by
// scripts/install-deps) read with the version their resource script gave them. Binutils'
// own resource reader also checks that the generated fixtures are what a linker makes.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "platform/strconv.h"
#include "platform/update_utils.h"
#include "tests/platform/pe_fixture_set.h"
#include "tests/support/temp_dir.h"

using namespace platform;

namespace {
const std::string kTool = "x86_64-w64-mingw32-";
const std::string kFixtures = ZEL_PE_FIXTURES "/";

bool HaveToolchain() { return std::system(("command -v " + kTool + "windres >/dev/null 2>&1").c_str()) == 0; }

// Runs a shell command in Dir; its output goes to Dir/log, which a failure shows.
bool Shell(const TempDir& dir, const std::string& command) {
    const int rc = std::system(("cd '" + dir.Path() + "' && " + command + " >>log 2>&1").c_str());
    if (rc != 0) ADD_FAILURE() << command << "\n" << ReadWholeFile(dir.Path() + "log");
    return rc == 0;
}

std::string VersionOf(const std::string& file) {
    uint16_t a, b, c, d;
    std::string text;
    ReadFileVersion(file, a, b, c, d, text);
    return text;
}

std::string VersionInfo(const char* fileVersion, const char* language) {
    return Format(
        "LANGUAGE %s\n1 VERSIONINFO\nFILEVERSION %s\nPRODUCTVERSION 9,9,9,9\nFILEFLAGSMASK 0x3f\n"
        "FILEOS 0x40004\nFILETYPE 0x1\nBEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n"
        "    BLOCK \"040904b0\"\n    BEGIN\n      VALUE \"FileVersion\", \"9.9.9.9\"\n"
        "      VALUE \"ProductName\", \"Brinquet Express\"\n    END\n  END\n"
        "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x409, 1200\n  END\nEND\n",
        language, fileVersion);
}

const std::string kOtherResources =
    "STRINGTABLE\nBEGIN\n  1 \"first string\"\n  2 \"second string\"\nEND\n"
    "100 RCDATA { \"some raw data\", 0x1234 }\n"
    "CUSTOM RCDATA { \"a named resource\" }\n";

// Code with an absolute address in .data, so the linker writes a .reloc section after .rsrc.
const std::string kAsm64 = ".text\n.globl start\nstart: ret\n.data\nptr: .quad start\n";
const std::string kAsm32 = ".text\n.globl start\nstart: ret\n.data\nptr: .long start\n";
// The 32-bit emulation ships without its default script; this one puts .rsrc in the middle.
const std::string kScript32 =
    "SECTIONS {\n  . = 0x401000;\n  .text : { *(.text) }\n  . = ALIGN(0x1000);\n"
    "  .rsrc : { *(.rsrc) *(SORT(.rsrc$*)) }\n  . = ALIGN(0x1000);\n  .data : { *(.data) }\n}\n";

class PeToolchain : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveToolchain()) FAIL() << kTool << "windres missing: run scripts/install-deps";
    }

    // Compiles Rc and links it with the assembler source into Output; true on success.
    bool Make(const std::string& rc, const std::string& output, bool pe32, const std::string& linkFlags) {
        dir_.Write("res.rc", rc);
        dir_.Write("code.s", pe32 ? kAsm32 : kAsm64);
        dir_.Write("pe32.ld", kScript32);
        const std::string target = pe32 ? " --target=pe-i386" : "";
        return Shell(dir_, kTool + "windres --preprocessor=cpp" + target + " res.rc -O coff -o res.o") &&
               Shell(dir_, kTool + "as" + (pe32 ? " --32" : "") + " code.s -o code.o") &&
               Shell(dir_, kTool + "ld" + (pe32 ? " -m i386pe -T pe32.ld" : "") + " -e start " + linkFlags + " -o " +
                               output + " code.o res.o");
    }

    // Section names in file order, as the linker wrote them.
    std::string Sections(const std::string& file) {
        Shell(dir_, kTool + "objdump -h " + file + " -w | tee sections");
        std::string names, line;
        std::istringstream in(ReadWholeFile(dir_.Path() + "sections"));
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string index, name;
            if (words >> index >> name && !index.empty() && std::isdigit(static_cast<unsigned char>(index[0])))
                names += name + " ";
        }
        return names;
    }

    TempDir dir_{"zel-pe-toolchain"};
};
}  // namespace

TEST_F(PeToolchain, Pe32PlusExecutableWithRelocationsAfterResources) {
    ASSERT_TRUE(Make(VersionInfo("4,3,2,1", "0x09, 0x01") + kOtherResources, "app.exe", false, "--dynamicbase"));
    EXPECT_EQ(Sections("app.exe"), ".text .data .idata .rsrc .reloc ");
    EXPECT_EQ(VersionOf(dir_.Path() + "app.exe"), "4.3.2.1");
}

TEST_F(PeToolchain, Pe32PlusDllWithTwoLanguagesReadsTheFirst) {
    const std::string rc = VersionInfo("5,0,0,9", "0x09, 0x01") + VersionInfo("5,0,0,7", "0x07, 0x01");
    ASSERT_TRUE(Make(rc + kOtherResources, "lib.dll", false, "--dynamicbase -shared"));
    EXPECT_EQ(VersionOf(dir_.Path() + "lib.dll"), "5.0.0.7");  // 0x407 sorts before 0x409
}

TEST_F(PeToolchain, Pe32ExecutableWithResourcesInTheMiddle) {
    ASSERT_TRUE(Make(VersionInfo("1,22,333,4444", "0x09, 0x01") + kOtherResources, "old.exe", true, ""));
    EXPECT_EQ(Sections("old.exe"), ".text .rsrc .data .reloc ");
    EXPECT_EQ(VersionOf(dir_.Path() + "old.exe"), "1.22.333.4444");
}

TEST_F(PeToolchain, Pe32LargestPartsStayUnsigned) {
    ASSERT_TRUE(Make(VersionInfo("65535,65535,32768,0", "0x09, 0x01"), "max.exe", true, ""));
    EXPECT_EQ(VersionOf(dir_.Path() + "max.exe"), "65535.65535.32768.0");
}

TEST_F(PeToolchain, ExecutableWithoutVersionResourceReadsZero) {
    ASSERT_TRUE(Make(kOtherResources, "plain.exe", false, ""));
    EXPECT_EQ(VersionOf(dir_.Path() + "plain.exe"), "0.0.0.0");
}

// windres decompiles the resources of the generated fixtures and finds the same version.
TEST_F(PeToolchain, BinutilsReadsTheGeneratedFixturesAlike) {
    int checked = 0;
    for (const PeFixture& f : PeFixtures()) {
        if (f.Expected == "0.0.0.0") continue;
        SCOPED_TRACE(f.Name);
        ASSERT_TRUE(Shell(dir_, kTool + "windres -i '" + kFixtures + f.Name + "' -O rc -o decompiled.rc"));
        std::string rc = ReadWholeFile(dir_.Path() + "decompiled.rc");
        const size_t at = rc.find("FILEVERSION ");
        ASSERT_NE(at, std::string::npos) << rc;
        std::string version = rc.substr(at + 12, rc.find('\n', at) - at - 12);
        version = ReplaceAll(ReplaceAll(Trim(version), " ", ""), ",", ".");
        EXPECT_EQ(version, f.Expected);
        ++checked;
    }
    EXPECT_GE(checked, 6);
}
