// The cryptography interface on the Windows cryptography API: crypt32 reads and writes the
// containers (PEM, DER SubjectPublicKeyInfo, PKCS#8 and SEC 1 private keys, DER ECDSA
// signatures), CNG does the arithmetic.
// Windows headers depend on their order.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <vector>

#include "crypto/crypto.h"
#include "platform/base64.h"
#include "platform/errors.h"

namespace crypto {
namespace {
bool Ok(NTSTATUS s) { return s >= 0; }

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct TAlgClose {
    void operator()(BCRYPT_ALG_HANDLE h) const { BCryptCloseAlgorithmProvider(h, 0); }
};
struct TKeyDestroy {
    void operator()(BCRYPT_KEY_HANDLE h) const { BCryptDestroyKey(h); }
};
struct TLocalFree {
    void operator()(void* p) const { LocalFree(p); }
};
using TAlg = std::unique_ptr<void, TAlgClose>;
using TKey = std::unique_ptr<void, TKeyDestroy>;
template <class T>
using TDecoded = std::unique_ptr<T, TLocalFree>;

TAlg OpenAlgorithm(const wchar_t* Name) {
    BCRYPT_ALG_HANDLE h = nullptr;
    if (!Ok(BCryptOpenAlgorithmProvider(&h, Name, nullptr, 0))) return TAlg();
    return TAlg(h);
}

const BYTE* Bytes(std::string_view s) { return reinterpret_cast<const BYTE*>(s.data()); }
std::string_view View(const CRYPT_DATA_BLOB& b) { return {reinterpret_cast<const char*>(b.pbData), b.cbData}; }

template <class T>
TDecoded<T> Decode(LPCSTR Type, std::string_view Der) {
    void* out = nullptr;
    DWORD size = 0;
    if (Der.empty() || Der.size() > MAXDWORD ||
        !CryptDecodeObjectEx(kEncoding, Type, Bytes(Der), DWORD(Der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &out,
                             &size))
        return TDecoded<T>();
    return TDecoded<T>(static_cast<T*>(out));
}

// Empty when crypt32 cannot encode Value.
std::string Encode(LPCSTR Type, const void* Value) {
    BYTE* out = nullptr;
    DWORD size = 0;
    if (!CryptEncodeObjectEx(kEncoding, Type, Value, CRYPT_ENCODE_ALLOC_FLAG, nullptr, &out, &size)) return "";
    const TDecoded<BYTE> owned(out);
    return std::string(reinterpret_cast<const char*>(out), size);
}

// The decoder takes BER and ignores bytes after the value; DER is the one encoding that the
// encoder gives back byte for byte.
template <class T>
TDecoded<T> DecodeDer(LPCSTR Type, std::string_view Der) {
    TDecoded<T> value = Decode<T>(Type, Der);
    if (value && Encode(Type, value.get()) != Der) value.reset();
    return value;
}

bool IsOid(const char* Oid, const char* Want) { return Oid && std::strcmp(Oid, Want) == 0; }

// True when crypt32 has no decoder for the type at all (Wine's has none for private keys);
// the generic decoders then read the same structure.
bool NoDecoderForType() { return GetLastError() == ERROR_FILE_NOT_FOUND; }

// The elements of a DER SEQUENCE, each with its tag and length. A context tag that wraps one
// element ([0], [1] of a private key) is built like a sequence and read as one.
bool Elements(std::string Der, std::vector<std::string>& Out) {
    if (!Der.empty() && (uint8_t(Der[0]) & 0xE0) == 0xA0) Der[0] = 0x30;
    const auto seq = Decode<CRYPT_SEQUENCE_OF_ANY>(X509_SEQUENCE_OF_ANY, Der);
    if (!seq) return false;
    Out.clear();
    for (DWORD i = 0; i < seq->cValue; ++i) Out.emplace_back(View(seq->rgValue[i]));
    return true;
}

// A DER OBJECT IDENTIFIER (an algorithm's parameters) naming Want.
bool NamesOid(std::string_view Der, const char* Want) {
    const auto oid = Decode<LPSTR>(X509_OBJECT_IDENTIFIER, Der);
    return oid && IsOid(*oid, Want);
}

// The algorithm of a P-256 key: id-ecPublicKey with the curve named as its parameter.
bool IsP256(const CRYPT_ALGORITHM_IDENTIFIER& Algorithm) {
    return IsOid(Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) &&
           NamesOid(View(Algorithm.Parameters), szOID_ECC_CURVE_P256);
}

// A verifying key from a DER SubjectPublicKeyInfo of a P-256 key; empty for anything else.
TKey ImportSpki(std::string_view Der) {
    const auto info = DecodeDer<CERT_PUBLIC_KEY_INFO>(X509_PUBLIC_KEY_INFO, Der);
    if (!info || !IsP256(info->Algorithm)) return TKey();
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info.get(), CRYPT_OID_INFO_PUBKEY_SIGN_KEY_FLAG, nullptr, &key))
        return TKey();  // not a point on the curve
    return TKey(key);
}

// The DER SubjectPublicKeyInfo of a point (0x04 X Y) on the curve Curve names (a DER OID).
std::string Spki(const std::string& Point65, std::string Curve) {
    CERT_PUBLIC_KEY_INFO info{};
    info.Algorithm.pszObjId = const_cast<LPSTR>(szOID_ECC_PUBLIC_KEY);
    info.Algorithm.Parameters = {DWORD(Curve.size()), reinterpret_cast<BYTE*>(Curve.data())};
    info.PublicKey = {DWORD(Point65.size()), const_cast<BYTE*>(Bytes(Point65)), 0};
    return Encode(X509_PUBLIC_KEY_INFO, &info);
}

// A DER INTEGER of the unsigned little-endian value (crypt32's CRYPT_UINT_BLOB order), in
// its shortest form.
std::string EncodeUnsigned(const BYTE* LittleEndian, DWORD Size) {
    while (Size > 1 && LittleEndian[Size - 1] == 0) --Size;
    BYTE zero = 0;
    CRYPT_UINT_BLOB value{Size, Size == 0 ? &zero : const_cast<BYTE*>(LittleEndian)};
    if (Size == 0) value.cbData = 1;
    return Encode(X509_MULTI_BYTE_UINT, &value);
}

// The DER ECDSA signature of r and s. crypt32 decodes X509_ECC_SIGNATURE but Wine's cannot
// encode it; a SEQUENCE of the two INTEGERs is the same bytes.
std::string EncodeSignature(const CRYPT_UINT_BLOB& R, const CRYPT_UINT_BLOB& S) {
    std::string r = EncodeUnsigned(R.pbData, R.cbData), s = EncodeUnsigned(S.pbData, S.cbData);
    if (r.empty() || s.empty()) return "";
    CRYPT_DER_BLOB values[] = {{DWORD(r.size()), reinterpret_cast<BYTE*>(r.data())},
                               {DWORD(s.size()), reinterpret_cast<BYTE*>(s.data())}};
    CRYPT_SEQUENCE_OF_ANY seq{2, values};
    return Encode(X509_SEQUENCE_OF_ANY, &seq);
}

// A CRYPT_UINT_BLOB as exactly 32 big-endian bytes; false when it is wider.
bool Fixed32(const CRYPT_UINT_BLOB& Int, unsigned char* Out) {
    DWORD n = Int.cbData;
    while (n > 0 && Int.pbData[n - 1] == 0) --n;
    if (n > 32) return false;
    std::memset(Out, 0, 32);
    for (DWORD i = 0; i < n; ++i) Out[31 - i] = Int.pbData[i];
    return true;
}

// r || s from a DER ECDSA signature. Malformed when it is not one: the decoder takes BER, a
// negative r or s as unsigned and bytes after the value, none of which encodes back the same.
// Mismatch when r or s is wider than the curve (no signature of it).
TVerifyResult SignatureFromDer(std::string_view Der, unsigned char* Out64) {
    const auto sig = Decode<CERT_ECC_SIGNATURE>(X509_ECC_SIGNATURE, Der);
    if (!sig || EncodeSignature(sig->r, sig->s) != Der) return TVerifyResult::Malformed;
    return Fixed32(sig->r, Out64) && Fixed32(sig->s, Out64 + 32) ? TVerifyResult::Valid : TVerifyResult::Mismatch;
}

// The DER body of the first PEM block with this label; false when there is none.
bool PemBlock(std::string_view Pem, std::string_view Label, std::string& Der) {
    const std::string begin = "-----BEGIN " + std::string(Label) + "-----";
    const std::string end = "-----END " + std::string(Label) + "-----";
    const size_t b = Pem.find(begin);
    if (b == std::string_view::npos) return false;
    const size_t e = Pem.find(end, b);
    if (e == std::string_view::npos) return false;
    const std::string_view block = Pem.substr(b, e + end.size() - b);
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.data(), DWORD(block.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                              nullptr))
        return false;
    Der.resize(size);
    if (!CryptStringToBinaryA(block.data(), DWORD(block.size()), CRYPT_STRING_BASE64HEADER,
                              reinterpret_cast<BYTE*>(Der.data()), &size, nullptr, nullptr))
        return false;
    Der.resize(size);
    return true;
}

