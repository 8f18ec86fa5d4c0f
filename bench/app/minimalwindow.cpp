// The reference for the start-up benchmark: a Qt Widgets program with one window of the same
// size, reporting on the same event-loop turn as Velmora's launch line.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(1200, 760);
    window.setWindowTitle(QStringLiteral("Reference"));
    window.show();
    QTimer::singleShot(0, [] {
        std::fprintf(stderr, "Launched\n");
        std::fflush(stderr);
    });
    return QApplication::exec();
}
