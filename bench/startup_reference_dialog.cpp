// The reference for the start-up benchmark: the smallest Qt Widgets window worth the name, a
// dialog with a label and a button, linked with nothing but Qt Widgets.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel("Ready"));
    layout->addWidget(new QPushButton("OK"));
    dialog.show();
    return app.exec();
}
