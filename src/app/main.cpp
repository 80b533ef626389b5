#include "app/DesktopAppUnit.h"

int main(int argc, char** argv) { return RunDesktopApp(argc, argv); }
