#include "cli/hive_command.h"

#include "cli/app.h"

#include "hive/dump.h"
#include "hive/file_io.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "hive/validate.h"
#include "hive/value_text.h"
#include "registry/write_policy.h"
#include <map>
#include <optional>

namespace cli {

namespace {

constexpr const char* kDataSyntax = R"(
Данные параметров пишутся так:
  REG_SZ, REG_EXPAND_SZ  "текст"        (UTF-16LE с одним завершающим NUL)
  REG_MULTI_SZ           ["а", "б"]     ([] - один NUL)
  REG_DWORD              0x0000002a     (ровно 4 байта)
  REG_QWORD              0x000000000000002a (ровно 8 байт)
  прочие типы            hex:01,ab,ff   (байты как есть)
Данные, не подходящие под форму своего типа, выводятся как hex:.
В кавычках \ и " пишутся как \\ и \", управляющие символы как \n, \r, \t, \xHH,
непарный суррогат UTF-16 как \uHHHH. Параметр по умолчанию выводится как @.
Разделы пишутся от корня через обратную косую черту: [Software\Microsoft];
в именах разделов %, \ и управляющие символы пишутся как %XX.
Типы: REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ,
REG_QWORD, прочие числом (0x5).)";

void reportRecovery(const engine::hive::Hive& hive, std::ostream& out) {
    if (!hive.recovery()) {
        return;
    }
    out << "Куст был «грязным» и восстановлен в памяти из журналов:";
    for (const auto& log : hive.recovery()->applied) {
        out << ' ' << log.filename().string();
    }
    out << '\n';
}

std::u16string valueNameOf(const std::string& text) {
    auto name = engine::hive::fromUtf8(text == "@" ? std::string() : text);
    return name ? *name : std::u16string();
}

} // namespace

HiveCommand::HiveCommand(CLI::App& app, std::ostream& out, std::ostream& err)
    : out_(out)
    , err_(err) {
    hive_ = app.add_subcommand("hive", "Просмотр и изменение файла куста реестра");
    hive_->require_subcommand(1);
    hive_->footer(kDataSyntax);

    check_ = hive_->add_subcommand(
        "check", "Проверить строение куста; код 0, если куст можно изменять безопасно, иначе 1");
    check_->add_option("FILE", file_, "Файл куста")->required();

    dump_ = hive_->add_subcommand("dump", "Вывести все разделы и параметры (или раздела KEY)");
    dump_->add_option("FILE", file_, "Файл куста")->required();
    dump_->add_option("KEY", key_, "Раздел от корня, например Software\\Microsoft");

    get_ = hive_->add_subcommand("get", "Вывести тип и данные параметра");
    get_->add_option("FILE", file_, "Файл куста")->required();
    get_->add_option("KEY", key_, "Раздел от корня")->required();
    get_->add_option("VALUE", value_, "Имя параметра (пустое или @ - по умолчанию)")->required();

    set_ = hive_->add_subcommand("set", "Записать параметр (раздел создаётся, если его нет)");
    set_->add_option("FILE", file_, "Файл куста")->required();
    set_->add_option("KEY", key_, "Раздел от корня")->required();
    set_->add_option("VALUE", value_, "Имя параметра (пустое или @ - по умолчанию)")->required();
    set_->add_option("TYPE", type_, "Тип: REG_SZ, REG_DWORD, ... или число")->required();
    set_->add_option("DATA", data_, "Данные: текст, число, строки через перевод строки или hex:..")
        ->required();
    set_->add_option("--output", output_, "Новый файл для изменённого куста (иначе - на место)");
    addWindowsOption(*set_);

    delete_ = hive_->add_subcommand("delete", "Удалить раздел со всеми подразделами или параметр");
    delete_->add_option("FILE", file_, "Файл куста")->required();
    delete_->add_option("KEY", key_, "Раздел от корня")->required();
    delete_->add_option("VALUE", value_, "Имя параметра (@ - по умолчанию); без него - раздел");
    delete_->add_option("--output", output_, "Новый файл для изменённого куста (иначе - на место)");
    addWindowsOption(*delete_);

    recover_ = hive_->add_subcommand(
        "recover", "Восстановить «грязный» куст из журналов транзакций, как это делает Windows");
    recover_->add_option("FILE", file_, "Файл куста")->required();
    recover_->add_option("--output", output_, "Новый файл для восстановленного куста");

    rename_ = hive_->add_subcommand("rename", "Переименовать раздел");
    rename_->add_option("FILE", file_, "Файл куста")->required();
    rename_->add_option("KEY", key_, "Раздел от корня")->required();
    rename_->add_option("NEWNAME", newName_, "Новое имя раздела")->required();
    rename_->add_option("--output", output_, "Новый файл для изменённого куста (иначе - на место)");
    addWindowsOption(*rename_);
}

