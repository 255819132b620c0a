// Vertex quads: the quad under construction, its shaping operations, and the
// batch that copies queued quads into the locked vertex buffer and draws up
// to 500 of them with one call.
#include <cmath>
#include <cstring>

#include "cvelmor.h"

using namespace vd3d;

namespace {

const char* const kFile = "cvelmor_gfx_vquad";

uint32_t DiffuseColor(float r, float g, float b, float a) {
    return D3DCOLOR_ARGB(V2DColorChannel(a), V2DColorChannel(r), V2DColorChannel(g), V2DColorChannel(b));
}

// With fog on, the specular alpha carries the fog amount.
uint32_t FogSpecular(const float factors[4]) {
    return D3DCOLOR_ARGB(V2DSpecularChannel(factors[3]), V2DSpecularChannel(factors[0]),
                         V2DSpecularChannel(factors[1]), V2DSpecularChannel(factors[2]));
}

void CheckVertexIndex(int index, uint32_t line) {
    if (index < 0 || index > 3)
        throw CEHSException(EHS_TYPE_GAME, 0, "Wrong vertex index: must be from 0 to 3", kFile, line);
}

}  // namespace

void CVelmor::VQuadSetPos(float x, float y, float w, float h, float z) {
    SetCheckpoint(117, __LINE__);
    V2DVERTEX* v = m_gfx.quad.vertices;
    v[0].x = x;
    v[0].y = y;
    v[1].x = x + w;
    v[1].y = y;
    v[2].x = x + w;
    v[2].y = y + h;
    v[3].x = x;
    v[3].y = y + h;
    for (int i = 0; i < 4; ++i) v[i].z = z;
    if (m_gfx.bFog) {
        m_gfx.fogFactors[3] = z;
        const uint32_t specular = FogSpecular(m_gfx.fogFactors);
        for (int i = 0; i < 4; ++i) v[i].specular = specular;
    }
}

void CVelmor::VQuadSetPosByVertex(int index, float x, float y, float z) {
    SetCheckpoint(117, __LINE__);
    CheckVertexIndex(index, __LINE__);
    V2DVERTEX& v = m_gfx.quad.vertices[index];
    v.x = x;
    v.y = y;
    v.z = z;
    if (m_gfx.bFog) {
        m_gfx.fogFactors[3] = z;
        v.specular = FogSpecular(m_gfx.fogFactors);
    }
}

void CVelmor::VQuadRotate(float cx, float cy, float degrees) {
    SetCheckpoint(117, __LINE__);
    const float angle = degrees * 0.017453292f;
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    for (V2DVERTEX& v : m_gfx.quad.vertices) {
        const float dx = v.x - cx;
        const float dy = v.y - cy;
        v.x = dx * c - dy * s + cx;
        v.y = dy * c + dx * s + cy;
    }
}

void CVelmor::VQuadScale(float cx, float cy, float factor) {
    SetCheckpoint(117, __LINE__);
    for (V2DVERTEX& v : m_gfx.quad.vertices) {
        v.x = (v.x - cx) * factor + cx;
        v.y = (v.y - cy) * factor + cy;
    }
}

// With fog on, a move carries each vertex's new depth into its fog amount,
// as setting the position does.
void CVelmor::VQuadMove(float dx, float dy, float dz) {
    SetCheckpoint(117, __LINE__);
    for (V2DVERTEX& v : m_gfx.quad.vertices) {
        v.x += dx;
        v.y += dy;
        v.z += dz;
        if (m_gfx.bFog) {
            m_gfx.fogFactors[3] = v.z;
            v.specular = FogSpecular(m_gfx.fogFactors);
        }
    }
}

void CVelmor::VQuadSetColor(float r, float g, float b, float a) {
    SetCheckpoint(117, __LINE__);
    const uint32_t diffuse = DiffuseColor(r, g, b, a);
    for (int i = 0; i < 4; ++i) {
        m_gfx.quad.vertices[i].diffuse = diffuse;
        m_gfx.quad.alpha[i] = a;
    }
}

