#include "support/gui/GuiTestUtil.h"

#include <QTimer>
#include <memory>

namespace {
void Poll(QWidget* exclude, std::shared_ptr<std::function<void(QWidget*)>> action, int tries)
{
    QTimer::singleShot(10, [exclude, action, tries] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w != exclude && w->isVisible()) {
            (*action)(w);
            return;
        }
        if (tries <= 0) {
            (*action)(nullptr);
            return;
        }
        Poll(exclude, action, tries - 1);
    });
}
} // namespace

void WhenModal(std::function<void(QWidget*)> action)
{
    Poll(nullptr, std::make_shared<std::function<void(QWidget*)>>(std::move(action)), 1000);
}

void WhenModalOtherThan(QWidget* exclude, std::function<void(QWidget*)> action)
{
    Poll(exclude, std::make_shared<std::function<void(QWidget*)>>(std::move(action)), 1000);
}

void ProcessPendingEvents()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents(QEventLoop::AllEvents);
}
