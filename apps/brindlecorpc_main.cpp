#include "server/shell/command_line.h"

int main(int argc, char** argv) { return brindlecor::server::brindlecorpcMain(argc, argv); }
