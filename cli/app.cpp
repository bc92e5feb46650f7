#include "cli/app.h"

#include <iostream>
#include <sstream>
#include <string>

#include <unistd.h>

#include <CLI/CLI.hpp>

#include "cli/auto_command.h"
#include "cli/hive_command.h"
#include "cli/scan_command.h"
#include "morvalin/version.h"

namespace cli {

int run(int argc, char** argv) {
    return run(argc, argv,
               Terminal{std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) == 1,
                        isatty(STDOUT_FILENO) == 1});
}

int run(int argc, char** argv, std::ostream& out, std::ostream& err) {
    std::istringstream noInput;
    return run(argc, argv, Terminal{noInput, out, err});
}

int run(int argc, char** argv, const Terminal& terminal) {
    std::ostream& out = terminal.out;
    std::ostream& err = terminal.err;
    CLI::App app{"Morvalin: лечение Windows, заблокированной вымогателем, с живого носителя",
                 "morvalin-cli"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("morvalin-cli ") + morvalin::kVersion,
                         "Версия программы");
    HiveCommand hive(app, out, err);
    ScanCommand scan(app, out, err);
    AutoCommand automatic(app, terminal);
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
    if (automatic.chosen()) {
        return automatic.run();
    }
    return kExitError;
}

} // namespace cli
