#include "builder/shell/command_line.h"

int main(int argc, char** argv) { return brindlecor::builder::tamarquillMain(argc, argv); }
