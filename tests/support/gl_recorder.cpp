// Recording definitions of the viewer's GL, GLU and GLUT entry points.
#include "gl_recorder.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

#include <cstring>
#include <initializer_list>
#include <map>

namespace {

std::vector<GlCall> calls;
struct NameLess {
    bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
};
std::map<const char*, std::size_t, NameLess> counts;
bool paused = false;

void record(const char* name, std::initializer_list<double> args, const void* callback = nullptr,
            std::string text = {})
{
    ++counts[name];
    if (paused) {
        return;
    }
    GlCall call{name, static_cast<int>(args.size()), {0.0, 0.0, 0.0, 0.0}, callback, std::move(text)};
    int i = 0;
    for (double arg : args) {
        call.args[i++] = arg;
    }
    calls.push_back(std::move(call));
}

} // namespace

const std::vector<GlCall>& recordedCalls() { return calls; }

void clearRecordedCalls()
{
    calls.clear();
    counts.clear();
}

void pauseRecording(bool pause) { paused = pause; }

std::size_t callCount(const char* name)
{
    const auto found = counts.find(name);
    return found == counts.end() ? 0 : found->second;
}

std::vector<std::string> recordedNames()
{
    std::vector<std::string> names;
    for (const GlCall& call : calls) {
        names.emplace_back(call.name);
    }
    return names;
}

// GL
void glBegin(GLenum mode) { record("glBegin", {double(mode)}); }
void glEnd() { record("glEnd", {}); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { record("glColor3f", {r, g, b}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {x, y, z}); }
void glClear(GLbitfield mask) { record("glClear", {double(mask)}); }
void glLoadIdentity() { record("glLoadIdentity", {}); }
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) { record("glRotatef", {angle, x, y, z}); }
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { record("glTranslatef", {x, y, z}); }
void glScalef(GLfloat x, GLfloat y, GLfloat z) { record("glScalef", {x, y, z}); }
void glDeleteLists(GLuint list, GLsizei range) { record("glDeleteLists", {double(list), double(range)}); }
void glNewList(GLuint list, GLenum mode) { record("glNewList", {double(list), double(mode)}); }
void glEndList() { record("glEndList", {}); }
void glCallList(GLuint list) { record("glCallList", {double(list)}); }
void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) { record("glViewport", {double(x), double(y), double(w), double(h)}); }
void glMatrixMode(GLenum mode) { record("glMatrixMode", {double(mode)}); }
void glPolygonMode(GLenum face, GLenum mode) { record("glPolygonMode", {double(face), double(mode)}); }
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { record("glClearColor", {r, g, b, a}); }
void glEnable(GLenum cap) { record("glEnable", {double(cap)}); }
void glDepthFunc(GLenum func) { record("glDepthFunc", {double(func)}); }
void glShadeModel(GLenum mode) { record("glShadeModel", {double(mode)}); }
void glCullFace(GLenum mode) { record("glCullFace", {double(mode)}); }
void glHint(GLenum target, GLenum mode) { record("glHint", {double(target), double(mode)}); }

// GLU
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    record("gluPerspective", {fovy, aspect, zNear, zFar});
}

// GLUT
void glutInit(int* argc, char** argv)
{
    std::string joined;
    for (int i = 0; i < *argc; ++i) {
        joined += (i > 0 ? " " : "");
        joined += argv[i];
    }
    record("glutInit", {double(*argc)}, nullptr, joined);
}
void glutInitDisplayMode(unsigned int mode) { record("glutInitDisplayMode", {double(mode)}); }
void glutInitWindowPosition(int x, int y) { record("glutInitWindowPosition", {double(x), double(y)}); }
void glutInitWindowSize(int w, int h) { record("glutInitWindowSize", {double(w), double(h)}); }
int glutCreateWindow(const char* title)
{
    record("glutCreateWindow", {}, nullptr, title);
    return 1;
}
void glutReshapeFunc(void (*f)(int, int)) { record("glutReshapeFunc", {}, reinterpret_cast<const void*>(f)); }
void glutDisplayFunc(void (*f)()) { record("glutDisplayFunc", {}, reinterpret_cast<const void*>(f)); }
void glutSpecialFunc(void (*f)(int, int, int)) { record("glutSpecialFunc", {}, reinterpret_cast<const void*>(f)); }
void glutKeyboardFunc(void (*f)(unsigned char, int, int)) { record("glutKeyboardFunc", {}, reinterpret_cast<const void*>(f)); }
void glutMouseFunc(void (*f)(int, int, int, int)) { record("glutMouseFunc", {}, reinterpret_cast<const void*>(f)); }
void glutPassiveMotionFunc(void (*f)(int, int)) { record("glutPassiveMotionFunc", {}, reinterpret_cast<const void*>(f)); }
void glutMainLoop() { record("glutMainLoop", {}); }
void glutSwapBuffers() { record("glutSwapBuffers", {}); }
