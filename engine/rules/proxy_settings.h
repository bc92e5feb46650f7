#pragma once

#include <string>
#include <string_view>

#include "rules/save_failed_message.h"

namespace engine {
struct Context;
}

namespace engine::rules {

// The mounted user's proxy settings (gbProxy), from the user's own Internet
// settings. Nothing reaches the hive before SaveProxySettings.
struct ProxySettings {
    bool Enabled = false; // cbProxy: "ProxyEnable" is not 0
    std::string Server;   // leServer: "ProxyServer"
    std::string Override; // leLocal: "ProxyOverride"
};

// Part of the user loading: the three values (a missing one gives an
// unticked box or an empty edit). Reads through context.ManualRegEngine.
ProxySettings LoadProxySettings(Context& context);

// "Восстановить": empty edits, box unticked. Nothing is written.
void ProxyDefaults(ProxySettings& settings);

// "Сохранить": "ProxyEnable" as a REG_DWORD 1 or 0, "ProxyServer" and
// "ProxyOverride" as strings (an empty edit writes the empty string), the
// key created when missing. Returns kProxySaved, or kSaveFailed when a write
// failed.
std::string SaveProxySettings(Context& context, const ProxySettings& settings);

inline constexpr std::string_view kProxySaved = "Настройки прокси сервера сохранены...";

} // namespace engine::rules