struct TPrivateKey {
    std::string D;      // the private scalar
    std::string Point;  // the public point, 0x04 X Y
    std::string Curve;  // its DER OID; empty when the key leaves it to its container
};

// A SEC 1 ECPrivateKey: version 1, the scalar, the curve [0] and the point [1].
bool ReadEcPrivateKey(std::string_view Der, TPrivateKey& Key) {
    if (const auto ec = Decode<CRYPT_ECC_PRIVATE_KEY_INFO>(X509_ECC_PRIVATE_KEY, Der)) {
        if (ec->dwVersion != CRYPT_ECC_PRIVATE_KEY_INFO_v1 || ec->PublicKey.cUnusedBits != 0) return false;
        Key.D.assign(View(ec->PrivateKey));
        Key.Point.assign(reinterpret_cast<const char*>(ec->PublicKey.pbData), ec->PublicKey.cbData);
        if (ec->szCurveOid) Key.Curve = Encode(X509_OBJECT_IDENTIFIER, &ec->szCurveOid);
    } else {
        std::vector<std::string> e;
        if (!NoDecoderForType() || !Elements(std::string(Der), e) || e.size() < 2) return false;
        const auto version = Decode<int>(X509_INTEGER, e[0]);
        const auto d = Decode<CRYPT_DATA_BLOB>(X509_OCTET_STRING, e[1]);
        if (!version || *version != 1 || !d) return false;
        Key.D.assign(View(*d));
        for (size_t i = 2; i < e.size(); ++i) {
            std::vector<std::string> inner;
            if (!Elements(e[i], inner) || inner.size() != 1) return false;
            if (uint8_t(e[i][0]) == 0xA0) Key.Curve = inner[0];
            if (uint8_t(e[i][0]) != 0xA1) continue;
            const auto point = Decode<CRYPT_BIT_BLOB>(X509_BITS, inner[0]);
            if (!point || point->cUnusedBits != 0) return false;
            Key.Point.assign(reinterpret_cast<const char*>(point->pbData), point->cbData);
        }
    }
    return Key.D.size() == 32 && Key.Point.size() == 65 && Key.Point[0] == 0x04;
}

