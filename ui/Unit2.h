#pragma once
// The disclaimer window: the terms of use and brief operating instructions.
// Accept opens the way to the main window, Cancel ends the program, Help
// opens the help document.

#include <QDialog>
#include <QStringList>
#include <QUrl>

#include <functional>

class QPushButton;
class QTextEdit;

class TForm2 : public QDialog {
    Q_OBJECT

public:
    // `mainWindow` is shown by Accept and closed by Cancel; it also owns
    // this window.
    explicit TForm2(QWidget* mainWindow = nullptr);

    QPushButton* BitBtn1 = nullptr; // Accept
    QPushButton* BitBtn2 = nullptr; // Cancel
    QTextEdit* RichEdit1 = nullptr;
    QPushButton* BitBtn3 = nullptr; // Help

    void onshow();
    void BitBtn1Click(QObject* Sender);
    void BitBtn2Click(QObject* Sender);
    void BitBtn3Click(QObject* Sender);

    // Opens "sedalynhelp.pdf" from the first folder of HelpFolders() that
    // has it, or tells the user it is missing. Both windows' Help buttons.
    static void OpenHelpDocument();

    // Where the help document is looked for, in order: the working
    // directory, the installed data folder (as configured, then as seen from
    // the program's folder), the program's own folder.
    static std::function<QStringList()> HelpFolders;
    // Hands a document to the desktop's viewer; false when that failed.
    // Tests replace it so that no viewer starts.
    static std::function<bool(const QUrl&)> OpenDocument;
    // The default: true once the desktop has been asked to show the document
    // with a program registered for PDF files.
    static bool OpenWithDesktop(const QUrl& url);
    // Whether the desktop names an installed program for PDF files.
    static bool PdfViewerRegistered();

    static const QString HelpFileName;
    static const QString DisclaimerText;

    // Callers of accept() and reject() get the buttons' whole behaviour.
    // Escape and a close by the window manager (Alt+F4; there is no close
    // box) land in reject(): like any end that is not a button, they are a
    // Cancel, so the main window never opens without Accept.
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
};
