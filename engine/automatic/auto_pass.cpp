// One automatic pass: discovery, then every installation with its checks,
// then every user gathered from them, then the summary.
#include "automatic/auto_pass.h"

#include <string>
#include <string_view>
#include <vector>

#include "automatic/mount_notes.h"
#include "automatic/pass_values.h"
#include "context/context.h"
#include "discovery/describe_loaded_system.h"
#include "discovery/find_systems.h"
#include "discovery/find_user_profiles.h"
#include "registry/hive_mounting.h"

namespace engine::automatic {

namespace {

using registry::kSoftwareMount;
using registry::kUserMount;

const std::string kEqualsRule(42, '=');
const std::string kPlusRule(53, '+');

// After the pass's own red line for a hive that did not mount: our line
// saying why, when the operator can act on the reason.
void noteMountFailure(AutoPass& pass) {
    if (const auto note = mountFailureNote(pass.context.registry.lastOutcome().failure)) {
        AutoLog(pass.log, *note, kRed);
    }
}

// After a successful mount: our line when the hive had to be recovered from
// its transaction logs first.
void noteRecovery(AutoPass& pass) {
    if (pass.context.registry.lastOutcome().recovered) {
        AutoLog(pass.log, kRecoveredNote, kBlue);
    }
}

// After the pass's own red line for a hive that did not unmount. The only
// unmount of a mounted hive that fails is one whose changes could not be
// written back: our line says its repairs are lost and what to do, and the
// mount is released without them. Keeping it (as Windows keeps a hive it
// could not unload) would save nothing, since the changes exist only in
// memory and go when the program ends, and it would keep the name taken, so
// that every later installation (or user) of the pass would fail to mount
// and go unrepaired too.
void noteUnmountFailure(AutoPass& pass, std::string_view mountName) {
    const registry::MountOutcome& outcome = pass.context.registry.lastOutcome();
    if (outcome.failure != registry::MountFailure::WriteBackFailed) {
        return;
    }
    AutoLog(pass.log, writeBackLostNote(outcome.detail), kRed);
    pass.state.ChangesNotWritten = true;
    pass.context.registry.discard(mountName);
}

void checkInstallation(AutoPass& pass, std::vector<std::string>& work, int index) {
    Context& context = pass.context;
    const std::string& hive = context.SystemHives[static_cast<std::size_t>(index)];
    AutoLog(pass.log, kPlusRule, kBlack);
    AutoLog(pass.log, "Попытка загрузки системы...", kBlue);
    if (!registry::LoadHive(context, kSoftwareMount, hive)) {
        AutoLog(pass.log, "Куст " + hive + " не загружен...", kRed);
        noteMountFailure(pass);
        return;
    }
    AutoLog(pass.log, "Система успешно загружена...", kGreen);
    noteRecovery(pass);

    discovery::DescribeLoadedSystem(context, work);
    AutoLogList(pass.log, work, kBlack);

    context.CurrentSystemHive = hive;
    work.clear();
    discovery::FindUserProfiles(context, work);
    context.AutoProfileNames.insert(context.AutoProfileNames.end(), work.begin(), work.end());
    context.AutoProfileHives.insert(context.AutoProfileHives.end(), context.ProfileHives.begin(),
                                    context.ProfileHives.end());

    AutoLog(pass.log, "Проверка начата", kBlack);
    AutoLog(pass.log, "", kBlack);
    CheckSystemValues(pass, index);
    AutoLog(pass.log, "", kBlack);
    AutoLog(pass.log, "Проверка закончена", kBlack);

    if (registry::UnloadHive(context, kSoftwareMount)) {
        AutoLog(pass.log, "Система успешно выгружена...", kGreen);
    } else {
        AutoLog(pass.log, "Система не выгружена...", kRed);
        noteUnmountFailure(pass, kSoftwareMount);
    }
}

void checkUser(AutoPass& pass, std::size_t index) {
    Context& context = pass.context;
    AutoLog(pass.log, kPlusRule, kBlack);
    if (!registry::LoadHive(context, kUserMount, context.AutoProfileHives[index])) {
        AutoLog(pass.log, "Ошибка загрузки...", kRed);
        noteMountFailure(pass);
        return;
    }
    const std::string& name = context.AutoProfileNames[index];
    AutoLog(pass.log, "Загружен реестр пользователя:   " + name, kBlack);
    noteRecovery(pass);
    context.AutoRegEngine.RootIsCurrentUser = false;
    CheckUserValues(pass);
    AutoLog(pass.log, "Выгружаем пользователя: " + name, kBlack);
    if (registry::UnloadHive(context, kUserMount)) {
        AutoLog(pass.log, "Пользователь выгружен...", kBlue);
    } else {
        AutoLog(pass.log, "Ошибка выгрузки ...", kRed);
        noteUnmountFailure(pass, kUserMount);
    }
}

void writeSummary(AutoPass& pass) {
    AutoLog(pass.log, "", kBlack);
    AutoLog(pass.log, kPlusRule, kBlack);
    AutoLog(pass.log, "Завершение автоматической проверки..." + formatTimeOfDay(pass.now()), kBlue);
    AutoLog(pass.log, "Все найденные системы проверены...", kBlack);
    if (!pass.state.SuspectFiles.empty()) {
        AutoLog(pass.log, "Возможные файлы вирусов и блокировщиков: ", kRed);
        AutoLog(pass.log, "", kBlack);
        AutoLogList(pass.log, pass.state.SuspectFiles, kRed);
    } else {
        AutoLog(pass.log, "Проблем не обнаружено...Воспользуйтесь ручным режимом...", kBlue);
    }
}

} // namespace

void StartAutoPass(AutoPass& pass) {
    Context& context = pass.context;
    pass.state.SuspectFiles.clear();
    pass.state.ChangesNotWritten = false;
    AutoLog(pass.log, kEqualsRule, kBlue);
    AutoLog(pass.log, "Старт автоматической проверки..." + formatTimeOfDay(pass.now()), kBlue);
    AutoLog(pass.log, "", kBlack);
    AutoLog(pass.log, "Получение списка систем для проверки.", kBlue);
    std::vector<std::string> found;
    discovery::FindSystems(context, found);
    AutoLogList(pass.log, found, kBlack);
    AutoLog(pass.log, "Получение списка систем завершено.", kBlack);

    if (context.SystemHives.empty()) {
        AutoLog(pass.log, "Не удалось обнаружить ни одной доступной системы.", kRed);
        AutoLog(pass.log, "Выходим...", kBlue);
        AutoLog(pass.log, kEqualsRule, kBlue);
        pass.state.AutoFinished = true;
        return;
    }
    AutoLog(pass.log, "", kBlack);
    AutoLog(pass.log, "Количество найденных систем: " + std::to_string(context.SystemHives.size()),
            kBlack);
    RunAutoCheck(pass);
}

void RunAutoCheck(AutoPass& pass) {
    Context& context = pass.context;
    // Mounting and unmounting need the restore privilege. When it cannot be
    // enabled (LoadHive and UnloadHive raise PrivilegeError) no hive of the
    // pass can be mounted or written back, so the pass ends at once: two red
    // lines with the system's text, then the closing lines of a pass that
    // found nothing, and AutoFinished set so that the window can be closed.
    // A hive that is mounted at that moment stays mounted, its changes in
    // memory only: its file is left as it was, and those changes count as
    // not written.
    try {
        std::vector<std::string> work;
        context.AutoProfileHives.clear();
        context.AutoProfileNames.clear();
        context.AutoRegEngine.RootIsCurrentUser = false;
        for (std::size_t i = 0; i < context.SystemHives.size(); ++i) {
            checkInstallation(pass, work, static_cast<int>(i));
        }

        AutoLog(pass.log, kPlusRule, kBlack);
        AutoLog(pass.log, "Проверка пользователей...", kBlue);
        if (context.AutoProfileHives.empty()) {
            AutoLog(pass.log, "Пользователей не найдено...", kBlue);
        }
        for (std::size_t j = 0; j < context.AutoProfileHives.size(); ++j) {
            checkUser(pass, j);
        }
    } catch (const registry::PrivilegeError& error) {
        AutoLog(pass.log,
                std::string("Не удалось включить привилегию SeRestorePrivilege: ") + error.what(),
                kRed);
        AutoLog(pass.log,
                "Без неё кусты реестра не загружаются и не сохраняются: проверка прервана", kRed);
        for (const auto& mount : context.registry.mounts()) {
            if (mount->hive.changeCount() > 0) {
                pass.state.ChangesNotWritten = true;
            }
        }
        AutoLog(pass.log, "Выходим...", kBlue);
        AutoLog(pass.log, kEqualsRule, kBlue);
        pass.state.AutoFinished = true;
        return;
    }
    writeSummary(pass);
    pass.state.AutoFinished = true;
}

} // namespace engine::automatic
