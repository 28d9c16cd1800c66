#include "platform/Modal.h"

#include <QDialog>
#include <utility>

namespace platform {
namespace {
ModalHook& Hook()
{
    static ModalHook hook;
    return hook;
}
} // namespace

ModalHook SetModalHook(ModalHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

int ExecModal(QDialog& dialog)
{
    // A copy: the hook may replace itself while it runs.
    if (ModalHook hook = Hook())
        return hook(dialog);
    return dialog.exec();
}

} // namespace platform
