#pragma once
// The questions and small windows of a memory's view. The view asks through this
// class; tests give it one that answers without a person.

#include <QString>

class QWidget;

class HMemPrompter {
public:
    enum class Icon { Information, Question, Warning, Stop };
    virtual ~HMemPrompter() = default;
    // Yes/No question; true for Yes.
    virtual bool confirm(QWidget *owner, const QString &caption, const QString &text, Icon icon);
    // A message with an OK button (empty caption: none).
    virtual void message(QWidget *owner, const QString &caption, const QString &text, Icon icon);
    // The system's text for an errno value, naming the file or folder it concerns.
    virtual void showSystemError(QWidget *owner, int error, const QString &path);
    // The "Make Multiple Directory" dialog; false when cancelled.
    virtual bool askMultipleDirectories(QWidget *owner, QString *pattern, int *startIndex, int *count);
    // The disk medium information dialog of a memory.
    virtual void showDiskProperties(QWidget *owner, int memory);
};
