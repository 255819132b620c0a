#include "cgame_element.h"

#include <string>

#include "cvelmor.h"
#include "cvelmor_rand.h"
#include "engineroutine.h"
#include "gameinit_routine.h"
#include "v2dgui_cvelmorgui_main.h"

namespace {
const char* const kFile = "cgame_element";

CXMLVarFloat g_xvColor1R("color1r", 0.0f), g_xvColor1G("color1g", 0.0f), g_xvColor1B("color1b", 0.0f);
CXMLVarFloat g_xvColor2R("color2r", 0.0f), g_xvColor2G("color2g", 0.0f), g_xvColor2B("color2b", 0.0f);
CXMLVarFloat g_xvColor3R("color3r", 0.0f), g_xvColor3G("color3g", 0.0f), g_xvColor3B("color3b", 0.0f);
}  // namespace

CXMLVarInt g_xvGameID("qbgameid", 0);
CXMLVarInt g_xvSizeX("sizex", 0);
CXMLVarInt g_xvSizeY("sizey", 0);

QBBOARDGEOMETRY g_BoardGeometry;
QBBOARD g_Board;
uint8_t g_bBoardActive = 0;
int32_t g_iTotalCells = 0;
int32_t g_iNextWanted = 1;

CGameElement::CGameElement(float fp_fX, float fp_fY, int32_t fp_iNumber, int32_t fp_iType) {
    SetCheckpoint(1011, __LINE__);
    if (fp_fX < g_BoardGeometry.fOriginX || fp_fY < g_BoardGeometry.fOriginY)
        throw CEHSException(EHS_TYPE_GAME, 0, "Error in CGameElement::CGameElement: invalid element coords!", kFile, 79);
    if (fp_iNumber < 1 || fp_iNumber > g_iTotalCells)
        throw CEHSException(EHS_TYPE_GAME, 0, "Error in CGameElement::CGameElement: invalid element number!", kFile, 82);
    if (fp_iType < 1 || fp_iType > 3)
        throw CEHSException(EHS_TYPE_GAME, 0, "Error in CGameElement::CGameElement: invalid element type!", kFile, 85);
    m_fX = fp_fX;
    m_fY = fp_fY;
    m_iNumber = fp_iNumber;
    m_iType = fp_iType;
    m_iState = TILE_ON_BOARD;
}

CGameElement::~CGameElement() { SetCheckpoint(1011, __LINE__); }

void CGameElement::Redraw() {
    SetCheckpoint(1011, __LINE__);
    float r = 0.0f, g = 0.0f, b = 0.0f;
    switch (m_iType) {
    case 1:
        r = g_xvColor1R.GetValue(), g = g_xvColor1G.GetValue(), b = g_xvColor1B.GetValue();
        break;
    case 2:
        r = g_xvColor2R.GetValue(), g = g_xvColor2G.GetValue(), b = g_xvColor2B.GetValue();
        break;
    case 3:
        r = g_xvColor3R.GetValue(), g = g_xvColor3G.GetValue(), b = g_xvColor3B.GetValue();
        break;
    default:
        throw CEHSException(EHS_TYPE_GAME, 0, "Error in CGameElement::Redraw: invalid element type!", kFile, 151);
    }
    const float cellWidth = g_BoardGeometry.fCellWidth, cellHeight = g_BoardGeometry.fCellHeight;
    g_pV2D->VQuadSetColor(r, g, b, 1.0f);
    g_pV2D->VQuadSetPos(m_fX, m_fY, cellWidth, cellHeight, 0.5f);
    g_pV2D->VQuadSetTexCoords(1, 0.0f, 0.0f, 1.0f, 1.0f);
    g_pV2D->SetTexture(g_sidTile, 0);
    g_pV2D->ApplyTechnique(g_sidStd2);
    g_pV2D->SceneRender();

    const std::string text = std::to_string(m_iNumber);
    const float tx = m_fX + cellWidth * (m_iNumber >= 1 && m_iNumber <= 9 ? 0.38461539f : 0.23255813f);
    const float ty = m_fY + cellHeight * 0.29411763f;
    g_pV2D->SetCurrentFont(g_sidFont1);
    g_pV2D->DrawTextEx(text.c_str(), tx, ty, 0, 0, 1.0f, true, 0.8f, 0.0f, 0.0f);
}

