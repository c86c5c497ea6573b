#include "backup/gui/ConfirmDeleteDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/WinUtils.h"

TConfirmDeleteDialog::TConfirmDeleteDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("ConfirmDeleteDialog"));
    setWindowTitle(TrQ("Confirmation"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(NewConfirmImage(this, QStyle::SP_MessageBoxWarning));
    auto* boxes = new QVBoxLayout;
    cbSubDirs = new QCheckBox(TrQ("Delete also empty subdirectories at source"), this);
    cbSubDirs->setObjectName(QStringLiteral("cbSubDirs"));
    cbRootDirs = new QCheckBox(TrQ("Delete also empty root directories at source"), this);
    cbRootDirs->setObjectName(QStringLiteral("cbRootDirs"));
    boxes->addWidget(cbSubDirs);
    boxes->addWidget(cbRootDirs);
    top->addLayout(boxes, 1);
    layout->addLayout(top);
    layout->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* btYes = new QPushButton(TrQ("Yes"), this);
    btYes->setObjectName(QStringLiteral("btYes"));
    btYes->setDefault(true);
    auto* btNo = new QPushButton(TrQ("No"), this);
    btNo->setObjectName(QStringLiteral("btNo"));
    btNo->setAutoDefault(false);
    row->addWidget(btYes);
    row->addWidget(btNo);
    layout->addLayout(row);
    connect(btYes, &QPushButton::clicked, this, &QDialog::accept);
    connect(btNo, &QPushButton::clicked, this, &QDialog::reject);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TConfirmDeleteDialog::Execute(const std::string& Titel, int& DelDirs)
{
    setWindowTitle(QStr(Titel));
    cbSubDirs->setChecked((DelDirs & 1) != 0);
    cbRootDirs->setChecked((DelDirs & 2) != 0);
    PlaceFormAt(this, DefaultFormPos);
    if (exec() != QDialog::Accepted)
        return false;
    DelDirs = (cbSubDirs->isChecked() ? 1 : 0) | (cbRootDirs->isChecked() ? 2 : 0);
    return true;
}

bool ShowConfirmDeleteDialog(const std::string& Titel, int& DelDirs)
{
    auto dlg = std::make_unique<TConfirmDeleteDialog>();
    return dlg->Execute(Titel, DelDirs);
}
