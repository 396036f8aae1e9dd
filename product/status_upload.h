#pragma once
// The status upload's form body: the values the support service records after a successful
// run of the product's update program.
#include <string>
#include <string_view>

// Form encoding of an ANSI (Windows-1252) value: letters, digits and ! $ ' ( ) * - . @ _ as
// they are, a blank as "+", every other byte as "%" and two upper-case hexadecimal digits.
// Stops at the first zero byte.
std::string EncodeFormValue(std::string_view AnsiValue);

namespace product {

struct TStatusUpload {
    std::string CurrentVer, PastVer, LocalNum, ContactName, ContactEMail;  // UTF-8 text
};

// The eight fields in the service's order, each value converted to the ANSI code page and
// encoded; UnionCode and ActionCode are fixed texts.
std::string StatusUploadBody(const TStatusUpload& Upload);

// Local_Num as sent: "0" put in front until it is at least four characters long.
std::string PadLocalNum(std::string LocalNum);

inline constexpr char kStatusUploadAgent[] = "Mozilla/4.0+(compatible;+MSIE+6.0;+Windows+NT+5.1;+SV1)";
// The built-in support service; the local INI's SUPPORTURL replaces it.
inline constexpr char kDefaultSupportUrl[] = "http://support.halvane.com/scripts/zelisapi.dll/runningupload";

}  // namespace product
