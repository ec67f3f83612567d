// Feeds arbitrary bytes to the .cr8 reader: it must either read them or
// throw Kiln::Exception, and a failed read must leave the root untouched.
#include "io/Cr8.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Kiln::ObjectGroup root;
    Kiln::PlainObjectFactory factory;
    Kiln::SerializerReadOptions options;
    options.factory = &factory;
    try {
        Kiln::readCr8(data, size, root, options);
        Kiln::writeCr8(root);
    } catch (const Kiln::Exception&) {
        if (!root.getChildren().empty())
            std::abort();
    }
    return 0;
}
