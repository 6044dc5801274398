#pragma once

#include <string>

namespace kolvane::app {

// The folder of the package the native program installs, a host path: the folder that holds the
// program when the install script lies there too (a package that ships the program), otherwise
// the working directory, where a user who installed the program once runs it.
std::string PackageFolder(const std::string& programDirectory, const std::string& workingDirectory);

// The path the installer takes for its own, since it looks for the install script beside
// itself: the program's file name in the package folder. `executable` is the program's host
// path; empty when that is not known, and then so is the result.
std::string ModulePathInPackage(const std::string& executable, const std::string& workingDirectory);

}  // namespace kolvane::app
