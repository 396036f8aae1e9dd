#include "product/status_upload.h"

#include "platform/codepage.h"

using namespace platform;

std::string EncodeFormValue(std::string_view AnsiValue) {
    static const char hex[] = "0123456789ABCDEF";
    static const std::string_view plain = "!$'()*-.@_";
    std::string out;
    for (const char ch : AnsiValue) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == 0) break;
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
            plain.find(char(b)) != std::string_view::npos) {
            out += char(b);
        } else if (b == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

namespace product {

namespace {
std::string Encoded(const std::string& utf8) { return EncodeFormValue(Utf8ToAnsi(utf8)); }
}  // namespace

std::string StatusUploadBody(const TStatusUpload& u) {
    return "CurrentVer=" + Encoded(u.CurrentVer) + "&PastVer=" + Encoded(u.PastVer) +
           "&LocalNum=" + Encoded(u.LocalNum) + "&ProgCode=" + Encoded("BQ EXPRESS") + "&UnionCode=KORV" +
           "&ActionCode=SCRIPT_UPDATER" + "&ContactName=" + Encoded(u.ContactName) +
           "&ContactEMail=" + Encoded(u.ContactEMail);
}

std::string PadLocalNum(std::string LocalNum) {
    if (LocalNum.size() >= 4) return LocalNum;
    return std::string(4 - LocalNum.size(), '0') + LocalNum;
}

}  // namespace product
