#include "cli/auto_command.h"

#include <cstdlib>
#include <exception>
#include <ostream>

#include "automatic/auto_pass.h"
#include "cli/log_rendering.h"
#include "cli/restore_dialog.h"
#include "context/context.h"
#include "registry/hive_mounting.h"

namespace cli {

namespace {

// The log on standard output, line by line as the pass writes it.
class StreamLog final : public engine::automatic::LogSink {
public:
    StreamLog(std::ostream& out, bool json, bool colour)
        : out_(out)
        , json_(json)
        , colour_(colour) {}
    void write(const engine::automatic::LogLine& line) override {
        out_ << (json_ ? jsonLine(line) : terminalLine(line, colour_)) << '\n' << std::flush;
    }

private:
    std::ostream& out_;
    bool json_;
    bool colour_;
};

} // namespace

AutoCommand::AutoCommand(CLI::App& app, const Terminal& terminal)
    : terminal_(terminal) {
    auto_ = app.add_subcommand("auto", "Автоматическая разблокировка всех найденных систем");
    drives_.addTo(*auto_);
    auto_->add_option("--format", format_, "Вид журнала: text или jsonl")
        ->check(CLI::IsMember({"text", "jsonl"}))
        ->capture_default_str();
    auto_->add_option("--color", color_, "Цвета журнала в виде text: auto, always или never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->capture_default_str();
    auto_
        ->add_option("--restore-files", restoreFiles_,
                     "Ответ на окно восстановления файлов: none, all или ask")
        ->check(CLI::IsMember({"none", "all", "ask"}));
    auto_->add_option("--backup-dir", backupDir_, "Папка с чистыми taskmgr.exe и userinit.exe")
        ->type_name("DIR")
        ->capture_default_str();
    auto_->footer(R"(
Диски задаются и находятся так же, как у scan. Журнал проверки идёт в стандартный
вывод: в виде text строка за строкой (в цвете, когда вывод - терминал и NO_COLOR не
задана; --color=always и --color=never решают сами), в виде jsonl - по объекту JSON
на строку: {"color":"blue|green|red|black","text":"..."}.

Когда системные файлы Windows XP (taskmgr.exe, userinit.exe) заменены, программа
спрашивает, какие восстановить из --backup-dir: none - ничего (окно закрыто),
all - все заменённые, ask - спросить в терминале по каждому файлу (вопросы идут в
стандартный поток ошибок). По умолчанию ask, когда ввод - терминал, иначе none.

Код выхода: 0 - проверка прошла до конца (в том числе когда ничего не найдено),
1 - проверку не удалось провести (причина в стандартном потоке ошибок),
2 - ошибка в командной строке, 3 - проверка прошла, но часть исправлений не
записана на диск (какие и почему - в журнале).)");
}

bool AutoCommand::colourLines() const {
    if (color_ == "always") {
        return true;
    }
    if (color_ == "never") {
        return false;
    }
    const char* noColor = std::getenv("NO_COLOR");
    const bool noColorSet = noColor != nullptr && noColor[0] != '\0';
    return terminal_.outIsTerminal && !noColorSet;
}

int AutoCommand::run() {
    auto table = drives_.tableOrDetected();
    if (!table) {
        terminal_.err << "morvalin-cli auto: " << table.error() << '\n';
        return kExitError;
    }
    engine::Context context;
    context.drives = std::move(*table);
    if (const char* windir = std::getenv("windir"); windir != nullptr) {
        context.windir = windir;
    }
    context.backupFolder = backupDir_;

    RestoreMode mode = terminal_.inIsTerminal ? RestoreMode::Ask : RestoreMode::None;
    if (restoreFiles_ == "none") {
        mode = RestoreMode::None;
    } else if (restoreFiles_ == "all") {
        mode = RestoreMode::All;
    } else if (restoreFiles_ == "ask") {
        mode = RestoreMode::Ask;
    }
    FixedRestoreAnswer fixedAnswer(mode == RestoreMode::All);
    TerminalRestoreQuestion terminalQuestion(terminal_.in, terminal_.err);
    engine::rules::RestoreQuestion& restore =
        mode == RestoreMode::Ask ? static_cast<engine::rules::RestoreQuestion&>(terminalQuestion)
                                 : fixedAnswer;

    StreamLog log(terminal_.out, format_ == "jsonl", colourLines());
    engine::automatic::AutoState state;
    engine::automatic::AutoPass pass{context, state, log, restore};
    try {
        engine::automatic::StartAutoPass(pass);
    } catch (const engine::registry::PrivilegeError& e) {
        terminal_.err << "morvalin-cli auto: нет права SeRestorePrivilege: " << e.what() << '\n';
        return kExitRefused;
    } catch (const std::exception& e) {
        terminal_.err << "morvalin-cli auto: проверка прервана: " << e.what() << '\n';
        return kExitRefused;
    }
    return state.ChangesNotWritten ? kExitNotWritten : kExitOk;
}

} // namespace cli
