#pragma once

#include <optional>
#include <ostream>
#include <string>

#include <CLI/CLI.hpp>

#include "hive/log_writer.h"

namespace cli {

// `morvalin-cli hive ...`: looking into and changing one hive file.
class HiveCommand {
public:
    HiveCommand(CLI::App& app, std::ostream& out, std::ostream& err);
    bool chosen() const;
    int run();

private:
    int check();
    int dump();
    int get();
    int set();
    int remove();
    int rename();
    int recover();
    void addWindowsOption(CLI::App& command);

    std::ostream& out_;
    std::ostream& err_;
    CLI::App* hive_ = nullptr;
    CLI::App* check_ = nullptr;
    CLI::App* dump_ = nullptr;
    CLI::App* get_ = nullptr;
    CLI::App* set_ = nullptr;
    CLI::App* delete_ = nullptr;
    CLI::App* rename_ = nullptr;
    CLI::App* recover_ = nullptr;
    std::string file_;
    std::string key_;
    std::string value_;
    std::string type_;
    std::string data_;
    std::string newName_;
    std::string output_;
    std::optional<engine::hive::WindowsGeneration> windows_;
};

} // namespace cli
