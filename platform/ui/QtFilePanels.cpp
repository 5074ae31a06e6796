#include "platform/ui/QtFilePanels.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QStringList>

namespace velmora {

namespace {

const QString everyFileFilter = QStringLiteral("All files (*)");

// Qt's own panel chooses either files or one folder: in ExistingFiles mode its accept button
// opens a selected folder for browsing instead of returning it. This panel returns what is
// selected as it stands, folders included, so that one panel takes files and folders together;
// double-clicking a folder (or Return in the list) still opens it for browsing.
class FilesAndFoldersDialog final : public QFileDialog {
public:
    FilesAndFoldersDialog(QWidget* parent, const QString& caption) : QFileDialog(parent, caption) {}

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        const auto* typed = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const bool goesUp = typed && typed->text() == QStringLiteral("..");
        const bool takesFolder =
            std::any_of(chosen.begin(), chosen.end(), [](const QString& path) { return QFileInfo(path).isDir(); });
        const bool allExist =
            std::all_of(chosen.begin(), chosen.end(), [](const QString& path) { return QFileInfo::exists(path); });
        if (goesUp || !takesFolder || !allExist) {
            // Files only, ".." or a name that does not exist: the panel's own handling.
            QFileDialog::accept();
            return;
        }
        QDialog::accept();
    }
};

// The panel shows "Open" on its accept button while a folder is selected (the button would open
// it); a panel that takes folders keeps its own label instead. Connected after the panel's own
// handlers, so it runs after them.
void keepAcceptLabel(QFileDialog& dialog, const QString& label)
{
    const auto relabel = [dialog = &dialog, label] { dialog->setLabelText(QFileDialog::Accept, label); };
    if (auto* list = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView"))) {
        if (QItemSelectionModel* selection = list->selectionModel())
            QObject::connect(selection, &QItemSelectionModel::selectionChanged, &dialog, relabel);
    }
    if (auto* typed = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        QObject::connect(typed, &QLineEdit::textChanged, &dialog, relabel);
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, relabel);
    relabel();
}

} // namespace

QString QtFilePanels::nameFilter(const FilePanelRequest& request)
{
    if (request.extensions.empty())
        return everyFileFilter;
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

QStringList QtFilePanels::nameFilters(const FilePanelRequest& request)
{
    QStringList filters{nameFilter(request)};
    if (request.allowsOtherFileTypes && !request.extensions.empty())
        filters << everyFileFilter;
    return filters;
}

void QtFilePanels::run(const FilePanelRequest& request, FilePanelCompletion completion)
{
    const QString title = QString::fromStdString(request.title);
    const bool filesAndFolders = request.kind == FilePanelRequest::Kind::openFiles && request.canChooseDirectories;
    QFileDialog* dialog =
        filesAndFolders ? new FilesAndFoldersDialog(parent_.data(), title) : new QFileDialog(parent_.data(), title);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!request.directory.empty())
        dialog->setDirectory(QString::fromStdString(request.directory.string()));

    switch (request.kind) {
    case FilePanelRequest::Kind::openFile:
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setNameFilters(nameFilters(request));
        break;
    case FilePanelRequest::Kind::openFiles:
        // Folders are listed in every mode; FilesAndFoldersDialog lets the accept button take them.
        dialog->setFileMode(QFileDialog::ExistingFiles);
        dialog->setNameFilters(nameFilters(request));
        break;
    case FilePanelRequest::Kind::openFolder:
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly, true);
        break;
    case FilePanelRequest::Kind::saveFile:
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setNameFilters(nameFilters(request));
        if (!request.suggestedName.empty())
            dialog->selectFile(QString::fromStdString(request.suggestedName));
        break;
    }
    if (!request.acceptLabel.empty()) {
        const QString label = QString::fromStdString(request.acceptLabel);
        if (filesAndFolders)
            keepAcceptLabel(*dialog, label);
        else
            dialog->setLabelText(QFileDialog::Accept, label);
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
