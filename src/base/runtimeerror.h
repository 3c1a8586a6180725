#pragma once

#include <QString>

class QFileDevice;

// A run-time error as the user sees it: a number of the program's catalogue and a text.
struct RuntimeError
{
    int number = 0;
    QString description;

    bool isError() const { return number != 0; }
};

// Standard numbers of the catalogue that the program's own code raises.
namespace ErrorNumber {
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int BadFileName = 52;
constexpr int FileNotFound = 53;
constexpr int BadFileMode = 54;
constexpr int FileAlreadyOpen = 55;
constexpr int DeviceIo = 57;
constexpr int DiskFull = 61;
constexpr int InputPastEnd = 62;
constexpr int TooManyFiles = 67;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccess = 75;
constexpr int PathNotFound = 76;
constexpr int ApplicationDefined = 1004;
} // namespace ErrorNumber

// Italian text of a run-time error number; unknown numbers give the generic text.
QString runtimeErrorText(int number);
RuntimeError makeError(int number);

// The closest catalogue error for a file that failed to open, read or write.
RuntimeError fileError(const QFileDevice &file);
