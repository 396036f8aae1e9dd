#include "http/tls_openssl_trust_file.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

namespace http {

namespace {
template <typename T, void (*Free)(T*)>
struct TFree {
    void operator()(T* p) const { Free(p); }
};
void FreeChars(char* p) { OPENSSL_free(p); }
void FreeBytes(unsigned char* p) { OPENSSL_free(p); }
void FreeInfos(STACK_OF(X509_INFO) * s) { sk_X509_INFO_pop_free(s, X509_INFO_free); }
void UnloadProvider(OSSL_PROVIDER* p) { OSSL_PROVIDER_unload(p); }

using TX509 = std::unique_ptr<X509, TFree<X509, X509_free>>;
using TCrl = std::unique_ptr<X509_CRL, TFree<X509_CRL, X509_CRL_free>>;
using TName = std::unique_ptr<X509_NAME, TFree<X509_NAME, X509_NAME_free>>;
using TBio = std::unique_ptr<BIO, TFree<BIO, BIO_free_all>>;
using TChars = std::unique_ptr<char, TFree<char, FreeChars>>;
using TBytes = std::unique_ptr<unsigned char, TFree<unsigned char, FreeBytes>>;
using TInfos = std::unique_ptr<STACK_OF(X509_INFO), TFree<STACK_OF(X509_INFO), FreeInfos>>;
using TLibCtx = std::unique_ptr<OSSL_LIB_CTX, TFree<OSSL_LIB_CTX, OSSL_LIB_CTX_free>>;
using TProvider = std::unique_ptr<OSSL_PROVIDER, TFree<OSSL_PROVIDER, UnloadProvider>>;
using TMethod = std::unique_ptr<X509_LOOKUP_METHOD, TFree<X509_LOOKUP_METHOD, X509_LOOKUP_meth_free>>;

// Decoding a certificate's public key is what makes the whole load slow, and the decoder
// tolerates a key it cannot read. A library context with no algorithms at all decodes every
// other part as strictly as the whole load does, so a block it refuses is one the whole load
// fails on.
OSSL_LIB_CTX* KeylessContext() {
    struct TKeyless {
        TLibCtx Ctx{OSSL_LIB_CTX_new()};
        // Loading any provider keeps the default one from being loaded on first use.
        TProvider Null{Ctx ? OSSL_PROVIDER_load(Ctx.get(), "null") : nullptr};
    };
    static const TKeyless keyless;
    return keyless.Null ? keyless.Ctx.get() : nullptr;
}

// Decodes a certificate block as the whole load does, into a certificate of Ctx (the default
// context when null); "TRUSTED CERTIFICATE" carries the trust settings after the certificate.
TX509 Decode(const unsigned char* Der, long Size, bool Trusted, OSSL_LIB_CTX* Ctx) {
    X509* raw = X509_new_ex(Ctx, nullptr);
    if (!raw) return nullptr;
    const unsigned char* p = Der;
    // A failed decode may or may not have freed the certificate; raw says which.
    const bool ok = (Trusted ? d2i_X509_AUX(&raw, &p, Size) : d2i_X509(&raw, &p, Size)) != nullptr;
    TX509 cert(raw);
    return ok ? std::move(cert) : nullptr;
}

bool IsCertificateBlock(const char* Name, bool& Trusted) {
    Trusted = std::strcmp(Name, PEM_STRING_X509_TRUSTED) == 0;
    return Trusted || std::strcmp(Name, PEM_STRING_X509) == 0 || std::strcmp(Name, PEM_STRING_X509_OLD) == 0;
}

std::string FileContents(const std::string& Name, bool& Read) {
    std::ifstream in(Name, std::ios::binary);
    std::string text;
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) text.append(chunk, size_t(in.gcount()));
    Read = in.is_open() && !in.bad();
    return text;
}

struct TEntry {
    TX509 Keyless;  // holds the subject
    std::string Der;
    bool Trusted = false;
    bool Added = false;
};

// What the file holds: its certificate blocks by subject, built when asked for.
class TTrustFile {
public:
    explicit TTrustFile(std::string Name) : name_(std::move(Name)) {}

