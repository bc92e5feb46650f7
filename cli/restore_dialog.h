#pragma once

#include <array>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "rules/system_files.h"

namespace cli {

// How `morvalin-cli auto` answers the system-file restore dialog.
enum class RestoreMode {
    None, // closed without restoring (the close box: Cancel)
    All,  // every offered row ticked, then "Восстановить"
    Ask,  // the operator answers on the terminal
};

// The dialog answered without asking: None or All.
class FixedRestoreAnswer final : public engine::rules::RestoreQuestion {
public:
    explicit FixedRestoreAnswer(bool restoreAll)
        : restoreAll_(restoreAll) {}
    engine::rules::RestoreAnswer
    ask(const std::array<engine::rules::SystemFileRow, 4>& rows) override;

private:
    bool restoreAll_;
};

// The dialog on a terminal: the four rows, then for each row that is not the
// system's own file "restore it?", then "restore the ticked files?" (yes:
// "Восстановить", no: "Отменить"). An empty answer keeps a row's box as it
// is; the last question needs y or n. The boxes keep their state from one
// question of the run to the next, as the dialog's do. The end of the input
// closes the dialog (Cancel).
class TerminalRestoreQuestion final : public engine::rules::RestoreQuestion {
public:
    TerminalRestoreQuestion(std::istream& in, std::ostream& out)
        : in_(in)
        , out_(out) {}
    engine::rules::RestoreAnswer
    ask(const std::array<engine::rules::SystemFileRow, 4>& rows) override;

private:
    enum class Reply { Yes, No, Keep, End };
    // `current`: the box's state, kept on an empty answer; nullopt: an answer
    // is required.
    Reply yesOrNo(const std::string& question, std::optional<bool> current);

    std::istream& in_;
    std::ostream& out_;
    std::array<bool, 4> ticked_{};
};

} // namespace cli
