// The program's icon: every prepared size is the SVG's own rendering (a PNG left stale
// after the SVG changed fails here), the SVG engine is loaded only for other sizes, and
// the icon names no sizes, as a scalable icon, so windows and trays ask for the same
// sizes they asked the SVG for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <string>

#include "app/AppIcon.h"
#include "tests/support/TestEnv.h"

// Outside the unnamed namespace: the macro declares the resource function where it is used.
static void InitResources() { Q_INIT_RESOURCE(res); }

namespace {

QImage Pixels(const QPixmap& pixmap) {
  return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

class CGuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    InitResources();
    static int argc = 1;
    static char name[] = "app_icon_test";
    static char* argv[] = {name, nullptr};
    m_app = new QApplication(argc, argv);
  }
  void TearDown() override { delete m_app; }

 private:
  QApplication* m_app = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new CGuiEnvironment);

}  // namespace

// Runs first (the order of this file): nothing has drawn the SVG yet.
TEST(AppIcon, PreparedSizesNeedNoSvgEngine) {
  const QIcon icon = LoadAppIcon();
  EXPECT_FALSE(icon.isNull());
  EXPECT_TRUE(icon.availableSizes().isEmpty());
  for (int size : kAppIconSizes) {
    const QPixmap pixmap = icon.pixmap(QSize(size, size));
    EXPECT_EQ(pixmap.size(), QSize(size, size)) << size;
  }
  EXPECT_FALSE(LibraryMapped("libqsvgicon"));
}

TEST(AppIcon, EverySizeMatchesTheSvg) {
  const QIcon icon = LoadAppIcon();
  const QIcon svg(QStringLiteral(":/icons/plumfinch.svg"));
  for (int size : kAppIconSizes)
    EXPECT_EQ(Pixels(icon.pixmap(QSize(size, size))), Pixels(svg.pixmap(QSize(size, size))))
        << size << " px: run scripts/render-icons after changing the SVG";
  // Sizes and states not prepared come from the SVG itself.
  for (int size : {20, 40, 256}) {
    const QPixmap pixmap = icon.pixmap(QSize(size, size));
    EXPECT_EQ(pixmap.size(), QSize(size, size));
    EXPECT_EQ(Pixels(pixmap), Pixels(svg.pixmap(QSize(size, size)))) << size;
  }
  EXPECT_EQ(Pixels(icon.pixmap(QSize(32, 32), QIcon::Disabled)),
            Pixels(svg.pixmap(QSize(32, 32), QIcon::Disabled)));
}
