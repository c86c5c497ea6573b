#include "tools/gui/ToolDialogUtil.h"

#include <QPushButton>
#include <QRadioButton>

#include "foundation/gui/GuiUtils.h"

QRadioButton* NamedRadio(QWidget* parent, const char* name, const char* caption)
{
    auto* b = new QRadioButton(TrQ(caption), parent);
    b->setObjectName(name);
    return b;
}

QPushButton* NamedButton(QWidget* parent, const char* name, const char* caption, const char* hint)
{
    auto* b = new QPushButton(TrQ(caption), parent);
    b->setObjectName(name);
    if (hint)
        b->setToolTip(TrQ(hint));
    return b;
}
