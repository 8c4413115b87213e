// The pelmor commands. Each takes the arguments after its name and returns the exit code.
#pragma once

#include <string>
#include <vector>

#include "model/image_doc.h"

namespace pelmor::cli {

int RunInfo(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunRender(const std::vector<std::string>& args);
int RunControl(const std::vector<std::string>& args);
int RunPlay(const std::vector<std::string>& args);
// register (true) or unregister (false) [MODULE]: calls the module's self-registration.
int RunRegister(const std::vector<std::string>& args, bool registering);
// Prints the type library as IDL.
int RunTypelib(const std::vector<std::string>& args);
// Hands the arguments to the script host program.
int RunScript(const std::vector<std::string>& args);
// The module register and unregister use without an argument: the installed one.
std::string DefaultModulePath();
// Lists the formats whose readers this build has.
int PrintFormats();

// Opens a file as every command does: the background colour is set first, then Open(path, frame).
bool OpenDocument(CImageDoc& doc, const std::string& path, int32_t frame, uint32_t backColor);


}  // namespace pelmor::cli
