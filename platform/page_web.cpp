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

EM_ASYNC_JS(int, TakePageLockInPage, (const char* name), {
    if (!navigator.locks) return 1;
    return await new Promise(resolve => {
        navigator.locks.request(UTF8ToString(name), {ifAvailable: true}, lock => {
            resolve(lock ? 1 : 0);
            // Held while the page lives.
            return lock ? new Promise(() => {}) : undefined;
        });
    });
});

}  // namespace

void WaitForAnimationFrame() { WaitForAnimationFrameInPage(); }

void PersistPlayerFiles() { PersistPlayerFilesInPage(); }

void ShowPageMessage(const std::string& caption, const std::string& text) {
    ShowPageMessageInPage(caption.c_str(), text.c_str());
}

bool TakePageLock(const std::string& name) { return TakePageLockInPage(name.c_str()) != 0; }

}  // namespace platform
