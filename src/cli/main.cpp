#include "cli/Cli.h"

int main(int argc, char** argv) {
    return scq::RunScqinfo(argc, argv);
}
