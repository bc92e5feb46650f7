#pragma once

#include <ostream>
#include <string>

#include <CLI/CLI.hpp>

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

    std::ostream& out_;
    std::ostream& err_;
    CLI::App* hive_ = nullptr;
    CLI::App* check_ = nullptr;
    CLI::App* dump_ = nullptr;
    CLI::App* get_ = nullptr;
    std::string file_;
    std::string key_;
    std::string value_;
};

} // namespace cli
