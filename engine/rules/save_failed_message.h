#pragma once

#include <string_view>

namespace engine::rules {

// What a console group's "Сохранить" shows when a registry write or deletion
// failed (the hive was unmounted meanwhile, or the write was refused): the
// usual "... сохранены..." would claim a success that did not happen.
inline constexpr std::string_view kSaveFailed =
    "Ошибка записи в реестр! Не все изменения сохранены...";

} // namespace engine::rules
