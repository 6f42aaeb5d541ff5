// ormix: the program.
#include "gui/app.h"

int main(int argc, char** argv) {
    ormix::RunOrmix(argc, argv);
}
