#pragma once
// The system's default CA file, read on demand. The library's own load of it decodes every
// public key of the file's some 140 certificates, tens of milliseconds of each run, for the
// one or two certificates its connections need. This lookup reads the file the first time
// the store asks for a subject, checks every block as the whole load does, and builds only
// the certificates of the subjects asked for.
#include <openssl/x509_vfy.h>

#include <string>

namespace http {

// The file the library's default names: the environment variable first.
std::string DefaultTrustFileName();

// Gives Store what SSL_CTX_set_default_verify_paths gives it (the default CA file, then the
// default hashed directory and store), with the file read on the store's first lookup and only
// the certificates of the subjects asked for built, every one of a subject (renewed and
// cross-signed roots share one). As with the whole load the file is all or nothing: missing,
// unreadable, or holding one block the whole load fails on, and none of it counts. Call after
// Store got its other certificates (a named CA file): the store asks its lookups only for
// subjects it holds nothing of, so the file's certificates of those subjects are added at once.
// False when the library cannot add a lookup.
bool AddDefaultTrust(X509_STORE* Store);

}  // namespace http
