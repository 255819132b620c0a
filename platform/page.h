// The web page the program runs in, when built for a browser: its display
// refresh, the browser's lasting storage for the player's files, and a place
// on the page for messages. Only the browser build has these.
#pragma once

#include <string>

namespace platform {

// Gives the browser control until its next animation frame, when what was
// drawn is shown. While the page is hidden there is none, so the program
// waits until it shows again.
void WaitForAnimationFrame();

// Stores the player's folder in the browser's lasting storage (IndexedDB)
// now, in the background; a store already running is followed by another.
void PersistPlayerFiles();

// Shows a message on the page, over the picture, and writes it to the
// browser's console; the program goes on at once.
void ShowPageMessage(const std::string& caption, const std::string& text);

// Takes the lock of this name, shared by the pages of one site in one
// browser, waiting a few seconds for a page that is closing to let it go;
// false, with a message on the page, when another page keeps it.
bool TakePageLock(const std::string& name);

}  // namespace platform
