#include "input_headless.h"

#include "dinput_device.h"

namespace platform {

namespace {

using namespace vdinput;

HRESULT NextAnswer(std::deque<HRESULT>& answers) {
    if (answers.empty()) return DI_OK;
    const HRESULT hr = answers.front();
    answers.pop_front();
    return hr;
}

class HeadlessDevice final : public DeviceBase {
public:
    HeadlessDevice(DeviceGuid guid, InputLatch& latch, HeadlessInputSystem::DeviceScript& script)
        : DeviceBase(guid, latch), m_script(script) {
        m_script.exists = true;
    }
    ~HeadlessDevice() override { m_script.exists = false; }

    HRESULT Acquire() override {
        if (m_script.inputLost) {
            m_script.inputLost = false;
            Unacquire();
        }
        return DeviceBase::Acquire();
    }

    HRESULT SetDataFormat(const DIDATAFORMAT* format) override {
        if (Failed(m_script.dataFormatResult)) return m_script.dataFormatResult;
        return DeviceBase::SetDataFormat(format);
    }

    HRESULT SetCooperativeLevel(GameWindow* window, uint32_t flags) override {
        if (Failed(m_script.cooperativeResult)) return m_script.cooperativeResult;
        const HRESULT hr = DeviceBase::SetCooperativeLevel(window, flags);
        if (!Failed(hr)) {
            m_script.cooperativeWindow = window;
            m_script.cooperativeFlags = flags;
        }
        return hr;
    }

protected:
    HRESULT CanAcquire() override {
        ++m_script.acquireAttempts;
        return NextAnswer(m_script.acquireResults);
    }
    HRESULT CheckInput() override {
        ++m_script.reads;
        if (m_script.inputLost) {
            m_script.inputLost = false;
            return DIERR_INPUTLOST;
        }
        return NextAnswer(m_script.readResults);
    }

private:
    HeadlessInputSystem::DeviceScript& m_script;
};

class HeadlessDirectInput final : public RefCounted<IDirectInput8> {
public:
    explicit HeadlessDirectInput(HeadlessInputSystem& system) : m_system(system) {}

    HRESULT CreateDevice(DeviceGuid guid, IDirectInputDevice8** device) override {
        if (!device) return DIERR_INVALIDPARAM;
        *device = nullptr;
        HeadlessInputSystem::DeviceScript& script = guid == GUID_SysKeyboard ? m_system.keyboard : m_system.mouse;
        if (Failed(script.createResult)) return script.createResult;
        if (!script.createNull) *device = new HeadlessDevice(guid, m_system.latch, script);
        return DI_OK;
    }

private:
    HeadlessInputSystem& m_system;
};

}  // namespace

HRESULT HeadlessInputSystem::CreateDirectInput(IDirectInput8** out) {
    if (Failed(createResult)) return createResult;
    if (!createNull) *out = new HeadlessDirectInput(*this);
    return DI_OK;
}

bool HeadlessInputSystem::GetCursorPos(int32_t& x, int32_t& y) {
    if (!cursorReadable) return false;
    x = cursorX;
    y = cursorY;
    return true;
}

void HeadlessInputSystem::GetClientSize(int32_t& width, int32_t& height) {
    width = clientWidth;
    height = clientHeight;
}

void HeadlessInputSystem::ShowCursor(bool show) {
    cursorShown = show;
    ++(show ? cursorShows : cursorHides);
}

HeadlessInputSystem& InstallHeadlessInputSystem() {
    auto system = std::make_unique<HeadlessInputSystem>();
    HeadlessInputSystem& ref = *system;
    SetInputSystem(std::move(system));
    return ref;
}

}  // namespace platform
