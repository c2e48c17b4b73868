#pragma once
// The case data file: created or emptied on open, CR LF line ends, one byte
// per character. Failures collect in an error state that the caller tests once
// after a group of writes, as IOResult does. Each line reaches the operating
// system as it is written, so a crash loses nothing already written.

#include <QString>

class TDataFile {
public:
    TDataFile() = default;
    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;
    ~TDataFile();

    // Creates or truncates `path` for writing; others may read it meanwhile.
    void Rewrite(const QString& path);
    void WriteLine(const QString& line);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // The first error since the last call (0 when none), and clears it.
    int IOResult();

private:
    void Fail(int code);
    void WriteAll(const QByteArray& bytes);

    int m_fd = -1;
    int m_error = 0;
};

// Classic I/O error codes.
inline constexpr int IoFileNotFound = 2;
inline constexpr int IoAccessDenied = 5;
inline constexpr int IoDiskFull = 101;
inline constexpr int IoFileNotOpen = 103;
