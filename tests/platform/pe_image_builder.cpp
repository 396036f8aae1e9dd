#include "tests/platform/pe_image_builder.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace pe {
namespace {
void Add16(std::string& s, uint16_t v) {
    s += char(v & 0xFF);
    s += char(v >> 8);
}
void Add32(std::string& s, uint32_t v) {
    Add16(s, uint16_t(v & 0xFFFF));
    Add16(s, uint16_t(v >> 16));
}
void AddText(std::string& s, const std::u16string& t) {
    for (char16_t c : t) Add16(s, uint16_t(c));
    Add16(s, 0);
}
void Pad(std::string& s, size_t to) {
    while (s.size() % to) s += '\0';
}
uint32_t Align(uint32_t v, uint32_t to) { return (v + to - 1) / to * to; }

// One node of a version block: header, key, value, children; wLength excludes the padding
// after the last byte, as resource compilers write it.
std::string Block(const std::u16string& key, const std::string& value, uint16_t valueLength, uint16_t type,
                  const std::vector<std::string>& children) {
    std::string b(6, '\0');
    AddText(b, key);
    Pad(b, 4);
    b += value;
    for (const std::string& c : children) {
        Pad(b, 4);
        b += c;
    }
    Put16(b, 0, uint16_t(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, type);
    return b;
}

struct Key {
    bool Named;
    std::u16string Text;
    uint32_t Id;
    bool operator<(const Key& o) const {
        if (Named != o.Named) return Named;
        return Named ? Text < o.Text : Id < o.Id;
    }
};
}  // namespace

void Put16(std::string& Bytes, size_t Offset, uint16_t Value) {
    if (Offset + 2 > Bytes.size()) throw std::out_of_range("Put16");
    Bytes[Offset] = char(Value & 0xFF);
    Bytes[Offset + 1] = char(Value >> 8);
}

void Put32(std::string& Bytes, size_t Offset, uint32_t Value) {
    Put16(Bytes, Offset, uint16_t(Value & 0xFFFF));
    Put16(Bytes, Offset + 2, uint16_t(Value >> 16));
}

uint32_t Get32(const std::string& Bytes, size_t Offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(Bytes.at(Offset + size_t(i)));
    return v;
}

std::string VersionBlock(uint32_t FileVersionMS, uint32_t FileVersionLS, uint32_t Signature) {
    std::string fixed;
    for (uint32_t v : {Signature, 0x00010000u, FileVersionMS, FileVersionLS, 0x00090009u, 0x00090009u, 0x3Fu, 0u,
                       0x00040004u, 1u, 0u, 0u, 0u})
        Add32(fixed, v);
    std::string text;
    AddText(text, u"9.9.9.9");
    const std::string value = Block(u"FileVersion", text, uint16_t(text.size() / 2), 1, {});
    const std::string table = Block(u"040904b0", "", 0, 1, {value});
    const std::string strings = Block(u"StringFileInfo", "", 0, 1, {table});
    return Block(u"VS_VERSION_INFO", fixed, uint16_t(fixed.size()), 0, {strings});
}

Resource VersionResource(uint32_t FileVersionMS, uint32_t FileVersionLS, uint16_t Language) {
    Resource r;
    r.Type = 16;
    r.Name = 1;
    r.Language = Language;
    r.Data = VersionBlock(FileVersionMS, FileVersionLS);
    return r;
}

std::string ResourceSection(const std::vector<Resource>& Resources, uint32_t SectionRva, ResourceLayout* Layout) {
    std::map<Key, std::map<Key, std::map<uint16_t, const std::string*>>> tree;
    for (const Resource& r : Resources) {
        const Key type{!r.TypeText.empty(), r.TypeText, r.Type};
        const Key name{!r.NameText.empty(), r.NameText, r.Name};
        tree[type][name][r.Language] = &r.Data;
    }

    // Directories, then data entries, then name strings, then the data, as linkers order them.
    uint32_t off = 16 + 8 * uint32_t(tree.size());
    std::map<Key, uint32_t> typeDir;
    std::map<std::pair<Key, Key>, uint32_t> nameDir;
    std::map<std::tuple<Key, Key, uint16_t>, uint32_t> entryAt, dataAt;
    std::map<std::u16string, uint32_t> textAt;
    for (auto& [t, names] : tree) typeDir[t] = off, off += 16 + 8 * uint32_t(names.size());
    for (auto& [t, names] : tree)
        for (auto& [n, langs] : names) nameDir[{t, n}] = off, off += 16 + 8 * uint32_t(langs.size());
    for (auto& [t, names] : tree)
        for (auto& [n, langs] : names)
            for (auto& [l, data] : langs) entryAt[{t, n, l}] = off, off += 16;
    for (auto& [t, names] : tree) {
        if (t.Named && !textAt.count(t.Text)) textAt[t.Text] = off, off += 2 + 2 * uint32_t(t.Text.size());
        for (auto& [n, langs] : names)
            if (n.Named && !textAt.count(n.Text)) textAt[n.Text] = off, off += 2 + 2 * uint32_t(n.Text.size());
    }
    off = Align(off, 8);
    for (auto& [t, names] : tree)
        for (auto& [n, langs] : names)
            for (auto& [l, data] : langs) dataAt[{t, n, l}] = off, off = Align(off + uint32_t(data->size()), 8);

    std::string s(off, '\0');
    auto directory = [&](uint32_t at, const auto& children, auto entry) {
        uint16_t named = 0, ids = 0;
        for (auto& child : children) (child.first.Named ? named : ids)++;
        Put16(s, at + 12, named);
        Put16(s, at + 14, ids);
        uint32_t e = at + 16;
        for (auto& child : children) {
            Put32(s, e, child.first.Named ? 0x80000000u | textAt[child.first.Text] : child.first.Id);
            Put32(s, e + 4, entry(child));
            e += 8;
        }
    };
    directory(0, tree, [&](auto& t) { return 0x80000000u | typeDir[t.first]; });
    for (auto& [t, names] : tree) {
        const Key& type = t;  // a structured binding cannot be captured before C++20's fix in clang 16
        directory(typeDir[t], names, [&](auto& n) { return 0x80000000u | nameDir[{type, n.first}]; });
        for (auto& [n, langs] : names) {
            const uint32_t at = nameDir[{t, n}];
            uint16_t count = 0;
            uint32_t e = at + 16;
            for (auto& [l, data] : langs) {
                Put32(s, e, l);
                Put32(s, e + 4, entryAt[{t, n, l}]);
                const uint32_t d = entryAt[{t, n, l}];
                Put32(s, d, SectionRva + dataAt[{t, n, l}]);
                Put32(s, d + 4, uint32_t(data->size()));
                std::copy(data->begin(), data->end(), s.begin() + dataAt[{t, n, l}]);
                e += 8, ++count;
            }
            Put16(s, at + 14, count);
        }
    }
    for (auto& [text, at] : textAt) {
        Put16(s, at, uint16_t(text.size()));
        for (size_t i = 0; i < text.size(); ++i) Put16(s, at + 2 + 2 * i, uint16_t(text[i]));
    }

    if (Layout) {
        *Layout = {};
        uint32_t index = 0;
        for (auto& [t, names] : tree) {
            if (!t.Named && t.Id == 16 && !names.empty()) {
                auto& [n, langs] = *names.begin();
                const auto& [l, data] = *langs.begin();
                Layout->VersionTypeEntry = 16 + 8 * index;
                Layout->VersionNameDir = typeDir[t];
                Layout->VersionLangDir = nameDir[{t, n}];
                Layout->VersionDataEntry = entryAt[{t, n, l}];
                Layout->VersionData = dataAt[{t, n, l}];
            }
            ++index;
        }
    }
    return s;
}

std::string Build(const Image& Spec, HeaderLayout* Layout) {
    const uint32_t peOffset = 0x80;
    const uint32_t optionalSize = Spec.Pe32Plus ? 240 : 224;
    const uint32_t optional = peOffset + 24;
    const uint32_t table = optional + optionalSize;
    const uint32_t headersSize = Align(table + 40 * uint32_t(Spec.Sections.size()), 0x200);

    uint32_t fileSize = headersSize, imageSize = 0x1000;
    for (const Section& s : Spec.Sections) {
        fileSize = std::max(fileSize, s.PointerToRawData + s.SizeOfRawData);
        imageSize = std::max(imageSize, Align(s.VirtualAddress + std::max(s.VirtualSize, s.SizeOfRawData), 0x1000));
    }
    std::string f(fileSize, '\0');
    f[0] = 'M', f[1] = 'Z';
    Put32(f, 0x3C, peOffset);
    f.replace(peOffset, 4, std::string("PE\0\0", 4));
    Put16(f, peOffset + 4, Spec.Pe32Plus ? 0x8664 : 0x14C);
    Put16(f, peOffset + 6, uint16_t(Spec.Sections.size()));
    Put16(f, peOffset + 20, uint16_t(optionalSize));
    Put16(f, peOffset + 22, Spec.Pe32Plus ? 0x0022 : 0x0102);

    Put16(f, optional, Spec.Pe32Plus ? 0x20B : 0x10B);
    Put32(f, optional + 16, 0x1000);  // entry point
    Put32(f, optional + 20, 0x1000);  // base of code
    if (Spec.Pe32Plus) {
        Put32(f, optional + 24, 0x40000000), Put32(f, optional + 28, 0x1);  // image base 0x140000000
    } else {
        Put32(f, optional + 28, 0x400000);
    }
    Put32(f, optional + 32, 0x1000);  // section alignment
    Put32(f, optional + 36, 0x200);   // file alignment
    Put16(f, optional + 40, 6), Put16(f, optional + 48, 6);
    Put32(f, optional + 56, imageSize);
    Put32(f, optional + 60, headersSize);
    Put16(f, optional + 68, 2);  // GUI subsystem
    const uint32_t directories = optional + (Spec.Pe32Plus ? 112 : 96);
    Put32(f, directories - 4, 16);
    Put32(f, directories + 16, Spec.ResourceRva);
    Put32(f, directories + 20, Spec.ResourceSize);

    uint32_t at = table;
    for (const Section& s : Spec.Sections) {
        f.replace(at, std::min<size_t>(s.Name.size(), 8), s.Name.substr(0, 8));
        Put32(f, at + 8, s.VirtualSize);
        Put32(f, at + 12, s.VirtualAddress);
        Put32(f, at + 16, s.SizeOfRawData);
        Put32(f, at + 20, s.PointerToRawData);
        Put32(f, at + 36, s.Name == ".text" ? 0x60000020u : 0x40000040u);
        f.replace(s.PointerToRawData, std::min<size_t>(s.Data.size(), s.SizeOfRawData),
                  s.Data.substr(0, s.SizeOfRawData));
        at += 40;
    }
    if (Layout) *Layout = {peOffset, optional, directories + 16, table};
    return f;
}

std::string BuildSimple(const SimpleImage& Spec, SimpleLayout* Layout) {
    Image image;
    image.Pe32Plus = Spec.Pe32Plus;
    SimpleLayout layout;
    std::vector<std::string> order;
    for (const std::string& name : Spec.Order)
        if (name != ".rsrc" || !Spec.Resources.empty()) order.push_back(name);

    size_t rsrcIndex = SIZE_MAX;
    for (size_t i = 0; i < order.size(); ++i) {
        Section s;
        s.Name = order[i];
        s.VirtualAddress = 0x1000 * uint32_t(i + 1);
        if (s.Name == ".rsrc") {
            s.Data = ResourceSection(Spec.Resources, s.VirtualAddress, &layout.Resources);
            image.ResourceRva = s.VirtualAddress;
            image.ResourceSize = uint32_t(s.Data.size());
            rsrcIndex = i;
        } else {
            s.Data = std::string(0x30, '\xCC') + s.Name;
        }
        s.VirtualSize = uint32_t(s.Data.size());
        s.SizeOfRawData = Align(s.VirtualSize, 0x200);
        image.Sections.push_back(std::move(s));
    }
    const uint32_t headersSize = Align((0x80 + 24 + (Spec.Pe32Plus ? 240 : 224)) + 40 * uint32_t(order.size()), 0x200);
    uint32_t raw = headersSize;
    for (size_t k = 0; k < image.Sections.size(); ++k) {
        Section& s = image.Sections[Spec.ReverseFileOrder ? image.Sections.size() - 1 - k : k];
        s.PointerToRawData = raw;
        raw += s.SizeOfRawData;
    }
    std::string bytes = Build(image, &layout.Headers);
    if (rsrcIndex != SIZE_MAX) {
        layout.ResourceFileOffset = image.Sections[rsrcIndex].PointerToRawData;
        layout.ResourceSectionHeader = layout.Headers.SectionTable + 40 * uint32_t(rsrcIndex);
    }
    if (Layout) *Layout = layout;
    return bytes;
}

}  // namespace pe
