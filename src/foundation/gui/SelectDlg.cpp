#include "foundation/gui/SelectDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "foundation/gui/WinUtils.h"

TSelectDialog::TSelectDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("SelectDialog"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setFixedSize(32, 32);
    stCaption = new QLabel(this);
    stCaption->setObjectName(QStringLiteral("stCaption"));
    stCaption->setTextFormat(Qt::PlainText);
    cbOption = new QCheckBox(this);
    cbOption->setObjectName(QStringLiteral("cbOption"));
}

int TSelectDialog::Execute(const QPoint& APos, const std::string& ATitle, const std::string& ACaption,
                           TMsgDlgType DlgType, bool ACaptionBold, const std::vector<std::string>& AButtons,
                           const std::string& AOption, int ButtonWidth, int PreSelection,
                           const std::string& DefaultButton)
{
    setWindowTitle(QStr(ATitle));
    const int bw = ScaleToFormDpi(ButtonWidth > 0 ? ButtonWidth : 105, this);
    QString caption = QStr(ACaption);
    caption.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    stCaption->setText(caption);
    QFont f = stCaption->font();
    f.setBold(ACaptionBold);
    stCaption->setFont(f);
    cbOption->setChecked(false);
    cbOption->setVisible(!AOption.empty());
    cbOption->setText(QStr(AOption));
    if (!AOption.empty() && PreSelection > 0)
        cbOption->setChecked((PreSelection & 0x100) != 0);
    QStyle::StandardPixmap icons[] = {QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical,
                                      QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxQuestion};
    imgIcon->setVisible(DlgType != mtCustom);
    if (DlgType != mtCustom)
        imgIcon->setPixmap(style()->standardIcon(icons[DlgType]).pixmap(32, 32));

    // Buttons: full rows of three, the last row with the rest and Cancel in the third column.
    const int n = static_cast<int>(AButtons.size());
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(5);
    for (int i = 0; i < n; ++i) {
        auto* b = new QPushButton(QStr(AButtons[static_cast<size_t>(i)]), this);
        b->setObjectName(QStringLiteral("Button%1").arg(i));
        b->setFixedWidth(bw);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, i] {
            Selection = i;
            accept();
        });
        Buttons.push_back(b);
    }
    auto* cancel = new QPushButton(DefaultButton.empty() ? TrQ("Cancel") : QStr(DefaultButton), this);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    cancel->setFixedWidth(bw);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] {
        Selection = -1;
        accept();
    });
    // A caption wider than the button width widens all buttons alike, so that no caption is cut.
    int width = bw;
    for (QPushButton* b : Buttons)
        width = std::max(width, b->sizeHint().width());
    width = std::max(width, cancel->sizeHint().width());
    for (QPushButton* b : Buttons)
        b->setFixedWidth(width);
    cancel->setFixedWidth(width);
    const int fullRows = n / 3;
    const int rest = n % 3;
    // With a full last row, Cancel takes a row of its own.
    const int lastRow = fullRows;
    for (int i = 0; i < fullRows * 3; ++i)
        grid->addWidget(Buttons[static_cast<size_t>(i)], i / 3, i % 3);
    for (int j = 0; j < rest; ++j)
        grid->addWidget(Buttons[static_cast<size_t>(fullRows * 3 + j)], lastRow, 2 - rest + j);
    grid->addWidget(cancel, lastRow, 2);
    QWidget* previous = nullptr;
    for (QPushButton* b : Buttons) {
        if (previous)
            setTabOrder(previous, b);
        previous = b;
    }
    if (previous && !AOption.empty()) {
        setTabOrder(previous, cbOption);
        previous = cbOption;
    }
    if (previous)
        setTabOrder(previous, cancel);

    auto* text = new QVBoxLayout;
    text->addWidget(stCaption);
    text->addWidget(cbOption);
    auto* top = new QHBoxLayout;
    top->addWidget(imgIcon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addLayout(grid);
    delete layout();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Selection = -1;
    int focus = PreSelection > 0 ? PreSelection & 0xFF : PreSelection;
    if (focus > n)
        focus = -1;
    if (focus >= 0 && focus < n)
        Buttons[static_cast<size_t>(focus)]->setFocus();
    else
        cancel->setFocus();
    adjustSize();
    PlaceFormAt(this, APos);
    exec();
    int result = Selection;
    if (result >= 0 && !AOption.empty() && cbOption->isChecked())
        result += 256;
    return result;
}

int SelectChoiceAt(const QPoint& APos, const std::string& ATitle, const std::string& ACaption,
                   TMsgDlgType DlgType, bool ACaptionBold, const std::vector<std::string>& AButtons,
                   const std::string& AOption, int ButtonWidth, int PreSelection,
                   const std::string& DefaultButton)
{
    if (!GuiAvailable())
        return -1;
    auto dlg = std::make_unique<TSelectDialog>();
    return dlg->Execute(APos, ATitle, ACaption, DlgType, ACaptionBold, AButtons, AOption, ButtonWidth,
                        PreSelection, DefaultButton);
}

int SelectChoice(const std::string& ATitle, const std::string& ACaption, TMsgDlgType DlgType,
                 bool ACaptionBold, const std::vector<std::string>& AButtons, const std::string& AOption,
                 int ButtonWidth, int PreSelection, const std::string& DefaultButton)
{
    return SelectChoiceAt(DefaultFormPos, ATitle, ACaption, DlgType, ACaptionBold, AButtons, AOption,
                          ButtonWidth, PreSelection, DefaultButton);
}
