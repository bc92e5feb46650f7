#include "rules/system_files.h"

#include <array>
#include <cerrno>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "context/context.h"
#include "hive/unique_fd.h"
#include "platform/latin_case.h"
#include "platform/windows_paths.h"

namespace engine::rules {

namespace {

bool oneOf(const std::string& value, std::string_view first, std::string_view second) {
    return platform::equalIgnoringLatinCase(value, first) ||
           platform::equalIgnoringLatinCase(value, second);
}

constexpr std::string_view kCompanyRu = "Корпорация Майкрософт";
constexpr std::string_view kCompanyEn = "Microsoft Corporation";
constexpr std::string_view kProductRu = "Операционная система Microsoft® Windows®";
constexpr std::string_view kProductEn = "Microsoft® Windows® Operating System";
constexpr std::string_view kCopyrightRu = "© Корпорация Майкрософт. Все права защищены.";
constexpr std::string_view kCopyrightEn = "© Microsoft Corporation. All rights reserved.";

// The fields after the two names, in the order they are compared.
bool commonFieldsGenuine(const TFileVersionInfo& info, std::string_view descriptionRu,
                         std::string_view descriptionEn) {
    return oneOf(info.CompanyName, kCompanyRu, kCompanyEn) &&
           oneOf(info.FileDescription, descriptionRu, descriptionEn) &&
           oneOf(info.ProductName, kProductRu, kProductEn) &&
           oneOf(info.LegalCopyright, kCopyrightRu, kCopyrightEn);
}

std::size_t slot(SystemFile file) {
    return static_cast<std::size_t>(file);
}

struct FileSpec {
    SystemFile file;
    const char* relativePath;
    const char* label;
    const char* backupName;
};

// Indexed by SystemFile, which is also the dialog's row order.
constexpr std::array<FileSpec, 4> kFiles = {{
    {SystemFile::Userinit, "system32\\userinit.exe", "Userinit.exe", "userinit.exe"},
    {SystemFile::UserinitCache, "system32\\dllcache\\userinit.exe", "dllcache\\Userinit.exe",
     "userinit.exe"},
    {SystemFile::Taskmgr, "system32\\taskmgr.exe", "taskmgr.exe", "taskmgr.exe"},
    {SystemFile::TaskmgrCache, "system32\\dllcache\\taskmgr.exe", "dllcache\\taskmgr.exe",
     "taskmgr.exe"},
}};

// The order the files are read in.
constexpr std::array<SystemFile, 4> kReadOrder = {
    SystemFile::Taskmgr, SystemFile::Userinit, SystemFile::TaskmgrCache, SystemFile::UserinitCache};

constexpr off_t kMaxCopyBytes = 64 * 1024 * 1024;

std::optional<std::string> readSource(const std::filesystem::path& source) {
    const hive::UniqueFd fd(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > kMaxCopyBytes) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n =
            ::pread(fd.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt; // an error, or the file shrank: not a whole copy
        }
        got += static_cast<std::size_t>(n);
    }
    return bytes;
}

// Copies `source` over `target`, replacing its content in place (the file
// keeps its identity; a missing one is created, a missing folder is a
// failure). The source is read whole first, so a missing source leaves the
// target untouched. A link or anything but a regular file at the target is
// refused: the copy writes only inside the target disk. True once the new
// content is on the disk.
bool copyOver(const std::filesystem::path& source, const std::filesystem::path& target) {
    const auto bytes = readSource(source);
    if (!bytes) {
        return false;
    }
    const hive::UniqueFd fd(::open(
        target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    std::size_t written = 0;
    while (written < bytes->size()) {
        const ssize_t n = ::pwrite(fd.get(), bytes->data() + written, bytes->size() - written,
                                   static_cast<off_t>(written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::ftruncate(fd.get(), static_cast<off_t>(bytes->size())) != 0 || ::fsync(fd.get()) != 0) {
        return false;
    }
    // A file that was created needs its folder entry on the disk too.
    const hive::UniqueFd folder(
        ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.get() >= 0 && ::fsync(folder.get()) == 0;
}

} // namespace

bool IsGenuineTaskmgr(const TFileVersionInfo& info) {
    return platform::equalIgnoringLatinCase(info.InternalName, "taskmgr") &&
           platform::equalIgnoringLatinCase(info.OriginalFileName, "taskmgr.exe") &&
           commonFieldsGenuine(info, "Диспетчер задач Windows", "Windows Task Manager");
}

bool IsGenuineUserinit(const TFileVersionInfo& info) {
    return platform::equalIgnoringLatinCase(info.InternalName, "userinit") &&
           platform::equalIgnoringLatinCase(info.OriginalFileName, "USERINIT.EXE") &&
           commonFieldsGenuine(info, "Приложение Userinit для входа в систему",
                               "Userinit Logon Application");
}

bool CheckSystemFiles(Context& context, int index, RestoreQuestion& question) {
    if (index < 0 || static_cast<std::size_t>(index) >= context.SystemFolders.size()) {
        return false;
    }
    const std::string& windows = context.SystemFolders[static_cast<std::size_t>(index)];

    std::array<SystemFileRow, 4> rows;
    for (const SystemFile file : kReadOrder) {
        const FileSpec& spec = kFiles[slot(file)];
        SystemFileRow& row = rows[slot(file)];
        row.file = file;
        row.label = spec.label;
        row.windowsPath = windows + "\\" + spec.relativePath;
        const TFileVersionInfo info = ReadFileVersionInfo(context.drives, row.windowsPath);
        const bool isTaskmgr = file == SystemFile::Taskmgr || file == SystemFile::TaskmgrCache;
        row.genuine = isTaskmgr ? IsGenuineTaskmgr(info) : IsGenuineUserinit(info);
    }
    bool allGenuine = true;
    for (const SystemFileRow& row : rows) {
        allGenuine = allGenuine && row.genuine;
    }
    if (allGenuine) {
        return true;
    }

    const RestoreAnswer answer = question.ask(rows);
    if (answer.result != DialogResult::Ok) {
        return false;
    }
    // The files are restored in row order. Every chosen copy is attempted; the
    // result is true only when at least one was made and none failed, so a
    // file left bad by a failed copy is never reported as restored.
    bool anyCopied = false;
    bool anyFailed = false;
    for (const SystemFileRow& row : rows) {
        if (row.genuine || !answer.ticked[slot(row.file)]) {
            continue;
        }
        const auto target = platform::toHostPath(context.drives, row.windowsPath);
        const bool copied =
            target && copyOver(context.backupFolder / kFiles[slot(row.file)].backupName, *target);
        anyCopied = true;
        anyFailed = anyFailed || !copied;
    }
    return anyCopied && !anyFailed;
}

} // namespace engine::rules
