// The cryptography interface on the Windows cryptography API (CNG). The key and signature
// containers (DER SubjectPublicKeyInfo, PKCS#8 / SEC 1 private keys, DER ECDSA signatures)
// are read and written here; the arithmetic is all CNG's.
// Windows headers depend on their order.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <cstring>
#include <vector>

#include "crypto/crypto.h"
#include "platform/base64.h"
#include "platform/errors.h"

namespace crypto {
namespace {
bool Ok(NTSTATUS s) { return s >= 0; }

struct TAlgClose {
    void operator()(BCRYPT_ALG_HANDLE h) const { BCryptCloseAlgorithmProvider(h, 0); }
};
struct TKeyDestroy {
    void operator()(BCRYPT_KEY_HANDLE h) const { BCryptDestroyKey(h); }
};
using TAlg = std::unique_ptr<void, TAlgClose>;
using TKey = std::unique_ptr<void, TKeyDestroy>;

TAlg OpenAlgorithm(const wchar_t* Name) {
    BCRYPT_ALG_HANDLE h = nullptr;
    if (!Ok(BCryptOpenAlgorithmProvider(&h, Name, nullptr, 0))) return TAlg();
    return TAlg(h);
}

// The DER SubjectPublicKeyInfo of a P-256 key up to its uncompressed point (0x04 X Y).
constexpr unsigned char kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48,
                                         0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08, 0x2A, 0x86, 0x48,
                                         0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};
constexpr unsigned char kP256Oid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
constexpr unsigned char kEcPublicKeyOid[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};

// One DER element: tag, contents. Definite lengths in their shortest form only, all within
// the input.
struct TDer {
    std::string_view Rest;
    bool Next(unsigned char& Tag, std::string_view& Content) {
        if (Rest.size() < 2) return false;
        Tag = uint8_t(Rest[0]);
        size_t len = uint8_t(Rest[1]), head = 2;
        if (len & 0x80) {
            const size_t n = len & 0x7F;
            if (n == 0 || n > 2 || Rest.size() < 2 + n) return false;
            len = 0;
            for (size_t k = 0; k < n; ++k) len = len << 8 | uint8_t(Rest[2 + k]);
            if (len < 0x80 || (n == 2 && len < 0x100)) return false;  // a shorter form exists
            head += n;
        }
        if (Rest.size() - head < len) return false;
        Content = Rest.substr(head, len);
        Rest.remove_prefix(head + len);
        return true;
    }
};

bool Equals(std::string_view a, const unsigned char* b, size_t n) {
    return a.size() == n && std::memcmp(a.data(), b, n) == 0;
}

// A DER INTEGER's contents: at least one byte, and no leading byte that only repeats the sign.
bool IsMinimalInteger(std::string_view Int) {
    if (Int.empty()) return false;
    if (Int.size() == 1) return true;
    const uint8_t first = uint8_t(Int[0]), next = uint8_t(Int[1]);
    return !(first == 0x00 && next < 0x80) && !(first == 0xFF && next >= 0x80);
}

// A minimal INTEGER's value as exactly 32 big-endian bytes; false when it does not fit.
bool Fixed32(std::string_view Int, unsigned char* Out) {
    if (Int.size() == 33 && Int[0] == 0) Int.remove_prefix(1);
    if (Int.size() > 32) return false;
    std::memset(Out, 0, 32);
    std::memcpy(Out + 32 - Int.size(), Int.data(), Int.size());
    return true;
}

// r || s from a DER ECDSA signature (SEQUENCE of two INTEGERs, nothing after it). Malformed
// when it is not one or r or s is negative, as OpenSSL has it; Mismatch when r or s is wider
// than the curve (no signature of it).
TVerifyResult SignatureFromDer(std::string_view Der, unsigned char* Out64) {
    TDer outer{Der};
    unsigned char tag;
    std::string_view seq, r, s;
    if (!outer.Next(tag, seq) || tag != 0x30 || !outer.Rest.empty()) return TVerifyResult::Malformed;
    TDer inner{seq};
    if (!inner.Next(tag, r) || tag != 0x02 || !inner.Next(tag, s) || tag != 0x02 || !inner.Rest.empty())
        return TVerifyResult::Malformed;
    for (std::string_view i : {r, s})
        if (!IsMinimalInteger(i) || (uint8_t(i[0]) & 0x80)) return TVerifyResult::Malformed;
    return Fixed32(r, Out64) && Fixed32(s, Out64 + 32) ? TVerifyResult::Valid : TVerifyResult::Mismatch;
}

std::string DerInteger(const unsigned char* Big32) {
    size_t i = 0;
    while (i < 31 && Big32[i] == 0) ++i;
    std::string v(reinterpret_cast<const char*>(Big32 + i), 32 - i);
    if (uint8_t(v[0]) & 0x80) v.insert(v.begin(), '\0');
    return std::string("\x02", 1) + char(v.size()) + v;
}

TKey ImportPublic(const std::string& Point64) {
    static const TAlg alg = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!alg) return TKey();
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
    auto* head = reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(blob.data());
    head->dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    head->cbKey = 32;
    std::memcpy(blob.data() + sizeof *head, Point64.data(), 64);
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!Ok(BCryptImportKeyPair(alg.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob.data(), ULONG(blob.size()), 0)))
        return TKey();
    return TKey(key);
}

