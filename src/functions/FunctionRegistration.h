#pragma once
// Self-registration of function classes. Each function's source file holds
// one static registration object (MORVEL_REGISTER_FUNCTION); at start-up the
// manager walks the process-wide list and makes one instance of each.
// The function sources are built as an object library so that the linker
// keeps these otherwise unreferenced objects.
#include <memory>

class FunctionBase;
struct FunctionContext;

class FunctionRegistrar {
public:
    /// Links this registration at the head of the process-wide list. Only
    /// static objects register (static initialisation is single-threaded).
    FunctionRegistrar();
    virtual ~FunctionRegistrar() = default;
    FunctionRegistrar(const FunctionRegistrar&) = delete;
    FunctionRegistrar& operator=(const FunctionRegistrar&) = delete;

    virtual std::unique_ptr<FunctionBase> create(FunctionContext& context) const = 0;

    /// The most recently registered entry; null when none.
    static const FunctionRegistrar* head();
    const FunctionRegistrar* getNext() const { return next; }

private:
    const FunctionRegistrar* next;
};

template <typename T>
class FunctionRegistration : public FunctionRegistrar {
public:
    std::unique_ptr<FunctionBase> create(FunctionContext& context) const override {
        return std::make_unique<T>(context);
    }
};

#define MORVEL_REGISTER_FUNCTION(Class) \
    static const FunctionRegistration<Class> registration##Class