    // Adds to Store every certificate of the file whose subject is Subject (by the library's
    // name comparison) and points Found at the store's certificate of that subject, the one
    // the store itself would answer with. False when the file holds none.
    bool AddSubject(X509_STORE* Store, const X509_NAME* Subject, X509_OBJECT* Found) {
        std::lock_guard<std::mutex> hold(lock_);
        if (!read_) Read(Store);
        read_ = true;
        bool any = false;
        for (TEntry& e : entries_) {
            if (X509_NAME_cmp(X509_get_subject_name(e.Keyless.get()), Subject) != 0) continue;
            any = true;
            if (e.Added) continue;
            e.Added = true;
            TX509 cert = Decode(reinterpret_cast<const unsigned char*>(e.Der.data()), long(e.Der.size()), e.Trusted,
                                nullptr);
            if (cert) X509_STORE_add_cert(Store, cert.get());
        }
        if (!any || !Found) return any;
        if (X509_STORE_lock(Store) != 1) return false;
        X509_OBJECT* in = X509_OBJECT_retrieve_by_subject(X509_STORE_get0_objects(Store), X509_LU_X509, Subject);
        const bool ok = in && X509_OBJECT_set1_X509(Found, X509_OBJECT_get0_X509(in)) == 1;
        X509_STORE_unlock(Store);
        return ok;
    }

private:
    // Indexes the file's certificate blocks; the blocks the lazy path does not handle (CRLs,
    // keys, certificate blocks with PEM headers) go through the library's own reader, and what
    // it yields joins the store once the whole file has passed.
    void Read(X509_STORE* Store) {
        bool read = false;
        const std::string text = FileContents(name_, read);
        OSSL_LIB_CTX* keyless = KeylessContext();
        if (!read || text.size() > size_t(INT_MAX)) return;
        TBio in(BIO_new_mem_buf(text.data(), int(text.size())));
        if (!in) return;
        std::vector<TEntry> entries;
        std::vector<TX509> certs;
        std::vector<TCrl> crls;
        for (;;) {
            const size_t start = text.size() - size_t(BIO_pending(in.get()));
            char *name = nullptr, *header = nullptr;
            unsigned char* data = nullptr;
            long size = 0;
            const int got = PEM_read_bio(in.get(), &name, &header, &data, &size);
            const TChars ownName(name), ownHeader(header);
            const TBytes ownData(data);
            if (!got) {
                const unsigned long e = ERR_peek_last_error();
                if (ERR_GET_LIB(e) == ERR_LIB_PEM && ERR_GET_REASON(e) == PEM_R_NO_START_LINE) break;
                return;  // a broken block: the whole load fails on it
            }
            bool trusted = false;
            if (IsCertificateBlock(name, trusted) && header && !*header) {
                TX509 cert = Decode(data, size, trusted, keyless);
                if (!cert) return;
                entries.push_back({std::move(cert), std::string(reinterpret_cast<char*>(data), size_t(size)), trusted});
                continue;
            }
            const size_t end = text.size() - size_t(BIO_pending(in.get()));
            TBio block(BIO_new_mem_buf(text.data() + start, int(end - start)));
            TInfos infos(block ? PEM_X509_INFO_read_bio(block.get(), nullptr, nullptr, const_cast<char*>("")) : nullptr);
            if (!infos) return;
            for (int i = 0; i < sk_X509_INFO_num(infos.get()); ++i) {
                X509_INFO* info = sk_X509_INFO_value(infos.get(), i);
                if (info->x509 && X509_up_ref(info->x509) == 1) certs.emplace_back(info->x509);
                if (info->crl && X509_CRL_up_ref(info->crl) == 1) crls.emplace_back(info->crl);
            }
        }
        entries_ = std::move(entries);
        for (const TX509& c : certs) X509_STORE_add_cert(Store, c.get());
        for (const TCrl& c : crls) X509_STORE_add_crl(Store, c.get());
    }

