// The digest functions of the system's crypto library, loaded the first time
// a digest is needed rather than when the process starts: linking the library
// costs every process about 1.4 MB of resident memory (its relocations and
// symbol tables), and only a duplicate search hashes.
#pragma once

#include <openssl/evp.h>

namespace LibCrypto {

struct Digests {
    decltype(&EVP_MD_CTX_new) newContext;
    decltype(&EVP_MD_CTX_free) freeContext;
    decltype(&EVP_MD_fetch) fetch;
    decltype(&EVP_sha256) sha256;
    decltype(&EVP_DigestInit_ex) init;
    decltype(&EVP_DigestUpdate) update;
    decltype(&EVP_DigestFinal_ex) finish;
};

/// The functions, loaded once for the process; nullptr when the library or
/// one of them is missing, which a caller treats as a digest that failed.
const Digests* digests();

}  // namespace LibCrypto
