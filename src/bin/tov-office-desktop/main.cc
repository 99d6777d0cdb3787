#include "bin/tov-office-desktop/run_cli.h"

int main(int argc, char** argv) { return tov::cli::cli_main(argc, argv); }
