// The peer of regdiag-sim's cold start: the least a Qt Widgets program does
// to show a window, one QWidget with a label, built with the same compiler,
// flags and Qt as regdiag.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("minimal"));
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(new QLabel(QStringLiteral("A minimal Qt Widgets window"), &window));
  window.show();
  return QApplication::exec();
}