// A PKCS#8 PrivateKeyInfo of a P-256 key: the algorithm names the curve, the SEC 1 key is
// inside an OCTET STRING.
bool ReadPkcs8(std::string_view Der, TPrivateKey& Key) {
    std::string curve, inner;
    if (const auto info = Decode<CRYPT_PRIVATE_KEY_INFO>(PKCS_PRIVATE_KEY_INFO, Der)) {
        if (!IsOid(info->Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY)) return false;
        curve.assign(View(info->Algorithm.Parameters));
        inner.assign(View(info->PrivateKey));
    } else {
        std::vector<std::string> e, algorithm;
        if (!NoDecoderForType() || !Elements(std::string(Der), e) || e.size() < 3 || !Elements(e[1], algorithm) ||
            algorithm.size() != 2)
            return false;
        const auto oid = Decode<LPSTR>(X509_OBJECT_IDENTIFIER, algorithm[0]);
        const auto key = Decode<CRYPT_DATA_BLOB>(X509_OCTET_STRING, e[2]);
        if (!oid || !IsOid(*oid, szOID_ECC_PUBLIC_KEY) || !key) return false;
        curve = algorithm[1];
        inner.assign(View(*key));
    }
    if (!ReadEcPrivateKey(inner, Key)) return false;
    if (Key.Curve.empty()) Key.Curve = curve;
    return Key.Curve == curve;
}

