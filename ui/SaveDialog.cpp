#include "SaveDialog.h"

#include "MessageBoxes.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// Qt's own dialog accepts a name in a folder that does not exist; this one
// refuses it and keeps the dialog open, as the file could never be created.
class SaveFileDialog : public QFileDialog {
public:
    SaveFileDialog(QWidget* parent, const QString& title) : QFileDialog(parent, title) {}

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (!files.isEmpty()) {
            const QFileInfo chosen(files.constFirst());
            const QFileInfo folder(chosen.absolutePath());
            if (!chosen.isDir() && !folder.isDir()) {
                NoticeBox(QStringLiteral("%1\nThe folder does not exist.\nCheck the path and try again.")
                              .arg(QDir::toNativeSeparators(chosen.absoluteFilePath())),
                          windowTitle(), MB_OK | MB_ICONWARNING);
                return;
            }
        }
        QFileDialog::accept();
    }
};

// Qt keeps the state of its file dialogs (last folder, history) in the
// user's QtProject settings and restores it into every new dialog. This
// program keeps nothing between runs, and a folder remembered from another
// program could be anything (a dialog restored into /proc hangs reading it),
// so while the dialog lives it reads and writes a throwaway copy.
class ThrowawayDialogSettings {
public:
    ThrowawayDialogSettings()
    {
        if (m_folder.isValid())
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_folder.path());
    }
    ~ThrowawayDialogSettings()
    {
        if (m_folder.isValid())
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                               QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
    ThrowawayDialogSettings(const ThrowawayDialogSettings&) = delete;
    ThrowawayDialogSettings& operator=(const ThrowawayDialogSettings&) = delete;

private:
    QTemporaryDir m_folder;
};

// Where the dialog opens before a file was chosen: the user's documents
// folder, or the home folder where there is none; never the program's own.
QString FirstFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

} // namespace

TSaveDialog::TSaveDialog(QObject* owner) : QObject(owner)
{
}

bool TSaveDialog::Execute(QWidget* parent)
{
    const ThrowawayDialogSettings settings;
    QPointer<SaveFileDialog> dialog = new SaveFileDialog(parent, Title);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(DefaultExt);
    dialog->setWindowModality(Qt::ApplicationModal);
    // Then in the folder of the last chosen file, with its name filled in;
    // a folder gone since (a removed stick) leaves just the name.
    const QFileInfo last(FileName);
    if (!FileName.isEmpty() && last.absoluteDir().exists()) {
        dialog->setDirectory(last.absolutePath());
        dialog->selectFile(FileName);
    } else {
        dialog->setDirectory(FirstFolder());
        if (!FileName.isEmpty())
            dialog->selectFile(last.fileName());
    }

    const bool chosen = dialog->exec() == QDialog::Accepted && dialog
        && !dialog->selectedFiles().isEmpty();
    if (chosen)
        FileName = QFileInfo(dialog->selectedFiles().constFirst()).absoluteFilePath();
    delete dialog;
    return chosen;
}
