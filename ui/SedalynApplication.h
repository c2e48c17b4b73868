#pragma once
// STUB
#include <QApplication>
class SedalynApplication : public QApplication {
public:
    using QApplication::QApplication;
};
