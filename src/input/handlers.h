// The toolkit's input callbacks. Each decodes its arguments, applies a pure
// change of the viewer state and ends with a direct display pass; none posts
// a redisplay. mouseButton does nothing at all.
#pragma once

void keyboard(unsigned char key, int x, int y);
void specialKey(int key, int x, int y);
void passiveMotion(int x, int y);
void mouseButton(int button, int buttonState, int x, int y);
