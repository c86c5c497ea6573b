#include "tools/gui/ExtViewDlg.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/InitProg.h"
#include "tools/ExtViewSettings.h"

std::function<std::string(const std::string&, const std::string&)> TExternalViewerDialog::ChooseProgram =
    [](const std::string& title, const std::string& dir) {
        return StdStr(
            QFileDialog::getOpenFileName(nullptr, QStr(title), QStr(dir), TrQ("Programs") + " (*)"));
    };

namespace {

QLineEdit* ProgramRow(QWidget* parent, QVBoxLayout* layout, const char* editName, const char* buttonName,
                      const char* buttonHint, QPushButton*& button)
{
    auto* row = new QHBoxLayout;
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(editName);
    button = new QPushButton("...", parent);
    button->setObjectName(buttonName);
    button->setToolTip(TrQ(buttonHint));
    row->addWidget(edit, 1);
    row->addWidget(button);
    layout->addLayout(row);
    return edit;
}

} // namespace

TExternalViewerDialog::TExternalViewerDialog(QWidget* parent) : TTaskDialogBase("qv-restore.html", parent)
{
    setObjectName("ExternalViewerDialog");
    setWindowTitle(TrQ("Select external programs"));
    auto* layout = new QVBoxLayout(this);

    auto* gbViewer = new QGroupBox(TrQ("External viewer:"), this);
    gbViewer->setObjectName("gbViewer");
    auto* viewerLayout = new QVBoxLayout(gbViewer);
    edViewer = ProgramRow(gbViewer, viewerLayout, "edViewer", "btViewer", "Select external viewer", btViewer);
    edViewer->setToolTip(TrQ("External viewer:"));
    auto* viewerNote = new QLabel(
        TrQ("Leave this field empty if you want to use the default Windows file associations."), gbViewer);
    viewerNote->setWordWrap(true);
    viewerLayout->addWidget(viewerNote);
    layout->addWidget(gbViewer);

    auto* gbCompare = new QGroupBox(TrQ("External program for file comparison:"), this);
    gbCompare->setObjectName("gbCompare");
    auto* compareLayout = new QVBoxLayout(gbCompare);
    edCompare = ProgramRow(gbCompare, compareLayout, "edCompare", "btCompare",
                           "Select program to compare files", btCompare);
    edCompare->setToolTip(TrQ("External program for file comparison:"));
    compareLayout->addWidget(new QLabel(TrQ("Command line options for file comparison:"), gbCompare));
    edOptions = new QLineEdit(gbCompare);
    edOptions->setObjectName("edOptions");
    compareLayout->addWidget(edOptions);
    auto* compareNote = new QLabel(
        TrQ("You can use a program such as WinMerge to compare a saved file with the current version."),
        gbCompare);
    compareNote->setWordWrap(true);
    compareLayout->addWidget(compareNote);
    layout->addWidget(gbCompare);

    TOkCancel buttons = AddOkCancel(this, layout);
    buttons.OK->setObjectName("OKBtn");
    buttons.Cancel->setObjectName("CancelBtn");
    connect(btViewer, &QPushButton::clicked, this, [this] { GuardSlot([this] { SelectViewer(); }); });
    connect(btCompare, &QPushButton::clicked, this, [this] { GuardSlot([this] { SelectCompare(); }); });
    resize(520, sizeHint().height());
}

std::string TExternalViewerDialog::StartFolder(const QLineEdit* edit) const
{
    const std::string path = StdStr(edit->text());
    if (path.empty())
        return ProgramDir;
    const size_t p = path.rfind('/');
    return p == std::string::npos ? ProgramDir : path.substr(0, p + 1);
}

void TExternalViewerDialog::ViewerChosen(const std::string& path)
{
    edViewer->setText(QStr(path));
}

void TExternalViewerDialog::CompareChosen(const std::string& path)
{
    edCompare->setText(QStr(path));
    edOptions->setText(QStr(DefaultCompareOptions(path)));
}

void TExternalViewerDialog::SelectViewer()
{
    const std::string path = ChooseProgram(_("Select external file viewer"), StartFolder(edViewer));
    if (!path.empty())
        ViewerChosen(path);
}

void TExternalViewerDialog::SelectCompare()
{
    const std::string path =
        ChooseProgram(_("Select external file-comparison program"), StartFolder(edCompare));
    if (!path.empty())
        CompareChosen(path);
}

bool TExternalViewerDialog::Execute(std::string& ViewProg, std::string& CompProg, std::string& CompOpt)
{
    edViewer->setText(QStr(ViewProg));
    edCompare->setText(QStr(CompProg));
    edOptions->setText(QStr(CompOpt));
    if (exec() != QDialog::Accepted)
        return false;
    ViewProg = StdStr(edViewer->text());
    CompProg = StdStr(edCompare->text());
    CompOpt = StdStr(edOptions->text());
    return true;
}

bool SelectExternalPrograms(std::string& ViewProg, std::string& CompProg, std::string& CompOpt)
{
    TExternalViewerDialog dialog;
    return dialog.Execute(ViewProg, CompProg, CompOpt);
}
