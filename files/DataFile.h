#pragma once
// The case data file: created or emptied on open, CR LF line ends, text in
// the codeset of the system's locale. Failures collect in an error state
// that the caller tests once after a group of writes, as IOResult does.
// A write that fails leaves nothing behind, and one that succeeds is on the
// disk when it returns: a crash or a power cut loses no line reported
// written, and a line a crash cuts short cannot pass for a whole one.

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

#include <sys/types.h>

class TDataFile {
public:
    // The calls that reach the disk, pwrite's and fdatasync's; tests put a
    // full or failing disk in their place.
    struct DiskCalls {
        std::function<ssize_t(int fd, const void* data, std::size_t size, off_t offset)> Write;
        std::function<int(int fd)> Sync;
    };
    static DiskCalls SystemDisk();

    TDataFile();
    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;
    ~TDataFile();

    // Creates or empties `path` for writing, in `codeset` (a name iconv
    // knows; UTF-8 where it knows none). Anything but a regular file is
    // refused untouched; others may read the file meanwhile.
    void Rewrite(const QString& path, const std::string& codeset = "UTF-8");
    // Opens `path` again to carry a case on: it must still be a regular file
    // of at least `length` bytes; what follows `length` (rows written after
    // the state the case carries on from) is cut off.
    void Reopen(const QString& path, off_t length, const std::string& codeset = "UTF-8");
    // Where the last whole line ends: all a crash now could leave.
    off_t Length() const { return m_end; }

    // The lines in one write, each ending in CR LF. After a failure the file
    // is cut back to where the lines began.
    void WriteLines(const QStringList& lines);
    void WriteLine(const QString& line) { WriteLines({line}); }

    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // False once the file has been removed from its folder (with the folder,
    // say): what is written after that is kept nowhere.
    bool IsLinked() const;

    // The first error since the last call (0 when none), and clears it.
    int IOResult();

    void SetDiskCalls(DiskCalls calls) { m_disk = std::move(calls); }

private:
    void Open(const QString& path, const std::string& codeset, int create, off_t length);
    void Fail(int code);
    bool WriteAll(const QByteArray& bytes);
    bool WriteRange(const char* data, std::size_t size, off_t offset);
    bool CutBack();

    DiskCalls m_disk;
    std::string m_codeset;
    int m_fd = -1;
    int m_error = 0;
    off_t m_end = 0;      // where the last whole line ends
    bool m_torn = false;  // bytes past m_end that could not yet be cut
};

// Classic I/O error codes.
inline constexpr int IoFileNotFound = 2;
inline constexpr int IoAccessDenied = 5;
inline constexpr int IoDiskFull = 101;
inline constexpr int IoFileNotOpen = 103;
