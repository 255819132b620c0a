// Vertex quads and their batches on the recording 3-D device: what is drawn,
// when, with which vertices, and the shaping and colour operations.
#include <cmath>

#include "cvelmor.h"
#include "test_support.h"

using namespace vd3d;

using testsupport::Raised;

namespace {

class VQuadTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        engine = std::make_unique<CVelmor>();
        engine->GfxPreinit(800, 600);
        engine->GfxInit(2, false);
        device = RecordingDevice::Of(engine->m_pD3DDevice);
        device->ClearRecords();
    }
    void TearDown() override {
        engine.reset();
        EngineTest::TearDown();
    }

    static const V2DVERTEX* Vertices(const RecordedDraw& draw) {
        return reinterpret_cast<const V2DVERTEX*>(draw.vertices.data());
    }
    const V2DVERTEX& Quad(int i) { return engine->m_gfx.quad.vertices[i]; }
    std::vector<std::string> CallNames() {
        std::vector<std::string> names;
        for (const RecordedCall& call : device->calls) names.push_back(call.name);
        return names;
    }

    std::unique_ptr<CVelmor> engine;
    RecordingDevice* device = nullptr;
};

TEST_F(VQuadTest, FiveHundredthQuadDrawsTheBatchAndTheNextStartsAFreshBuffer) {
    engine->SceneBegin();
    ASSERT_EQ(CallNames(), (std::vector<std::string>{"BeginScene", "VertexBuffer::Lock", "SetStreamSource"}));
    EXPECT_EQ(device->calls[1].argument, D3DLOCK_DISCARD);
    EXPECT_EQ(device->calls[2].argument, 40u) << "stride";
    device->ClearRecords();

    for (int i = 0; i < 499; ++i) {
        engine->VQuadSetPos(static_cast<float>(i), 0, 1, 1, 0.5f);
        engine->VQuadRender();
    }
    EXPECT_TRUE(device->calls.empty()) << "nothing reaches the device while the batch fills";
    engine->VQuadSetPos(499, 0, 1, 1, 0.5f);
    engine->VQuadRender();
    EXPECT_EQ(CallNames(),
              (std::vector<std::string>{"VertexBuffer::Unlock", "DrawIndexedPrimitive", "VertexBuffer::Lock"}));
    EXPECT_EQ(device->calls[2].argument, D3DLOCK_DISCARD);
    ASSERT_EQ(device->draws.size(), 1u);
    const RecordedDraw& full = device->draws[0];
    EXPECT_EQ(full.call.type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(full.call.minIndex, 0u);
    EXPECT_EQ(full.call.numVertices, 2000u);
    EXPECT_EQ(full.call.startIndex, 0u);
    EXPECT_EQ(full.call.primCount, 1000u);
    EXPECT_EQ(Vertices(full)[0].x, -0.5f);
    EXPECT_EQ(Vertices(full)[1999].x, 498.5f) << "bottom left of the 500th quad";
    EXPECT_EQ(engine->m_gfx.dwQueuedQuads, 0u);

    engine->VQuadSetPos(1000, 0, 1, 1, 0.5f);
    engine->VQuadRender();
    engine->SceneEnd();
    ASSERT_EQ(device->draws.size(), 2u);
    const RecordedDraw& rest = device->draws[1];
    EXPECT_EQ(rest.call.numVertices, 4u);
    EXPECT_EQ(rest.call.primCount, 2u);
    EXPECT_EQ(Vertices(rest)[0].x, 999.5f) << "the 501st quad opens the new buffer";
    EXPECT_EQ(CallNames().back(), "EndScene");
}

TEST_F(VQuadTest, QueuingTheSameQuadTwiceShiftsTheCopyHalfAPixel) {
    engine->SceneBegin();
    engine->VQuadSetColor(1, 1, 1, 1);
    engine->VQuadSetPos(10, 10, 100, 50, 0.5f);
    engine->VQuadRender();
    engine->VQuadRender();
    engine->SceneEnd();
    ASSERT_EQ(device->draws.size(), 1u);
    const V2DVERTEX* v = Vertices(device->draws[0]);
    EXPECT_EQ(v[0].x, 9.5f);
    EXPECT_EQ(v[0].y, 9.5f);
    EXPECT_EQ(v[2].x, 109.5f);
    EXPECT_EQ(v[2].y, 59.5f);
    EXPECT_EQ(v[4].x, 9.0f);
    EXPECT_EQ(v[4].y, 9.0f);
    EXPECT_EQ(v[6].x, 109.0f);
    EXPECT_EQ(Quad(0).x, 9.0f) << "the stored quad keeps the shift";
    EXPECT_EQ(device->draws[0].indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}));
    EXPECT_EQ(device->draws[0].stride, 40u);
    EXPECT_EQ(device->draws[0].vertexFormat, V2D_VERTEX_FORMAT);
}

