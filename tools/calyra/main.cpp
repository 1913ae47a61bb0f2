// calyra: the command-line client. `calyra --help` lists the commands.
#include "commands/run_client.h"

int main(int argc, char** argv) { return calyra::cli::RunClient(argc, argv); }