void HiveCommand::addWindowsOption(CLI::App& command) {
    static const std::map<std::string, engine::hive::WindowsGeneration> kGenerations = {
        {"xp", engine::hive::WindowsGeneration::Xp},
        {"vista", engine::hive::WindowsGeneration::VistaTo8},
        {"7", engine::hive::WindowsGeneration::VistaTo8},
        {"8", engine::hive::WindowsGeneration::VistaTo8},
        {"8.1", engine::hive::WindowsGeneration::Win81OrLater},
        {"10", engine::hive::WindowsGeneration::Win81OrLater},
        {"11", engine::hive::WindowsGeneration::Win81OrLater},
    };
    command
        .add_option_function<std::string>(
            "--windows", [this](const std::string& v) { windows_ = kGenerations.at(v); },
            "Windows установки (xp, vista, 7, 8, 8.1, 10, 11): формат журнала для куста без "
            "журналов")
        ->check(CLI::IsMember(kGenerations));
}

bool HiveCommand::chosen() const {
    return hive_->parsed();
}

int HiveCommand::run() {
    if (check_->parsed()) {
        return check();
    }
    if (dump_->parsed()) {
        return dump();
    }
    if (get_->parsed()) {
        return get();
    }
    if (set_->parsed()) {
        return set();
    }
    if (delete_->parsed()) {
        return remove();
    }
    if (rename_->parsed()) {
        return rename();
    }
    if (recover_->parsed()) {
        return recover();
    }
    return kExitError;
}

int HiveCommand::check() {
    auto hive = engine::hive::Hive::openRecovered(file_);
    if (!hive) {
        err_ << hive.error().describe() << '\n';
        return kExitRefused;
    }
    reportRecovery(*hive, out_);
    const auto report = engine::hive::validateHive(*hive);
    for (const auto& finding : report.findings) {
        out_ << finding.describe() << '\n';
    }
    if (report.canChange()) {
        out_ << "Куст можно изменять безопасно: " << file_ << '\n';
        return kExitOk;
    }
    out_ << "Куст нельзя изменять безопасно: " << file_ << '\n';
    return kExitRefused;
}

int HiveCommand::dump() {
    auto hive = engine::hive::Hive::openRecovered(file_);
    if (!hive) {
        err_ << hive.error().describe() << '\n';
        return kExitError;
    }
    auto done =
        engine::hive::dumpHive(*hive, key_, [&](std::string_view line) { out_ << line << '\n'; });
    if (!done) {
        err_ << done.error().describe() << '\n';
        return kExitError;
    }
    return kExitOk;
}

int HiveCommand::get() {
    using namespace engine::hive;
    auto hive = Hive::openRecovered(file_);
    if (!hive) {
        err_ << hive.error().describe() << '\n';
        return kExitError;
    }
    auto keyRef = hive->findKey(key_);
    if (!keyRef) {
        err_ << keyRef.error().describe() << '\n';
        return kExitError;
    }
    if (!*keyRef) {
        err_ << "Нет такого раздела: " << key_ << '\n';
        return kExitRefused;
    }
    auto node = hive->key(**keyRef);
    auto name = fromUtf8(value_ == "@" ? std::string() : value_);
    if (!node || !name) {
        err_ << (node ? "Имя параметра не в кодировке UTF-8" : node.error().describe()) << '\n';
        return kExitError;
    }
    auto valueRef = hive->findValue(*node, *name);
    if (!valueRef) {
        err_ << valueRef.error().describe() << '\n';
        return kExitError;
    }
    if (!*valueRef) {
        err_ << "Нет такого параметра: " << value_ << '\n';
        return kExitRefused;
    }
    auto value = hive->value(**valueRef);
    if (!value) {
        err_ << value.error().describe() << '\n';
        return kExitError;
    }
    auto data = hive->valueData(*value);
    if (!data) {
        err_ << data.error().describe() << '\n';
        return kExitError;
    }
    out_ << typeName(value->type) << ' ' << formatValueData(value->type, *data) << '\n';
    return kExitOk;
}