TEST_F(VQuadTest, QuadsOutsideASceneAreDropped) {
    engine->VQuadSetPos(10, 10, 5, 5, 0.5f);
    engine->VQuadRender();
    EXPECT_EQ(Quad(0).x, 10.0f) << "a dropped quad is not shifted";
    engine->SceneBegin();
    engine->SceneEnd();
    EXPECT_TRUE(device->draws.empty());
    engine->VQuadRender();
    engine->SceneBegin();
    engine->SceneEnd();
    EXPECT_TRUE(device->draws.empty());
}

TEST_F(VQuadTest, FlushDrawsWhatIsQueuedWithTheStatesOfThatMoment) {
    engine->SceneBegin();
    engine->FlushBatch();
    EXPECT_TRUE(device->draws.empty()) << "an empty batch draws nothing";
    engine->VQuadSetPos(0, 0, 4, 4, 0.5f);
    engine->VQuadRender();
    engine->VQuadRender();
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x11223344u);
    engine->FlushBatch();
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x55667788u);
    engine->VQuadRender();
    engine->SceneEnd();
    ASSERT_EQ(device->draws.size(), 2u);
    EXPECT_EQ(device->draws[0].call.primCount, 4u);
    EXPECT_EQ(device->draws[0].renderStates[D3DRS_TEXTUREFACTOR], 0x11223344u);
    EXPECT_EQ(device->draws[1].call.primCount, 2u);
    EXPECT_EQ(device->draws[1].renderStates[D3DRS_TEXTUREFACTOR], 0x55667788u);
}

TEST_F(VQuadTest, TextureCoordinateSetMustBeOneOrTwo) {
    for (int set : {0, 3, -1}) {
        const CEHSException e = Raised([&] { engine->VQuadSetTexCoords(set, 0, 0, 1, 1); });
        EXPECT_EQ(e.GetDesc(), "Wrong texture coordinates set number: must be 1 or 2") << set;
        EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
        EXPECT_EQ(e.GetFile(), "cvelmor_gfx_vquad");
    }
    engine->VQuadSetTexCoords(1, 0.25f, 0.5f, 0.75f, 1.0f);
    engine->VQuadSetTexCoords(2, 0.0f, 0.1f, 0.2f, 0.3f);
    const float u1[4] = {0.25f, 0.75f, 0.75f, 0.25f}, v1[4] = {0.5f, 0.5f, 1.0f, 1.0f};
    const float u2[4] = {0.0f, 0.2f, 0.2f, 0.0f}, v2[4] = {0.1f, 0.1f, 0.3f, 0.3f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Quad(i).tu1, u1[i]);
        EXPECT_EQ(Quad(i).tv1, v1[i]);
        EXPECT_EQ(Quad(i).tu2, u2[i]);
        EXPECT_EQ(Quad(i).tv2, v2[i]);
    }
}

TEST_F(VQuadTest, VertexIndexOutsideTheQuadIsFatal) {
    for (int index : {-1, 4}) {
        EXPECT_EQ(Raised([&] { engine->VQuadSetPosByVertex(index, 0, 0, 0); }).GetDesc(),
                  "Wrong vertex index: must be from 0 to 3");
        EXPECT_EQ(Raised([&] { engine->VQuadSetColorByVertex(index, 0, 0, 0, 0); }).GetType(), EHS_TYPE_GAME);
    }
}

TEST_F(VQuadTest, ColoursBecomeTruncatedBytes) {
    engine->VQuadSetColor(1.0f, 0.5f, 0.25f, 0.75f);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Quad(i).diffuse, 0xBFFF7F3Fu);
        EXPECT_EQ(engine->m_gfx.quad.alpha[i], 0.75f);
    }
    engine->VQuadSetColorByVertex(2, 0.0f, 1.0f, 0.999f, 0.1f);
    EXPECT_EQ(Quad(2).diffuse, 0x1900FFFEu);
    EXPECT_EQ(Quad(1).diffuse, 0xBFFF7F3Fu);
    EXPECT_EQ(engine->m_gfx.quad.alpha[2], 0.1f);
    // Out of range values stay at the ends instead of wrapping round.
    engine->VQuadSetColor(1.5f, -0.2f, 2.0f, 1.0001f);
    EXPECT_EQ(Quad(0).diffuse, 0xFFFF00FFu);
}

