// Runs a shell command for a test and returns what it printed on its standard output.
#pragma once

#include <string>

namespace twtest {

// Everything `command` (run by /bin/sh) writes to its standard output; empty when it cannot start.
std::string CommandOutput(const std::string& command);

}  // namespace twtest
