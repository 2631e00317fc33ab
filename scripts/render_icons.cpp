// Renders the program's SVG icon to the PNG files the program loads, through the same
// SVG icon engine that drew it when the program loaded the SVG itself, so the pixels are
// the ones that engine produced. Not part of the build; scripts/render-icons runs it.
//   render_icons <icon.svg> <output folder> <size>...
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s icon.svg folder size...\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QIcon icon(QString::fromLocal8Bit(argv[1]));
  const QString folder = QString::fromLocal8Bit(argv[2]);
  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const QImage image = icon.pixmap(QSize(size, size)).toImage();
    if (size <= 0 || image.size() != QSize(size, size)) {
      std::fprintf(stderr, "cannot render %s at %d px\n", argv[1], size);
      return 1;
    }
    const QString path = QStringLiteral("%1/plumfinch-%2.png").arg(folder).arg(size);
    if (!image.save(path, "PNG", 9)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
