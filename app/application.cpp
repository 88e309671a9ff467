#include "app/application.h"

#include <QApplication>
#include <QWidget>

int RunApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.show();
    return app.exec();
}
