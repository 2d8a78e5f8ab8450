// An LD_PRELOAD probe for the end-to-end tests: it sits between the viewer
// and freeglut, logs every toolkit call the viewer makes to the file named by
// VELLACOR_PROBE_LOG, and forwards the call unchanged.
//
// apitrace records GL and GLX but not the toolkit, so the probe is how the
// tests see the start-up calls, the callback registrations and the order
// between them. Under apitrace each registration also leaves a
// glStringMarkerGREMEDY marker in the trace, placing it among the GL calls.
//
// Every callback the viewer registers is wrapped: the probe logs its entry
// with the arguments that identify the event ("keyboard 109", "motion 250
// 400", "reshape 640 480", "display", ...) and "return <name>" once the
// viewer's handler is done. Each finished buffer swap is logged as it
// happens ("frame 3"). Since the toolkit runs one callback at a time, every
// frame belongs to the callback logged last before it: a test can tell the
// frame a key draws from a repaint the X server asked for, and waits for the
// return of the callback its event causes instead of counting frames or
// sleeping. Compilations of a display list and error queries are logged too,
// which a test needs to see without a trace or which apitrace leaves out.
#include <GL/gl.h>
#include <GL/glut.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int logFile()
{
    static const int fd = [] {
        const char* path = std::getenv("VELLACOR_PROBE_LOG");
        return path == nullptr ? -1 : open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }();
    return fd;
}

// One write per line, so a reader polling the file never sees half a line.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logLine(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (length < 0 || logFile() < 0) {
        return;
    }
    const std::size_t size = std::strlen(line);
    line[size] = '\n';
    [[maybe_unused]] const ssize_t written = write(logFile(), line, size + 1);
}

template <typename Function>
Function realFunction(const char* name)
{
    void* found = dlsym(RTLD_NEXT, name);
    if (found == nullptr) {
        logLine("missing %s", name);
        std::abort();
    }
    return reinterpret_cast<Function>(found);
}

// Puts a marker into the GL trace when apitrace is loaded; a no-op otherwise.
void markTrace(const char* text)
{
    using StringMarker = void (*)(GLsizei, const void*);
    static const auto marker = reinterpret_cast<StringMarker>(dlsym(RTLD_DEFAULT, "glStringMarkerGREMEDY"));
    if (marker != nullptr) {
        marker(static_cast<GLsizei>(std::strlen(text)), text);
    }
}

// Bytes the viewer has put on its standard output so far, when that is a
// file: shows what the console held at a given call.
long consoleBytes()
{
    return static_cast<long>(lseek(STDOUT_FILENO, 0, SEEK_CUR));
}

// Registers `logged` with the toolkit in place of the viewer's `callback`,
// which it keeps in `viewerCallback` for `logged` to call.
template <typename Callback>
void registration(const char* name, Callback callback, Callback& viewerCallback, Callback logged)
{
    viewerCallback = callback;
    logLine("%s %s", name, callback == nullptr ? "null" : "set");
    markTrace(name);
    realFunction<void (*)(Callback)>(name)(callback == nullptr ? nullptr : logged);
}

void (*viewerReshape)(int, int) = nullptr;
void (*viewerDisplay)() = nullptr;
void (*viewerSpecial)(int, int, int) = nullptr;
void (*viewerKeyboard)(unsigned char, int, int) = nullptr;
void (*viewerMouse)(int, int, int, int) = nullptr;
void (*viewerMotion)(int, int) = nullptr;

void loggedReshape(int width, int height)
{
    logLine("reshape %d %d", width, height);
    viewerReshape(width, height);
    logLine("return reshape");
}

void loggedDisplay()
{
    logLine("display");
    viewerDisplay();
    logLine("return display");
}

// The pointer position that comes with keys and buttons is left out: it
// depends on where the pointer happens to be, not on the event.
void loggedSpecial(int key, int x, int y)
{
    logLine("special %d", key);
    viewerSpecial(key, x, y);
    logLine("return special");
}

