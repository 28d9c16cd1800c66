#pragma once
// Showing a window modally. Every modal window of the program goes through
// ExecModal, so tests can take the place of the nested event loop: a hook set
// with SetModalHook is called instead of exec() and its return value is the
// modal result. The hook may drive the window (tick boxes, click buttons,
// advance virtual time) or return at once to skip it.
#include <functional>

class QDialog;

namespace platform {

using ModalHook = std::function<int(QDialog& dialog)>;

// Replaces exec() for every later ExecModal; an empty hook restores exec().
// Returns the hook it replaces, so a nested user can put it back.
ModalHook SetModalHook(ModalHook hook);

// Shows `dialog` modally and returns its modal result.
int ExecModal(QDialog& dialog);

} // namespace platform
