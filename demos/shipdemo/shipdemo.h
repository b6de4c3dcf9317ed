// State of the ship demo scene, shared with its tests.
#ifndef TILVOGL_DEMOS_SHIPDEMO_H
#define TILVOGL_DEMOS_SHIPDEMO_H

#include <stdint.h>

extern int32_t scrollPos;  // pixels from the map's top edge; the far layer uses half
extern float shipX;        // 0 to 10 across the map
extern float shipY;        // 0 to 10 along the map, smaller is further up
extern int keyIHeld;
extern int keyJHeld;
extern int keyKHeld;
extern int keyLHeld;
extern const float shipVertices[8][3];
extern const int32_t shipIndices[30];

void updateShip(void);
void keyboardUp(unsigned char key, int x, int y);

#endif
