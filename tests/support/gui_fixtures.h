// Helpers for GUI tests: an engine on the recording device with input,
// sound (offline), resources and scripts started as the game starts them,
// a GUI manager, frames driven by the test's clock, and GUI data loaded
// from text.
#pragma once


#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cvelmor.h"
#include "cxmlparser.h"
#include "d3d8_recording.h"
#include "gfx_fixtures.h"
#include "test_support.h"
#include "v2dgui_cvelmorgui_main.h"

namespace guitest {

using testsupport::Raised;

// One drawn quad, read back from its four vertices (top left, clockwise).
struct DrawnQuad {
    float x, y, w, h;              // screen pixels
    float left, top, right, bottom;  // texture coordinate set 1
    uint32_t color;                // ARGB of the top-left vertex
};

inline std::vector<DrawnQuad> QuadsOf(const std::vector<V2DVERTEX>& vertices) {
    std::vector<DrawnQuad> quads;
    for (size_t i = 0; i + 3 < vertices.size(); i += 4) {
        const V2DVERTEX& tl = vertices[i];
        const V2DVERTEX& br = vertices[i + 2];
        quads.push_back({tl.x + 0.5f, tl.y + 0.5f, br.x - tl.x, br.y - tl.y, tl.tu1, tl.tv1, br.tu1, br.tv1,
                         tl.diffuse});
    }
    return quads;
}

class GuiTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        g_bWindowActive = 1;
        system->SetMilliseconds(10000);
        engine = std::make_unique<CVelmor>();
        engine->ResourcesInit();
        engine->GfxPreinit(800, 600);
        engine->GfxInit(2, false);
        engine->InputInit();
        engine->SoundInit(44100);
        engine->ScriptsInit();
        gui = std::make_unique<CVelmorGUI>();
    }
    void TearDown() override {
        gui.reset();
        engine.reset();
        EngineTest::TearDown();
    }

    // One frame of the main loop with the GUI's update: `ms` of clock pass
    // first (the frame time the elements see).
    void Frame(uint32_t ms = 20) {
        system->AdvanceMilliseconds(ms);
        ASSERT_EQ(engine->UpdateAllSystems(), 1);
        gui->Update();
    }
    // Frames of `ms` each until at least `seconds` have passed.
    void Run(float seconds, uint32_t ms = 20) {
        for (float t = 0.0f; t < seconds - 1e-4f; t += static_cast<float>(ms) * 0.001f) Frame(ms);
    }
    // The GUI drawn inside a scene; the quads it queued, in order.
    std::vector<DrawnQuad> DrawFrame() {
        Device().ClearRecords();
        engine->SceneBegin();
        gui->Draw();
        engine->SceneEnd();
        std::vector<V2DVERTEX> vertices;
        for (const vd3d::RecordedDraw& draw : Device().draws) {
            const std::vector<V2DVERTEX> some = gfxtest::Vertices(draw);
            vertices.insert(vertices.end(), some.begin(), some.end());
        }
        return QuadsOf(vertices);
    }

    void LoadGUI(const std::string& xml) {
        CXMLDocument document;
        document.LoadFromBuffer(xml.data(), xml.size(), false);
        document.Parse();
        LoadGUIData(document.GetRoot());
    }
    // Writes a loose-file data folder (descriptor plus files) and rescans it.
    void WriteData(const std::string& descriptor, const std::vector<std::pair<std::string, std::string>>& files) {
        std::error_code ec;
        std::filesystem::create_directories("DATA/gui", ec);
        testsupport::WriteFile("DATA/res.xml", descriptor);
        for (const auto& file : files) testsupport::WriteFile("DATA/" + file.first, file.second);
        gui.reset();
        engine->ResourcesDeinit();
        engine->ResourcesInit();
        gui = std::make_unique<CVelmorGUI>();
    }

    void MoveCursor(int32_t x, int32_t y) {
        input->MoveMouse(x - input->cursorX, y - input->cursorY);
        input->cursorX = x;
        input->cursorY = y;
    }
    void SetCursor(int32_t x, int32_t y) {
        input->cursorX = x;
        input->cursorY = y;
    }

    CGUIElement& Element(const std::string& id) {
        CGUIElement* element = gui->GetElement(gui->GetElementID(id));
        if (element == nullptr) throw std::runtime_error("no element " + id);
        return *element;
    }
    vd3d::RecordingDevice& Device() { return *vd3d::RecordingDevice::Of(engine->m_pD3DDevice); }

    std::unique_ptr<CVelmor> engine;
    std::unique_ptr<CVelmorGUI> gui;
};

}  // namespace guitest
