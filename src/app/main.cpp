// Vellacor: an escape-time fractal shown as a terrain to fly over.
#include "app/startup.h"

int main(int argc, char** argv)
{
    return runViewer(argc, argv);
}
