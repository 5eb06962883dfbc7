#include "builder/shell/window/window_main.h"

int main(int argc, char** argv) { return brindlecor::builder::tamarquillWindowMain(argc, argv); }
