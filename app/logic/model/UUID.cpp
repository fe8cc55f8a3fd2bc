#include "model/UUID.hpp"

#include <cstdio>
#include <mutex>
#include <random>

namespace UUIDs {

std::string make() {
    static std::mutex lock;
    static std::mt19937_64 generator{std::random_device{}()};
    uint64_t high, low;
    {
        std::lock_guard guard(lock);
        high = generator();
        low = generator();
    }
    high = (high & 0xFFFFFFFFFFFF0FFFull) | 0x0000000000004000ull;  // version 4
    low = (low & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;    // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", unsigned(high >> 32), unsigned(high >> 16) & 0xFFFF,
                  unsigned(high) & 0xFFFF, unsigned(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}

}  // namespace UUIDs
