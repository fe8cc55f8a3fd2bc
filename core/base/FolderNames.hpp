// The entry names of an open folder, read in large batches straight from the
// kernel: the walks that visit every folder of a home spend their time here.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <vector>

namespace FolderNames {

/// Calls `visit(name)` with each entry name of `folder` but "." and "..", in
/// the order the kernel lists them, reading from the descriptor's position.
/// Stops at the end or at the first failed read.
template <class Visit>
void forEach(int folder, Visit&& visit) {
    thread_local std::vector<char> buffer(64 * 1024);
    while (true) {
        const ssize_t length = ::getdents64(folder, buffer.data(), buffer.size());
        if (length <= 0) return;
        for (ssize_t offset = 0; offset < length;) {
            const auto* record = reinterpret_cast<const struct dirent64*>(buffer.data() + offset);
            offset += record->d_reclen;
            const char* name = record->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            visit(name);
        }
    }
}

}  // namespace FolderNames
