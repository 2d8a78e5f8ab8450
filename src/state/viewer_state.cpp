// The one program-wide viewer record. Its defaults are the member
// initialisers of ViewerState, applied before any code runs.
#include "state/viewer_state.h"

constinit ViewerState viewer;
