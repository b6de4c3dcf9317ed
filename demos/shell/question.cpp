// The yes/no question: a small modal GLUT window with the question in
// bitmap text and Yes and No buttons. It is answered with the mouse, with
// y or Enter (yes), or with n or Escape (no); closing it means no. The
// window is destroyed before the answer is returned.
#include "platform.h"

#include <GL/freeglut.h>  // windows, glutMainLoopEvent, bitmap text, window close action
#include <unistd.h>       // usleep

static const int questionWidth = 280;
static const int questionHeight = 110;

// One button: rectangle in window pixels, y measured from the top.
struct QuestionButton {
    const char *label;
    int left, top, width, height;
    int answer;
};

static const QuestionButton questionButtons[2] = {
    {"Yes", 50, 60, 80, 30, 1},
    {"No", 150, 60, 80, 30, 0},
};

static const char *questionText = "";
static int questionAnswer = -1;  // -1 while waiting

static void drawText(int x, int yFromTop, const char *text)
{
    glRasterPos2i(x, questionHeight - yFromTop);
    glutBitmapString(GLUT_BITMAP_HELVETICA_18, (const unsigned char *)text);
}

static void drawQuestion(void)
{
    glClearColor(0.85f, 0.85f, 0.85f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, questionWidth, 0.0, questionHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);

    glColor3f(0.0f, 0.0f, 0.0f);
    drawText(20, 35, questionText);
    for (const QuestionButton &button : questionButtons) {
        int bottom = questionHeight - button.top - button.height;
        glColor3f(0.97f, 0.97f, 0.97f);
        glRecti(button.left, bottom, button.left + button.width, bottom + button.height);
        glColor3f(0.2f, 0.2f, 0.2f);
        glBegin(GL_LINE_LOOP);
        glVertex2i(button.left, bottom);
        glVertex2i(button.left + button.width, bottom);
        glVertex2i(button.left + button.width, bottom + button.height);
        glVertex2i(button.left, bottom + button.height);
        glEnd();
        int labelWidth = glutBitmapLength(GLUT_BITMAP_HELVETICA_18,
                                          (const unsigned char *)button.label);
        glColor3f(0.0f, 0.0f, 0.0f);
        drawText(button.left + (button.width - labelWidth) / 2, button.top + 21, button.label);
    }
    glutSwapBuffers();
}

static void questionKey(unsigned char key, int, int)
{
    if (key == 'y' || key == 'Y' || key == '\r' || key == '\n')
        questionAnswer = 1;
    else if (key == 'n' || key == 'N' || key == 27)
        questionAnswer = 0;
}

static void questionMouse(int button, int state, int x, int y)
{
    if (button != GLUT_LEFT_BUTTON || state != GLUT_UP)
        return;
    for (const QuestionButton &b : questionButtons) {
        if (x >= b.left && x < b.left + b.width && y >= b.top && y < b.top + b.height)
            questionAnswer = b.answer;
    }
}

static void questionClosed(void)
{
    if (questionAnswer < 0)
        questionAnswer = 0;
}

static void questionReshape(int width, int height)
{
    glViewport(0, 0, width, height);
}

int platformAskYesNo(const char *caption, const char *question)
{
    questionText = question;
    questionAnswer = -1;

    // Keep the program alive when the user closes the box instead of
    // answering; that counts as no.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    int screenWidth = glutGet(GLUT_SCREEN_WIDTH);
    int screenHeight = glutGet(GLUT_SCREEN_HEIGHT);
    glutInitWindowSize(questionWidth, questionHeight);
    glutInitWindowPosition(screenWidth > questionWidth ? (screenWidth - questionWidth) / 2 : 0,
                           screenHeight > questionHeight ? (screenHeight - questionHeight) / 2 : 0);
    int window = glutCreateWindow(caption);
    glutDisplayFunc(drawQuestion);
    glutReshapeFunc(questionReshape);
    glutKeyboardFunc(questionKey);
    glutMouseFunc(questionMouse);
    glutCloseFunc(questionClosed);

    while (questionAnswer < 0) {
        glutMainLoopEvent();
        if (questionAnswer < 0)
            usleep(10000);  // glutMainLoopEvent does not wait for events
    }

    // Destruction is deferred to the next event round, and the request only
    // reaches the server when the round after that flushes the connection.
    glutDestroyWindow(window);
    glutMainLoopEvent();
    glutMainLoopEvent();
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
    return questionAnswer;
}
