// Feeds arbitrary text to the OBJ reader, with the input doubling as its
// own material library.
#include "io/Obj.h"

#include "log/Exception.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Kiln::MaterialLibraryLoader library = [text](const std::string&, std::string& out) {
        out.assign(text.begin(), text.end());
        return true;
    };
    Kiln::ObjectGroup root;
    Kiln::PlainObjectFactory factory;
    try {
        Kiln::readObj(text, root, factory, library);
        Kiln::writeObj(root, "fuzz.obj");
    } catch (const Kiln::Exception&) {
        if (!root.getChildren().empty())
            std::abort();
    }
    return 0;
}
