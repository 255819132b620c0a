#include "gameinit_routine.h"

#include "cvelmor.h"
#include "engineroutine.h"

void GameModInit() {}

uint8_t GameFrame() {
    g_pV2D->SceneBegin();
    g_pV2D->SceneClearScreen(0.0f, 0.0f, 0.0f);
    g_pV2D->SceneEnd();
    g_pV2D->ScenePresent();
    return 1;
}
