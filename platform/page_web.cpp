// The browser side of the page: the functions the page's script (pre.js)
// puts on the module do the work; these calls reach them. Waits give the
// browser control through Asyncify and come back when it is done.
#include "page.h"

#include <emscripten.h>

namespace platform {

namespace {

EM_ASYNC_JS(void, WaitForAnimationFrameInPage, (), {
    await new Promise(resolve => requestAnimationFrame(resolve));
});

EM_JS(void, PersistPlayerFilesInPage, (), {
    if (Module.velmorPersist) Module.velmorPersist();
});

EM_JS(void, ShowPageMessageInPage, (const char* caption, const char* text), {
    const title = UTF8ToString(caption), body = UTF8ToString(text);
    console.error(title + ": " + body);
    if (Module.velmorShowMessage) Module.velmorShowMessage(title, body);
});

// A page being reloaded lets its lock go a moment after the new one asks:
// the new one waits for it a little.
EM_ASYNC_JS(int, TakePageLockInPage, (const char* name), {
    if (!navigator.locks) return 1;
    const gaveUp = new AbortController();
    const timer = setTimeout(() => gaveUp.abort(), 3000);
    return await new Promise(resolve => {
        navigator.locks.request(UTF8ToString(name), {signal: gaveUp.signal}, lock => {
            clearTimeout(timer);
            resolve(1);
            // Held while the page lives.
            return new Promise(() => {});
        }).catch(() => resolve(0));
    });
});

}  // namespace

void WaitForAnimationFrame() { WaitForAnimationFrameInPage(); }

void PersistPlayerFiles() { PersistPlayerFilesInPage(); }

void ShowPageMessage(const std::string& caption, const std::string& text) {
    ShowPageMessageInPage(caption.c_str(), text.c_str());
}

bool TakePageLock(const std::string& name) {
    if (TakePageLockInPage(name.c_str()) != 0) return true;
    ShowPageMessage("Already running", "A game of this site is open in another tab or window of this browser.");
    return false;
}

}  // namespace platform
