// The launcher of outside programs: Windows command lines split as the C
// runtime splits them, programs found in the tools folder and PATH, internal
// commands that never reach the system, and a real detached start.
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/launcher.h"
#include "support/test_files.h"

namespace engine::platform {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, AsTheCRuntimeSplitsIt) {
    const struct {
        const char* line;
        Words words;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"\"cmd.exe\"", {"cmd.exe"}},
        {"taskkill /f /im regedit.exe", {"taskkill", "/f", "/im", "regedit.exe"}},
        {"\"Y:\\FileManager\\TotalCMD\\TC.exe\"", {"Y:\\FileManager\\TotalCMD\\TC.exe"}},
        // The program keeps its backslashes even before a quote.
        {"\"C:\\dir\\\" a", {"C:\\dir\\", "a"}},
        {"  prog\t a  b ", {"prog", "a", "b"}},
        {"p \"a b\" c\"d e\"f", {"p", "a b", "cd ef"}},
        {"p \"\"", {"p", ""}},
        {"p a\\\\b", {"p", "a\\\\b"}},       // backslashes not before a quote
        {"p a\\\"b", {"p", "a\"b"}},         // 1 backslash + quote: literal quote
        {"p a\\\\\"b c\"", {"p", "a\\b c"}}, // 2 backslashes + quote: one, and grouping
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},   // 3 backslashes + quote
        {"p \"a\"\"b\"", {"p", "a\"b"}},     // "" inside quotes
        {"p \"unterminated arg", {"p", "unterminated arg"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitCommandLine(c.line), c.words) << c.line;
    }
}

TEST(ProgramBaseName, LastComponentOfEitherSeparator) {
    EXPECT_EQ(programBaseName("Y:\\FileManager\\TotalCMD\\TC.exe"), "TC.exe");
    EXPECT_EQ(programBaseName("/usr/bin/xterm"), "xterm");
    EXPECT_EQ(programBaseName("cmd.exe"), "cmd.exe");
    EXPECT_EQ(programBaseName("c:\\dir\\"), "");
}

void writeProgram(const std::filesystem::path& file, const std::string& body) {
    std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
}

TEST(ProcessLauncher, FindsToolsFirstThenPathWithoutCaseInTools) {
    test::TempDir temp;
    const auto tools = temp / "tools";
    const auto bin = temp / "bin";
    const auto other = temp / "other";
    for (const auto& folder : {tools, bin, other}) {
        std::filesystem::create_directories(folder);
    }
    writeProgram(tools / "cmd.exe", "true");
    writeProgram(tools / "TC.exe", "true");
    writeProgram(bin / "cmd.exe", "true");
    writeProgram(other / "viewer", "true");
    std::ofstream(bin / "notes.txt") << "not a program\n";

    ProcessLauncher launcher({tools}, bin.string() + "::" + other.string());
    EXPECT_EQ(launcher.find("cmd.exe"), tools / "cmd.exe");
    EXPECT_EQ(launcher.find("CMD.EXE"), tools / "cmd.exe");
    EXPECT_EQ(launcher.find("Y:\\FileManager\\TotalCMD\\TC.exe"), tools / "TC.exe");
    EXPECT_EQ(launcher.find("viewer"), other / "viewer");
    EXPECT_EQ(launcher.find("notes.txt"), std::nullopt);
    EXPECT_EQ(launcher.find("recmod.exe"), std::nullopt);
    EXPECT_EQ(launcher.find("c:\\dir\\"), std::nullopt);
    EXPECT_EQ(launcher.find(".."), std::nullopt);

    // The registry editor and taskkill are ours: never looked up outside.
    writeProgram(bin / "taskkill", "true");
    writeProgram(bin / "regedit.exe", "true");
    EXPECT_EQ(launcher.find("taskkill"), std::nullopt);
    EXPECT_EQ(launcher.find("REGEDIT.EXE"), std::nullopt);
}

TEST(ToolsFolder, BesideTheBinaryElseWhereAnInstallationPutsIt) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "build/tools");
    std::filesystem::create_directories(dir / "usr/bin");
    EXPECT_EQ(toolsFolderOf(dir / "build"), dir / "build/tools");
    EXPECT_EQ(toolsFolderOf(dir / "usr/bin"), dir / "usr/lib/morvalin/tools");
}

TEST(ProcessLauncher, InternalCommandsGoToTheirHandler) {
    ProcessLauncher launcher({}, "");
    std::vector<Words> calls;
    launcher.setInternal("TaskKill", [&](const Words& words) { calls.push_back(words); });
    launcher.run("taskkill /f /im regedit.exe", ShowMode::MinimizedNoActive);
    launcher.run("\"regedit.exe\"", ShowMode::Normal); // still the quiet default
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (Words{"taskkill", "/f", "/im", "regedit.exe"}));
}

// Waits for a file the started program writes; the program runs detached, so
// its output appears some time after run() returned.
std::string awaitFile(const std::filesystem::path& file) {
    for (int attempt = 0; attempt < 600 && !std::filesystem::exists(file); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ProcessLauncher, StartsTheProgramDetachedWithItsWordsAndShowMode) {
    test::TempDir temp;
    const auto tools = temp / "tools";
    std::filesystem::create_directories(tools);
    const auto out = temp / "out.txt";
    // Writes its arguments one per line and the show mode, then a marker.
    writeProgram(tools / "probe.exe", "for a in \"$@\"; do echo \"[$a]\"; done > '" + out.string() +
                                          ".tmp'; echo \"mode $MORVALIN_SHOW_MODE\" >> '" +
                                          out.string() + ".tmp'; mv '" + out.string() + ".tmp' '" +
                                          out.string() + "'");
    ProcessLauncher launcher({tools}, "");
    launcher.run("\"c:\\x\\probe.exe\" /a \"b c\" d\\\"e", ShowMode::MinimizedNoActive);
    EXPECT_EQ(awaitFile(out), "[/a]\n[b c]\n[d\"e]\nmode 7\n");
}

} // namespace
} // namespace engine::platform
