#pragma once
// The case data file: created or emptied on open, CR LF line ends, text in
// the codeset of the system's locale. Failures collect in an error state
// that the caller tests once after a group of writes, as IOResult does.
// A write that fails leaves nothing behind, and one that succeeds is on the
// disk when it returns: a crash or a power cut loses no line reported
// written, and a line a crash cuts short cannot pass for a whole one.

#include "FileSystem.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>

#include <sys/types.h>

// Which file a path named: its device and inode. Zero: not known.
struct FileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;

    explicit operator bool() const { return Device != 0 || Inode != 0; }
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class TDataFile {
public:
    explicit TDataFile(FileSystem& files = FileSystem::System());
    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;
    ~TDataFile() = default;

    // Creates or empties `path` for writing, in `codeset` (a name iconv
    // knows; UTF-8 where it knows none). Anything but a regular file, a
    // symbolic link included, is refused untouched; others may read the
    // file meanwhile.
    void Rewrite(const QString& path, const std::string& codeset = "UTF-8");
    // Opens `path` again to carry a case on: it must still be a regular file
    // of its user's, of at least `length` bytes (where the state the case
    // carries on from had left it). Whole lines past `length` stay; only a
    // torn last line (without its CR LF, or holding NUL bytes) is cut.
    // Given an identity, the file must still be that one.
    void Reopen(const QString& path, off_t length, const std::string& codeset = "UTF-8",
                FileIdentity identity = {});
    // The open file's identity.
    FileIdentity Identity() const { return m_identity; }
    // The whole lines Reopen found past its length.
    const QByteArray& WholeLinesAfter() const { return m_after; }
    // Where the last whole line ends: all a crash now could leave.
    off_t Length() const { return m_end; }

    // The lines in one write, each ending in CR LF. After a failure the file
    // is cut back to where the lines began.
    void WriteLines(const QStringList& lines);

    void Close();
    bool IsOpen() const { return m_file.IsOpen(); }

    // False once the file has been removed from its folder (with the folder,
    // say): what is written after that is kept nowhere.
    bool IsLinked() const;

    // The first error since the last call (0 when none), and clears it.
    int IOResult();
    // The failure behind the last error, in words ("cannot open /x/case.csv:
    // it is a symbolic link, not a file"); it stays after IOResult, until
    // another failure. Empty when there was none.
    std::string Problem() const { return m_failure.Message(); }
    const FileError& Failure() const { return m_failure; }

private:
    void Open(const QString& path, const std::string& codeset, int create, off_t length, FileIdentity identity);
    FileError WholeLinesAfter(const File& file, off_t size, off_t length, off_t& end);
    void Fail(const FileError& error);
    bool WriteAll(const QByteArray& bytes);
    bool CutBack();

    FileSystem& m_files;
    File m_file;
    std::string m_path;   // as the file system names it
    std::string m_codeset;
    int m_error = 0;
    FileError m_failure;
    off_t m_end = 0;      // where the last whole line ends
    QByteArray m_after;   // whole lines past the length reopened at
    FileIdentity m_identity;
    bool m_torn = false;  // bytes past m_end that could not yet be cut
};
