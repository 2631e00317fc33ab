// LoadAppIcon: an icon engine over the PNG renderings, with the SVG for the rest.
#include "app/AppIcon.h"

#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <algorithm>

namespace {

const QString kSvgPath = QStringLiteral(":/icons/plumfinch.svg");

class CAppIconEngine : public QIconEngine {
 public:
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    if (mode == QIcon::Normal && size.width() == size.height() &&
        std::find(kAppIconSizes.begin(), kAppIconSizes.end(), size.width()) !=
            kAppIconSizes.end()) {
      const QPixmap prepared = Prepared(size.width());
      if (!prepared.isNull()) return prepared;
    }
    // Only here is the SVG engine loaded: for a size or a state not prepared.
    if (m_svg.isNull()) m_svg = QIcon(kSvgPath);
    return m_svg.pixmap(size, mode, state);
  }

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    QSize size = rect.size();
    if (painter->device()) size *= painter->device()->devicePixelRatio();
    painter->drawPixmap(rect, pixmap(size, mode, state));
  }

  QIconEngine* clone() const override { return new CAppIconEngine(*this); }
  QString key() const override { return QStringLiteral("plumfinch"); }

 private:
  QPixmap Prepared(int size) {
    auto index =
        size_t(std::find(kAppIconSizes.begin(), kAppIconSizes.end(), size) - kAppIconSizes.begin());
    QPixmap& slot = m_prepared[index];
    if (slot.isNull()) {
      // The format is named and not guessed: guessing, the reader loads every image
      // format plugin (the SVG one among them) to ask each whether it knows the file.
      QImageReader reader(QStringLiteral(":/icons/plumfinch-%1.png").arg(size), "png");
      reader.setAutoDetectImageFormat(false);
      slot = QPixmap::fromImage(reader.read());
    }
    return slot;
  }

  std::array<QPixmap, kAppIconSizes.size()> m_prepared;
  QIcon m_svg;
};

}  // namespace

QIcon LoadAppIcon() { return QIcon(new CAppIconEngine); }
