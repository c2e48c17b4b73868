// STUB
#include "DataFile.h"
TDataFile::~TDataFile() = default;
void TDataFile::Rewrite(const QString&) {}
void TDataFile::WriteLine(const QString&) {}
void TDataFile::Close() {}
int TDataFile::IOResult() { return 0; }
void TDataFile::Fail(int) {}
void TDataFile::WriteAll(const QByteArray&) {}
