// veldar-window: the window program, which veldar-convert becomes whenever a
// window is wanted.
#include "windowprogram.h"

int main(int argc, char** argv) {
    return RunWindowProgram(argc, argv);
}
