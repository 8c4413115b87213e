// pelmor view: the picture viewer window.
#pragma once

#include <string>
#include <vector>

namespace pelmor::cli {

// Shows the viewer, with args[0] opened when given, until the window is closed. The exit code.
int RunView(const std::vector<std::string>& args, const char* program);

}  // namespace pelmor::cli
