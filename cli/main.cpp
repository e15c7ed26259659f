// marc-pinyin-cli: adds pinyin to the records of a file, without a window.
#include "options.h"
#include "run.h"

int main(int argc, char** argv) {
    cli::Options options;
    if (auto status = cli::parseOptions(argc, argv, options)) return *status;
    return cli::runCommand(options);
}
