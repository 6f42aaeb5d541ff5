// ormix: the program.
#include "gui/app.h"

int main(int argc, char** argv) {
    return ormix::RunOrmix(argc, argv);
}
