// State of the lit spin scene, shared with its tests.
#ifndef TILVOGL_DEMOS_SPINLIT_H
#define TILVOGL_DEMOS_SPINLIT_H

extern float spinSpeed;  // degrees per logic tick; 0 stops the spin

// Display list holding the drawn blocks.
#define MAP_LIST 1

#endif
