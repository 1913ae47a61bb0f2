// calyra: the command-line client. `calyra --help` lists the commands.
#include "shell/command_context.h"

int main(int argc, char** argv) { return calyra::cli::RunClient(argc, argv); }