namespace {

// Tiles are owned by their cells.
void DeleteTiles() {
    for (int32_t i = 0; i < g_Board.GetDim1(); ++i) {
        for (int32_t j = 0; j < g_Board.GetDim2(); ++j) {
            delete g_Board.At(i, j);
            g_Board.At(i, j) = nullptr;
        }
    }
}

}  // namespace

void NewBoard() {
    SetCheckpoint(1013, __LINE__);
    // A board dealt over another one takes the old tiles away with its rows.
    DeleteTiles();
    const int32_t w = g_xvSizeX.GetValue(), h = g_xvSizeY.GetValue();
    if (w >= 1 && h >= 1) g_Board.Allocate(w, h);
    for (int32_t i = 0; i < w; ++i)
        for (int32_t j = 0; j < h; ++j) g_Board.At(i, j) = nullptr;
    g_iTotalCells = w * h;
    const int32_t third = static_cast<int32_t>(static_cast<float>(g_iTotalCells) * 0.33333334f);
    for (int32_t n = 1; n <= g_iTotalCells; ++n) {
        const int32_t type = n <= third ? 1 : (n <= 2 * third ? 2 : 3);
        int32_t i = 0, j = 0;
        do {
            i = V2DRand() % w;
            j = V2DRand() % h;
        } while (g_Board.At(i, j) != nullptr);
        const float x = static_cast<float>(i) * g_BoardGeometry.fCellWidth + g_BoardGeometry.fOriginX;
        const float y = static_cast<float>(j) * g_BoardGeometry.fCellHeight + g_BoardGeometry.fOriginY;
        g_Board.At(i, j) = new CGameElement(x, y, n, type);
    }
    g_iNextWanted = 1;
    g_bBoardActive = 1;
    g_fElapsedTime = 0.0f;
    g_iGameState = GAMESTATE_PLAYING;
    g_pGUIManager->SetElementParam("TILE_MW_TIME", 6, CGUIValue(true));
}

void ClearBoard() {
    SetCheckpoint(1023, __LINE__);
    if (g_bBoardActive == 1) DeleteTiles();
}

void HandleMouse() {
    SetCheckpoint(1017, __LINE__);
    int32_t x = 0, y = 0;
    g_pV2D->MouseGetCursorPos(x, y);
    g_fCursorX = static_cast<float>(x);
    g_fCursorY = static_cast<float>(y);
    if (!g_pV2D->MouseIsKeyClicked(1) || g_bBoardActive != 1) return;
    if (g_iGameState == GAMESTATE_DIALOG || g_iGameState == GAMESTATE_NO_ROUND) return;
    const float col = (g_fCursorX - g_BoardGeometry.fOriginX) / g_BoardGeometry.fCellWidth;
    const float row = (g_fCursorY - g_BoardGeometry.fOriginY) / g_BoardGeometry.fCellHeight;
    if (!(col >= 0.0f && col < static_cast<float>(g_xvSizeX.GetValue()))) return;
    if (!(row >= 0.0f && row < static_cast<float>(g_xvSizeY.GetValue()))) return;
    CGameElement* tile = g_Board.At(static_cast<int32_t>(col), static_cast<int32_t>(row));
    if (tile == nullptr || tile->GetNumber() != g_iNextWanted) return;
    tile->MarkClicked();
    ++g_iNextWanted;
    g_pV2D->SoundPlay(g_sidPieceMove, false, -1, -1, -101);
}

void BoardUpdate() {
    SetCheckpoint(1011, __LINE__);
    if (g_iGameState == GAMESTATE_DIALOG || g_iGameState == GAMESTATE_NO_ROUND) return;
    for (int32_t i = 0; i < g_Board.GetDim1(); ++i) {
        for (int32_t j = 0; j < g_Board.GetDim2(); ++j) {
            CGameElement*& cell = g_Board.At(i, j);
            if (cell != nullptr && cell->IsRemoved()) {
                delete cell;
                cell = nullptr;
            }
        }
    }
}

void BoardRedraw() {
    SetCheckpoint(1011, __LINE__);
    if (g_iGameState == GAMESTATE_NO_ROUND || g_bBoardActive != 1) return;
    for (int32_t i = 0; i < g_Board.GetDim1(); ++i)
        for (int32_t j = 0; j < g_Board.GetDim2(); ++j)
            if (CGameElement* tile = g_Board.At(i, j)) tile->Redraw();
}

bool IsSolved() {
    SetCheckpoint(1025, __LINE__);
    return g_iNextWanted > g_iTotalCells;
}