namespace {

// Runs one change on a hive and writes the result back into the hive's own
// file (through its transaction log), or to a new file. What gets written
// (the hive's file, or the new file with --output; the hive is then only
// read) must be allowed by the write policy the mounts keep: not on a volume
// holding a hibernation image, not read-only.
template <class Change>
int changeHive(const std::string& file, const std::string& output,
               std::optional<engine::hive::WindowsGeneration> windows, std::ostream& out,
               std::ostream& err, Change&& change) {
    using namespace engine::hive;
    PosixFileIo io;
    const std::string& written = output.empty() ? file : output;
    if (auto refusal =
            engine::registry::writeRefusal(engine::registry::mountPointOf(written), written, io)) {
        err << (output.empty() ? "Куст не записан, файл не тронут: "
                               : "Изменённый куст не записан: ")
            << refusal->detail << '\n';
        return kExitError;
    }
    auto hive = Hive::openRecovered(file);
    if (!hive) {
        err << hive.error().describe() << '\n';
        return kExitError;
    }
    const int status = change(*hive);
    if (status != kExitOk) {
        return status;
    }
    if (!output.empty()) {
        if (auto saved = hive->saveAs(output); !saved) {
            err << saved.error().describe() << '\n';
            return kExitError;
        }
        out << "Изменённый куст записан: " << output << '\n';
        return kExitOk;
    }
    WriteBackOptions options;
    options.windows = windows;
    auto report = hive->writeBack(io, options);
    if (!report) {
        err << "Куст не записан, файл остался прежним или восстановится из журнала: "
            << report.error().describe() << '\n';
        return kExitError;
    }
    if (!report->written) {
        out << "Куст не изменился, файл не тронут: " << file << '\n';
        return kExitOk;
    }
    out << "Куст записан на место через журнал " << report->log.filename().string() << ": " << file
        << '\n';
    return kExitOk;
}

} // namespace

int HiveCommand::set() {
    using namespace engine::hive;
    const auto type = parseTypeName(type_);
    if (!type) {
        err_ << "Неизвестный тип параметра: " << type_ << '\n';
        return kExitError;
    }
    auto data = parseValueData(*type, data_);
    if (!data) {
        err_ << data.error().describe() << '\n';
        return kExitError;
    }
    if (!fromUtf8(value_)) {
        err_ << "Имя параметра не в кодировке UTF-8\n";
        return kExitError;
    }
    return changeHive(file_, output_, windows_, out_, err_, [&](Hive& hive) {
        auto keyRef = hive.createKeyPath(key_);
        if (!keyRef) {
            err_ << keyRef.error().describe() << '\n';
            return int{kExitError};
        }
        if (auto done = hive.setValue(*keyRef, valueNameOf(value_), *type, *data); !done) {
            err_ << done.error().describe() << '\n';
            return int{kExitError};
        }
        return int{kExitOk};
    });
}

int HiveCommand::remove() {
    using namespace engine::hive;
    return changeHive(file_, output_, windows_, out_, err_, [&](Hive& hive) {
        auto keyRef = hive.findKey(key_);
        if (!keyRef) {
            err_ << keyRef.error().describe() << '\n';
            return int{kExitError};
        }
        if (!*keyRef) {
            err_ << "Нет такого раздела: " << key_ << '\n';
            return int{kExitRefused};
        }
        if (delete_->count("VALUE") == 0) {
            if (auto done = hive.deleteKey(**keyRef); !done) {
                err_ << done.error().describe() << '\n';
                return int{kExitError};
            }
            return int{kExitOk};
        }
        auto done = hive.deleteValue(**keyRef, valueNameOf(value_));
        if (!done) {
            err_ << done.error().describe() << '\n';
            return int{kExitError};
        }
        if (!*done) {
            err_ << "Нет такого параметра: " << value_ << '\n';
            return int{kExitRefused};
        }
        return int{kExitOk};
    });
}

int HiveCommand::rename() {
    using namespace engine::hive;
    auto newName = fromUtf8(newName_);
    if (!newName) {
        err_ << "Новое имя не в кодировке UTF-8\n";
        return kExitError;
    }
    return changeHive(file_, output_, windows_, out_, err_, [&](Hive& hive) {
        auto keyRef = hive.findKey(key_);
        if (!keyRef) {
            err_ << keyRef.error().describe() << '\n';
            return int{kExitError};
        }
        if (!*keyRef) {
            err_ << "Нет такого раздела: " << key_ << '\n';
            return int{kExitRefused};
        }
        if (auto done = hive.renameKey(**keyRef, *newName); !done) {
            err_ << done.error().describe() << '\n';
            return int{kExitError};
        }
        return int{kExitOk};
    });
}

int HiveCommand::recover() {
    using namespace engine::hive;
    auto hive = Hive::openRecovered(file_);
    if (!hive) {
        err_ << hive.error().describe() << '\n';
        return kExitRefused;
    }
    if (!hive->recovery()) {
        out_ << "Куст чистый, восстанавливать нечего: " << file_ << '\n';
        return kExitOk;
    }
    reportRecovery(*hive, out_);
    const Validation report = validateHive(*hive);
    if (const Finding* f = report.firstBlocking(); f != nullptr) {
        out_ << "Восстановленный куст повреждён: " << f->describe() << '\n';
        return kExitRefused;
    }
    if (output_.empty()) {
        out_ << "Файл не изменён: Windows восстановит куст так же при загрузке. Восстановленный "
                "куст можно записать в новый файл: --output НОВЫЙ\n";
        return kExitOk;
    }
    if (auto saved = hive->saveAs(output_); !saved) {
        err_ << saved.error().describe() << '\n';
        return kExitError;
    }
    out_ << "Восстановленный куст записан: " << output_ << '\n';
    return kExitOk;
}

} // namespace cli