// X || Y of a base64 DER SubjectPublicKeyInfo of a P-256 key; false for anything else.
bool PointFromSpki(std::string_view Der, std::string& Point64) {
    if (Der.size() != sizeof kSpkiPrefix + 64 || std::memcmp(Der.data(), kSpkiPrefix, sizeof kSpkiPrefix) != 0)
        return false;
    Point64.assign(Der.substr(sizeof kSpkiPrefix));
    return true;
}

std::string SpkiFromPoint(std::string_view Point64) {
    return std::string(reinterpret_cast<const char*>(kSpkiPrefix), sizeof kSpkiPrefix) + std::string(Point64);
}

// The DER body of the first PEM block with this label; false when there is none.
bool PemBlock(std::string_view Pem, std::string_view Label, std::string& Der) {
    const std::string begin = "-----BEGIN " + std::string(Label) + "-----";
    const std::string end = "-----END " + std::string(Label) + "-----";
    const size_t b = Pem.find(begin);
    if (b == std::string_view::npos) return false;
    const size_t e = Pem.find(end, b);
    if (e == std::string_view::npos) return false;
    std::string body;
    for (char c : Pem.substr(b + begin.size(), e - b - begin.size()))
        if (c != '\r' && c != '\n' && c != ' ' && c != '\t') body += c;
    return platform::DecodeBase64Strict(body, Der);
}

// The private scalar and public point of a SEC 1 ECPrivateKey on P-256. CurveKnown: the
// caller already saw the curve (PKCS#8 names it outside).
bool ParseEcPrivateKey(std::string_view Der, bool CurveKnown, std::string& D32, std::string& Point64) {
    TDer outer{Der};
    unsigned char tag;
    std::string_view seq, field;
    if (!outer.Next(tag, seq) || tag != 0x30) return false;
    TDer in{seq};
    if (!in.Next(tag, field) || tag != 0x02 || field != std::string_view("\x01", 1)) return false;
    if (!in.Next(tag, field) || tag != 0x04 || field.size() != 32) return false;
    D32.assign(field);
    bool curve = CurveKnown;
    while (in.Next(tag, field)) {
        TDer tagged{field};
        std::string_view inner;
        unsigned char innerTag;
        if (tag == 0xA0 && tagged.Next(innerTag, inner) && innerTag == 0x06)
            curve = Equals(inner, kP256Oid, sizeof kP256Oid);
        if (tag == 0xA1 && tagged.Next(innerTag, inner) && innerTag == 0x03 && inner.size() == 66 && inner[0] == 0 &&
            inner[1] == 0x04)
            Point64.assign(inner.substr(2));
    }
    return curve && Point64.size() == 64;
}

bool PrivateKeyFromPem(std::string_view Pem, std::string& D32, std::string& Point64) {
    std::string der;
    if (PemBlock(Pem, "EC PRIVATE KEY", der)) return ParseEcPrivateKey(der, false, D32, Point64);
    if (!PemBlock(Pem, "PRIVATE KEY", der)) return false;
    // PKCS#8: version, the algorithm (id-ecPublicKey on P-256), the SEC 1 key in an OCTET STRING.
    TDer outer{der};
    unsigned char tag;
    std::string_view seq, field, alg;
    if (!outer.Next(tag, seq) || tag != 0x30) return false;
    TDer in{seq};
    if (!in.Next(tag, field) || tag != 0x02) return false;
    if (!in.Next(tag, alg) || tag != 0x30) return false;
    TDer a{alg};
    std::string_view oid, curve;
    if (!a.Next(tag, oid) || tag != 0x06 || !Equals(oid, kEcPublicKeyOid, sizeof kEcPublicKeyOid)) return false;
    if (!a.Next(tag, curve) || tag != 0x06 || !Equals(curve, kP256Oid, sizeof kP256Oid)) return false;
    if (!in.Next(tag, field) || tag != 0x04) return false;
    return ParseEcPrivateKey(field, true, D32, Point64);
}
}  // namespace