    std::mutex lock_;  // connections of a run verify at the same time
    const std::string name_;
    bool read_ = false;
    std::vector<TEntry> entries_;
};

TTrustFile* FileOf(X509_LOOKUP* Lookup) { return static_cast<TTrustFile*>(X509_LOOKUP_get_method_data(Lookup)); }

void FreeLookup(X509_LOOKUP* Lookup) {
    delete FileOf(Lookup);
    X509_LOOKUP_set_method_data(Lookup, nullptr);
}

// The store takes a reference of its own to what a lookup answers, as the library's own
// lookups answer with certificates they leave in the store: Found only borrows one (with a
// reference taken here, certificates leak; checked under valgrind).
int BySubject(X509_LOOKUP* Lookup, X509_LOOKUP_TYPE Type, const X509_NAME* Subject, X509_OBJECT* Found) {
    TTrustFile* file = FileOf(Lookup);
    X509_STORE* store = X509_LOOKUP_get_store(Lookup);
    if (Type != X509_LU_X509 || !file || !store) return 0;
    // The handshake reports its own errors from the queue: the lookup leaves none there.
    ERR_set_mark();
    const bool found = file->AddSubject(store, Subject, Found);
    ERR_pop_to_mark();
    if (found) X509_free(X509_OBJECT_get0_X509(Found));  // borrowed, see above
    return found ? 1 : 0;
}

X509_LOOKUP_METHOD* TrustFileMethod() {
    static const TMethod method = [] {
        TMethod m(X509_LOOKUP_meth_new("default CA file, read on demand"));
        if (m && (X509_LOOKUP_meth_set_free(m.get(), FreeLookup) != 1 ||
                  X509_LOOKUP_meth_set_get_by_subject(m.get(), BySubject) != 1))
            m.reset();
        return m;
    }();
    return method.get();
}

const char* Env(const char* Name) {
#ifdef __GLIBC__
    return secure_getenv(Name);  // as the library reads it
#else
    return std::getenv(Name);
#endif
}
}  // namespace

std::string DefaultTrustFileName() {
    const char* name = Env(X509_get_default_cert_file_env());
    return name ? name : X509_get_default_cert_file();
}

bool AddDefaultTrust(X509_STORE* Store) {
    // Without a keyless context the blocks cannot be checked cheaply: the library loads the file.
    if (!KeylessContext()) return X509_STORE_set_default_paths(Store) == 1;
    X509_LOOKUP_METHOD* method = TrustFileMethod();
    X509_LOOKUP* file = method ? X509_STORE_add_lookup(Store, method) : nullptr;
    if (!file) return false;
    if (!FileOf(file)) X509_LOOKUP_set_method_data(file, new TTrustFile(DefaultTrustFileName()));
    X509_LOOKUP* dir = X509_STORE_add_lookup(Store, X509_LOOKUP_hash_dir());
    X509_LOOKUP* uri = X509_STORE_add_lookup(Store, X509_LOOKUP_store());
    if (!dir || !uri) return false;
    X509_LOOKUP_add_dir(dir, nullptr, X509_FILETYPE_DEFAULT);
    X509_LOOKUP_add_store(uri, nullptr);

    // The subjects the store already holds: it will never ask for them.
    std::vector<TName> held;
    if (X509_STORE_lock(Store) != 1) return false;
    STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(Store);
    for (int i = 0; i < sk_X509_OBJECT_num(objects); ++i)
        if (X509* cert = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objects, i)))
            held.emplace_back(X509_NAME_dup(X509_get_subject_name(cert)));
    X509_STORE_unlock(Store);
    for (const TName& subject : held)
        if (subject) FileOf(file)->AddSubject(Store, subject.get(), nullptr);
    ERR_clear_error();  // as the library's own load does
    return true;
}

}  // namespace http
