#include "service/LibCrypto.hpp"

#include <dlfcn.h>

#include <optional>

namespace LibCrypto {

namespace {
#define OSTREVANE_TEXT(value) #value
#define OSTREVANE_SONAME(version) "libcrypto.so." OSTREVANE_TEXT(version)
// The library the headers belong to, by its soname, as the linker would have named it.
constexpr const char* soname = OSTREVANE_SONAME(OPENSSL_SHLIB_VERSION);
#undef OSTREVANE_SONAME
#undef OSTREVANE_TEXT

template <typename Function>
bool resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

std::optional<Digests> load() {
    // Never closed: the digests are used until the process ends.
    void* library = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!library) return std::nullopt;
    Digests found{};
    const bool complete = resolve(library, "EVP_MD_CTX_new", found.newContext) &&
                          resolve(library, "EVP_MD_CTX_free", found.freeContext) &&
                          resolve(library, "EVP_MD_fetch", found.fetch) &&
                          resolve(library, "EVP_sha256", found.sha256) &&
                          resolve(library, "EVP_DigestInit_ex", found.init) &&
                          resolve(library, "EVP_DigestUpdate", found.update) &&
                          resolve(library, "EVP_DigestFinal_ex", found.finish);
    if (!complete) return std::nullopt;
    return found;
}
}  // namespace

const Digests* digests() {
    static const std::optional<Digests> loaded = load();
    return loaded ? &*loaded : nullptr;
}

}  // namespace LibCrypto
