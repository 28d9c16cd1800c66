#pragma once
// The small part of a form framework's component model the program relies on:
// a name, an owner that frees it, and the loading state that some setters test.
#include <QObject>
#include <cstdint>
#include <string>

enum TComponentStateFlag : uint32_t {
    csLoading = 0x1,
    csDesigning = 0x2,
    csDestroying = 0x4,
};

class TComponent : public QObject {
public:
    explicit TComponent(QObject* owner = nullptr) : QObject(owner) {}
    ~TComponent() override = default;

    std::string Name() const { return objectName().toStdString(); }
    void SetName(const std::string& name) { setObjectName(QString::fromStdString(name)); }

    uint32_t ComponentState() const { return componentState_; }
    bool IsLoading() const { return (componentState_ & csLoading) != 0; }
    bool IsDesigning() const { return (componentState_ & csDesigning) != 0; }

    // Stand-in for streaming a component from a form resource: properties set
    // between BeginLoading and Loaded are only stored, Loaded then acts on them.
    void BeginLoading() { componentState_ |= csLoading; }
    virtual void Loaded() { componentState_ &= ~uint32_t(csLoading); }

protected:
    uint32_t componentState_ = 0;
};

// Handler of an event without arguments; Sender is the object that raised it.
#include <functional>
using TNotifyEvent = std::function<void(QObject* Sender)>;
