// The four OpenGL entry points the terrain walk calls, doing nothing, so that
// the mesh benchmarks measure the walk itself and not a driver. Kept in their
// own file so that the compiler cannot see through the calls.
#include <GL/gl.h>

extern "C" {

void glBegin(GLenum) {}
void glEnd() {}
void glColor3f(GLfloat, GLfloat, GLfloat) {}
void glVertex3f(GLfloat, GLfloat, GLfloat) {}

} // extern "C"
