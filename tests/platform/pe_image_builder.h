#pragma once
// Builds small PE images (PE32 and PE32+) with a resource section laid out as linkers lay it
// out, so tests can make exactly the file a case needs and then break one thing in it.
#include <cstdint>
#include <string>
#include <vector>

namespace pe {

// A resource: type and name are numbers unless their *Text is set (then they are names).
struct Resource {
    uint32_t Type = 0;
    std::u16string TypeText;
    uint32_t Name = 1;
    std::u16string NameText;
    uint16_t Language = 0x409;
    std::string Data;
};

// A VS_VERSIONINFO block: the fixed file information (file version ms/ls, a different
// product version, so a reader that takes the wrong field shows) and a StringFileInfo child.
std::string VersionBlock(uint32_t FileVersionMS, uint32_t FileVersionLS, uint32_t Signature = 0xFEEF04BD);

// Where the resource section keeps the records of the version resource (offsets from the
// start of the section), so a case can patch them.
struct ResourceLayout {
    uint32_t VersionTypeEntry = 0;  // the root's entry for type 16
    uint32_t VersionNameDir = 0;    // the directory of the version resource's names
    uint32_t VersionLangDir = 0;    // the languages of its first name
    uint32_t VersionDataEntry = 0;  // the data entry of its first language
    uint32_t VersionData = 0;       // the version block itself
};

// The bytes of a resource section placed at SectionRva. Directories are sorted as linkers
// sort them: named entries first, then numbered ones in ascending order.
std::string ResourceSection(const std::vector<Resource>& Resources, uint32_t SectionRva,
                            ResourceLayout* Layout = nullptr);

struct Section {
    std::string Name;
    uint32_t VirtualAddress = 0;
    uint32_t VirtualSize = 0;
    uint32_t PointerToRawData = 0;
    uint32_t SizeOfRawData = 0;
    std::string Data;  // written at PointerToRawData (at most SizeOfRawData bytes of it)
};

struct Image {
    bool Pe32Plus = false;
    std::vector<Section> Sections;
    uint32_t ResourceRva = 0;  // data directory 2; 0: none
    uint32_t ResourceSize = 0;
};

// Offsets of the header records in the built file.
struct HeaderLayout {
    uint32_t PeOffset = 0;
    uint32_t OptionalHeader = 0;
    uint32_t ResourceDirectory = 0;  // the data directory entry (RVA, size)
    uint32_t SectionTable = 0;
};

std::string Build(const Image& Spec, HeaderLayout* Layout = nullptr);

// The usual shape: sections named in Order (".rsrc" gets the resources, the others some
// code-like filler), at RVAs 0x1000 apart in that order, stored in the file in that order
// or, with ReverseFileOrder, backwards, so RVA and file order disagree.
struct SimpleImage {
    bool Pe32Plus = false;
    std::vector<std::string> Order = {".text", ".rsrc"};
    bool ReverseFileOrder = false;
    std::vector<Resource> Resources;
};

struct SimpleLayout {
    HeaderLayout Headers;
    ResourceLayout Resources;
    uint32_t ResourceFileOffset = 0;     // where the .rsrc section's bytes start in the file
    uint32_t ResourceSectionHeader = 0;  // its 40-byte record in the section table
};

std::string BuildSimple(const SimpleImage& Spec, SimpleLayout* Layout = nullptr);

// One version resource of type 16, name 1, language 0x409.
Resource VersionResource(uint32_t FileVersionMS, uint32_t FileVersionLS, uint16_t Language = 0x409);

// Little-endian patching of a built image.
void Put16(std::string& Bytes, size_t Offset, uint16_t Value);
void Put32(std::string& Bytes, size_t Offset, uint32_t Value);
uint32_t Get32(const std::string& Bytes, size_t Offset);

}  // namespace pe
