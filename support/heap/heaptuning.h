// Heap settings for programs that draw frame after frame with Mesa's software
// renderer, shared by the demo programs, fmaprender and fmapview.
#ifndef TILVOGL_SUPPORT_HEAPTUNING_H
#define TILVOGL_SUPPORT_HEAPTUNING_H

// Keeps the renderer's large per-frame buffers in the heap between frames.
// With glibc's default thresholds they are handed back to the kernel after
// every frame and faulted in again on the next, which makes frame times
// jump. Call once at start-up, before anything is drawn. Does nothing where
// the C library is not glibc.
void tuneHeapForSteadyFrames(void);

#endif
