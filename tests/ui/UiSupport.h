#pragma once
// The help document's hooks, kept away from a real viewer.

#include "Unit2.h"

#include <QDir>
#include <QFile>

#include <functional>

// For the life of a test: no viewer starts, and whatever the test puts in
// the help hooks is undone afterwards.
class HelpHooks {
public:
    HelpHooks() { TForm2::OpenDocument = [](const QUrl&) { return false; }; }
    ~HelpHooks()
    {
        TForm2::HelpFolders = m_folders;
        TForm2::OpenDocument = m_opener;
    }
    HelpHooks(const HelpHooks&) = delete;
    HelpHooks& operator=(const HelpHooks&) = delete;

private:
    std::function<QStringList()> m_folders = TForm2::HelpFolders;
    std::function<bool(const QUrl&)> m_opener = TForm2::OpenDocument;
};

// Puts a help document into `folder`; its path, or empty when that failed.
inline QString PutHelpDocument(const QString& folder)
{
    QFile file(QDir(folder).filePath(TForm2::HelpFileName));
    if (!file.open(QIODevice::WriteOnly) || file.write("%PDF-1.4\n") < 0)
        return {};
    return file.fileName();
}
