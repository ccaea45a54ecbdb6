#include "app/QtUiPrompts.h"

#include "app/TextFormat.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

QString appTitle()
{
    return QString::fromUtf8(TextFormat::kAppTitle.data(), qsizetype(TextFormat::kAppTitle.size()));
}

} // namespace

void QtUiPrompts::showError(const QString &text)
{
    QMessageBox::critical(m_parent, appTitle(), text, QMessageBox::Ok);
}

void QtUiPrompts::showNotice(const QString &text)
{
    QMessageBox::information(m_parent, appTitle(), text, QMessageBox::Ok);
}

std::optional<QString> QtUiPrompts::openFile(const QString &title, const QString &folder,
                                             const QStringList &filters, int selectedFilter)
{
    QFileDialog dialog(m_parent, title, folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(filters);
    if (selectedFilter >= 0 && selectedFilter < filters.size())
        dialog.selectNameFilter(filters.at(selectedFilter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
