#include "model_drawing.h"

namespace kestrova {

// The models arrive with the 3DS loader; until then these products draw
// nothing, as a model that failed to load does.
void DrawModelledBook(SceneState&, bool) {}

void DrawMug(SceneState&) {}

}  // namespace kestrova
