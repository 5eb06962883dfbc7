#include "server/shell/window/window_main.h"

int main(int argc, char** argv) { return brindlecor::server::brindlecorpcWindowMain(argc, argv); }
