// The device protocol shared by the SDL and the headless input systems:
// reference counting, data format, cooperative level, acquisition and the
// snapshot read. A system supplies only where input comes from and whether
// the game window lets a device have it.
#pragma once

#include "dinput.h"
#include "input_latch.h"

namespace platform {

template <typename Interface>
class RefCounted : public Interface {
public:
    uint32_t AddRef() override { return ++m_refs; }
    uint32_t Release() override {
        const uint32_t left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

private:
    uint32_t m_refs = 1;
};

class DeviceBase : public RefCounted<vdinput::IDirectInputDevice8> {
public:
    // The latch is the system's and outlives the device.
    DeviceBase(vdinput::DeviceGuid guid, InputLatch& latch) : m_guid(guid), m_latch(latch) {}

    vdinput::HRESULT SetDataFormat(const vdinput::DIDATAFORMAT* format) override;
    vdinput::HRESULT SetCooperativeLevel(GameWindow* window, uint32_t flags) override;
    vdinput::HRESULT Acquire() override;
    vdinput::HRESULT Unacquire() override;
    vdinput::HRESULT GetDeviceState(uint32_t size, void* data) override;
    vdinput::HRESULT GetTypedText(std::string& text) override;

protected:
    // DI_OK when the device may be acquired now, else the refusal.
    virtual vdinput::HRESULT CanAcquire() = 0;
    // DI_OK while an acquired device still has its input, else the failure
    // the read reports; DIERR_INPUTLOST also unacquires the device.
    virtual vdinput::HRESULT CheckInput() = 0;

    bool Foreground() const { return (m_cooperativeFlags & vdinput::DISCL_FOREGROUND) != 0; }

private:
    const vdinput::DIDATAFORMAT& ExpectedFormat() const;

    vdinput::DeviceGuid m_guid;
    InputLatch& m_latch;
    const vdinput::DIDATAFORMAT* m_format = nullptr;
    uint32_t m_cooperativeFlags = vdinput::DISCL_NONEXCLUSIVE | vdinput::DISCL_BACKGROUND;
    bool m_acquired = false;
    std::string m_typed;  // what came with the last snapshot
};

}  // namespace platform
