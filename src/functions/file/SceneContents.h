#pragma once
// The one way the user's objects go to and come from a scene file. Save,
// autosave and the crash save all write through writeSceneContents, and
// opening reads through readSceneFile + moveChildren, so every kind of file
// reopens at the same size: the file holds the objects relative to the
// scene root at scale 1, and the scene root keeps its own display scale.
#include "scene/IObjectFactory.h"
#include "scene/ObjectHandle.h"

#include <memory>
#include <string>
#include <vector>

namespace Kiln {
class ObjectGroup;
}

namespace scenefiles {

/// Writes the visible children of `root` to `path` with the format its
/// extension names, as if `root` stood at the origin at scale 1. Throws
/// std::exception with the reason; the file at `path` is replaced only once
/// the new one is complete, so a failure leaves any previous file intact.
void writeSceneContents(const Kiln::ObjectGroup& root, const std::string& path);

/// How an STL file is written: binary (compact, the default) or text.
enum class StlKind { Binary, Text };

/// Writes copies of `items` (each at its place relative to its parent) the
/// same way; for exporting a selection. `stl` matters only for ".stl".
void writeItems(const std::vector<Kiln::ObjectHandle>& items, const std::string& path,
                StlKind stl = StlKind::Binary);

/// Whether `path` names an STL file (".stl" in any letter case).
bool isStlPath(const std::string& path);

/// Reads `path` (format by extension) into a new group that is not part of
/// any scene. Throws with the reason; nothing is returned half read, so a
/// failure never reaches the user's scene.
std::unique_ptr<Kiln::ObjectGroup> readSceneFile(const std::string& path, Kiln::IObjectFactory& factory);

/// Moves every child of `from` under `to`, keeping their local transforms;
/// returns them in order.
std::vector<Kiln::ObjectHandle> moveChildren(Kiln::ObjectGroup& from, Kiln::ObjectGroup& to);

/// "path" with ".cr8" appended when it has no extension.
std::string withSceneExtension(const std::string& path);

/// Open/save dialog filters ("description|pattern|" pairs).
std::string sceneFilter();
std::string importFilters();
std::string exportFilters();

} // namespace scenefiles
