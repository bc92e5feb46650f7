#include "automatic/mount_notes.h"

#include "registry/write_policy.h"

namespace engine::automatic {

using registry::MountFailure;

const std::string kRecoveredNote =
    "Куст восстановлен из журналов транзакций: Windows не успела сохранить его до конца";

std::string writeBackLostNote(const std::string& reason) {
    return "Исправления этого куста не записаны на диск (" + reason +
           ") и будут потеряны: проверьте диск (chkdsk), подключите том для записи и "
           "запустите проверку снова";
}

std::optional<std::string> mountFailureNote(MountFailure failure) {
    switch (failure) {
    case MountFailure::NotAHive:
        return "Файл не является кустом реестра или его заголовок разрушен: восстановите куст "
               "из резервной копии";
    case MountFailure::Damaged:
        return "Куст повреждён, изменять его небезопасно: проверьте диск (chkdsk) или "
               "восстановите куст из резервной копии";
    case MountFailure::DirtyWithoutLogs:
        return "Куст не был сохранён до конца, а его журналы непригодны: загрузите Windows и "
               "завершите работу полностью, затем повторите";
    case MountFailure::Hibernated:
        return std::string(registry::writeRefusalNote(registry::WriteBlock::Hibernated));
    case MountFailure::ReadOnly:
        return std::string(registry::writeRefusalNote(registry::WriteBlock::ReadOnly));
    case MountFailure::None:
    case MountFailure::NameInUse:
    case MountFailure::AlreadyMounted:
    case MountFailure::NotMounted:
    case MountFailure::Missing:
    case MountFailure::WriteBackFailed:
        break;
    }
    return std::nullopt;
}

} // namespace engine::automatic
