#include "http/ntlm_hash.h"

#include <cstdint>

namespace http {

namespace {
uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Both digests pad the same way: 0x80, zeros, the bit length as 64 bits little-endian.
std::string Padded(std::string_view Data) {
    std::string m(Data);
    const uint64_t bits = uint64_t(Data.size()) * 8;
    m += '\x80';
    while (m.size() % 64 != 56) m += '\0';
    for (int i = 0; i < 8; ++i) m += char((bits >> (8 * i)) & 0xFF);
    return m;
}

void Words(const std::string& m, size_t block, uint32_t x[16]) {
    for (int i = 0; i < 16; ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(m.data() + block + size_t(4 * i));
        x[i] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
}

std::string Digest(const uint32_t h[4]) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) out += char((h[i] >> (8 * j)) & 0xFF);
    return out;
}
}  // namespace

std::string Md4(std::string_view Data) {
    const std::string m = Padded(Data);
    uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (size_t block = 0; block < m.size(); block += 64) {
        uint32_t x[16];
        Words(m, block, x);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        auto F = [](uint32_t u, uint32_t v, uint32_t w) { return (u & v) | (~u & w); };
        auto G = [](uint32_t u, uint32_t v, uint32_t w) { return (u & v) | (u & w) | (v & w); };
        auto H = [](uint32_t u, uint32_t v, uint32_t w) { return u ^ v ^ w; };
        static const int s1[4] = {3, 7, 11, 19}, s2[4] = {3, 5, 9, 13}, s3[4] = {3, 9, 11, 15};
        for (int i = 0; i < 16; ++i) {
            const uint32_t t = Rotl(a + F(b, c, d) + x[i], s1[i % 4]);
            a = d, d = c, c = b, b = t;
        }
        for (int i = 0; i < 16; ++i) {
            const int k = (i % 4) * 4 + i / 4;
            const uint32_t t = Rotl(a + G(b, c, d) + x[k] + 0x5a827999u, s2[i % 4]);
            a = d, d = c, c = b, b = t;
        }
        static const int order3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
        for (int i = 0; i < 16; ++i) {
            const uint32_t t = Rotl(a + H(b, c, d) + x[order3[i]] + 0x6ed9eba1u, s3[i % 4]);
            a = d, d = c, c = b, b = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d;
    }
    return Digest(h);
}

std::string Md5(std::string_view Data) {
    static const int s[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
                              14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                              4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    static uint32_t k[64];
    static const bool ready = [] {
        // K[i] = floor(|sin(i + 1)| * 2^32), computed once.
        for (int i = 0; i < 64; ++i) {
            long double v = __builtin_fabsl(__builtin_sinl(static_cast<long double>(i + 1))) * 4294967296.0L;
            k[i] = static_cast<uint32_t>(static_cast<uint64_t>(v));
        }
        return true;
    }();
    (void)ready;
    const std::string m = Padded(Data);
    uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (size_t block = 0; block < m.size(); block += 64) {
        uint32_t x[16];
        Words(m, block, x);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            const uint32_t t = d;
            d = c;
            c = b;
            b = b + Rotl(a + f + k[i] + x[g], s[i]);
            a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d;
    }
    return Digest(h);
}

std::string HmacMd5(std::string_view Key, std::string_view Data) {
    std::string key = Key.size() > 64 ? Md5(Key) : std::string(Key);
    key.resize(64, '\0');
    std::string inner(64, '\0'), outer(64, '\0');
    for (size_t i = 0; i < 64; ++i) {
        inner[i] = char(key[i] ^ 0x36);
        outer[i] = char(key[i] ^ 0x5c);
    }
    return Md5(outer + Md5(inner + std::string(Data)));
}

}  // namespace http
