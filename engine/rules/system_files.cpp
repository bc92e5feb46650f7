#include "rules/system_files.h"

#include <array>
#include <cerrno>
#include <optional>
#include <string_view>

#include <span>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "context/context.h"
#include "hive/unique_fd.h"
#include "platform/latin_case.h"
#include "platform/replace_file.h"
#include "platform/windows_paths.h"
#include "registry/write_policy.h"
#include "rules/drive_bound_path.h"

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

// Replaces `target` with a copy of `source`, as other files of a target are
// replaced: the clean copy is read whole first (a missing source leaves the
// target untouched), then written into a temporary file beside the target,
// synced and renamed over it, so that a failure at any point leaves the old
// file whole; the new file keeps the old one's permissions and, on NTFS, its
// security descriptor and Windows attributes. A missing file is created, a
// missing folder is a failure. A target the write policy keeps from being
// written is refused, and so is a link or anything but a regular file there:
// the restore writes only inside the target disk. True once the new content
// is on the disk.
bool replaceWithCleanCopy(const platform::DriveTable& drives, std::string_view windowsPath,
                          const std::filesystem::path& source, hive::FileIo& io) {
    // The file itself, never what a link in its place names.
    const auto target = driveBoundHostPath(drives, windowsPath);
    if (!target) {
        return false;
    }
    std::error_code ec;
    const auto type = std::filesystem::symlink_status(*target, ec).type();
    if (type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::regular) {
        return false;
    }
    if (registry::writeRefusal(registry::driveRootOf(drives, windowsPath), *target, io)) {
        return false;
    }
    const auto bytes = readSource(source);
    if (!bytes) {
        return false;
    }
    const platform::ContentWriter write = [&bytes](hive::OpenFile& file) {
        return hive::writeExactly(
            file, 0,
            std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
    };
    return platform::replaceFile(*target, write, io, source).has_value();
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
    hive::PosixFileIo io;
    return CheckSystemFiles(context, index, question, io);
}

bool CheckSystemFiles(Context& context, int index, RestoreQuestion& question, hive::FileIo& io) {
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
        const bool copied =
            replaceWithCleanCopy(context.drives, row.windowsPath,
                                 context.backupFolder / kFiles[slot(row.file)].backupName, io);
        anyCopied = true;
        anyFailed = anyFailed || !copied;
    }
    return anyCopied && !anyFailed;
}

} // namespace engine::rules
