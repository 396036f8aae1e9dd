#include "http/base64.h"

std::string EncodeBase64(std::string_view Bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((Bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= Bytes.size(); i += 3) {
        const unsigned v = unsigned(static_cast<unsigned char>(Bytes[i])) << 16 |
                           unsigned(static_cast<unsigned char>(Bytes[i + 1])) << 8 |
                           unsigned(static_cast<unsigned char>(Bytes[i + 2]));
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += kAlphabet[v >> 6 & 63];
        out += kAlphabet[v & 63];
    }
    const size_t rest = Bytes.size() - i;
    if (rest > 0) {
        unsigned v = unsigned(static_cast<unsigned char>(Bytes[i])) << 16;
        if (rest == 2) v |= unsigned(static_cast<unsigned char>(Bytes[i + 1])) << 8;
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}
