// sedalyn-helpdoc: turns the help document's Markdown into the PDF that the
// program opens, and writes the application icon as PNG files for the
// desktop's icon theme.
//
//   sedalyn-helpdoc --markdown sedalynhelp.md --pdf sedalynhelp.pdf
//                   --icons DIR [--icon-sizes 16,32,48]

#include "AppIcon.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

namespace {

void Fail(const QString& message)
{
    std::fprintf(stderr, "sedalyn-helpdoc: %s\n", qPrintable(message));
}

bool WritePdf(const QString& markdownPath, const QString& pdfPath)
{
    QFile source(markdownPath);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Fail(QStringLiteral("cannot read %1").arg(markdownPath));
        return false;
    }
    const QString markdown = QString::fromUtf8(source.readAll());

    QDir().mkpath(QFileInfo(pdfPath).absolutePath());
    QFile::remove(pdfPath);
    {
        QPdfWriter writer(pdfPath);
        writer.setTitle(QStringLiteral("Sedalyn help"));
        writer.setCreator(QStringLiteral("Sedalyn"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));

        QTextDocument document;
        QFont font;
        font.setFamilies({QStringLiteral("DejaVu Serif"), QStringLiteral("Liberation Serif"),
                          QStringLiteral("Times New Roman")});
        font.setStyleHint(QFont::Serif);
        font.setPointSize(10);
        document.setDefaultFont(font);
        document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
        document.print(&writer);
    }

    // QPdfWriter reports no errors of its own.
    const QFileInfo written(pdfPath);
    if (!written.isFile() || written.size() == 0) {
        Fail(QStringLiteral("cannot write %1").arg(pdfPath));
        return false;
    }
    return true;
}

bool WriteIcons(const QString& folder, const QList<int>& sizes)
{
    if (!QDir().mkpath(folder)) {
        Fail(QStringLiteral("cannot create %1").arg(folder));
        return false;
    }
    for (const int size : sizes) {
        const QString path = QDir(folder).filePath(QStringLiteral("org.sedalyn.Sedalyn-%1.png").arg(size));
        if (!ApplicationIconImage(size).save(path, "PNG")) {
            Fail(QStringLiteral("cannot write %1").arg(path));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Fonts and painting need a GUI application, but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Builds Sedalyn's help PDF and icon images."));
    parser.addHelpOption();
    const QCommandLineOption markdown(QStringLiteral("markdown"), QStringLiteral("Help source."), QStringLiteral("file"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("PDF to write."), QStringLiteral("file"));
    const QCommandLineOption icons(QStringLiteral("icons"), QStringLiteral("Folder for the icon PNGs."), QStringLiteral("folder"));
    const QCommandLineOption iconSizes(QStringLiteral("icon-sizes"), QStringLiteral("Comma-separated sizes."),
                                       QStringLiteral("list"), QStringLiteral("16,32,48,64,128,256"));
    parser.addOptions({markdown, pdf, icons, iconSizes});
    parser.process(app);

    if (parser.isSet(pdf) != parser.isSet(markdown)) {
        Fail(QStringLiteral("--pdf and --markdown go together"));
        return 2;
    }
    if (!parser.isSet(pdf) && !parser.isSet(icons)) {
        Fail(QStringLiteral("nothing to do: give --markdown/--pdf and/or --icons"));
        return 2;
    }

    QList<int> sizes;
    for (const QString& text : parser.value(iconSizes).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int size = text.trimmed().toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            Fail(QStringLiteral("bad icon size %1").arg(text));
            return 2;
        }
        sizes << size;
    }

    if (parser.isSet(pdf) && !WritePdf(parser.value(markdown), parser.value(pdf)))
        return 1;
    if (parser.isSet(icons) && !WriteIcons(parser.value(icons), sizes))
        return 1;
    return 0;
}