struct TSha256::State {
    TAlg alg;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<unsigned char> object;
    ~State() {
        if (hash) BCryptDestroyHash(hash);
    }
};

TSha256::TSha256() : state_(std::make_unique<State>()) {
    state_->alg = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM);
    DWORD objectLength = 0, got = 0;
    if (!state_->alg || !Ok(BCryptGetProperty(state_->alg.get(), BCRYPT_OBJECT_LENGTH,
                                              reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength, &got, 0)))
        throw platform::EUpdaterError("SHA-256 is not available");
    state_->object.resize(objectLength);
    if (!Ok(BCryptCreateHash(state_->alg.get(), &state_->hash, state_->object.data(), objectLength, nullptr, 0, 0)))
        throw platform::EUpdaterError("SHA-256 is not available");
}

TSha256::~TSha256() = default;

void TSha256::Update(const void* Data, size_t Size) {
    const auto* p = static_cast<const unsigned char*>(Data);
    while (Size > 0) {
        const ULONG n = ULONG(std::min<size_t>(Size, 1u << 30));
        BCryptHashData(state_->hash, const_cast<PUCHAR>(p), n, 0);
        p += n, Size -= n;
    }
}

TSha256Digest TSha256::Final() {
    TSha256Digest d{};
    BCryptFinishHash(state_->hash, d.data(), ULONG(d.size()), 0);
    return d;
}

TVerifyResult VerifyP256(std::string_view PublicKeyBase64, std::string_view Data, std::string_view DerSignature) {
    std::string der, point;
    if (!platform::DecodeBase64Strict(PublicKeyBase64, der) || !PointFromSpki(der, point)) return TVerifyResult::BadKey;
    const TKey key = ImportPublic(point);
    if (!key) return TVerifyResult::BadKey;  // not a point on the curve
    unsigned char sig[64];
    if (const TVerifyResult form = SignatureFromDer(DerSignature, sig); form != TVerifyResult::Valid) return form;
    TSha256Digest digest = Sha256(Data);
    const NTSTATUS s = BCryptVerifySignature(key.get(), nullptr, digest.data(), ULONG(digest.size()), sig, 64, 0);
    return Ok(s) ? TVerifyResult::Valid : TVerifyResult::Mismatch;
}

std::string PublicKeyBase64FromPem(std::string_view Pem, std::string& Error) {
    std::string der, point, d;
    if (PemBlock(Pem, "PUBLIC KEY", der)) {
        if (PointFromSpki(der, point) && ImportPublic(point)) return platform::EncodeBase64(der);
        Error = "the key is not an ECDSA P-256 key";
        return "";
    }
    if (PemBlock(Pem, "PRIVATE KEY", der) || PemBlock(Pem, "EC PRIVATE KEY", der)) {
        if (PrivateKeyFromPem(Pem, d, point) && ImportPublic(point))
            return platform::EncodeBase64(SpkiFromPoint(point));
        Error = "the key is not an ECDSA P-256 key";
        return "";
    }
    Error = "no PEM public or private key found";
    return "";
}

std::string SignP256(std::string_view PrivateKeyPem, std::string_view Data) {
    std::string d, point;
    if (!PrivateKeyFromPem(PrivateKeyPem, d, point))
        throw platform::EUpdaterError("the signing key is not an ECDSA P-256 private key in PEM form");
    static const TAlg alg = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 96);
    auto* head = reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(blob.data());
    head->dwMagic = BCRYPT_ECDSA_PRIVATE_P256_MAGIC;
    head->cbKey = 32;
    std::memcpy(blob.data() + sizeof *head, point.data(), 64);
    std::memcpy(blob.data() + sizeof *head + 64, d.data(), 32);
    BCRYPT_KEY_HANDLE raw = nullptr;
    if (!alg ||
        !Ok(BCryptImportKeyPair(alg.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, &raw, blob.data(), ULONG(blob.size()), 0)))
        throw platform::EUpdaterError("the signing key is not an ECDSA P-256 private key in PEM form");
    const TKey key(raw);
    TSha256Digest digest = Sha256(Data);
    unsigned char sig[64];
    ULONG got = 0;
    if (!Ok(BCryptSignHash(key.get(), nullptr, digest.data(), ULONG(digest.size()), sig, sizeof sig, &got, 0)) ||
        got != 64)
        throw platform::EUpdaterError("signing failed");
    const std::string body = DerInteger(sig) + DerInteger(sig + 32);
    return std::string("\x30", 1) + char(body.size()) + body;
}

}  // namespace crypto
