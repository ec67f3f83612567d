#pragma once
// A presenter that records what its node tells it and binds one bool
// parameter, the way the graphics presenter binds "showBoundingBox".
#include "scene/ObjectGroup.h"

#include <string>
#include <vector>

struct PresenterLog {
    std::vector<std::string> calls;
    int count(const std::string& call) const {
        int n = 0;
        for (const auto& c : calls)
            n += c == call;
        return n;
    }
};

class FakePresenter : public Kiln::IObjectPresenter {
public:
    FakePresenter(PresenterLog& log_, std::string boundName_ = "showBoundingBox")
        : log(&log_), boundName(std::move(boundName_)) {}

    std::unique_ptr<Kiln::IObjectPresenter> clone() const override {
        return std::make_unique<FakePresenter>(*log, boundName);
    }
    void setObject(Kiln::ObjectGroup* node_) override {
        log->calls.push_back(node_ ? "attach" : "detach");
        if (node)
            node->unbindParameter(boundName);
        node = node_;
        if (!node)
            return;
        node->bindParameter(
            boundName, this,
            [](void* owner, const Kiln::IObjectParameter& value) {
                auto* self = static_cast<FakePresenter*>(owner);
                if (const bool* flag = Kiln::parameterValue<bool>(&value))
                    self->flag = *flag;
                self->log->calls.push_back("set");
            },
            [](void* owner) -> std::unique_ptr<Kiln::IObjectParameter> {
                return std::make_unique<Kiln::ObjectParameter<bool>>(static_cast<FakePresenter*>(owner)->flag);
            },
            &Kiln::parameterTypeInfo<bool>());
    }
    void onTransformChanged() override { log->calls.push_back("transform"); }
    void onMeshChanged() override { log->calls.push_back("mesh"); }
    void onParentChanged() override { log->calls.push_back("parent"); }
    void setVisible(bool visible_) override { visible = visible_; }
    bool isVisible() const override { return visible; }

    PresenterLog* log;
    std::string boundName;
    Kiln::ObjectGroup* node = nullptr;
    bool flag = false;
    bool visible = true;
};
