#include <gtest/gtest.h>

#include <string>

#include "base/Paths.hpp"

namespace {

struct JoinCase {
    const char* folder;
    const char* name;
    const char* joined;
};

// The callers' folders: the root, a folder as the kernel names it, one given
// with a trailing slash, and none at all (a scan's listing of "" is "/x").
TEST(PathsTest, JoinPutsExactlyOneSlashBetweenFolderAndName) {
    const JoinCase cases[] = {
        {"/", "a", "/a"},
        {"/home/u", "a", "/home/u/a"},
        {"/home/u/", "a", "/home/u/a"},
        {"", "a", "/a"},
        {"/home/u", "Library/Caches", "/home/u/Library/Caches"},
        {"/home/u", ".Trash-0", "/home/u/.Trash-0"},
        {"/home/u", "", "/home/u"},
        {"/", "", "/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Paths::joined(c.folder, c.name), c.joined) << '"' << c.folder << "\" + \"" << c.name << '"';
}

struct InsideCase {
    const char* path;
    const char* parent;
    bool inside;
    bool strictlyInside;
};

TEST(PathsTest, InsideComparesWholeComponents) {
    const InsideCase cases[] = {
        {"/a/b", "/a/b", true, false},    {"/a/b/c", "/a/b", true, true},
        {"/a/b/c", "/a/b/", true, true},  {"/a/bc", "/a/b", false, false},
        {"/a/b", "/a/b/c", false, false}, {"/x", "/", true, true},
        {"/", "/", true, false},          {"/a", "", true, true},
        {"a", "", false, false},          {"/mnt/usb", "/mnt/usb2", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Paths::isInside(c.path, c.parent), c.inside) << c.path << " in " << c.parent;
        EXPECT_EQ(Paths::isStrictlyInside(c.path, c.parent), c.strictlyInside) << c.path << " below " << c.parent;
    }
}

TEST(PathsTest, LastComponentIgnoresTrailingSlashes) {
    const std::pair<const char*, const char*> cases[] = {
        {"/", "/"}, {"//", "/"}, {"/a", "a"}, {"/a/b", "b"}, {"/a/b/", "b"}, {"/a/b//", "b"}, {"b", "b"}, {"", ""},
    };
    for (const auto& [path, last] : cases) {
        EXPECT_EQ(Paths::lastComponent(path), last) << path;
        EXPECT_EQ(Paths::lastComponentView(path), last) << path;
    }
}

// An item at the root and a bare name both live in "/" as far as the
// callers (the Trash, the file manager, the stale-artifact rule) are concerned.
TEST(PathsTest, ParentFolderOfItemsAtEveryDepth) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a", "/"}, {"/a/b", "/a"}, {"/a/b/c.txt", "/a/b"}, {"name", "/"}, {"/", "/"},
    };
    for (const auto& [path, parent] : cases) EXPECT_EQ(Paths::parentFolder(path), parent) << path;
}

// A hidden name's leading dot belongs to its stem unless the caller counts it
// like any other dot (an ".app" folder is still a bundle); the last dot wins.
TEST(PathsTest, ExtensionsOfNamesAtTheirEdges) {
    constexpr size_t none = std::string_view::npos;
    const struct {
        const char* name;
        size_t dot;
        const char* inStem;
        const char* startsExtension;
    } cases[] = {
        {".bashrc", none, "", "bashrc"},
        {".app", none, "", "app"},
        {"Makefile", none, "", ""},
        {"", none, "", ""},
        {"a.", 1, "", ""},
        {"a.tar.gz", 5, "gz", "gz"},
        {"..", 1, "", ""},
        {"Setup.DMG", 5, "dmg", "dmg"},
        {".config.JSON", 7, "json", "json"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Paths::extensionDot(c.name), c.dot) << c.name;
        EXPECT_EQ(Paths::lowercasedExtension(c.name), c.inStem) << c.name;
        EXPECT_EQ(Paths::lowercasedExtension(c.name, Paths::LeadingDot::startsExtension), c.startsExtension) << c.name;
    }
}

}  // namespace
