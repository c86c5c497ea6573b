#include "foundation/gui/CharTableDlg.h"

#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/WinUtils.h"

TCharTableDialog::TCharTableDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("CharTableDialog"));
    setWindowTitle(TrQ("Character table"));
    CharGrid = new QTableWidget(16, 16, this);
    CharGrid->setObjectName(QStringLiteral("CharGrid"));
    CharGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    CharGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QStringList headers;
    for (int i = 0; i < 16; ++i)
        headers << QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
    CharGrid->setHorizontalHeaderLabels(headers);
    CharGrid->setVerticalHeaderLabels(headers);
    QFont headerFont = CharGrid->font();
    headerFont.setPointSize(8);
    CharGrid->horizontalHeader()->setFont(headerFont);
    CharGrid->verticalHeader()->setFont(headerFont);
    CharGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    CharGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    CharGrid->horizontalHeader()->setDefaultSectionSize(24);
    CharGrid->verticalHeader()->setDefaultSectionSize(22);
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) {
            const int code = c + 16 * r;
            auto* item = new QTableWidgetItem(
                code < 32 || (code >= 127 && code < 160) ? QString() : QString(QChar(code)));
            item->setTextAlignment(Qt::AlignCenter);
            CharGrid->setItem(r, c, item);
        }
    CharGrid->verticalHeader()->setFixedWidth(30);
    CharGrid->horizontalHeader()->setFixedHeight(22);
    CharGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    CharGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int frame = 2 * CharGrid->frameWidth();
    CharGrid->setFixedSize(30 + CharGrid->horizontalHeader()->length() + frame,
                           22 + CharGrid->verticalHeader()->length() + frame);
    leValue = new QLineEdit(this);
    leValue->setObjectName(QStringLiteral("leValue"));
    leValue->setMaxLength(2);
    auto* form = new QFormLayout;
    form->addRow(TrQ("Hex value:"), leValue);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CharGrid);
    layout->addLayout(form);
    AddOkCancel(this, layout, TrQ("Select"));
    connect(leValue, &QLineEdit::textEdited, this, [this] { GuardSlot([this] { ValueChanged(); }); });
    connect(CharGrid, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
}

void TCharTableDialog::ValueChanged()
{
    bool ok = false;
    const int v = leValue->text().trimmed().toInt(&ok, 16);
    if (!ok || v < 0 || v > 255)
        return;
    CharGrid->setCurrentCell(v / 16, v % 16);
}

uint16_t TCharTableDialog::Execute(const QPoint& APos, const std::string& AFontName)
{
    GridFontName = AFontName;
    QFont f = CharGrid->font();
    if (!AFontName.empty())
        f.setFamily(QStr(AFontName));
    f.setPointSize(std::max(8, f.pointSize()));
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            CharGrid->item(r, c)->setFont(f);
    if (CharGrid->currentRow() < 0)
        CharGrid->setCurrentCell(0, 0);
    PlaceFormAt(this, APos);
    if (exec() != QDialog::Accepted)
        return 0;
    const int r = std::max(0, CharGrid->currentRow());
    const int c = std::max(0, CharGrid->currentColumn());
    return static_cast<uint16_t>(c + 16 * r);
}

uint16_t SelectCharacter(const QPoint& APos, const std::string& AFontName)
{
    auto dlg = std::make_unique<TCharTableDialog>();
    return dlg->Execute(APos, AFontName);
}
