// The buttons' small pictures, drawn here at the window's scale: a yellow
// lightning bolt (15 x 14 at 96 dpi) for Send, a floppy disk with a pencil
// (17 x 17) for Read. Each is a 32-bit bitmap with premultiplied alpha, for
// a button's image list.
#pragma once

#include <windows.h>

namespace korvane::win32ui {

enum class TPicture { LightningBolt, FloppyPencil };

// The picture's size in pixels at Scale (1.0 at 96 dpi).
SIZE PictureSize(TPicture Picture, double Scale);
// A new bitmap of the picture at Scale, in grey and faded for a disabled
// button when Greyed; the caller deletes it.
HBITMAP DrawPicture(TPicture Picture, double Scale, bool Greyed);

}  // namespace korvane::win32ui
