// Opening a dirty hive the way Windows loads it: through its transaction logs.
#include "hive/hive.h"

namespace engine::hive {

Result<Hive> Hive::openRecovered(const std::filesystem::path& file) {
    auto hive = open(file);
    if (!hive || !hive->dirty()) {
        return hive;
    }
    auto logs = readLogFiles(file);
    if (!logs) {
        Error e = logs.error();
        e.file = file.string();
        return tl::unexpected(e);
    }
    auto report = recoverHive(hive->image_, *logs);
    if (!report) {
        Error e = report.error();
        e.message =
            "куст «грязный», и восстановить его из журналов транзакций не удалось: " + e.message;
        if (e.file.empty()) {
            e.file = file.string();
        }
        return tl::unexpected(e);
    }
    auto header = parseBaseBlock({hive->image_.data(), hive->image_.size()});
    if (!header) {
        return tl::unexpected(hive->error(header.error().message));
    }
    hive->header_ = *header;
    const std::uint64_t available = hive->image_.size() - BaseBlock::kSize;
    hive->binsSize_ =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(header->binsSize, available));
    hive->recovery_ = std::move(*report);
    return hive;
}

} // namespace engine::hive
