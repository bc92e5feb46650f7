#include "support/pe_builder.h"

#include <fstream>
#include <stdexcept>

#include <fmt/format.h>

#include "support/test_files.h"

namespace test {

namespace {

// A string as an .rc literal: quotes doubled, backslashes escaped.
std::string rcLiteral(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') {
            out += "\"\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

void run(const std::string& command) {
    const CommandResult result = runCommand(command);
    if (result.status != 0) {
        throw std::runtime_error("PE build step failed (" + command + "):\n" + result.output);
    }
}

} // namespace

VersionResource versionResource(const VersionStrings& s) {
    StringTable table;
    table.block = fmt::format("{:04x}{:04x}", s.language, s.codePage);
    const std::pair<const char*, const std::string*> fields[] = {
        {"CompanyName", &s.companyName},           {"FileDescription", &s.fileDescription},
        {"FileVersion", &s.fileVersion},           {"InternalName", &s.internalName},
        {"LegalCopyright", &s.legalCopyright},     {"LegalTrademarks", &s.legalTrademarks},
        {"OriginalFilename", &s.originalFilename}, {"ProductName", &s.productName},
        {"ProductVersion", &s.productVersion},
    };
    for (const auto& [key, value] : fields) {
        if (!value->empty()) {
            table.strings.emplace_back(key, *value);
        }
    }
    VersionResource resource;
    resource.tables.push_back(std::move(table));
    resource.translations.emplace_back(s.language, s.codePage);
    return resource;
}

std::string versionRc(const VersionResource& resource) {
    std::string rc = "#pragma code_page(65001)\n"
                     "1 VERSIONINFO\n"
                     "FILEVERSION 5,1,2600,5512\n"
                     "PRODUCTVERSION 5,1,2600,5512\n";
    rc += fmt::format("FILEFLAGSMASK 0x{:x}\nFILEFLAGS 0x{:x}\nFILEOS 0x40004\n"
                      "FILETYPE 0x{:x}\nFILESUBTYPE 0x{:x}\n",
                      resource.flagsMask, resource.flags, resource.fileType, resource.fileSubtype);
    rc += "BEGIN\n";
    if (!resource.tables.empty()) {
        rc += "  BLOCK \"StringFileInfo\"\n  BEGIN\n";
        for (const StringTable& table : resource.tables) {
            rc += "    BLOCK " + rcLiteral(table.block) + "\n    BEGIN\n";
            for (const auto& [key, value] : table.strings) {
                rc += "      VALUE " + rcLiteral(key) + ", " + rcLiteral(value) + "\n";
            }
            rc += "    END\n";
        }
        rc += "  END\n";
    }
    if (!resource.translations.empty()) {
        rc += "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\"";
        for (const auto& [language, codePage] : resource.translations) {
            rc += fmt::format(", 0x{:04x}, {}", language, codePage);
        }
        rc += "\n  END\n";
    }
    rc += "END\n";
    return rc;
}

void buildPeFromRc(const std::filesystem::path& path, const std::string& rc, PeBits bits) {
    const std::string prefix = bits == PeBits::Pe32 ? "i686-w64-mingw32-" : "x86_64-w64-mingw32-";
    const TempDir work;
    const auto rcFile = work / "version.rc";
    const auto object = work / "version.o";
    {
        std::ofstream out(rcFile, std::ios::binary);
        out << rc;
        if (!out) {
            throw std::runtime_error("cannot write " + rcFile.string());
        }
    }
    // windres runs the C preprocessor over the script first; the host's cpp
    // does that as well as the cross compiler's would.
    run(prefix + "windres --preprocessor=cpp -c 65001 -O coff -i " + shellQuote(rcFile.string()) +
        " -o " + shellQuote(object.string()));
    // No code of its own: ld still lays out .text and .idata before .rsrc, so
    // the resource sits in the third section as in a compiled program.
    run(prefix + "ld --entry 0 -o " + shellQuote(path.string()) + " " +
        shellQuote(object.string()));
}

void buildVersionedPe(const std::filesystem::path& path, const VersionResource& resource,
                      PeBits bits) {
    buildPeFromRc(path, versionRc(resource), bits);
}

void buildVersionedPe(const std::filesystem::path& path, const VersionStrings& strings,
                      PeBits bits) {
    buildVersionedPe(path, versionResource(strings), bits);
}

namespace {

VersionStrings xpCommon(XpLanguage language) {
    VersionStrings s;
    s.fileVersion = "5.1.2600.5512 (xpsp.080413-2111)";
    s.productVersion = "5.1.2600.5512";
    s.codePage = 1200;
    if (language == XpLanguage::English) {
        s.language = 0x0409;
        s.companyName = "Microsoft Corporation";
        s.productName = "Microsoft® Windows® Operating System";
        s.legalCopyright = "© Microsoft Corporation. All rights reserved.";
    } else {
        s.language = 0x0419;
        s.companyName = "Корпорация Майкрософт";
        s.productName = "Операционная система Microsoft® Windows®";
        s.legalCopyright = "© Корпорация Майкрософт. Все права защищены.";
    }
    return s;
}

} // namespace

VersionStrings xpTaskmgr(XpLanguage language) {
    VersionStrings s = xpCommon(language);
    s.fileDescription =
        language == XpLanguage::English ? "Windows Task Manager" : "Диспетчер задач Windows";
    s.internalName = "taskmgr";
    s.originalFilename = "taskmgr.exe";
    return s;
}

VersionStrings xpUserinit(XpLanguage language) {
    VersionStrings s = xpCommon(language);
    s.fileDescription = language == XpLanguage::English ? "Userinit Logon Application"
                                                        : "Приложение Userinit для входа в систему";
    s.internalName = "userinit";
    s.originalFilename = "USERINIT.EXE";
    return s;
}

void writeGenuineXpSystemFiles(const std::filesystem::path& folder, XpLanguage language) {
    std::filesystem::create_directories(folder);
    buildVersionedPe(folder / "taskmgr.exe", xpTaskmgr(language));
    buildVersionedPe(folder / "userinit.exe", xpUserinit(language));
}

} // namespace test
