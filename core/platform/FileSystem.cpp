#include "platform/FileSystem.hpp"

namespace FileSystem {

namespace {
bool neverCloudOnly(const std::string&) { return false; }
bool alwaysOpenable(const std::string&) { return true; }
}  // namespace

std::function<bool(const std::string& path)> isCloudOnlyFolder = neverCloudOnly;
std::function<bool(const std::string& path)> canOpenFolder = alwaysOpenable;

void resetHooks() {
    isCloudOnlyFolder = neverCloudOnly;
    canOpenFolder = alwaysOpenable;
}

}  // namespace FileSystem
