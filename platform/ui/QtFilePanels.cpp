#include "platform/ui/QtFilePanels.h"

#include <algorithm>
#include <map>
#include <string>

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStandardPaths>
#include <QStringList>

namespace velmora {

namespace {

const QString everyFileFilter = QStringLiteral("All files (*)");

// Qt's own panel chooses either files or one folder: in ExistingFiles mode its accept button
// opens a selected folder for browsing instead of returning it. This panel's accept button
// returns what is selected as it stands, folders included, so that one panel takes files and
// folders together, and keeps its label throughout (Qt's panel shows "Open" while a folder is
// selected). Enter, a double click or Return in the list still open a folder for browsing.
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
            relabel();
            return;
        }
        QDialog::accept();
    }

    // Call once the panel's widgets exist (after DontUseNativeDialog).
    void browseOnEnter()
    {
        if (auto* typed = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            typed->installEventFilter(this);
    }

    // Keeps `label` on the accept button whatever is selected. The panel relabels its button
    // from several of its own handlers; each is followed by one of these signals, connected
    // after the panel's own, so the label is put back last.
    void keepAcceptLabel(const QString& label)
    {
        label_ = label;
        const auto relabelNow = [this] { relabel(); };
        if (auto* list = findChild<QAbstractItemView*>(QStringLiteral("listView"))) {
            if (QItemSelectionModel* selection = list->selectionModel())
                connect(selection, &QItemSelectionModel::selectionChanged, this, relabelNow);
            connect(list, &QAbstractItemView::activated, this, relabelNow);
        }
        if (auto* typed = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            connect(typed, &QLineEdit::textChanged, this, relabelNow);
        connect(this, &QFileDialog::directoryEntered, this, relabelNow);
        connect(this, &QFileDialog::currentChanged, this, relabelNow);
        connect(this, &QFileDialog::filterSelected, this, relabelNow);
        relabel();
    }

protected:
    // Enter in the file name field presses the accept button in Qt's panel, which would take a
    // highlighted folder; here it browses, as in any open panel: the panel's own handling goes
    // into the (first) chosen folder, and takes files as they are.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && watched == findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                QFileDialog::accept();
                relabel();
                return true;
            }
        }
        return QFileDialog::eventFilter(watched, event);
    }

    void showEvent(QShowEvent* event) override
    {
        QFileDialog::showEvent(event);
        relabel();
    }

private:
    void relabel()
    {
        if (!label_.isEmpty())
            setLabelText(QFileDialog::Accept, label_);
    }

    QString label_;
};

// The folder each kind of panel was last closed in with a choice, for the whole application,
// as the desktop's own panels remember theirs. Main thread only.
std::map<std::string, QString>& lastFolders()
{
    static std::map<std::string, QString> folders;
    return folders;
}

// Panels asking for the same kind of item share their folder: open or save, files or folders,
// the same types.
std::string panelKind(const FilePanelRequest& request)
{
    std::string key = std::to_string(static_cast<int>(request.kind)) + (request.canChooseDirectories ? "+d" : "");
    for (const std::string& extension : request.extensions)
        key += "|" + QString::fromStdString(extension).toLower().toStdString();
    return key;
}

} // namespace

QString QtFilePanels::startFolder(const FilePanelRequest& request)
{
    if (const auto last = lastFolders().find(panelKind(request)); last != lastFolders().end()) {
        if (QFileInfo(last->second).isDir())
            return last->second;
    }
    if (!request.directory.empty()) {
        const QString project = QString::fromStdString(request.directory.string());
        if (QFileInfo(project).isDir())
            return project;
    }
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QFileInfo(videos).isDir())
        return videos;
    return QDir::homePath();
}

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
    auto* filesAndFoldersDialog = filesAndFolders ? new FilesAndFoldersDialog(parent_.data(), title) : nullptr;
    QFileDialog* dialog = filesAndFoldersDialog ? filesAndFoldersDialog : new QFileDialog(parent_.data(), title);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setDirectory(startFolder(request));

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
    if (filesAndFoldersDialog)
        filesAndFoldersDialog->browseOnEnter();
    if (!request.acceptLabel.empty()) {
        const QString label = QString::fromStdString(request.acceptLabel);
        if (filesAndFoldersDialog)
            filesAndFoldersDialog->keepAcceptLabel(label);
        else
            dialog->setLabelText(QFileDialog::Accept, label);
    }

    // The completion runs exactly once: on accept with the choice, on reject with nothing.
    auto done = std::make_shared<FilePanelCompletion>(std::move(completion));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done, kind = panelKind(request)](int result) {
        std::vector<std::filesystem::path> chosen;
        if (result == QDialog::Accepted) {
            lastFolders()[kind] = dialog->directory().absolutePath();
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
