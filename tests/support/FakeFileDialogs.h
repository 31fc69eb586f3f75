#pragma once

#include "app/FileDialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace velomire::testing {

// Answers the document's file questions from a script and keeps every question asked. An empty
// script answers like a user who cancels.
class FakeFileDialogs : public app::FileDialogs {
public:
    struct Question {
        QString kind; // "open", "save", "ask", "convert", "confirm", "folder", "instrument"
        QString title;
        QString filter;
        QString proposal;
        QString suffix;
    };

    QString OpenFileName(const QString& title, const QString& filter) override {
        questions.append({QStringLiteral("open"), title, filter, {}, {}});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    QString SaveFileName(const QString& title, const QString& filter, const QString& proposal,
                         const QString& suffix) override {
        questions.append({QStringLiteral("save"), title, filter, proposal, suffix});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    SaveAnswer AskToSave(const QString& documentTitle) override {
        questions.append({QStringLiteral("ask"), documentTitle, {}, {}, {}});
        return saveAnswers.isEmpty() ? SaveAnswer::cancel : saveAnswers.takeFirst();
    }

    // The proposal is kept as its rate's number.
    std::optional<program::ConvertOptions>
    AskToConvert(const QStringList& files, const program::ConvertOptions& proposal) override {
        questions.append({QStringLiteral("convert"),
                          files.join(QLatin1Char(',')),
                          {},
                          QString::number(static_cast<int>(proposal.rate)),
                          {}});
        return convertAnswer;
    }
    bool Confirm(const QString& question) override {
        questions.append({QStringLiteral("confirm"), question, {}, {}, {}});
        return confirmAnswer;
    }

    QString FolderName(const QString& title, const QString& from) override {
        questions.append({QStringLiteral("folder"), title, {}, from, {}});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }

    // Records the report of the instrument `instrumentAnswer` (or of the first on Cancel) as the
    // question's proposal, one line per line.
    std::optional<int> ChooseInstrument(const QString& file, const QString& modelName,
                                        const QStringList& names,
                                        const std::function<QStringList(int)>& reportFor) override {
        questions.append({QStringLiteral("instrument"), file, names.join(QLatin1Char(',')),
                          reportFor(instrumentAnswer.value_or(0)).join(QLatin1Char('\n')),
                          modelName});
        return instrumentAnswer;
    }

    // Declines conversions and confirmations unless told otherwise.
    std::optional<program::ConvertOptions> convertAnswer;
    // The instrument chosen at Import instrument; nothing: Cancel.
    std::optional<int> instrumentAnswer;
    bool confirmAnswer = false;
    QStringList fileAnswers;
    QList<SaveAnswer> saveAnswers;
    QList<Question> questions;
};

} // namespace velomire::testing
