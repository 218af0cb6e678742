// quillmarsh-sim: the simulated PLC on its own, the same front as `quillmarsh sim`.
#include "SimCommand.h"

int main(int argc, char **argv)
{
    return SimCommand::run(argc, argv);
}
