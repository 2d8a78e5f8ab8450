// Start-up sequence and the one place that installs the callbacks.
#include "app/startup.h"

#include "fractal/height_field.h"
#include "input/handlers.h"
#include "render/display.h"
#include "state/viewer_state.h"

#include <GL/gl.h>
#include <GL/glut.h>

#include <cstdio>

void printUsage()
{
    // One write per text, as the user sees them, flushed before the grid is
    // computed so the console is complete while the first grid is worked out.
    std::fputs("Vellacor\nProgrammed by Tarnesk\n\n", stdout);
    std::fputs("Usage:\nArrow keys move the viewpoint\n", stdout);
    std::fputs("Use the mouse to rotate the viewpoint\n", stdout);
    std::fputs("'+'/'-' increases/decreases the polygon resolution by 2x\n", stdout);
    std::fputs("'w' switches between wireframe and solid polygons\n", stdout);
    std::fputs("'i' inverts the height of the fractal\n", stdout);
    std::fputs("'c' inverts the colors\n", stdout);
    std::fputs("'m' cycles though the various shading modes\n", stdout);
    std::fputs("'1'/'2' increase/decrease the maximum number of iterations used for calculating the fractal\n",
               stdout);
    std::fputs("Escape exits the program\n", stdout);
    std::fflush(stdout);
}

int createMainWindow(const char* title)
{
    // This toolkit's creation entry takes the title alone; it ends the
    // process through the standard exit routine by itself.
    return glutCreateWindow(title);
}

void registerCallbacks()
{
    glutReshapeFunc(reshape);
    glutDisplayFunc(display);
    glutSpecialFunc(specialKey);
    glutKeyboardFunc(keyboard);
    glutMouseFunc(mouseButton);
    glutPassiveMotionFunc(passiveMotion);
}

void setFixedRenderState()
{
    glClearColor(10.0f / 255.0f, 192.0f / 255.0f, 245.0f / 255.0f, 0.0f);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glShadeModel(GL_SMOOTH);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

int runViewer(int argc, char** argv)
{
    printUsage();
    computeFractal(viewer);

    // The toolkit sees only the program's name, so no argument of the
    // command line (-display, -geometry, ...) can reach it.
    char fallbackName[] = "vellacor";
    char* toolkitArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
    int toolkitArgc = 1;
    glutInit(&toolkitArgc, toolkitArgv);

    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(50, 50);
    glutInitWindowSize(512, 512);
    createMainWindow("Vellacor");
    registerCallbacks();
    setFixedRenderState();
    glutMainLoop();
    return 0;
}
