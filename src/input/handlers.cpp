// Input callbacks.
#include "input/handlers.h"

#include "input/camera.h"
#include "input/key_commands.h"
#include "render/display.h"
#include "state/viewer_state.h"

#include <GL/gl.h>

#include <cstdlib>

void keyboard(unsigned char key, int, int)
{
    if (key == ESCAPE_KEY) {
        std::exit(0);
    }
    if (const KeyCommand* command = findKeyCommand(key)) {
        command->apply(viewer);
        if (command->setsPolygonMode) {
            glPolygonMode(GL_FRONT, viewer.wireframe ? GL_LINE : GL_FILL);
        }
    }
    display();
}

void specialKey(int key, int, int)
{
    moveCamera(viewer, key);
    display();
}

void passiveMotion(int x, int y)
{
    turnCamera(viewer, x, y);
    display();
}

void mouseButton(int, int, int, int)
{
}
