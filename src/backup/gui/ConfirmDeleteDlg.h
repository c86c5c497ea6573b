#pragma once
// The confirmation when deleting source files after the backup is switched on, with the choice of
// deleting empty sub-folders (bit 0) and empty root folders (bit 1) at the source.

#include <string>

#include "foundation/gui/GuiUtils.h"

class QCheckBox;

class TConfirmDeleteDialog : public TDialogBase
{
public:
    explicit TConfirmDeleteDialog(QWidget* parent = nullptr);
    // Yes: DelDirs := the two bits as chosen, true. No: false, DelDirs unchanged.
    bool Execute(const std::string& Titel, int& DelDirs);

private:
    QCheckBox* cbSubDirs;
    QCheckBox* cbRootDirs;
};

bool ShowConfirmDeleteDialog(const std::string& Titel, int& DelDirs);
