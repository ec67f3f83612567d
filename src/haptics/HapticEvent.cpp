#include "haptics/HapticEvent.h"

#include "log/Exception.h"

namespace Kiln {

bool HapticEvent::testButton(ButtonMask mask, unsigned id) {
    if (id > 7)
        throw Exception(ErrorCode::InvalidValue, "Invalid button ID", "Kiln::HapticEvent");
    return (mask >> id) & 1u;
}

} // namespace Kiln
