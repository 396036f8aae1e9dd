#include "platform/base64.h"

#include <cstdint>

namespace platform {

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

// Strict base64 (RFC 4648 alphabet, padding optional, no blanks inside): a key that does not
// decode cleanly is a wrong key, not a key to guess at.
bool DecodeBase64Strict(std::string_view In, std::string& Out) {
    while (!In.empty() && (In.back() == ' ' || In.back() == '\t' || In.back() == '\r' || In.back() == '\n'))
        In.remove_suffix(1);
    while (!In.empty() && (In.front() == ' ' || In.front() == '\t')) In.remove_prefix(1);
    size_t pad = 0;
    while (pad < 2 && In.size() > pad && In[In.size() - 1 - pad] == '=') ++pad;
    const std::string_view body = In.substr(0, In.size() - pad);
    if (body.empty() || (pad > 0 && In.size() % 4 != 0) || body.size() % 4 == 1) return false;
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    Out.clear();
    uint32_t acc = 0;
    int bits = 0;
    for (char c : body) {
        const int v = value(c);
        if (v < 0) return false;
        acc = (acc << 6) | uint32_t(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            Out += char((acc >> bits) & 0xFF);
        }
    }
    return true;
}

}  // namespace platform