void CVelmor::VQuadSetColorByVertex(int index, float r, float g, float b, float a) {
    SetCheckpoint(117, __LINE__);
    CheckVertexIndex(index, __LINE__);
    m_gfx.quad.vertices[index].diffuse = DiffuseColor(r, g, b, a);
    m_gfx.quad.alpha[index] = a;
}

void CVelmor::VQuadSetTexCoords(int set, float left, float top, float right, float bottom) {
    SetCheckpoint(117, __LINE__);
    if (set != 1 && set != 2)
        throw CEHSException(EHS_TYPE_GAME, 0, "Wrong texture coordinates set number: must be 1 or 2", kFile, __LINE__);
    const float u[4] = {left, right, right, left};
    const float v[4] = {top, top, bottom, bottom};
    V2DVERTEX* vertices = m_gfx.quad.vertices;
    if (set == 1) {
        for (int i = 0; i < 4; ++i) {
            vertices[i].tu1 = u[i];
            vertices[i].tv1 = v[i];
        }
    } else {
        for (int i = 0; i < 4; ++i) {
            vertices[i].tu2 = u[i];
            vertices[i].tv2 = v[i];
        }
    }
}

void CVelmor::VQuadRender() {
    SetCheckpoint(117, __LINE__);
    if (!m_gfx.pLockedVertices) return;  // outside a scene
    V2DVERTEX* vertices = m_gfx.quad.vertices;
    for (int i = 0; i < 4; ++i) {
        // Direct3D samples pixel centres on whole coordinates: the shift
        // puts texels on pixels.
        vertices[i].x -= 0.5f;
        vertices[i].y -= 0.5f;
    }
    // One fixed-size copy of the whole quad straight into the locked batch.
    std::memcpy(m_gfx.pLockedVertices + m_gfx.dwQueuedQuads * 4, vertices, sizeof(m_gfx.quad.vertices));
    if (++m_gfx.dwQueuedQuads == V2D_QUADS_PER_BATCH) FlushBatch();
}

void CVelmor::BeginBatch() {
    SetCheckpoint(117, __LINE__);
    m_gfx.dwQueuedQuads = 0;
    GfxLockVertices(__LINE__);
    if (FAILED(m_pD3DDevice->SetStreamSource(0, m_gfx.pVertexBuffer, sizeof(V2DVERTEX))))
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot set stream source!", kFile, __LINE__);
}

void CVelmor::FlushBatch() {
    SetCheckpoint(117, __LINE__);
    if (m_gfx.dwQueuedQuads == 0 || !m_gfx.pLockedVertices) return;
    GfxUnlockVertices(__LINE__);
    GfxDrawQueuedQuads();
    GfxLockVertices(__LINE__);
}

void CVelmor::EndBatch() {
    SetCheckpoint(117, __LINE__);
    if (m_gfx.pLockedVertices) GfxUnlockVertices(__LINE__);
    if (m_gfx.dwQueuedQuads > 0) GfxDrawQueuedQuads();
    m_gfx.dwQueuedQuads = 0;
}

void CVelmor::GfxLockVertices(uint32_t line) {
    uint8_t* bytes = nullptr;
    if (!m_gfx.pVertexBuffer || FAILED(m_gfx.pVertexBuffer->Lock(0, 0, &bytes, D3DLOCK_DISCARD)))
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot lock vertex buffer!", kFile, line);
    m_gfx.pLockedVertices = reinterpret_cast<V2DVERTEX*>(bytes);
}

void CVelmor::GfxUnlockVertices(uint32_t line) {
    m_gfx.pLockedVertices = nullptr;
    if (FAILED(m_gfx.pVertexBuffer->Unlock()))
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Cannot unlock vertex buffer!", kFile, line);
}

void CVelmor::GfxDrawQueuedQuads() {
    const uint32_t quads = m_gfx.dwQueuedQuads;
    m_pD3DDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, quads * 4, 0, quads * 2);
    m_gfx.dwQueuedQuads = 0;
}
