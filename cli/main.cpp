#include <clocale>

#include "cli/app.h"

int main(int argc, char** argv) {
    // The automatic log's time stamps follow the user's time format.
    std::setlocale(LC_TIME, "");
    return cli::run(argc, argv);
}
