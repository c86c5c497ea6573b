#include "support/gui/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <utility>
#include <vector>

#include "foundation/gui/StyleUtils.h"
#include "support/gui/GuiTestUtil.h"

namespace {
struct TShow
{
    std::string name;
    std::function<void(const TScreenshotSaver&)> show;
};

std::vector<TShow>& Shows()
{
    static std::vector<TShow> shows;
    return shows;
}
} // namespace

TScreenshotShow::TScreenshotShow(const char* name, std::function<void(const TScreenshotSaver&)> show)
{
    Shows().push_back({name, std::move(show)});
}

void ScreenshotModal(const TScreenshotSaver& save, const std::function<void()>& show)
{
    WhenModal([save](QWidget* w) {
        save(w);
        if (w)
            QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
    });
    show();
}

int TakeScreenshots(const std::string& folder)
{
    const QString dir = QString::fromStdString(folder);
    QDir().mkpath(dir);
    int count = 0;
    SetDarkStyle("Windows10 Dark");
    for (const bool dark : {false, true}) {
        ApplyStyle(dark);
        for (const TShow& s : Shows()) {
            const QString file = dir + QStringLiteral("/%1-%2.png")
                                           .arg(dark ? QStringLiteral("dark") : QStringLiteral("light"),
                                                QString::fromStdString(s.name));
            s.show([&](QWidget* w) {
                if (!w)
                    return;
                QApplication::processEvents();
                if (w->grab().save(file))
                    ++count;
                else
                    std::fprintf(stderr, "screenshots: cannot write %s\n", file.toLocal8Bit().constData());
            });
        }
    }
    ApplyStyle(false);
    return count;
}
