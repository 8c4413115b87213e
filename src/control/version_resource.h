// What the build says about the module: its version block (kept in a section of the module's file
// of its own, see module_file.h), the web page and the mail address the About box links to.
#pragma once

namespace pelmor {

// An address inside the module's version block: the About box finds the module's file by it.
const void* ModuleVersionAnchor();
// The product's home page, as the build was told ("https://...").
const char* ModuleHomePage();
// The contact mail address, bare ("someone@example.org").
const char* ModuleContactMail();

}  // namespace pelmor
