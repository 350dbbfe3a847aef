// The one message box of the runtime. Every box the user may see goes through
// showDialog, so that tests and headless runs never block on one.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace trelm {

enum class DialogIcon { None, Info, Warning, Error };

struct DialogRequest {
    std::string_view text;
    std::string_view caption;
    DialogIcon icon = DialogIcon::None;
    bool okCancel = false;  // OK and Cancel buttons; otherwise OK only
};

// Shows the box and waits for the user; true when OK was chosen. Without a
// display, or with TRELM_DIALOGS=stderr in the environment, writes one line
// ("caption: text", or just the text without caption) to stderr and answers OK.
bool showDialog(const DialogRequest& request);

// A set responder answers every dialog instead of the user (tests use it to
// choose Cancel and to see what was asked). An empty function removes it.
void setDialogResponder(std::function<bool(const DialogRequest&)> responder);

// Texts of the language are bytes in the program's own 8-bit code page; the
// windowing system wants UTF-8. Valid UTF-8 passes unchanged, anything else is
// read as Windows-1252.
std::string toDisplayText(std::string_view text);

}  // namespace trelm
