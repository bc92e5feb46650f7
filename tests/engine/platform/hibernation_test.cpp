// Whether a volume holds a hibernation image Windows will resume from.
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/hibernation.h"
#include "support/test_files.h"

namespace engine::platform {
namespace {

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

TEST(VolumeIsHibernated, ByTheSignatureOfHiberfil) {
    const std::string zeros(4096, '\0');
    struct Case {
        const char* name;
        std::string fileName;
        std::string content;
        bool hibernated;
    };
    const Case cases[] = {
        {"hibr", "hiberfil.sys", "hibr" + zeros, true},
        {"HIBR", "hiberfil.sys", "HIBR" + zeros, true},
        {"rstr, a resume under way", "hiberfil.sys", "rstr" + zeros, true},
        {"RSTR", "hiberfil.sys", "RSTR" + zeros, true},
        {"name in another case", "HiberFil.SYS", "HIBR" + zeros, true},
        {"wake: resumed and done", "hiberfil.sys", "wake" + zeros, false},
        {"zeroed", "hiberfil.sys", zeros, false},
        {"empty", "hiberfil.sys", "", false},
        {"shorter than a signature", "hiberfil.sys", "hib", false},
        {"signature not at the start", "hiberfil.sys", std::string(1, '\0') + "HIBR" + zeros,
         false},
        {"mixed-case signature", "hiberfil.sys", "Hibr" + zeros, false},
        {"another file", "pagefile.sys", "HIBR" + zeros, false},
        {"a longer name", "hiberfil.sys.bak", "HIBR" + zeros, false},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        writeFile(dir / c.fileName, c.content);
        EXPECT_EQ(volumeIsHibernated(dir.path()), c.hibernated) << c.name;
    }
}

TEST(VolumeIsHibernated, NoImageWithoutAFile) {
    test::TempDir dir;
    EXPECT_FALSE(volumeIsHibernated(dir.path())) << "empty root";
    EXPECT_FALSE(volumeIsHibernated(dir / "missing")) << "missing root";

    // A folder of that name is no image.
    std::filesystem::create_directory(dir / "hiberfil.sys");
    writeFile(dir / "hiberfil.sys" / "HIBR", "HIBR");
    EXPECT_FALSE(volumeIsHibernated(dir.path()));
}

TEST(VolumeIsHibernated, AnyImageAmongSpellingsOnACaseSensitiveHost) {
    test::TempDir dir;
    writeFile(dir / "hiberfil.sys", std::string(16, '\0'));
    writeFile(dir / "HIBERFIL.SYS", "HIBR" + std::string(16, '\0'));
    EXPECT_TRUE(volumeIsHibernated(dir.path()));
}

} // namespace
} // namespace engine::platform
