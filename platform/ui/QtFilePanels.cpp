#include "platform/ui/QtFilePanels.h"

#include <QFileDialog>
#include <QStringList>

namespace velmora {

QString QtFilePanels::nameFilter(const FilePanelRequest& request)
{
    if (request.extensions.empty())
        return QStringLiteral("All files (*)");
    QStringList patterns;
    QStringList names;
    for (const auto& extension : request.extensions) {
        const QString ext = QString::fromStdString(extension).toLower();
        names << ext.toUpper();
        patterns << QStringLiteral("*.") + ext << QStringLiteral("*.") + ext.toUpper();
    }
    return names.join(QStringLiteral(", ")) + QStringLiteral(" (") + patterns.join(QLatin1Char(' '))
        + QLatin1Char(')');
}

void QtFilePanels::run(const FilePanelRequest& request, FilePanelCompletion completion)
{
    auto* dialog = new QFileDialog(parent_.data(), QString::fromStdString(request.title));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!request.directory.empty())
        dialog->setDirectory(QString::fromStdString(request.directory.string()));

    switch (request.kind) {
    case FilePanelRequest::Kind::openFile:
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setNameFilter(nameFilter(request));
        break;
    case FilePanelRequest::Kind::openFiles:
        // Qt's panel picks either files or one folder: a folder is taken with "Choose" while
        // the panel shows it, so folders are offered by letting directories be selected.
        dialog->setFileMode(request.canChooseDirectories ? QFileDialog::Directory : QFileDialog::ExistingFiles);
        if (request.canChooseDirectories)
            dialog->setOption(QFileDialog::ShowDirsOnly, false);
        dialog->setNameFilter(nameFilter(request));
        break;
    case FilePanelRequest::Kind::openFolder:
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly, true);
        break;
    case FilePanelRequest::Kind::saveFile:
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setNameFilter(nameFilter(request));
        if (!request.suggestedName.empty())
            dialog->selectFile(QString::fromStdString(request.suggestedName));
        break;
    }

    // The completion runs exactly once: on accept with the choice, on reject with nothing.
    auto done = std::make_shared<FilePanelCompletion>(std::move(completion));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
        std::vector<std::filesystem::path> chosen;
        if (result == QDialog::Accepted) {
            for (const QString& file : dialog->selectedFiles())
                chosen.emplace_back(file.toStdString());
        }
        if (*done) {
            auto callback = std::move(*done);
            *done = nullptr;
            callback(std::move(chosen));
        }
    });
    dialog->open();
}

} // namespace velmora
