#pragma once
// Typed values behind the named parameters of scene nodes ("material",
// "castShadows", "stiffness", ...). Readers down-cast with dynamic_cast or
// parameterValue<T>() below.
#include "mesh/MeshWorkers.h"

#include <OgreAxisAlignedBox.h>

#include <cstddef>
#include <memory>
#include <string>
#include <typeinfo>

namespace Kiln {

/// The name and size of a parameter's value type; code compares names.
struct ParameterTypeInfo {
    const char* name;
    std::size_t size;
};

class IObjectParameter {
public:
    virtual ~IObjectParameter() = default;
    virtual std::unique_ptr<IObjectParameter> clone() const = 0;
    virtual const std::type_info& getType() const = 0;
    virtual const ParameterTypeInfo& getTypeInfo() const = 0;
};

/// Type info for the value types in use; other types do not compile.
template <typename T> const ParameterTypeInfo& parameterTypeInfo();
template <> inline const ParameterTypeInfo& parameterTypeInfo<bool>() {
    static const ParameterTypeInfo info{"bool", 1};
    return info;
}
template <> inline const ParameterTypeInfo& parameterTypeInfo<float>() {
    static const ParameterTypeInfo info{"float", 4};
    return info;
}
template <> inline const ParameterTypeInfo& parameterTypeInfo<std::string>() {
    static const ParameterTypeInfo info{"string", 24};
    return info;
}
template <> inline const ParameterTypeInfo& parameterTypeInfo<Ogre::AxisAlignedBox>() {
    static const ParameterTypeInfo info{"Ogre::AxisAlignedBox", 32};
    return info;
}
template <> inline const ParameterTypeInfo& parameterTypeInfo<VertexListWorker*>() {
    static const ParameterTypeInfo info{"Kiln::VertexListWorker*", 4};
    return info;
}

template <typename T>
class ObjectParameter : public IObjectParameter {
public:
    explicit ObjectParameter(T value_) : value(std::move(value_)) {}
    std::unique_ptr<IObjectParameter> clone() const override {
        return std::make_unique<ObjectParameter<T>>(value);
    }
    const std::type_info& getType() const override { return typeid(T); }
    const ParameterTypeInfo& getTypeInfo() const override { return parameterTypeInfo<T>(); }

    T value;
};

/// The value of `parameter` when it holds a T, else null.
template <typename T>
const T* parameterValue(const IObjectParameter* parameter) {
    const auto* typed = dynamic_cast<const ObjectParameter<T>*>(parameter);
    return typed ? &typed->value : nullptr;
}

} // namespace Kiln
