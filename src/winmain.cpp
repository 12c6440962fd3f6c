// The program's entry: everything happens in the setup module.
#include "setup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    return setup_main(instance, show);
}
