#include "cli/restore_dialog.h"
#include "platform/latin_case.h"

#include <optional>
#include <string>

namespace cli {

using engine::rules::DialogResult;
using engine::rules::RestoreAnswer;
using engine::rules::SystemFileRow;

namespace {

std::size_t rowIndex(const SystemFileRow& row) {
    return static_cast<std::size_t>(row.file);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace

RestoreAnswer FixedRestoreAnswer::ask(const std::array<SystemFileRow, 4>& rows) {
    RestoreAnswer answer;
    if (!restoreAll_) {
        answer.result = DialogResult::Cancel;
        return answer;
    }
    answer.result = DialogResult::Ok;
    for (const auto& row : rows) {
        answer.ticked.at(rowIndex(row)) = !row.genuine;
    }
    return answer;
}

TerminalRestoreQuestion::Reply TerminalRestoreQuestion::yesOrNo(const std::string& question,
                                                                std::optional<bool> current) {
    const char* choices = !current ? " [y/n] " : *current ? " [Y/n] " : " [y/N] ";
    for (;;) {
        out_ << question << choices << std::flush;
        std::string line;
        if (!std::getline(in_, line)) {
            out_ << '\n';
            return Reply::End;
        }
        const std::string reply = engine::platform::lowerLatin(trimmed(line));
        if (reply.empty() && current) {
            return Reply::Keep;
        }
        if (reply == "y" || reply == "yes" || reply == "д" || reply == "Д" || reply == "да" ||
            reply == "Да" || reply == "ДА") {
            return Reply::Yes;
        }
        if (reply == "n" || reply == "no" || reply == "н" || reply == "Н" || reply == "нет" ||
            reply == "Нет" || reply == "НЕТ") {
            return Reply::No;
        }
        out_ << "Ответьте y (да) или n (нет).\n";
    }
}

RestoreAnswer TerminalRestoreQuestion::ask(const std::array<SystemFileRow, 4>& rows) {
    out_ << "\nПроверка файлов...\nПроверяемая система..\n";
    for (const auto& row : rows) {
        out_ << "  " << row.label << " - "
             << (row.genuine ? "в порядке" : "заменён или отсутствует") << " (" << row.windowsPath
             << ")\n";
    }
    RestoreAnswer answer;
    answer.result = DialogResult::Cancel;
    for (const auto& row : rows) {
        if (row.genuine) {
            continue;
        }
        bool& box = ticked_.at(rowIndex(row));
        const Reply reply = yesOrNo("Восстановить " + row.label + "?", box);
        if (reply == Reply::End) {
            answer.ticked = ticked_;
            return answer;
        }
        if (reply != Reply::Keep) {
            box = reply == Reply::Yes;
        }
    }
    answer.ticked = ticked_;
    const Reply confirm = yesOrNo(
        "Восстановить отмеченные файлы? (y - \"Восстановить\", n - \"Отменить\")", std::nullopt);
    if (confirm == Reply::Yes) {
        answer.result = DialogResult::Ok;
    } else if (confirm == Reply::No) {
        answer.result = DialogResult::No;
    }
    return answer;
}

} // namespace cli