void loggedKeyboard(unsigned char key, int x, int y)
{
    logLine("keyboard %d", key);
    viewerKeyboard(key, x, y);
    logLine("return keyboard");
}

void loggedMouse(int button, int state, int x, int y)
{
    logLine("mouse %d %d", button, state);
    viewerMouse(button, state, x, y);
    logLine("return mouse");
}

void loggedMotion(int x, int y)
{
    logLine("motion %d %d", x, y);
    viewerMotion(x, y);
    logLine("return motion");
}

long framesSwapped = 0;

} // namespace

extern "C" {

void glutInit(int* argc, char** argv)
{
    char joined[400] = "";
    for (int i = 0; i < *argc && argv[i] != nullptr; ++i) {
        std::strncat(joined, i == 0 ? "" : " ", sizeof joined - std::strlen(joined) - 1);
        std::strncat(joined, argv[i], sizeof joined - std::strlen(joined) - 1);
    }
    logLine("glutInit argc=%d argv=%s", *argc, joined);
    realFunction<void (*)(int*, char**)>("glutInit")(argc, argv);
}

void glutInitDisplayMode(unsigned int mode)
{
    logLine("glutInitDisplayMode %u", mode);
    realFunction<void (*)(unsigned int)>("glutInitDisplayMode")(mode);
}

void glutInitWindowPosition(int x, int y)
{
    logLine("glutInitWindowPosition %d %d", x, y);
    realFunction<void (*)(int, int)>("glutInitWindowPosition")(x, y);
}

void glutInitWindowSize(int width, int height)
{
    logLine("glutInitWindowSize %d %d", width, height);
    realFunction<void (*)(int, int)>("glutInitWindowSize")(width, height);
}

int glutCreateWindow(const char* title)
{
    logLine("glutCreateWindow title=%s console=%ld", title, consoleBytes());
    return realFunction<int (*)(const char*)>("glutCreateWindow")(title);
}

void glutReshapeFunc(void (*callback)(int, int))
{
    registration("glutReshapeFunc", callback, viewerReshape, loggedReshape);
}

void glutDisplayFunc(void (*callback)())
{
    registration("glutDisplayFunc", callback, viewerDisplay, loggedDisplay);
}

void glutSpecialFunc(void (*callback)(int, int, int))
{
    registration("glutSpecialFunc", callback, viewerSpecial, loggedSpecial);
}

void glutKeyboardFunc(void (*callback)(unsigned char, int, int))
{
    registration("glutKeyboardFunc", callback, viewerKeyboard, loggedKeyboard);
}

void glutMouseFunc(void (*callback)(int, int, int, int))
{
    registration("glutMouseFunc", callback, viewerMouse, loggedMouse);
}

void glutPassiveMotionFunc(void (*callback)(int, int))
{
    registration("glutPassiveMotionFunc", callback, viewerMotion, loggedMotion);
}

void glutPostRedisplay()
{
    logLine("glutPostRedisplay");
    realFunction<void (*)()>("glutPostRedisplay")();
}

void glutMainLoop()
{
    logLine("glutMainLoop");
    markTrace("glutMainLoop");
    realFunction<void (*)()>("glutMainLoop")();
}

// The one GL call the probe watches, so that a run without apitrace (whose
// frames would be too large to trace) still shows which frames compiled the
// terrain. Under apitrace the call goes on to apitrace's wrapper.
void glNewList(GLuint list, GLenum mode)
{
    logLine("glNewList %u 0x%x", list, mode);
    realFunction<void (*)(GLuint, GLenum)>("glNewList")(list, mode);
}

// apitrace records glGetError only when it reports an error, so the probe
// logs every query itself.
GLenum glGetError()
{
    logLine("glGetError");
    return realFunction<GLenum (*)()>("glGetError")();
}

void glutSwapBuffers()
{
    realFunction<void (*)()>("glutSwapBuffers")();
    logLine("frame %ld", ++framesSwapped);
}

} // extern "C"
