#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace engine::automatic {

// The colours of the automatic log: blue for progress and the start and end
// of a pass, green for healthy values and successful mounts, red for suspect
// findings, repairs and failures, black for neutral information.
enum class LogColor { Blue, Green, Red, Black };

struct LogLine {
    LogColor color = LogColor::Black;
    std::string text; // empty: an empty line
    friend bool operator==(const LogLine&, const LogLine&) = default;
};

// Where the log goes: the automatic window, a terminal, a test's list.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogLine& line) = 0;
};

// A sink that keeps the lines (tests, and whoever renders them later).
class LogLines final : public LogSink {
public:
    void write(const LogLine& line) override { lines.push_back(line); }
    std::vector<LogLine> lines;
};

// AutoLog: one line in a colour. AutoLogList: every line of a list in one
// colour.
void AutoLog(LogSink& sink, const std::string& text, LogColor color);
void AutoLogList(LogSink& sink, const std::vector<std::string>& lines, LogColor color);

// The time of day in the locale's long time format (nl_langinfo(T_FMT) of
// LC_TIME), as the log's start and end lines show it.
std::string formatTimeOfDay(std::time_t time);

// "blue", "green", "red", "black".
const char* colorName(LogColor color);

} // namespace engine::automatic
