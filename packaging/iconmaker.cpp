// Renders the program's icon, the tray's green round face, as PNG files for the hicolor theme:
//   sorvelo_iconmaker OUTPUT_FOLDER SIZE...   writes OUTPUT_FOLDER/<SIZE>/sorvelo.png for each size
// The drawing is the tray picture's own code (ui/program/programpictures.cpp) on its 16-unit grid, scaled,
// so the large sizes are drawn sharp instead of blown up from 16 pixels. sorvelo.svg beside this
// file is the same drawing by hand.

#include <QDir>
#include <QImage>
#include <QPainter>

#include "ui/program/programpictures.h"

#include <cstdio>
#include <cstdlib>

namespace {

QImage face(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.scale(size / 16.0, size / 16.0);
  drawTrayPicture(p, TTrayPicture::ConnectionOk);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER SIZE...\n", argv[0]);
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 8 || size > 1024) {
      std::fprintf(stderr, "bad size: %s\n", argv[i]);
      return 2;
    }
    const QString folder = QString::number(size);
    if (!out.mkpath(folder) || !face(size).save(out.filePath(folder + "/sorvelo.png"), "PNG")) {
      std::fprintf(stderr, "cannot write %s/%s/sorvelo.png\n", argv[1], argv[i]);
      return 1;
    }
  }
  return 0;
}
