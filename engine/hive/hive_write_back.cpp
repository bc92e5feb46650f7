// Writing a changed hive back into its own file.
#include "hive/hive.h"

namespace engine::hive {

Result<WriteBackReport> Hive::writeBack(FileIo& io, WriteBackOptions options) {
    if (!options.clock && clock_) {
        options.clock = clock_;
    }
    auto report = hive::writeBack(io, fileName_, image_, options);
    if (report && report->written) {
        header_ = *parseBaseBlock({image_.data(), image_.size()});
        recovery_.reset();
    }
    return report;
}

} // namespace engine::hive
