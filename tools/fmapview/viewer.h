// The window viewer's state in one place, and the jobs that share it:
// watching and reloading the file (watch.cpp), the info line and help
// (cellinfo.cpp), the 3D view (blocks3d.cpp), saving the window
// (saving.cpp), GLUT's keys and mouse handed to the session (input.cpp);
// main.cpp runs the frames.
#ifndef TILVOGL_TOOLS_FMAPVIEW_VIEWER_H
#define TILVOGL_TOOLS_FMAPVIEW_VIEWER_H

#include <sys/types.h> // dev_t, ino_t, off_t

#include <algorithm>
#include <string>
#include <vector>

#include "session.h" // Session

namespace fmapview {

const int firstTexture = 10; // names below it are the viewer's own
const int bandHeight = 20;   // the info line at the bottom of the window
const int watchMilliseconds = 100;
const float background[3] = {0.12f, 0.12f, 0.15f};

// One version of a file on disk: a change to any part means it was written.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long mtimeSeconds = 0, mtimeNanoseconds = 0;
    bool operator==(const FileStamp& o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size
               && mtimeSeconds == o.mtimeSeconds && mtimeNanoseconds == o.mtimeNanoseconds;
    }
};

// The session (session.h: the map, the view, keys, ticks, title and info
// line) and what only the window viewer has: the file it watches, the
// textures it defines and the renderer the context allows.
struct Viewer : Session {
    std::string mapPath;
    FileStamp loadedStamp;
    int lastWatch = 0;
    int texturesDefined = 0; // names firstTexture.. that may hold a texture
    // The pictures come from the shader renderer where the context offers
    // OpenGL 3.3 (unless --fixed-function), from the fixed-function path
    // otherwise, and from then on once a map does not upload. The context
    // is a compatibility one, so the overlays keep their fixed-function text.
    bool shaderRenderer = false;
    bool fixedFunctionOnly = false; // --fixed-function
    std::string contextVersion; // "4.5": the context's, when it offers 3.3
    std::string lastTitle;
};

// The one window's state, for GLUT's handlers (which take no argument).
Viewer& theViewer();

// watch.cpp
FileStamp stampOf(const std::string& path);
// Decodes the image into the library (and uploads it for the shader
// renderer), deleting the textures of graphics the new map no longer has.
bool decodeImage(const unsigned char* bytes, size_t size);
// Reads and decodes the file; on failure the last good map stays.
void reloadMap(Viewer& viewer);
// Reloads when the file changed since it was read; true when it did.
bool watchFile(Viewer& viewer, int now);

// cellinfo.cpp
bool cellUnderMouse(const Viewer& viewer, int& cellX, int& cellY);
void drawOverlays(Viewer& viewer);

// blocks3d.cpp
void setUpBlockLight();
void drawBlocks(Viewer& viewer);

// saving.cpp
std::string nextPicturePath(const std::string& mapPath);
void savePicture(Viewer& viewer);

// input.cpp
void installInputHandlers();

// main.cpp: running animations redraw continuously; while they are paused,
// only when something changes.
void redrawContinuously(bool on);
// After the shader renderer drew: its program and vertex array unbound, so
// fixed-function calls draw as before.
void endShaderDraws();
// "shader renderer, GL 4.5" or "fixed-function renderer", for the info line.
std::string rendererText(const Viewer& viewer);
// The texture name of one of the viewer's own textures (overviewTextureSlot,
// pictureTextureSlot): below firstTexture for the fixed-function path, whose
// map textures take the names from firstTexture on, and one the GL hands
// out for the shader renderer, whose objects' names the GL hands out too.
unsigned viewerTexture(int slot);

} // namespace fmapview

#endif
