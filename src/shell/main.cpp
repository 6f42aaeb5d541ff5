// ormix: the program.
#include "shell/app.h"

int main(int argc, char** argv) {
    ormix::RunOrmix(argc, argv);
}
