// The board: a grid of numbered tiles dealt at random, clicked in order,
// removed as they are clicked and drawn with their numbers.
#pragma once

#include <cstdint>

#include "cvelmor_ehs.h"
#include "cvelmor_utils_cxmlvar.h"

// A bounds-checked two-dimensional array. Reads outside the bounds give
// OutOfBounds; writes there are lost. Using it before it has rows raises the
// text error (CV2DFatalText) "Error in T2DSafeArray<T, tOutOfBoundsValue>::At".
template <typename T, T tOutOfBoundsValue>
class T2DSafeArray {
public:
    T2DSafeArray() = default;
    ~T2DSafeArray() { Release(); }
    T2DSafeArray(const T2DSafeArray&) = delete;
    T2DSafeArray& operator=(const T2DSafeArray&) = delete;

    void Allocate(int32_t fp_iDim1, int32_t fp_iDim2) {
        Release();
        m_ppRows = new T*[static_cast<size_t>(fp_iDim1)];
        for (int32_t i = 0; i < fp_iDim1; ++i) m_ppRows[i] = new T[static_cast<size_t>(fp_iDim2)]();
        m_iDim1 = fp_iDim1;
        m_iDim2 = fp_iDim2;
    }
    void Release() {
        if (m_ppRows != nullptr) {
            for (int32_t i = 0; i < m_iDim1; ++i) delete[] m_ppRows[i];
            delete[] m_ppRows;
        }
        m_ppRows = nullptr;
        m_iDim1 = 0;
        m_iDim2 = 0;
    }
    bool HasRows() const { return m_ppRows != nullptr; }
    int32_t GetDim1() const { return m_iDim1; }
    int32_t GetDim2() const { return m_iDim2; }

    T& At(int32_t i, int32_t j) {
        if (m_ppRows == nullptr) throw CV2DFatalText("Error in T2DSafeArray<T, tOutOfBoundsValue>::At");
        m_OutOfBounds = tOutOfBoundsValue;
        if (i < 0 || j < 0 || i >= m_iDim1 || j >= m_iDim2) return m_OutOfBounds;
        return m_ppRows[i][j];
    }

private:
    int32_t m_iDim1 = 0;
    int32_t m_iDim2 = 0;
    T m_OutOfBounds = tOutOfBoundsValue;
    T** m_ppRows = nullptr;
};

enum QBTileState {
    TILE_ON_BOARD = 101,
    TILE_CLICKED = 102,
};

class CGameElement {
public:
    // Refuses a place left of or above the board, a number outside 1..N and a
    // colour type outside 1..3.
    CGameElement(float fp_fX, float fp_fY, int32_t fp_iNumber, int32_t fp_iType);
    ~CGameElement();

    void Redraw();
    bool IsRemoved() const { return m_iState == TILE_CLICKED; }
    void MarkClicked() { m_iState = TILE_CLICKED; }

    float GetX() const { return m_fX; }
    float GetY() const { return m_fY; }
    int32_t GetNumber() const { return m_iNumber; }
    int32_t GetType() const { return m_iType; }
    int32_t GetState() const { return m_iState; }

private:
    float m_fX;
    float m_fY;
    int32_t m_iNumber;
    int32_t m_iState;
    int32_t m_iType;
};

// The board's settings from the game's XML data.
extern CXMLVarInt g_xvGameID;
extern CXMLVarInt g_xvSizeX;
extern CXMLVarInt g_xvSizeY;

// The board geometry: the top-left cell's screen rectangle.
struct QBBOARDGEOMETRY {
    float fOriginX = 0.0f;
    float fOriginY = 0.0f;
    float fCellWidth = 0.0f;
    float fCellHeight = 0.0f;
};
extern QBBOARDGEOMETRY g_BoardGeometry;

// The board's cells, by column and row; null when empty.
typedef T2DSafeArray<CGameElement*, nullptr> QBBOARD;
extern QBBOARD g_Board;
extern uint8_t g_bBoardActive;  // 0 until the first round is dealt
extern int32_t g_iTotalCells;
extern int32_t g_iNextWanted;

void NewBoard();
void ClearBoard();
void HandleMouse();
void BoardUpdate();
void BoardRedraw();
bool IsSolved();
