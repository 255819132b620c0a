#include "engineroutine.h"
#include "vlm_window.h"

int main() { return VelmorEntryPoint(GameMain); }
