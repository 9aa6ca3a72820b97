// The process's arguments, environment and language, and the start-up error box.
#pragma once

#include <string>
#include <vector>

namespace plat {

// The process's arguments in UTF-8, without the program's own name.
std::vector<std::string> commandLineArgs(int argc, char** argv);
// Empty when unset or empty.
std::string getEnv(const char* name);
// An empty value removes the variable. Children started later inherit it.
void setEnv(const char* name, const std::string& value);
// "fr" when the user's interface language is French, else "en".
std::string systemLanguage();
// A modal error message without owner window; returns when the user closed it.
void errorBox(const std::string& title, const std::string& text);

} // namespace plat
