#pragma once
// Artwork of the window drawn by code: the toolbar's big buttons and the
// About box's picture.
#include <QImage>

namespace kestrova {

enum class ToolbarArt { Normal, Hot, Disabled };

// Four 48 x 48 buttons side by side, in toolbar order: save screenshot,
// control panel (a book), background colour, About. Transparent around the
// drawings.
QImage ToolbarStrip(ToolbarArt state);

constexpr int kToolbarButtonSize = 48;
constexpr int kToolbarButtonCount = 4;

// The program's icon, `size` pixels square: a boxed product, transparent
// around it.
QImage AppIcon(int size);
// The icon of a project file: a sheet with the box on it.
QImage ProjectFileIcon(int size);

// The About box's picture: a boxed product on a soft backdrop.
QImage AboutArtwork(int width, int height);

}  // namespace kestrova
