// LoadAppIcon: the PNG renderings compiled in as resources.
#include "app/AppIcon.h"

#include <QImageReader>
#include <QPixmap>
#include <QString>

QIcon LoadAppIcon() {
  QIcon icon;
  for (int size : kAppIconSizes) {
    // The format is named and not guessed: guessing, the reader loads every image format
    // plugin (the SVG one among them) to ask each whether it knows the file; PNG is built in.
    QImageReader reader(QStringLiteral(":/icons/plumfinch-%1.png").arg(size), "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}
