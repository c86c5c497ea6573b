#include "foundation/gui/FilterDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/StringUtils.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/SelectFromListDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"

namespace {
std::string GIniName;
std::string GSection;
} // namespace

TFilterDialog::TFilterDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("FilterDialog"));
    setWindowTitle(TrQ("Text filter dialog"));
    gbFilter = new QGroupBox(this);
    gbFilter->setObjectName(QStringLiteral("gbFilter"));
    NoMaskBtn = new QRadioButton(TrQ("All"), gbFilter);
    NoMaskBtn->setObjectName(QStringLiteral("NoMaskBtn"));
    IncMaskBtn = new QRadioButton(TrQ("All matching"), gbFilter);
    IncMaskBtn->setObjectName(QStringLiteral("IncMaskBtn"));
    ExcMaskBtn = new QRadioButton(TrQ("All not matching"), gbFilter);
    ExcMaskBtn->setObjectName(QStringLiteral("ExcMaskBtn"));
    lbMask = new QLabel(TrQ("Filter expressions:"), gbFilter);
    lbMask->setObjectName(QStringLiteral("lbMask"));
    cbFilter = new QComboBox(gbFilter);
    cbFilter->setObjectName(QStringLiteral("cbFilter"));
    cbFilter->setEditable(true);
    cbFilter->setInsertPolicy(QComboBox::NoInsert);
    cbFilter->setMaxVisibleItems(15);
    cbFilter->setToolTip(TrQ("Filter expressions:"));
    cbFilter->setMinimumWidth(280);
    lbMask->setBuddy(cbFilter);
    btnEditMask = new QPushButton(TrQ("Edit expressions"), gbFilter);
    btnEditMask->setObjectName(QStringLiteral("btnEditMask"));
    btnEditMask->setAutoDefault(false);
    rgEval = new QGroupBox(TrQ("Evaluate multiple expressions by"), gbFilter);
    rgEval->setObjectName(QStringLiteral("rgEval"));
    rbOr = new QRadioButton(TrQ("OR operation"), rgEval);
    rbOr->setObjectName(QStringLiteral("rbOr"));
    rbAnd = new QRadioButton(TrQ("AND operation"), rgEval);
    rbAnd->setObjectName(QStringLiteral("rbAnd"));
    auto* eval = new QHBoxLayout(rgEval);
    eval->addWidget(rbOr);
    eval->addWidget(rbAnd);
    RegExpCB = new QCheckBox(TrQ("Use regular expressions"), gbFilter);
    RegExpCB->setObjectName(QStringLiteral("RegExpCB"));
    auto* modes = new QHBoxLayout;
    modes->addWidget(NoMaskBtn);
    modes->addWidget(IncMaskBtn);
    modes->addWidget(ExcMaskBtn);
    modes->addStretch(1);
    auto* mask = new QHBoxLayout;
    mask->addWidget(cbFilter, 1);
    mask->addWidget(btnEditMask);
    auto* group = new QVBoxLayout(gbFilter);
    group->addLayout(modes);
    group->addWidget(lbMask);
    group->addLayout(mask);
    group->addWidget(rgEval);
    group->addWidget(RegExpCB);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbFilter);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    for (QRadioButton* b : {NoMaskBtn, IncMaskBtn, ExcMaskBtn})
        connect(b, &QRadioButton::clicked, this, [this] { GuardSlot([this] { ModeChanged(); }); });
    connect(RegExpCB, &QCheckBox::clicked, this, [this] { GuardSlot([this] { RegExpClicked(); }); });
    connect(rbOr, &QRadioButton::clicked, this, [this] { GuardSlot([this] { EvalClicked(); }); });
    connect(rbAnd, &QRadioButton::clicked, this, [this] { GuardSlot([this] { EvalClicked(); }); });
    connect(btnEditMask, &QPushButton::clicked, this, [this] { GuardSlot([this] { EditMaskClick(); }); });
    connect(cbFilter, &QComboBox::activated, this, [this](int index) {
        const QString text = cbFilter->itemText(index);
        (text.startsWith(QLatin1Char('+')) ? rbAnd : rbOr)->setChecked(true);
    });
}

TFilterDialog::~TFilterDialog()
{
    if (FIniName.empty() || FSection.empty())
        return;
    try {
        SaveHistoryCombo(FIniName, FSection, true, cbFilter, -1, false);
    } catch (const std::exception& e) {
        ReportGuiException(&e);
    }
}

void TFilterDialog::LoadFromIni(const std::string& IniName, const std::string& IniSection)
{
    FIniName = IniName;
    FSection = IniSection;
    if (!IniName.empty() && !IniSection.empty())
        LoadHistoryCombo(IniName, IniSection, cbFilter, -1, false);
}

void TFilterDialog::ModeChanged()
{
    const bool all = NoMaskBtn->isChecked();
    RegExpCB->setEnabled(!all);
    if (all)
        RegExpCB->setChecked(false);
    btnEditMask->setEnabled(!RegExpCB->isChecked());
    cbFilter->setEnabled(!all);
    if (all)
        cbFilter->setEditText(QStringLiteral("*"));
    lbMask->setEnabled(RegExpCB->isEnabled());
    if (isVisible() && !all)
        cbFilter->setFocus();
}

