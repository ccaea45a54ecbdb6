#pragma once

#include "app/UiPrompts.h"

#include <QStringList>

// Replaces every modal box and file dialog in tests: records what would have been shown and
// answers file dialogs from a queue (an empty optional is a cancel). Never blocks.
class FakePrompts : public UiPrompts
{
public:
    struct DialogCall
    {
        QString title;
        QString folder;
        QStringList filters;
        int selectedFilter = -1;
    };

    QStringList errors;
    QStringList notices;
    QList<DialogCall> dialogs;
    QStringList answers; // what the next file dialogs return; a null QString is a cancel

    void showError(const QString &text) override { errors << text; }
    void showNotice(const QString &text) override { notices << text; }
    std::optional<QString> openFile(const QString &title, const QString &folder,
                                    const QStringList &filters, int selectedFilter) override
    {
        dialogs.append({title, folder, filters, selectedFilter});
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        if (answer.isNull())
            return std::nullopt;
        return answer;
    }
};
