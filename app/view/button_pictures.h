#pragma once
// The 46 x 32 pictures of the window's three buttons, drawn at run time.
#include <QPixmap>

namespace app::view {

QPixmap crossPicture();       // "Esc: Cancelar": a red cross
QPixmap diskettePicture();    // "F2: Generar": a diskette
QPixmap binocularsPicture();  // "Explorar": binoculars

}  // namespace app::view
