// Display pass and reshape handler.
#include "render/display.h"

#include "render/terrain_mesh.h"
#include "state/viewer_state.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

float terrainScale(int gridSize)
{
    return static_cast<float>((128.0 / gridSize) * 0.4);
}

double aspectRatio(int width, int height)
{
    return static_cast<double>(width) / static_cast<double>(height == 0 ? 1 : height);
}

static void compileTerrain()
{
    // Deleting a name that holds no list is harmless, so the first pass
    // needs no special case.
    glDeleteLists(TERRAIN_LIST, 1);
    glNewList(TERRAIN_LIST, GL_COMPILE_AND_EXECUTE);
    drawTerrain(viewer, viewer.shadingMode, viewer.colorsInverted);
    glEndList();
    viewer.meshDirty = false;
}

void display()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glRotatef(viewer.pitch, 1.0f, 0.0f, 0.0f);
    glRotatef(viewer.yaw, 0.0f, 1.0f, 0.0f);
    glTranslatef(viewer.camX, viewer.camY, viewer.camZ);
    const float scale = terrainScale(viewer.gridSize);
    glScalef(scale, 3.0f, scale);
    if (viewer.meshDirty) {
        compileTerrain();
    } else {
        glCallList(TERRAIN_LIST);
    }
    glutSwapBuffers();
}

void reshape(int width, int height)
{
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(60.0, aspectRatio(width, height), 0.01, 30.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
