/* The consumer programs' window on Windows, where there is no GLUT: a hidden
 * window with a WGL compatibility context made current, what any Windows GL
 * program does before it loads a map. Returns 0, or -1 when Windows
 * refuses. */
#ifndef TILVOGL_CONSUMER_WGLWINDOW_H
#define TILVOGL_CONSUMER_WGLWINDOW_H

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <GL/gl.h>

static int openWglWindow(void)
{
    WNDCLASSA windowClass;
    PIXELFORMATDESCRIPTOR format;
    HWND window;
    HDC deviceContext;
    HGLRC context;
    int chosen;

    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "tilvogl consumer";
    RegisterClassA(&windowClass);
    window = CreateWindowExA(0, windowClass.lpszClassName, "tilvogl consumer", WS_OVERLAPPEDWINDOW, 0, 0, 64,
                             64, NULL, NULL, windowClass.hInstance, NULL);
    if (window == NULL)
        return -1;
    deviceContext = GetDC(window);
    ZeroMemory(&format, sizeof format);
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cDepthBits = 24;
    chosen = ChoosePixelFormat(deviceContext, &format);
    if (chosen == 0 || !SetPixelFormat(deviceContext, chosen, &format))
        return -1;
    context = wglCreateContext(deviceContext);
    return context != NULL && wglMakeCurrent(deviceContext, context) ? 0 : -1;
}

#endif
