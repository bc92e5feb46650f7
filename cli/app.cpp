#include "cli/app.h"

#include <iostream>

#include <CLI/CLI.hpp>

#include "cli/hive_command.h"
#include "cli/scan_command.h"

namespace cli {

int run(int argc, char** argv) {
    return run(argc, argv, std::cout, std::cerr);
}

int run(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Morvalin: лечение Windows, заблокированной вымогателем, с живого носителя",
                 "morvalin-cli"};
    app.require_subcommand(1);
    HiveCommand hive(app, out, err);
    ScanCommand scan(app, out, err);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e, out, err); // --help
        }
        // Bad usage: one line saying what is wrong.
        err << "morvalin-cli: " << e.what() << " (--help: справка)\n";
        return kExitError;
    }
    if (hive.chosen()) {
        return hive.run();
    }
    if (scan.chosen()) {
        return scan.run();
    }
    return kExitError;
}

} // namespace cli
