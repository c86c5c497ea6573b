// vastrel-schedd: starts the scheduled tasks of the suite for the current user.
#include "scheduling/SchedDaemon.h"

int main(int argc, char** argv)
{
    return SchedDaemonMain(argc, argv);
}
