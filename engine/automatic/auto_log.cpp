// The automatic log: coloured lines handed to a sink, and the time of day as
// the start and end lines of a pass show it.
#include "automatic/auto_log.h"

#include <langinfo.h>

namespace engine::automatic {

void AutoLog(LogSink& sink, const std::string& text, LogColor color) {
    sink.write(LogLine{color, text});
}

void AutoLogList(LogSink& sink, const std::vector<std::string>& lines, LogColor color) {
    for (const std::string& line : lines) {
        AutoLog(sink, line, color);
    }
}

std::string formatTimeOfDay(std::time_t time) {
    std::tm local{};
    if (::localtime_r(&time, &local) == nullptr) {
        return {};
    }
    // The long time format of the current LC_TIME locale: hours, minutes and
    // seconds with the locale's separator, and its AM/PM designator where it
    // keeps a 12-hour clock.
    const char* format = ::nl_langinfo(T_FMT);
    if (format == nullptr || *format == '\0') {
        format = "%H:%M:%S";
    }
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, length);
}

const char* colorName(LogColor color) {
    switch (color) {
    case LogColor::Blue:
        return "blue";
    case LogColor::Green:
        return "green";
    case LogColor::Red:
        return "red";
    case LogColor::Black:
        return "black";
    }
    return "black";
}

} // namespace engine::automatic
