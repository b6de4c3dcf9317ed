// Ship demo scene: a ship of coloured triangles, steered with held keys,
// over two flat layers of a map that scrolls toward its first row. The near
// layer is blended over the ship at 70 % opacity.
#include "shipdemo.h"
#include "shell.h"

#include <tilvogl/tilvogl.h>  // tmapSelectLayer, tmapDrawLayer, tmapHeight, tmapTileHeight

#include <GL/glu.h>  // gluLookAt

int32_t scrollPos = 0;
float shipX = 5.0f;
float shipY = 4.0f;
int keyIHeld = 0;
int keyJHeld = 0;
int keyKHeld = 0;
int keyLHeld = 0;

const float shipVertices[8][3] = {
    {0.0f, -1.0f, 0.0f}, {-0.4f, 1.0f, 0.2f}, {0.4f, 1.0f, 0.2f},  {0.0f, 1.0f, -0.1f},
    {-0.8f, 1.3f, 0.3f}, {0.8f, 1.3f, 0.3f},  {0.0f, 1.3f, -0.2f}, {0.0f, 3.0f, 0.0f},
};

// Three triangle lists, each ended by -1: the white point, the red fins, and
// the yellow tail that fades out toward vertex 7.
const int32_t shipIndices[30] = {
    0, 1, 2, 0, 2, 3, 0, 3, 1, -1,
    0, 1, 4, 0, 2, 5, 0, 3, 6, -1,
    1, 2, 7, 2, 3, 7, 3, 1, 7, -1,
};

static const int shipTailVertex = 7;
static const double shipStep = 0.1;

void updateShip(void)
{
    // The bound is tested before the step, so the ship may end one step past it.
    if (keyJHeld && shipX > 0.0f)
        shipX = (float)(shipX - shipStep);
    if (keyLHeld && shipX < 10.0f)
        shipX = (float)(shipX + shipStep);
    if (keyIHeld && shipY > 0.0f)
        shipY = (float)(shipY - shipStep);
    if (keyKHeld && shipY < 10.0f)
        shipY = (float)(shipY + shipStep);
}

static void startScrollAndShip(void)
{
    // Two 16-bit header values: their product needs more than 32 bits. A map
    // shorter than 1000 pixels starts with its first rows in view; one
    // taller than a 32-bit position starts as far down as the position goes.
    int64_t start = (int64_t)tmapHeight * tmapTileHeight - 1000;
    scrollPos = (int32_t)(start < 0 ? 0 : start > INT32_MAX ? INT32_MAX : start);
    shipX = 5.0f;
    shipY = 4.0f;
}

// The ship and the scroll move one step per logic step, whatever the time
// it covers, in both timing modes.
static void stepShipAndScroll(double)
{
    updateShip();
    if (scrollPos > 0)
        scrollPos = scrollPos - 1;
}

// One layer window of 22 x 50 cells at the given scroll position: whole
// rows give the first cell row, the rest shifts the plane by pixels.
static void drawScrolledLayer(int32_t position, float originX, float z)
{
    int tileHeight = tmapTileHeight > 0 ? tmapTileHeight : 1;
    int cellY = position / tileHeight;
    float originY = (float)((double)(position % tileHeight) / (2.0 * tileHeight) + 7.5);
    tmapDrawLayer(0, cellY, 22, 50, originX, originY, z, 0.5f, -0.5f);
}

static void drawShip(void)
{
    glPushMatrix();
    glRotatef(180.0f, 1.0f, 0.0f, 0.0f);
    glScalef(0.5f, 0.5f, 0.5f);
    glTranslatef((float)(shipX - 5.0), (float)(shipY + 4.0), -1.0f);
    if (keyJHeld == 1)
        glRotatef(20.0f, 0.0f, 1.0f, 0.0f);
    if (keyLHeld == 1)
        glRotatef(-20.0f, 0.0f, 1.0f, 0.0f);

    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    glBegin(GL_TRIANGLES);
    const int32_t *entry = shipIndices;
    for (int list = 0; list < 3; ++list, ++entry) {
        if (list == 0)
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        else if (list == 1)
            glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
        for (; *entry != -1; ++entry) {
            if (list == 2) {
                if (*entry == shipTailVertex)
                    glColor4f(1.0f, 0.0f, 0.0f, 0.0f);
                else
                    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
            }
            const float *vertex = shipVertices[*entry];
            glVertex3f(vertex[0], vertex[1], vertex[2]);
        }
    }
    glEnd();
    glPopMatrix();
}

static void drawShipScene(void)
{
    glLoadIdentity();
    gluLookAt(0.0, -8.4, -3.2, 0.0, -6.0, 0.0, 0.0, 1.0, 0.0);
    pushSceneRotation();

    // Far layer: half the scroll, shifted against the ship.
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    tmapSelectLayer(0);
    drawScrolledLayer(scrollPos / 2, (float)(-3.75 - shipX / 3.0), 0.0f);

    drawShip();

    // Near layer: full scroll, twice the sideways shift, 70 % opaque.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 0.7f);
    tmapSelectLayer(1);
    drawScrolledLayer(scrollPos, (float)(-2.0 - shipX / 1.5), 2.0f);

    glPopMatrix();
}

static void setHeldKey(unsigned char key, int held)
{
    switch (key) {
    case 'i': keyIHeld = held; break;
    case 'j': keyJHeld = held; break;
    case 'k': keyKHeld = held; break;
    case 'l': keyLHeld = held; break;
    default: break;
    }
}

static void shipKeyDown(unsigned char key)
{
    setHeldKey(key, 1);
}

void keyboardUp(unsigned char key, int x, int y)
{
    (void)x;
    (void)y;
    setHeldKey(key, 0);
}

const DemoScene demoScene = {
    "shipdemo",                               // program name
    "TilvoGL: Vorlane, i,j,k,l = move ship, ESC=exit",  // window title
    "VORLA.FMP",                              // map file
    0.1f,                                     // fog density
    {0.1f, 0.04f, 0.0f, 0.0f},                // fog and clear colour
    1.0,                                      // depth range 0 to this
    DEMO_CLOCK_TICK_COUNT,                    // clock
    5,                                        // catch-up lead, ms
    1,                                        // key t switches timingMode
    1,                                        // q/a, w/s, e/d turn the scene
    DEMO_FRAME_CLEAR_BOTH,                    // frame start
    -10.0f, 180.0f, 0.0f,                     // start angles X, Y, Z
    nullptr,                                  // lighting before the common block
    startScrollAndShip,                       // after the animation reset
    stepShipAndScroll,                        // logic step
    drawShipScene,                            // drawing
    shipKeyDown,                              // scene keys
    keyboardUp,                               // key-up handler
};
