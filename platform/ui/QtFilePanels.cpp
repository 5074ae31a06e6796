#include "platform/ui/QtFilePanels.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
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
        // Enter reaches the accept button too (the dialog presses its default button): only a
        // press of the button itself takes a folder.
        if (enterPressed_) {
            browse();
            return;
        }
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

    // Call once the panel's widgets exist (after DontUseNativeDialog). While the name's
    // completion list is up it has the keyboard, and its Enter would reach the name field past
    // the field's event filters: the list is watched too (installed after the completer's own
    // filter, so this one sees the key first).
    void browseOnEnter()
    {
        if (auto* typed = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            typed->installEventFilter(this);
            if (QCompleter* completer = typed->completer()) {
                completionList_ = completer->popup();
                completionList_->installEventFilter(this);
            }
        }
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
        if (event->type() == QEvent::KeyPress &&
            ((completionList_ && watched == completionList_) ||
             watched == findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                // The list's highlighted entry is in the field already (the completer puts it there).
                if (completionList_)
                    completionList_->hide();
                browse();
                return true;
            }
        }
        return QFileDialog::eventFilter(watched, event);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        enterPressed_ = enter;
        QFileDialog::keyPressEvent(event);
        enterPressed_ = false;
    }

    void showEvent(QShowEvent* event) override
    {
        QFileDialog::showEvent(event);
        relabel();
    }

private:
    // Enter: into the folder typed (a name in this folder or a path, "~" for home), else the
    // panel's own handling, which goes into the first folder chosen and takes files as they are.
    // The typed text decides before the list's selection, which typing a path leaves holding
    // every folder on the way.
    void browse()
    {
        auto* typed = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QString text = typed ? typed->text() : QString();
        if (text == QStringLiteral("~") || text.startsWith(QStringLiteral("~/")))
            text.replace(0, 1, QDir::homePath());
        const QFileInfo folder(directory().absoluteFilePath(text));
        if (!text.isEmpty() && text != QStringLiteral("..") && folder.isDir()) {
            setDirectory(folder.absoluteFilePath());
            typed->clear();
        } else {
            QFileDialog::accept();
        }
        relabel();
    }

    void relabel()
    {
        if (!label_.isEmpty())
            setLabelText(QFileDialog::Accept, label_);
    }

    QString label_;
    QPointer<QWidget> completionList_;
    // Set while the dialog handles an Enter its focused widget passed on (the list passes it on
    // after going into a folder): the default button's accept() then browses instead of taking.
    bool enterPressed_ = false;
};

// A save panel that completes the typed name (FilePanelRequest::completedSaveName) before it
// checks for an existing file, so the replace question names the file the caller will write,
// and asks that question without blocking: "Cancel" leaves the panel up and the file alone.
class SaveDialog final : public QFileDialog {
public:
    SaveDialog(QWidget* parent, const QString& caption, FilePanelRequest request)
        : QFileDialog(parent, caption), request_(std::move(request))
    {
        setOption(QFileDialog::DontConfirmOverwrite, true);
    }

    // The file accepted: the completed name, else (a name the panel took itself) its own choice.
    QStringList chosenFiles() const { return chosen_.isEmpty() ? selectedFiles() : QStringList{chosen_}; }

    void accept() override
    {
        const QStringList typed = selectedFiles();
        if (typed.isEmpty() || QFileInfo(typed.front()).isDir()) {
            // Nothing named, or a folder to go into: the panel's own handling.
            QFileDialog::accept();
            return;
        }
        const QString completed =
            QString::fromStdString(request_.completedSaveName(typed.front().toStdString()).string());
        const QFileInfo file(completed);
        if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); name && completed != typed.front())
            name->setText(file.fileName());
        if (file.isDir()) {
            QFileDialog::accept();
            return;
        }
        if (!file.exists()) {
            take(completed);
            return;
        }
        if (question_)
            return;
        auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                    QStringLiteral("\u201C%1\u201D already exists. Do you want to replace it?")
                                        .arg(file.fileName()),
                                    QMessageBox::NoButton, this);
        box->setObjectName(QStringLiteral("replaceQuestion"));
        box->setInformativeText(QStringLiteral("A file with the same name already exists in \u201C%1\u201D. "
                                               "Replacing it will overwrite its current contents.")
                                    .arg(file.absoluteDir().dirName()));
        QAbstractButton* replace = box->addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box->setDefaultButton(cancel);
        box->setEscapeButton(cancel);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        connect(box, &QMessageBox::finished, this, [this, box, replace, completed] {
            const bool replacing = box->clickedButton() == replace;
            question_ = nullptr;
            if (replacing)
                take(completed);
        });
        question_ = box;
        box->open();
    }

private:
    void take(const QString& file)
    {
        chosen_ = file;
        QDialog::accept();
    }

    FilePanelRequest request_;
    QString chosen_;
    QPointer<QMessageBox> question_;
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
    auto* saveDialog = request.kind == FilePanelRequest::Kind::saveFile ? new SaveDialog(parent_.data(), title, request)
                                                                         : nullptr;
    QFileDialog* dialog = filesAndFoldersDialog ? static_cast<QFileDialog*>(filesAndFoldersDialog)
                          : saveDialog          ? static_cast<QFileDialog*>(saveDialog)
                                                : new QFileDialog(parent_.data(), title);
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
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog, saveDialog, done, kind = panelKind(request),
                      choosesFolder = request.kind == FilePanelRequest::Kind::openFolder](int result) {
        std::vector<std::filesystem::path> chosen;
        if (result == QDialog::Accepted) {
            const QStringList files = saveDialog ? saveDialog->chosenFiles() : dialog->selectedFiles();
            for (const QString& file : files)
                chosen.emplace_back(file.toStdString());
            // The folder the (first) choice lies in, also when it was typed as a path elsewhere.
            lastFolders()[kind] = choosesFolder || files.isEmpty() ? dialog->directory().absolutePath()
                                                                   : QFileInfo(files.front()).absolutePath();
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
