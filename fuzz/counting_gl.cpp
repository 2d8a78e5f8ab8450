// Counting definitions of the viewer's GL, GLU and GLUT entry points.
// Between glBegin and glEnd GL allows only vertices and colours here; any
// other call there, and a list or primitive ended without being begun, or
// begun twice, is kept as the tally's misuse.
#include "counting_gl.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

namespace {

GlTally tally;

void noteMisuse(const char* what)
{
    if (tally.misuse == nullptr) {
        tally.misuse = what;
    }
}

// For every entry point that GL forbids between glBegin and glEnd.
void outsidePrimitive(const char* what)
{
    if (tally.insidePrimitive) {
        noteMisuse(what);
    }
}

} // namespace

const GlTally& glTally() { return tally; }

void resetGlTally() { tally = GlTally{}; }

// GL: the primitives and lists
void glBegin(GLenum)
{
    outsidePrimitive("glBegin inside glBegin");
    tally.insidePrimitive = true;
}
void glEnd()
{
    if (!tally.insidePrimitive) {
        noteMisuse("glEnd without glBegin");
    }
    tally.insidePrimitive = false;
}
void glColor3f(GLfloat, GLfloat, GLfloat) {}
void glVertex3f(GLfloat, GLfloat, GLfloat) {}
void glNewList(GLuint, GLenum)
{
    outsidePrimitive("glNewList inside glBegin");
    if (tally.compilingList) {
        noteMisuse("glNewList inside glNewList");
    }
    tally.compilingList = true;
    ++tally.newLists;
}
void glEndList()
{
    outsidePrimitive("glEndList inside glBegin");
    if (!tally.compilingList) {
        noteMisuse("glEndList without glNewList");
    }
    tally.compilingList = false;
    ++tally.endLists;
}
void glDeleteLists(GLuint, GLsizei)
{
    outsidePrimitive("glDeleteLists inside glBegin");
    ++tally.deleteLists;
}
void glCallList(GLuint)
{
    outsidePrimitive("glCallList inside glBegin");
    ++tally.callLists;
}
void glClear(GLbitfield)
{
    outsidePrimitive("glClear inside glBegin");
    ++tally.clears;
}

// GL: state and transforms
void glLoadIdentity() { outsidePrimitive("glLoadIdentity inside glBegin"); }
void glRotatef(GLfloat, GLfloat, GLfloat, GLfloat) { outsidePrimitive("glRotatef inside glBegin"); }
void glTranslatef(GLfloat, GLfloat, GLfloat) { outsidePrimitive("glTranslatef inside glBegin"); }
void glScalef(GLfloat, GLfloat, GLfloat) { outsidePrimitive("glScalef inside glBegin"); }
void glViewport(GLint, GLint, GLsizei, GLsizei) { outsidePrimitive("glViewport inside glBegin"); }
void glMatrixMode(GLenum) { outsidePrimitive("glMatrixMode inside glBegin"); }
void glPolygonMode(GLenum, GLenum) { outsidePrimitive("glPolygonMode inside glBegin"); }
void glClearColor(GLclampf, GLclampf, GLclampf, GLclampf) { outsidePrimitive("glClearColor inside glBegin"); }
void glEnable(GLenum) { outsidePrimitive("glEnable inside glBegin"); }
void glDepthFunc(GLenum) { outsidePrimitive("glDepthFunc inside glBegin"); }
void glShadeModel(GLenum) { outsidePrimitive("glShadeModel inside glBegin"); }
void glCullFace(GLenum) { outsidePrimitive("glCullFace inside glBegin"); }
void glHint(GLenum, GLenum) { outsidePrimitive("glHint inside glBegin"); }

// GLU
void gluPerspective(GLdouble, GLdouble, GLdouble, GLdouble) { outsidePrimitive("gluPerspective inside glBegin"); }

// GLUT: start-up only registers and returns; nothing here runs a loop.
void glutInit(int*, char**) {}
void glutInitDisplayMode(unsigned int) {}
void glutInitWindowPosition(int, int) {}
void glutInitWindowSize(int, int) {}
int glutCreateWindow(const char*) { return 1; }
void glutReshapeFunc(void (*)(int, int)) {}
void glutDisplayFunc(void (*)()) {}
void glutSpecialFunc(void (*)(int, int, int)) {}
void glutKeyboardFunc(void (*)(unsigned char, int, int)) {}
void glutMouseFunc(void (*)(int, int, int, int)) {}
void glutPassiveMotionFunc(void (*)(int, int)) {}
void glutMainLoop() {}
void glutSwapBuffers()
{
    outsidePrimitive("glutSwapBuffers inside glBegin");
    ++tally.swaps;
}
// The viewer never asks for a redisplay; defined so that a call to it links
// and shows in the tally instead of going unseen.
void glutPostRedisplay() { ++tally.redisplayRequests; }
