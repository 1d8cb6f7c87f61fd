#pragma once
// errorsys: the system's own text for an errno value, for the program's work
// on local files. Failures of the device library are shown by the library.

#include <QString>

class QWidget;

// Text shown for an error number the system has no text for.
inline constexpr char kErrorsysUnknownText[] = "System Internal Errors(null)";

// The message text of errno value `error` (0 = the calling thread's errno).
QString errorsys_Text(int error);

// Copies the text into buffer (at most size - 1 bytes and a NUL, never cutting
// a UTF-8 character in half). Does nothing when size is 0 or below.
void errorsys_GetText(int error, char *buffer, int size);

// The text shown for a failure on a file or folder: its path on one line, the
// system's text on the next; the text alone when path is empty.
QString errorsys_Message(int error, const QString &path);

// Shows errorsys_Message in a warning box with OK and Cancel owned by owner;
// without a QApplication the message goes to stderr as one line. The answer is
// not passed back.
void errorsys_Show(int error, QWidget *owner, const QString &path = QString());
