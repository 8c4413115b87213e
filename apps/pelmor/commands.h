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
// Lists the formats whose readers this build has.
int PrintFormats();

// Opens a file as every command does: the background colour is set first, then Open(path, frame).
bool OpenDocument(CImageDoc& doc, const std::string& path, int32_t frame, uint32_t backColor);


}  // namespace pelmor::cli
