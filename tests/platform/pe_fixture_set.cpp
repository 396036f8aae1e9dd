#include "tests/platform/pe_fixture_set.h"

#include "tests/platform/pe_image_builder.h"

namespace {
using pe::Put16;
using pe::Put32;

pe::Resource Other(uint32_t type, std::string data, std::u16string typeText = u"") {
    pe::Resource r;
    r.Type = type;
    r.TypeText = std::move(typeText);
    r.Data = std::move(data);
    return r;
}

// The usual PE32 image: .text and .rsrc, version 1.2.3.4.
std::string Basic32(pe::SimpleLayout* layout = nullptr) {
    pe::SimpleImage spec;
    spec.Resources = {pe::VersionResource(0x00010002, 0x00030004)};
    return pe::BuildSimple(spec, layout);
}
}  // namespace

std::vector<PeFixture> PeFixtures() {
    std::vector<PeFixture> out;
    pe::SimpleLayout l;

    out.push_back({"pe32_basic.exe", Basic32(), "1.2.3.4"});
    {
        pe::SimpleImage spec;
        spec.Pe32Plus = true;
        spec.Resources = {pe::VersionResource(0x000A0014, 0x001E0028)};
        out.push_back({"pe32plus_basic.dll", pe::BuildSimple(spec), "10.20.30.40"});
    }
    {
        // Four sections, .rsrc second by address but third in the file; other resource types
        // (a named one, an icon, a manifest) around the version.
        pe::SimpleImage spec;
        spec.Pe32Plus = true;
        spec.Order = {".text", ".rsrc", ".data", ".reloc"};
        spec.ReverseFileOrder = true;
        spec.Resources = {Other(0, "custom data", u"CUSTOM"), Other(3, std::string(40, '\x11')),
                          pe::VersionResource(0x00020002, 0x00020005), Other(24, "<assembly/>")};
        out.push_back({"pe32plus_rsrc_not_last.exe", pe::BuildSimple(spec), "2.2.2.5"});
        spec.Pe32Plus = false;
        spec.Resources[2] = pe::VersionResource(0x00070000, 0x00000001);
        out.push_back({"pe32_rsrc_not_last.exe", pe::BuildSimple(spec), "7.0.0.1"});
    }
    {
        // Two languages of the same version resource: the directory lists 0x407 first.
        pe::SimpleImage spec;
        spec.Order = {".text", ".rsrc", ".data"};
        spec.Resources = {pe::VersionResource(0x00030000, 0x00000009, 0x409),
                          pe::VersionResource(0x00030000, 0x00000007, 0x407)};
        out.push_back({"pe32_two_languages.exe", pe::BuildSimple(spec), "3.0.0.7"});
    }
    {
        pe::SimpleImage spec;
        spec.Pe32Plus = true;
        spec.Resources = {pe::VersionResource(0xFFFFFFFF, 0xFFFFFFFF)};
        out.push_back({"pe32plus_max_parts.exe", pe::BuildSimple(spec), "65535.65535.65535.65535"});
    }
    {
        pe::SimpleImage spec;
        spec.Pe32Plus = true;
        out.push_back({"pe32plus_no_resources.exe", pe::BuildSimple(spec), "0.0.0.0"});
        spec.Pe32Plus = false;
        spec.Resources = {Other(24, "<assembly/>"), Other(10, "raw data")};
        out.push_back({"pe32_resources_without_version.exe", pe::BuildSimple(spec), "0.0.0.0"});
    }
    out.push_back({"not_pe.txt", "This is a text file, not a program.\n", "0.0.0.0"});

    // Broken files: each is pe32_basic.exe with one fault.
    out.push_back({"broken_truncated_optional_header.exe", Basic32().substr(0, 0x100), "0.0.0.0"});
    out.push_back({"broken_truncated_section_table.exe", Basic32().substr(0, 0x180), "0.0.0.0"});
    {
        std::string b = Basic32(&l);
        Put32(b, 0x3C, 0xFFFFFFF0);
        out.push_back({"broken_pe_offset_beyond_end.exe", b, "0.0.0.0"});
    }
    {
        std::string b = Basic32(&l);
        Put16(b, l.Headers.PeOffset + 6, 0xFFFF);
        out.push_back({"broken_section_count.exe", b, "0.0.0.0"});
    }
    {
        std::string b = Basic32(&l);
        Put32(b, l.ResourceSectionHeader + 20, 0x00100000);  // PointerToRawData
        out.push_back({"broken_rsrc_raw_beyond_end.exe", b, "0.0.0.0"});
    }
    {
        std::string b = Basic32(&l);
        const uint32_t entry = l.ResourceFileOffset + l.Resources.VersionDataEntry;
        Put32(b, entry, pe::Get32(b, entry) + 0x10000);
        out.push_back({"broken_data_beyond_end.exe", b, "0.0.0.0"});
    }
    {
        std::string b = Basic32(&l);
        const uint32_t dir = l.Resources.VersionNameDir;
        Put32(b, l.ResourceFileOffset + dir + 16 + 4, 0x80000000u | dir);
        out.push_back({"broken_dir_points_at_itself.exe", b, "0.0.0.0"});
    }
    {
        std::string b = Basic32(&l);
        Put16(b, l.ResourceFileOffset + 12, 0xFFFF);
        Put16(b, l.ResourceFileOffset + 14, 0xFFFF);
        out.push_back({"broken_entry_counts.exe", b, "0.0.0.0"});
    }
    {
        pe::SimpleImage spec;
        spec.Resources = {pe::VersionResource(0x00010002, 0x00030004)};
        spec.Resources[0].Data = pe::VersionBlock(0x00010002, 0x00030004, 0xFEEF04BE);
        out.push_back({"broken_fixed_info_signature.exe", pe::BuildSimple(spec), "0.0.0.0"});
    }
    {
        std::string b = Basic32(&l);
        Put32(b, l.ResourceFileOffset + l.Resources.VersionDataEntry + 4, 20);  // Size
        out.push_back({"broken_version_block_truncated.exe", b, "0.0.0.0"});
    }
    {
        // The version block lies past SizeOfRawData (zero-filled memory at run time) while the
        // file still holds its old bytes there.
        std::string b = Basic32(&l);
        Put32(b, l.ResourceSectionHeader + 16, l.Resources.VersionData);
        out.push_back({"broken_version_beyond_raw_data.exe", b, "0.0.0.0"});
    }
    return out;
}