void TFilterDialog::RegExpClicked()
{
    btnEditMask->setEnabled(!RegExpCB->isChecked());
    rgEval->setVisible(btnEditMask->isEnabled());
    const QString text = cbFilter->currentText();
    if (RegExpCB->isChecked() && text.compare(QStringLiteral("*"), Qt::CaseInsensitive) == 0)
        cbFilter->setEditText(QStringLiteral("."));
    else if (!RegExpCB->isChecked() && text == QStringLiteral("."))
        cbFilter->setEditText(QStringLiteral("*"));
}

void TFilterDialog::EvalClicked()
{
    QString text = cbFilter->currentText();
    if (rbAnd->isChecked() && !text.startsWith(QLatin1Char('+')))
        text.prepend(QLatin1Char('+'));
    else if (rbOr->isChecked() && text.startsWith(QLatin1Char('+')))
        text.remove(0, 1);
    cbFilter->setEditText(text);
}

void TFilterDialog::EditMaskClick()
{
    std::string text = StdStr(cbFilter->currentText());
    const std::string original = text;
    if (!text.empty() && text[0] == '+')
        text.erase(0, 1);
    TStringList list;
    size_t start = 0;
    while (start <= text.size()) {
        size_t bar = text.find('|', start);
        if (bar == std::string::npos)
            bar = text.size();
        list.Add(text.substr(start, bar - start));
        start = bar + 1;
    }
    std::string chosen;
    const TSelectOptions options =
        SelectOption(soEdit) | SelectOption(soOrder) | SelectOption(soDelAll) | SelectOption(soNoConfirm);
    if (!SelectFromList(GetTopRightPos(this), StdStr(lbMask->text()), StdStr(windowTitle()) + ":", "",
                        options, 0, tcLower, original, list, chosen))
        return;
    std::string joined;
    for (int i = 0; i < list.Count(); ++i)
        joined += (i > 0 ? "|" : "") + list[i];
    if (rbAnd->isChecked())
        joined = "+" + joined;
    cbFilter->setEditText(QStr(joined));
}

bool TFilterDialog::Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                            bool ShowRegular, bool ShowListBtn, TTextFilter& AFilter)
{
    FFilter = &AFilter;
    setWindowTitle(QStr(Titel));
    gbFilter->setTitle(QStr(Desc));
    RegExpCB->setVisible(ShowRegular);
    btnEditMask->setVisible(ShowListBtn);
    const std::string text = AFilter.GetFilter();
    (!text.empty() && text[0] == '+' ? rbAnd : rbOr)->setChecked(true);
    if (!text.empty())
        AddToHistoryCombo(cbFilter, text);
    else if (cbFilter->count() > 0)
        cbFilter->setCurrentIndex(0);
    RegExpCB->setChecked(AFilter.Regular());
    (AFilter.Mode() == fmInclude   ? IncMaskBtn
     : AFilter.Mode() == fmExclude ? ExcMaskBtn
                                   : NoMaskBtn)
        ->setChecked(true);
    rgEval->setVisible(!AFilter.Regular());
    PlaceFormAt(this, APos);
    const bool ok = exec() == QDialog::Accepted;
    FFilter = nullptr;
    return ok;
}

void TFilterDialog::showEvent(QShowEvent* event)
{
    TDialogBase::showEvent(event);
    cbFilter->setEnabled(!NoMaskBtn->isChecked());
    GuardSlot([this] { ModeChanged(); });
}

void TFilterDialog::accept()
{
    bool ok = true;
    GuardSlot([&] {
        if (!FFilter)
            return;
        // The text is tried on a copy, so that a refused text leaves the filter as it was.
        TTextFilter trial(FFilter->IsFileFilter(), FFilter->IgnoreCase());
        trial.Assign(*FFilter);
        std::string text = StdStr(cbFilter->currentText());
        if (text.empty()) {
            trial.SetRegular(false);
            text = trial.MatchAll();
            cbFilter->setEditText(QStr(text));
        } else
            trial.SetRegular(RegExpCB->isVisible() && RegExpCB->isChecked());
        trial.SetMode(IncMaskBtn->isChecked() ? fmInclude : ExcMaskBtn->isChecked() ? fmExclude : fmOff);
        if (!NoMaskBtn->isChecked()) {
            try {
                trial.SetFilter(text);
            } catch (const EFilterError&) {
                ok = false;
                const bool regular = trial.Regular();
                ErrorDialog(SafeFormat(_("Invalid filter mask!\r\nShould resemble %s or %s"),
                                       {regular ? std::string("\\D") : std::string("*"),
                                        regular ? std::string("A+[bc].") : std::string("[ab]*")}));
                cbFilter->setFocus();
                return;
            }
            AddToHistoryCombo(cbFilter, trial.GetFilter());
        }
        FFilter->Assign(trial);
    });
    if (ok)
        QDialog::accept();
}

void SetFilterDialogIni(const std::string& IniName, const std::string& Section)
{
    GIniName = IniName;
    GSection = Section;
}

bool EditTextFilterAt(const QPoint& APos, const std::string& Titel, const std::string& Desc, bool ShowRegular,
                      bool ShowListBtn, TTextFilter& AFilter)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TFilterDialog>();
    dlg->LoadFromIni(GIniName, GSection);
    return dlg->Execute(APos, Titel, Desc, ShowRegular, ShowListBtn, AFilter);
}

bool EditTextFilter(const std::string& Titel, const std::string& Desc, bool ShowRegular, bool ShowListBtn,
                    TTextFilter& AFilter)
{
    return EditTextFilterAt(DefaultFormPos, Titel, Desc, ShowRegular, ShowListBtn, AFilter);
}
