#pragma once
// How the program's life is tied to its main window.

class QApplication;
class TForm1;

// The program ends when the main window has closed through its close path,
// and only then: not because a message box shown while the main window was
// hidden happened to be the last visible window.
void EndProgramWithMainWindow(QApplication& app, TForm1& mainWindow);
