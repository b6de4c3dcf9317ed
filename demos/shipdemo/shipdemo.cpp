// Ship demo scene: a ship of coloured triangles, steered with held keys,
// over two flat layers of a map that scrolls toward its first row. The near
// layer is blended over the ship at 70 % opacity.
//
// On the shader path the ship is drawn by a tiny shader program of its own:
// the same triangles and colours with the same exponential fog.
#define GL_GLEXT_PROTOTYPES 1  // the shader and buffer functions, exported by the GL library
#include "shipdemo.h"
#include "shell.h"

#include "scenes.h"           // tmapscenes::shipdemo, scrolledPass
#include <tilvogl/tilvogl.h>  // tmapHeight, tmapTileHeight

#include <GL/gl.h>                       // the ship's triangles and state
#include <glm/ext/matrix_transform.hpp>  // glm::rotate, glm::scale, glm::translate
#include <glm/gtc/type_ptr.hpp>          // glm::value_ptr
#include <stddef.h>                      // offsetof
#include <stdio.h>                       // fprintf
#include <stdlib.h>                      // exit
#include <string.h>                      // strncmp
#include <string>                        // the shader sources with their version line

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

static const tmapscenes::Scene &look = tmapscenes::shipdemo;

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

static void makeShipShader(void);

static void startScrollAndShip(void)
{
    if (shaderRenderer)
        makeShipShader();
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

// A layer's pass where the scroll and the ship have moved it.
static tmapscenes::Pass scrolledLayer(int layerPass)
{
    return tmapscenes::scrolledPass(look.passes[layerPass], scrollPos, shipX, tmapTileHeight);
}

// The ship's triangles for the shader path, coloured as drawShip colours
// them: list 0 white, list 1 red, list 2 yellow fading to transparent red at
// the tail.
struct ShipVertex {
    float position[3];
    float colour[4];
};
static const int shipVertexCount = 27;

static void buildShipVertices(ShipVertex vertices[shipVertexCount])
{
    static const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    static const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    static const float yellow[4] = {1.0f, 1.0f, 0.0f, 1.0f};
    static const float clearRed[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    const int32_t *entry = shipIndices;
    int count = 0;
    for (int list = 0; list < 3; ++list, ++entry) {
        for (; *entry != -1; ++entry) {
            const float *colour = list == 0 ? white : list == 1 ? red : *entry == shipTailVertex ? clearRed : yellow;
            memcpy(vertices[count].position, shipVertices[*entry], sizeof vertices[count].position);
            memcpy(vertices[count].colour, colour, sizeof vertices[count].colour);
            ++count;
        }
    }
}

// ---------------------------------------------------------------- the ship's shader

// One source for GLSL 330 and GLSL ES 300; the version line is put in front.
static const char shipVertexShader[] = R"(
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 colour;
uniform mat4 projection;
uniform mat4 modelview;
out vec4 vertexColour;
out float eyeDistance;
void main()
{
    vec4 eye = modelview * vec4(position, 1.0);
    vertexColour = colour;
    eyeDistance = abs(eye.z);
    gl_Position = projection * eye;
}
)";

static const char shipFragmentShader[] = R"(
in vec4 vertexColour;
in float eyeDistance;
uniform float fogDensity;
uniform vec3 fogColour;
out vec4 fragmentColour;
void main()
{
    float visible = clamp(exp(-fogDensity * eyeDistance), 0.0, 1.0);
    fragmentColour = vec4(mix(fogColour, vertexColour.rgb, visible), vertexColour.a);
}
)";

static GLuint shipProgram = 0;
static GLuint shipVertexArray = 0;
static GLuint shipBuffer = 0;
static GLint shipProjectionLocation = -1;
static GLint shipModelviewLocation = -1;

// Ends the program when a shader does not build: the sources are fixed, so
// only a broken GL gets here.
static GLuint compileShipShader(GLenum stage, const char *body)
{
    const char *version = (const char *)glGetString(GL_VERSION);
    int es = version != nullptr && strncmp(version, "OpenGL ES", 9) == 0;
    std::string source = std::string(es ? "#version 300 es\nprecision mediump float;\n" : "#version 330 core\n") + body;
    const char *text = source.c_str();
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        char log[1024] = "";
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        fprintf(stderr, "shipdemo: the ship's shader does not compile: %s\n", log);
        exit(1);
    }
    return shader;
}

