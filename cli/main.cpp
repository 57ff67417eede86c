// kwotnik-ledger: the program's companion on the command line. Every command is listed in
// CommandLine.cpp; `kwotnik-ledger --help` prints them.
#include "cli/CommandLine.h"

int main(int argc, char **argv)
{
    return kw::cli::runMain(argc, argv);
}
