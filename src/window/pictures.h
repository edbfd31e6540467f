// The window's pictures, compiled into the window library: the logo and the
// window icon.
//
// They are read as PNG by name. Left to find the format itself, Qt's image
// reader loads every image format plugin installed (JPEG, GIF, ICO and what
// else the system has) and asks each whether it can read the picture before
// it takes its own PNG reader: a few hundred kilobytes of libraries loaded
// and relocated at every start for nothing.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace regdiag {

QPixmap LogoPicture();
QIcon WindowIcon();

}  // namespace regdiag