bool PrivateKeyFromPem(std::string_view Pem, TPrivateKey& Key) {
    std::string der;
    bool read = false;
    if (PemBlock(Pem, "EC PRIVATE KEY", der))
        read = ReadEcPrivateKey(der, Key);
    else if (PemBlock(Pem, "PRIVATE KEY", der))
        read = ReadPkcs8(der, Key);
    return read && NamesOid(Key.Curve, szOID_ECC_CURVE_P256);
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
    std::string der;
    if (!platform::DecodeBase64Strict(PublicKeyBase64, der)) return TVerifyResult::BadKey;
    const TKey key = ImportSpki(der);
    if (!key) return TVerifyResult::BadKey;
    unsigned char sig[64];
    if (const TVerifyResult form = SignatureFromDer(DerSignature, sig); form != TVerifyResult::Valid) return form;
    TSha256Digest digest = Sha256(Data);
    const NTSTATUS s = BCryptVerifySignature(key.get(), nullptr, digest.data(), ULONG(digest.size()), sig, 64, 0);
    return Ok(s) ? TVerifyResult::Valid : TVerifyResult::Mismatch;
}

std::string PublicKeyBase64FromPem(std::string_view Pem, std::string& Error) {
    std::string der;
    TPrivateKey key;
    if (PemBlock(Pem, "PUBLIC KEY", der)) {
        if (ImportSpki(der)) return platform::EncodeBase64(der);
        Error = "the key is not an ECDSA P-256 key";
        return "";
    }
    if (PemBlock(Pem, "PRIVATE KEY", der) || PemBlock(Pem, "EC PRIVATE KEY", der)) {
        if (PrivateKeyFromPem(Pem, key)) {
            der = Spki(key.Point, key.Curve);
            if (ImportSpki(der)) return platform::EncodeBase64(der);
        }
        Error = "the key is not an ECDSA P-256 key";
        return "";
    }
    Error = "no PEM public or private key found";
    return "";
}

std::string SignP256(std::string_view PrivateKeyPem, std::string_view Data) {
    TPrivateKey key;
    if (!PrivateKeyFromPem(PrivateKeyPem, key))
        throw platform::EUpdaterError("the signing key is not an ECDSA P-256 private key in PEM form");
    static const TAlg alg = OpenAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 96);
    auto* head = reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(blob.data());
    head->dwMagic = BCRYPT_ECDSA_PRIVATE_P256_MAGIC;
    head->cbKey = 32;
    std::memcpy(blob.data() + sizeof *head, key.Point.data() + 1, 64);
    std::memcpy(blob.data() + sizeof *head + 64, key.D.data(), 32);
    BCRYPT_KEY_HANDLE raw = nullptr;
    if (!alg ||
        !Ok(BCryptImportKeyPair(alg.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, &raw, blob.data(), ULONG(blob.size()), 0)))
        throw platform::EUpdaterError("the signing key is not an ECDSA P-256 private key in PEM form");
    const TKey signer(raw);
    TSha256Digest digest = Sha256(Data);
    unsigned char rs[64];
    ULONG got = 0;
    if (!Ok(BCryptSignHash(signer.get(), nullptr, digest.data(), ULONG(digest.size()), rs, sizeof rs, &got, 0)) ||
        got != 64)
        throw platform::EUpdaterError("signing failed");
    // CNG gives r and s big-endian, crypt32 takes them little-endian.
    std::reverse(rs, rs + 32);
    std::reverse(rs + 32, rs + 64);
    const std::string der = EncodeSignature({32, rs}, {32, rs + 32});
    if (der.empty()) throw platform::EUpdaterError("signing failed");
    return der;
}

}  // namespace crypto
