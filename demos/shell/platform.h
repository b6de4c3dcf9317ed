// The two services a demo needs from its platform: a millisecond counter and
// a yes/no question. Tests link their own definitions to script both.
#ifndef TILVOGL_DEMOS_PLATFORM_H
#define TILVOGL_DEMOS_PLATFORM_H

#include <stdint.h>

// Milliseconds from a fixed but arbitrary origin, rising steadily; wraps to
// 0 after 2^32 ms. Only differences of its values mean anything.
uint32_t platformTickCount(void);

// Shows a modal window with the caption and the question and Yes/No
// buttons, waits for an answer and removes the window again. Returns 1 for
// yes, 0 for no. GLUT must be initialised.
int platformAskYesNo(const char *caption, const char *question);

#endif