TEST_F(VQuadTest, FogAmountGoesIntoTheSpecularAlphaOnlyWithFogOn) {
    for (V2DVERTEX& v : engine->m_gfx.quad.vertices) v.specular = 0x12345678u;
    engine->VQuadSetPos(0, 0, 10, 10, 0.25f);
    EXPECT_EQ(Quad(3).specular, 0x12345678u) << "fog off: depth only";
    EXPECT_EQ(Quad(3).z, 0.25f);

    engine->m_gfx.bFog = true;
    engine->VQuadSetPos(0, 0, 10, 10, 0.25f);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Quad(i).specular, 0x40FFFFFFu);  // 0.25 * 255 + 0.5
    engine->VQuadSetPosByVertex(1, 5, 5, 1.5f);
    EXPECT_EQ(Quad(1).specular, 0xFFFFFFFFu);
    EXPECT_EQ(Quad(0).specular, 0x40FFFFFFu);
    EXPECT_EQ(engine->m_gfx.fogFactors[3], 1.5f);
    // A move carries each vertex's new depth into its fog amount.
    engine->VQuadMove(1, 2, -0.25f);
    EXPECT_EQ(Quad(0).specular, 0x00FFFFFFu);
    EXPECT_EQ(Quad(1).specular, 0xFFFFFFFFu);
    EXPECT_EQ(Quad(0).x, 1.0f);
    EXPECT_EQ(Quad(0).y, 2.0f);
}

TEST_F(VQuadTest, RotateScaleAndMove) {
    engine->VQuadSetPos(10, 20, 4, 2, 0.5f);
    engine->VQuadRotate(10, 20, 90);
    // (14, 20) turns a quarter round (10, 20): y grows downwards.
    EXPECT_NEAR(Quad(1).x, 10.0f, 1e-4);
    EXPECT_NEAR(Quad(1).y, 24.0f, 1e-4);
    EXPECT_NEAR(Quad(3).x, 8.0f, 1e-4);
    EXPECT_NEAR(Quad(3).y, 20.0f, 1e-4);

    engine->VQuadSetPos(10, 20, 4, 2, 0.5f);
    engine->VQuadScale(12, 21, 2);
    EXPECT_EQ(Quad(0).x, 8.0f);
    EXPECT_EQ(Quad(0).y, 19.0f);
    EXPECT_EQ(Quad(2).x, 16.0f);
    EXPECT_EQ(Quad(2).y, 23.0f);

    engine->VQuadMove(-8, 1, 0.25f);
    EXPECT_EQ(Quad(0).x, 0.0f);
    EXPECT_EQ(Quad(0).y, 20.0f);
    EXPECT_EQ(Quad(0).z, 0.75f);
}

TEST_F(VQuadTest, ClearPresentAndTheFrontBuffer) {
    engine->SceneBegin();
    engine->SceneClearScreen(1.0f, 0.5f, 0.0f);
    engine->SceneEnd();
    ASSERT_EQ(device->CountCalls("Clear"), 1);
    const auto clear = std::find_if(device->calls.begin(), device->calls.end(),
                                    [](const RecordedCall& c) { return c.name == "Clear"; });
    EXPECT_EQ(clear->argument, 0xFFFF7F00u);
    EXPECT_EQ(device->frontBuffer[0], 0xFF000000u) << "not shown before Present";
    engine->ScenePresent();
    EXPECT_EQ(device->frontBuffer[0], 0xFFFF7F00u);
    EXPECT_EQ(device->frontBuffer[800 * 600 - 1], 0xFFFF7F00u);
}

TEST_F(VQuadTest, SceneNeedsTheDevice) {
    engine.reset();
    CVelmor bare;
    for (auto call : {+[](CVelmor& e) { e.SceneBegin(); }, +[](CVelmor& e) { e.SceneEnd(); },
                      +[](CVelmor& e) { e.SceneClearScreen(0, 0, 0); }, +[](CVelmor& e) { e.ScenePresent(); }}) {
        const CEHSException e = Raised([&] { call(bare); });
        EXPECT_EQ(e.GetDesc(), "D3DDevice object was not created!");
        EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
        EXPECT_EQ(e.GetFile(), "cvelmor_gfx_scene");
    }
}

TEST_F(VQuadTest, LockFailuresAreFatal) {
    d3d->failures = {{"VertexBuffer::Lock", D3DERR_INVALIDCALL}};
    CEHSException e = Raised([&] { engine->SceneBegin(); });
    EXPECT_EQ(e.GetDesc(), "Cannot lock vertex buffer!");
    EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(e.GetFile(), "cvelmor_gfx_vquad");
    engine->m_pD3DDevice->EndScene();

    d3d->failures = {{"SetStreamSource", D3DERR_INVALIDCALL}};
    EXPECT_EQ(Raised([&] { engine->SceneBegin(); }).GetDesc(), "Cannot set stream source!");
    engine->m_pD3DDevice->EndScene();
    engine->m_gfx.pVertexBuffer->Unlock();

    d3d->failures = {{"VertexBuffer::Unlock", D3DERR_INVALIDCALL}};
    engine->SceneBegin();
    engine->VQuadRender();
    EXPECT_EQ(Raised([&] { engine->FlushBatch(); }).GetDesc(), "Cannot unlock vertex buffer!");
}

}  // namespace
