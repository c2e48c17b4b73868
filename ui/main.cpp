// STUB
#include "Unit1.h"
#include <QApplication>
int main(int argc, char** argv) { QApplication app(argc, argv); TForm1 f(sedalyn::LocaleSettings{}); f.show(); return app.exec(); }
