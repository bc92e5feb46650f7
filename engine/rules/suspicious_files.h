#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {
struct Context;
}

namespace engine::rules {

// The console's list of possible locker files (clbFiles): the programs the
// Winlogon judge found suspect, each as the text stands in the registry,
// with its tick.
struct SuspiciousFile {
    std::string Text;
    bool Ticked = false;
};
using SuspiciousFiles = std::vector<SuspiciousFile>;

// What selecting an entry shows.
inline constexpr std::string_view kSuspiciousSelectionWarning =
    "Убедитесь что файлы не являютя системными или важными...";
inline constexpr std::string_view kSuspiciousNotFound = "Файл не найден...";
inline constexpr std::string_view kSuspiciousDeleted = "Удаление файла успешно...";
// Appended to an entry's text (two spaces, a dash).
inline constexpr std::string_view kSuspiciousNotFoundMark = "  - Не найден...";
inline constexpr std::string_view kSuspiciousDeletedMark = "  - Удален...";

// The list as the judge leaves it: one unticked entry per path.
SuspiciousFiles suspiciousFilesFrom(const std::vector<std::string>& paths);

// "Выделить всё" / "Снять выделение".
void CheckAllFiles(SuspiciousFiles& files);
void UncheckAllFiles(SuspiciousFiles& files);

// "Удалить выбранное": every ticked entry from first to last, its text taken
// as a Windows path. A file that is not there (a bare file name, a path on a
// drive not in the table or leading off its drive, an entry already marked)
// shows kSuspiciousNotFound and gets kSuspiciousNotFoundMark; a deleted one
// shows kSuspiciousDeleted and gets kSuspiciousDeletedMark; a file that
// could not be deleted shows nothing and stays as it was. Ticks stay.
// A symbolic link is deleted itself, never what it points at. Returns the
// status-line messages in order (the last is what the line keeps).
std::vector<std::string> DeleteTickedFiles(const Context& context, SuspiciousFiles& files);

} // namespace engine::rules
