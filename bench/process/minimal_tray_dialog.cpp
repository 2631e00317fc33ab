// The floor a Qt 6 tray tool starts from: one dialog with 25 ordinary widgets (labels,
// line edits, check boxes, buttons, group boxes, a multi-line log) and a tray icon with a
// menu. Nothing else: no network library, no worker threads, no SVG.
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("Minimal tray dialog"));
  auto* layout = new QVBoxLayout(&dialog);

  auto* accounts = new QGroupBox(QStringLiteral("Accounts"));  // 1
  auto* grid = new QGridLayout(accounts);
  for (int row = 0; row < 4; ++row) {  // 4 x (label, line edit, button) = 12
    grid->addWidget(new QLabel(QStringLiteral("Account %1").arg(row + 1)), row, 0);
    grid->addWidget(new QLineEdit, row, 1);
    grid->addWidget(new QPushButton(QStringLiteral("Bind")), row, 2);
  }
  layout->addWidget(accounts);

  auto* targets = new QGroupBox(QStringLiteral("Send to"));  // 1
  auto* row = new QHBoxLayout(targets);
  for (int i = 0; i < 4; ++i)
    row->addWidget(new QCheckBox(QStringLiteral("Service %1").arg(i + 1)));  // 4
  layout->addWidget(targets);

  layout->addWidget(new QPlainTextEdit);                            // 1: message
  layout->addWidget(new QLineEdit);                                 // 1: picture
  layout->addWidget(new QPushButton(QStringLiteral("Browse...")));  // 1
  layout->addWidget(new QPushButton(QStringLiteral("Send")));       // 1
  auto* logBox = new QGroupBox(QStringLiteral("Log"));              // 1
  auto* logLayout = new QVBoxLayout(logBox);
  auto* log = new QPlainTextEdit;  // 1
  log->setReadOnly(true);
  log->setLineWrapMode(QPlainTextEdit::NoWrap);
  logLayout->addWidget(log);
  layout->addWidget(logBox);
  layout->addWidget(new QCheckBox(QStringLiteral("Start with the system")));  // 1

  // A painted icon: a style's standard icon would search the icon theme (tens of millions
  // of instructions), which is no part of the floor.
  QPixmap pixmap(32, 32);
  pixmap.fill(QColor(0x7b, 0x3f, 0x8c));
  const QIcon icon(pixmap);
  dialog.setWindowIcon(icon);
  QSystemTrayIcon tray(icon);
  QMenu menu;
  menu.addAction(QStringLiteral("Show/Hide"), &dialog,
                 [&dialog] { dialog.setVisible(!dialog.isVisible()); });
  menu.addAction(QStringLiteral("Exit"), &app, &QApplication::quit);
  tray.setContextMenu(&menu);
  tray.setToolTip(QStringLiteral("Minimal tray dialog"));
  tray.show();

  dialog.show();
  return app.exec();
}
