// Key numbers of the keyboard commands: the PC keyboard's set-1 scan code of a
// key (1..127), plus 128 for the keys that send the extended prefix. Programs
// hard-code these numbers (Escape 1, A 30, right Ctrl 157, cursor up 200).
#pragma once

namespace trelm {

// The key number of an SDL scan code (an SDL_Scancode value), or 0 for keys
// that have none.
int keyNumberForScancode(int sdlScancode);

}  // namespace trelm
