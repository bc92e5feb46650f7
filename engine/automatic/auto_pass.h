#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "automatic/auto_log.h"

namespace engine {
struct Context;
}
namespace engine::rules {
class RestoreQuestion;
}

namespace engine::automatic {

// The automatic unit's own state, kept for the program's whole run by
// whoever shows the automatic window (or runs the pass in a terminal).
struct AutoState {
    // Every registry value content a check judged foreign and removed or
    // replaced, in the order found; emptied at the start of every pass.
    std::vector<std::string> SuspectFiles;
    // A pass has ended (also one that found no installation).
    bool AutoFinished = false;
    // Some change of the last pass did not reach its hive's file: the
    // registry refused a heal's write, or a hive's write-back failed (its
    // repairs are lost). Cleared at the start of every pass.
    bool ChangesNotWritten = false;
};

// Everything one pass works with.
struct AutoPass {
    Context& context;
    AutoState& state;
    LogSink& log;
    rules::RestoreQuestion& restore; // the system-file restore dialog
    std::function<std::time_t()> now = [] { return std::time(nullptr); };
};

// The start of a pass (the automatic window's activation): discovery, its
// lines, and RunAutoCheck when an installation was found; the short exit
// otherwise. Sets AutoFinished at the end either way.
void StartAutoPass(AutoPass& pass);

// The installation phase, the user phase and the summary.
void RunAutoCheck(AutoPass& pass);

// The checks and healing of the mounted installation SystemHives[index] and
// of the mounted user hive.
void CheckSystemValues(AutoPass& pass, int index);
void CheckUserValues(AutoPass& pass);

} // namespace engine::automatic
