// kestrino-cli: the command-line companion of Kestrino.

#include "cli/CommandLine.h"
#include "cli/SystemIo.h"

#include <string>
#include <vector>

#ifdef _WIN32
// Wide arguments, so that any file name reaches the program; inside it they are UTF-8.
int wmain(int argc, wchar_t** argv) {
    kestrino::cli::UseBinaryStandardStreams();
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(kestrino::cli::Utf8FromWide(argv[i]));
    std::vector<const char*> pointers;
    for (const std::string& arg : args) pointers.push_back(arg.c_str());
    return kestrino::cli::RunCommandLine(argc, pointers.data());
}
#else
int main(int argc, char** argv) {
    return kestrino::cli::RunCommandLine(argc, argv);
}
#endif