static void makeShipShader(void)
{
    GLuint vertexShader = compileShipShader(GL_VERTEX_SHADER, shipVertexShader);
    GLuint fragmentShader = compileShipShader(GL_FRAGMENT_SHADER, shipFragmentShader);
    shipProgram = glCreateProgram();
    glAttachShader(shipProgram, vertexShader);
    glAttachShader(shipProgram, fragmentShader);
    glLinkProgram(shipProgram);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    GLint linked = 0;
    glGetProgramiv(shipProgram, GL_LINK_STATUS, &linked);
    if (!linked) {
        fprintf(stderr, "shipdemo: the ship's shader does not link\n");
        exit(1);
    }
    shipProjectionLocation = glGetUniformLocation(shipProgram, "projection");
    shipModelviewLocation = glGetUniformLocation(shipProgram, "modelview");
    // Fog is the same every frame.
    glUseProgram(shipProgram);
    glUniform1f(glGetUniformLocation(shipProgram, "fogDensity"), look.fogDensity);
    glUniform3fv(glGetUniformLocation(shipProgram, "fogColour"), 1, look.fogColour);

    ShipVertex vertices[shipVertexCount];
    buildShipVertices(vertices);
    glGenVertexArrays(1, &shipVertexArray);
    glBindVertexArray(shipVertexArray);
    glGenBuffers(1, &shipBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, shipBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(ShipVertex), (const void *)offsetof(ShipVertex, position));
    glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, sizeof(ShipVertex), (const void *)offsetof(ShipVertex, colour));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glBindVertexArray(0);
}

// ---------------------------------------------------------------- drawing

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

// The far layer, the ship, then the near layer blended over it.
static void drawShipScene(void)
{
    lookAtSceneCamera();
    pushSceneRotation();
    glEnable(GL_TEXTURE_2D);
    drawScenePass(scrolledLayer(0));
    drawShip();
    glEnable(GL_TEXTURE_2D);
    drawScenePass(scrolledLayer(1));
    glPopMatrix();
}

// drawShip's turns, scale and move under the scene's modelview.
static void drawShipShader(const glm::mat4 &sceneModelview)
{
    glm::mat4 modelview = glm::rotate(sceneModelview, glm::radians(180.0f), glm::vec3(1.0f, 0.0f, 0.0f));
    modelview = glm::scale(modelview, glm::vec3(0.5f));
    modelview = glm::translate(modelview, glm::vec3((float)(shipX - 5.0), (float)(shipY + 4.0), -1.0f));
    if (keyJHeld == 1)
        modelview = glm::rotate(modelview, glm::radians(20.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    if (keyLHeld == 1)
        modelview = glm::rotate(modelview, glm::radians(-20.0f), glm::vec3(0.0f, 1.0f, 0.0f));

    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glUseProgram(shipProgram);
    glUniformMatrix4fv(shipProjectionLocation, 1, GL_FALSE, glm::value_ptr(shaderProjection));
    glUniformMatrix4fv(shipModelviewLocation, 1, GL_FALSE, glm::value_ptr(modelview));
    glBindVertexArray(shipVertexArray);
    glDrawArrays(GL_TRIANGLES, 0, shipVertexCount);
}

// The camera, layers and ship of drawShipScene.
static void drawShipSceneShader(void)
{
    glm::mat4 modelview = sceneRotation(sceneCamera());
    TmapGpuView view = shaderView(modelview);
    drawScenePassShader(view, scrolledLayer(0));
    drawShipShader(modelview);
    drawScenePassShader(view, scrolledLayer(1));
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
    &look,                                    // map, camera, turns, layers, fog
    DEMO_CLOCK_TICK_COUNT,                    // clock
    5,                                        // catch-up lead, ms
    1,                                        // key t switches timingMode
    1,                                        // q/a, w/s, e/d turn the scene
    startScrollAndShip,                       // after the animation reset
    stepShipAndScroll,                        // logic step
    drawShipScene,                            // drawing
    drawShipSceneShader,                      // drawing, shader path
    shipKeyDown,                              // scene keys
    keyboardUp,                               // key-up handler
};
