// Feeds arbitrary bytes to the STL reader (text and binary).
#include "io/Stl.h"

#include "log/Exception.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Kiln::ObjectGroup root;
    Kiln::PlainObjectFactory factory;
    try {
        Kiln::readStl(data, size, root, factory);
        Kiln::writeStlBinary(root);
    } catch (const Kiln::Exception&) {
        if (!root.getChildren().empty())
            std::abort();
    }
    return 0;
}
