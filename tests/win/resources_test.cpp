// The resources every program of the Windows build carries: the Exo 2 font as the launcher reads
// it and its licence text, byte for byte the files of the dependency cache they were made from.
#include "plat/resources.h"
#include "plat/win32/wide.h"
#include "win/win_support.h"

#include <gtest/gtest.h>

namespace {

// QM_EXO2_DIR is a Linux path; Wine shows the root file system as drive Z:.
std::string cacheFile(const char* name) {
    std::string dir = QM_EXO2_DIR;
    for (char& c : dir)
        if (c == '/') c = '\\';
    return wintest::readFile("Z:" + dir + "\\" + name);
}

std::string resource(const wchar_t* name) {
    HRSRC info = FindResourceW(nullptr, name, MAKEINTRESOURCEW(10)); // 10: RT_RCDATA
    if (!info) return "";
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, info)));
    return bytes ? std::string(bytes, SizeofResource(nullptr, info)) : "";
}

} // namespace

TEST(Resources, TheFontIsTheWholeFontFileMappedWithTheImage) {
    plat::EmbeddedData font = plat::exo2Font();
    ASSERT_NE(font.bytes, nullptr);
    std::string file = cacheFile("Exo2-Medium.ttf");
    if (file.empty()) GTEST_SKIP() << "the dependency cache is not reachable as drive Z:";
    ASSERT_EQ(font.size, file.size());
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(font.bytes), font.size) == file);
    EXPECT_EQ(plat::exo2Font().bytes, font.bytes) << "read in place, never copied";
}

TEST(Resources, TheLicenceTravelsBesideTheFont) {
    std::string file = cacheFile("OFL.txt");
    if (file.empty()) GTEST_SKIP() << "the dependency cache is not reachable as drive Z:";
    EXPECT_EQ(resource(L"OFL"), file);
}

TEST(Resources, TheManifestMakesUtf8TheActiveCodePage) {
    // The narrow calls of the runtime and of the libraries (fopen in Dear ImGui's font loader,
    // SDL's) then take UTF-8 paths like the launcher's own.
    EXPECT_EQ(GetACP(), 65001u);
}
