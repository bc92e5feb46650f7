#include "cli/app.h"

#include <iostream>

#include <CLI/CLI.hpp>

#include "cli/hive_command.h"

namespace cli {

int run(int argc, char** argv) {
    return run(argc, argv, std::cout, std::cerr);
}

int run(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Morvalin: лечение Windows, заблокированной вымогателем, с живого носителя",
                 "morvalin-cli"};
    app.require_subcommand(1);
    HiveCommand hive(app, out, err);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err);
    }
    if (hive.chosen()) {
        return hive.run();
    }
    return kExitError;
}

} // namespace cli
