#include "functions/FunctionRegistration.h"

namespace {
// A plain pointer, constant-initialised, so that registrations running in
// any static-initialisation order find it ready.
const FunctionRegistrar* listHead = nullptr;
} // namespace

FunctionRegistrar::FunctionRegistrar() : next(listHead) {
    listHead = this;
}

const FunctionRegistrar* FunctionRegistrar::head() {
    return listHead;
}
