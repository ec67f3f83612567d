#pragma once
// One-call file input and output by extension, for the command-line tool
// and the file tools.
#include "scene/IObjectFactory.h"

#include <string>

namespace Kiln {

/// Imports `path` into `root` with the format its extension names. Throws
/// Kiln::Exception (code 7) for an extension no importer handles, and the
/// format's own errors otherwise.
void importSceneFile(const std::string& path, ObjectGroup& root, IObjectFactory& factory);

/// Exports the visible part of `root` to `path` with the format its
/// extension names; the file is replaced only once complete.
void exportSceneFile(const ObjectGroup& root, const std::string& path);

/// The extensions importSceneFile and exportSceneFile accept.
std::string importableExtensions();
std::string exportableExtensions();

} // namespace Kiln
