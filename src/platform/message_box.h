#pragma once
// The one way components show a message box. Tests install a hook that records
// the calls instead of showing anything.
#include <functional>
#include <string>

namespace qv {

using TMessageBoxHook = std::function<void(const std::string& text, const std::string& caption)>;

// Shows a modal box with the text, the caption and one OK button; with a hook
// installed, calls the hook instead. Must be called in the main thread.
void ShowMessageBox(const std::string& text, const std::string& caption);
// Replaces the hook and returns the previous one; a null hook restores the box.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);

} // namespace qv
