// scripted_ui.h - the session's question and dialog interface with answers
// given in advance, and the fixture every session test starts from.
#pragma once

#include "zvs450.h"

#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>

class ScriptedUi final : public Zvs450Ui
{
public:
    struct Asked {
        QString text;
        QString caption;
    };

    std::deque<Answer> answers;  // for question(); Cancel when it runs out
    std::deque<QString> files;   // for openFile(); cancelled when it runs out
    std::vector<Asked> questions;
    std::vector<Asked> messages;
    std::vector<QString> dialogTitles;
    std::vector<QString> dialogFilters;
    std::vector<QStringList> viewers; // program, file
    bool viewerStarts = true;

    Answer question(QWidget *, const QString &text, const QString &caption) override
    {
        questions.push_back({text, caption});
        if (answers.empty())
            return Answer::Cancel;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void message(QWidget *, const QString &text, const QString &caption) override
    {
        messages.push_back({text, caption});
    }
    QString openFile(QWidget *, const QString &title, const QString &filter, const QString &) override
    {
        dialogTitles.push_back(title);
        dialogFilters.push_back(filter);
        if (files.empty())
            return QString();
        const QString file = files.front();
        files.pop_front();
        return file;
    }
    bool startViewer(const QString &program, const QString &file) override
    {
        viewers.push_back({program, file});
        return viewerStarts;
    }
};

// Settings are cleared for every test; the process keeps them in a private
// configuration folder (main.cpp).
inline void clearSettings()
{
    QSettings settings(QStringLiteral("Brightfen"), QStringLiteral("TuneDeck"));
    settings.clear();
    settings.sync();
}
