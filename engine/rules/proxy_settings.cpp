// The user's proxy settings: reading, resetting and saving the three values.
#include "rules/proxy_settings.h"

#include "context/context.h"
#include "registry/reg_engine.h"
#include "rules/manual_record.h"
#include "rules/watched_keys.h"

namespace engine::rules {

namespace {

registry::TRegEngine& at(Context& context, std::string_view value) {
    return manualRecord(context, kUserInternetSettingsKey, value);
}

} // namespace

ProxySettings LoadProxySettings(Context& context) {
    ProxySettings settings;
    settings.Enabled = registry::RegEngineReadBool(context.registry, at(context, "ProxyEnable"));
    settings.Server = registry::RegEngineReadString(context.registry, at(context, "ProxyServer"));
    settings.Override =
        registry::RegEngineReadString(context.registry, at(context, "ProxyOverride"));
    return settings;
}

void ProxyDefaults(ProxySettings& settings) {
    settings = ProxySettings{};
}

std::string SaveProxySettings(Context& context, const ProxySettings& settings) {
    bool failed = false;
    registry::TRegEngine record;
    record.KeyPath = std::string(kUserInternetSettingsKey);
    const auto check = [&] { failed = failed || record.Status != 0; };

    record.ValueName = "ProxyEnable";
    registry::RegEngineWriteInteger(context.registry, record, settings.Enabled ? 1 : 0);
    check();
    record.ValueName = "ProxyServer";
    registry::RegEngineWriteString(context.registry, record, settings.Server);
    check();
    record.ValueName = "ProxyOverride";
    registry::RegEngineWriteString(context.registry, record, settings.Override);
    check();
    return std::string(failed ? kSaveFailed : kProxySaved);
}

} // namespace engine::rules
