#include "window/pictures.h"

#include <QImageReader>

// The pictures are compiled into the window library; a static library must
// register them itself.
static void InitWindowResources() { Q_INIT_RESOURCE(regdiag); }

namespace regdiag {

namespace {

QImage ReadPng(const QString& path) {
  InitWindowResources();
  QImageReader reader(path, "png");
  reader.setAutoDetectImageFormat(false);  // PNG it is: no plugin is asked
  return reader.read();
}

}  // namespace

QPixmap LogoPicture() { return QPixmap::fromImage(ReadPng(QStringLiteral(":/regdiag/logo.png"))); }

QIcon WindowIcon() { return {QPixmap::fromImage(ReadPng(QStringLiteral(":/regdiag/regdiag.png")))}; }

}  // namespace regdiag
