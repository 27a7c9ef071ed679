// The peer of the lobby window's start and memory: the least a Qt Widgets
// window with the same kinds of elements costs (a line edit, a table view
// over a model, buttons, labels in a grid), and nothing else.
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  auto* grid = new QGridLayout(&window);
  grid->addWidget(new QLabel("Your name:"), 0, 0);
  grid->addWidget(new QLineEdit, 0, 1);
  QStandardItemModel model(0, 6);
  auto* view = new QTableView;
  view->setModel(&model);
  grid->addWidget(view, 1, 0, 1, 2);
  grid->addWidget(new QPushButton("Join"), 2, 0);
  grid->addWidget(new QPushButton("Host a Table"), 2, 1);
  window.resize(640, 420);
  window.show();
  QTimer::singleShot(0, [] { std::fprintf(stderr, "window shown\n"); });
  return app.exec();
}
